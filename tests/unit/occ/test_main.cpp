// Entry of the container tests: OLE and the control container for the whole
// run, the viewer control registered from the build's payload folder (and
// unregistered at the end), and an empty current folder, so that no settings
// file of anyone else is read or written.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cstdio>
#include <string>

#include "framework/afx.h"

namespace occtest {
HMODULE g_hDvrOcxModule = nullptr;
}  // namespace occtest

namespace {

typedef HRESULT(STDAPICALLTYPE* DllEntryFn)();

DllEntryFn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<DllEntryFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// DvrOcx.ocx beside this program's build: VELO_OCC_PAYLOAD_REL is the
// payload folder relative to the folder of the test program.
std::string ControlPath() {
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path = exe;
  path.erase(path.find_last_of("\\/") + 1);
  path += VELO_OCC_PAYLOAD_REL "/DvrOcx.ocx";
  for (char& c : path)
    if (c == '/') c = '\\';
  char full[MAX_PATH] = "";
  GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return full;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(OleInitialize(nullptr))) return 2;
  AfxEnableControlContainer();

  std::string control = ControlPath();
  HMODULE module = LoadLibraryExA(control.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  DllEntryFn reg = module ? Entry(module, "DllRegisterServer") : nullptr;
  if (reg && SUCCEEDED(reg())) {
    occtest::g_hDvrOcxModule = module;
  } else {
    std::fprintf(stderr, "cannot load and register %s\n", control.c_str());
  }

  char previous[MAX_PATH] = "", temp[MAX_PATH] = "", folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, previous);
  GetTempPathA(MAX_PATH, temp);
  std::snprintf(folder, sizeof(folder), "%svelo-occ-%lu", temp, GetCurrentProcessId());
  CreateDirectoryA(folder, nullptr);
  SetCurrentDirectoryA(folder);

  int result = RUN_ALL_TESTS();

  SetCurrentDirectoryA(previous);
  std::string settings = std::string(folder) + "\\QlUserCfg.ini";
  DeleteFileA(settings.c_str());
  RemoveDirectoryA(folder);
  if (occtest::g_hDvrOcxModule) {
    if (DllEntryFn unreg = Entry(module, "DllUnregisterServer")) unreg();
  }
  if (module) FreeLibrary(module);
  OleUninitialize();
  return result;
}
