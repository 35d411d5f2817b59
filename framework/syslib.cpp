#include "framework/syslib.h"

#include <string>

FARPROC GetSystemProc(const char* library, const char* name) {
  // By full path, never through the search order.
  char dir[MAX_PATH] = "";
  ::GetSystemDirectoryA(dir, MAX_PATH);
  std::string path = std::string(dir) + "\\" + library;
  HMODULE h = ::GetModuleHandleA(path.c_str());
  if (!h) h = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return h ? ::GetProcAddress(h, name) : nullptr;
}
