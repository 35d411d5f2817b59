// Self-registration of DvrOcx.ocx. DllRegisterServer writes the class key,
// the ProgID key and registers the type library; DllUnregisterServer removes
// exactly those again and leaves anything else alone.
#include <windows.h>
#include <olectl.h>
#include <oleauto.h>

#include <string>

#include "dvrocx_ids.h"
#include "handles.h"
#include "module.h"

namespace {

const char kClassName[] = "DvrOcx Control";
const char kTypeLibVersion[] = "1.0";

#ifdef _WIN64
const SYSKIND kSysKind = SYS_WIN64;
#else
const SYSKIND kSysKind = SYS_WIN32;
#endif

std::string GuidText(REFGUID guid) {
  wchar_t wide[40];
  char narrow[40] = "";
  if (StringFromGUID2(guid, wide, 40) > 0)
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
  return narrow;
}

std::string ClassKey() { return "CLSID\\" + GuidText(CLSID_DvrOcx); }

// Sets the default value (name null) or a named string value of HKCR\key,
// creating the key.
bool SetString(const std::string& key, const char* name, const std::string& value) {
  CRegKey hKey;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &hKey, nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool KeyExists(const std::string& key) {
  CRegKey hKey;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS;
}

// Deletes HKCR\key if it has no subkeys left; a key that is already gone is
// fine. Values in it go with it.
bool DeleteKey(const std::string& key) {
  const LONG result = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool WriteClassKeys() {
  const std::string path = dvrocx::ModulePath();
  if (path.empty()) return false;
  const std::string classKey = ClassKey();
  const std::string clsid = GuidText(CLSID_DvrOcx);
  return SetString(classKey, nullptr, kClassName) && SetString(classKey + "\\InprocServer32", nullptr, path) &&
         SetString(classKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
         SetString(classKey + "\\Control", nullptr, "") && SetString(classKey + "\\ProgID", nullptr, kDvrOcxProgId) &&
         SetString(classKey + "\\TypeLib", nullptr, GuidText(LIBID_DvrOcxLib)) &&
         SetString(classKey + "\\Version", nullptr, kTypeLibVersion) &&
         SetString(classKey + "\\MiscStatus", nullptr, "0") &&
         SetString(classKey + "\\MiscStatus\\1", nullptr, std::to_string(dvrocx::kMiscStatus)) &&
         SetString(kDvrOcxProgId, nullptr, kClassName) &&
         SetString(std::string(kDvrOcxProgId) + "\\CLSID", nullptr, clsid);
}

bool RemoveClassKeys() {
  const std::string classKey = ClassKey();
  bool ok = true;
  for (const char* sub :
       {"\\InprocServer32", "\\Control", "\\ProgID", "\\TypeLib", "\\Version", "\\MiscStatus\\1", "\\MiscStatus"})
    ok = DeleteKey(classKey + sub) && ok;
  // The class key itself only when nothing of anyone else is left in it.
  const LONG result = RegDeleteKeyA(HKEY_CLASSES_ROOT, classKey.c_str());
  ok = (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_ACCESS_DENIED) && ok;
  ok = DeleteKey(std::string(kDvrOcxProgId) + "\\CLSID") && ok;
  const LONG progId = RegDeleteKeyA(HKEY_CLASSES_ROOT, kDvrOcxProgId);
  ok = (progId == ERROR_SUCCESS || progId == ERROR_FILE_NOT_FOUND || progId == ERROR_ACCESS_DENIED) && ok;
  return ok;
}

HRESULT RegisterOwnTypeLib() {
  CComPtr<ITypeLib> typeLib;
  HRESULT hr = dvrocx::LoadOwnTypeLib(&typeLib);
  if (FAILED(hr)) return hr;
  std::wstring path = dvrocx::ModulePathW();
  return RegisterTypeLib(typeLib, &path[0], nullptr);
}

}  // namespace

STDAPI DllRegisterServer() {
  if (!WriteClassKeys()) {
    RemoveClassKeys();
    return SELFREG_E_CLASS;
  }
  if (FAILED(RegisterOwnTypeLib())) {
    RemoveClassKeys();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  HRESULT hr = S_OK;
  // Only a registered library is unregistered: unregistering twice is harmless.
  const std::string typeLibKey = "TypeLib\\" + GuidText(LIBID_DvrOcxLib) + "\\" + kTypeLibVersion;
  if (KeyExists(typeLibKey)) {
    if (FAILED(UnRegisterTypeLib(LIBID_DvrOcxLib, DvrOcxLib_VersionMajor, DvrOcxLib_VersionMinor, LOCALE_NEUTRAL,
                                 kSysKind)))
      hr = SELFREG_E_TYPELIB;
  }
  if (!RemoveClassKeys()) hr = SELFREG_E_CLASS;
  return hr;
}
