// Entry points of DvrOcx.ocx: DllMain, the class factory, DllGetClassObject
// and DllCanUnloadNow. Registration lives in registration.cpp.
#include "module.h"

#include <new>

#include "control.h"
#include "dvrocx_ids.h"

namespace dvrocx {
namespace {

HINSTANCE g_hModule = nullptr;
LONG g_nLocks = 0;

// The factory is a static object: it does not count as a live object, only
// its LockServer calls hold the module.
class CClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return FindInterface({{IID_IUnknown, this}, {IID_IClassFactory, this}}, iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    CComPtr<CDvrOcxControl> control;
    control.p = new (std::nothrow) CDvrOcxControl();
    if (control == nullptr) return E_OUTOFMEMORY;
    // The new object starts with one reference, ours; QueryInterface adds the
    // caller's and ours goes with the owner (destroying it on failure).
    return control->QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      LockModule();
    else
      UnlockModule();
    return S_OK;
  }
};

CClassFactory g_factory;

}  // namespace

HINSTANCE ModuleInstance() { return g_hModule; }
void LockModule() { InterlockedIncrement(&g_nLocks); }
void UnlockModule() { InterlockedDecrement(&g_nLocks); }
LONG ModuleLockCount() { return g_nLocks; }

std::string ModulePath() {
  char path[MAX_PATH * 2] = "";
  DWORD n = GetModuleFileNameA(g_hModule, path, sizeof(path));
  return std::string(path, n < sizeof(path) ? n : 0);
}

std::wstring ModulePathW() {
  wchar_t path[MAX_PATH * 2] = L"";
  DWORD n = GetModuleFileNameW(g_hModule, path, MAX_PATH * 2);
  return std::wstring(path, n < MAX_PATH * 2 ? n : 0);
}

std::string ModuleFolder() {
  std::string path = ModulePath();
  // Cut after the last separator. Search byte by byte from the front so a
  // GBK trail byte that equals '\' is never taken for a separator.
  size_t cut = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size())
      ++i;
    else if (path[i] == '\\' || path[i] == '/')
      cut = i + 1;
  }
  return path.substr(0, cut);
}

namespace {
const char* g_classNames[4];
int g_nClasses = 0;
}  // namespace

bool EnsureWindowClass(const char* name, WNDPROC proc, UINT style) {
  for (int i = 0; i < g_nClasses; ++i) {
    if (lstrcmpA(g_classNames[i], name) == 0) return true;
  }
  if (g_nClasses == static_cast<int>(sizeof(g_classNames) / sizeof(g_classNames[0]))) return false;
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = g_hModule;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  g_classNames[g_nClasses++] = name;
  return true;
}

void UnregisterWindowClasses() {
  while (g_nClasses > 0) UnregisterClassA(g_classNames[--g_nClasses], g_hModule);
}

HRESULT LoadOwnTypeLib(ITypeLib** typeLib) {
  if (typeLib == nullptr) return E_POINTER;
  *typeLib = nullptr;
  std::wstring path = ModulePathW();
  if (path.empty()) return E_UNEXPECTED;
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib);
}

HRESULT LoadOwnTypeInfo(REFGUID guid, ITypeInfo** typeInfo) {
  if (typeInfo == nullptr) return E_POINTER;
  *typeInfo = nullptr;
  CComPtr<ITypeLib> typeLib;
  HRESULT hr = LoadOwnTypeLib(&typeLib);
  if (FAILED(hr)) return hr;
  return typeLib->GetTypeInfoOfGuid(guid, typeInfo);
}

}  // namespace dvrocx

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      dvrocx::g_hModule = instance;
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      // On FreeLibrary (not at process exit) give the window classes back,
      // so a later load of another copy can register its own.
      if (reserved == nullptr) dvrocx::UnregisterWindowClasses();
      break;
    default:
      break;
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_DvrOcx)) return CLASS_E_CLASSNOTAVAILABLE;
  return dvrocx::g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() { return dvrocx::ModuleLockCount() == 0 ? S_OK : S_FALSE; }
