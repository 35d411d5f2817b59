#include "installer_support.h"

#include <ole2.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "components/common/dvrocx_ids.h"
#include "tests/support/support.h"

namespace installer_test {

const char* const kPayloadNames[13] = {"DvrOcx.ocx",       "DvrOcxChn.dll",           "DvrOcxChs.dll",
                                       "CovH264ToAvi.dll", "Ql_DvrNet.dll",           "Ql_DvrAVDecode.dll",
                                       "ChipDecoder.dll",  "AudioDecode.dll",         "Winpubf.dll",
                                       "Nvrfs.dll",        "lib_VoiceEngine_dll.dll", "hi_h264Dec_w.dll",
                                       "AmrDll.dll"};

namespace {

const char kClassKey[] = "CLSID\\{9B479D7B-916A-45B0-B042-D42865A60E21}";
const char kServerKey[] = "CLSID\\{9B479D7B-916A-45B0-B042-D42865A60E21}\\InprocServer32";

// Every key the control's registration may write under HKEY_CLASSES_ROOT.
std::vector<std::string> RegistrationRoots() {
  std::string progId = kDvrOcxProgId;
  std::string independentProgId = progId.substr(0, progId.find_last_of('.'));
  return {kClassKey,
          "TypeLib\\{89E04B22-0358-4FB2-B48F-0B18133543A4}",
          "Interface\\{057BE205-FDF3-469C-8328-237A548FEF1A}",
          "Interface\\{3982A319-E9F7-4C41-BF43-BA76EE2A8B78}",
          progId,
          independentProgId};
}

// The registry has a 64-bit and a 32-bit view; type-library registration
// writes interface keys into both.
const REGSAM kViews[2] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

std::string ViewName(REGSAM view) { return view == KEY_WOW64_32KEY ? "32:" : "64:"; }

void SnapshotKey(REGSAM view, const std::string& path, std::map<std::string, std::string>* pOut) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &hKey) != ERROR_SUCCESS) return;
  const std::string name = ViewName(view) + path;
  (*pOut)[name + "|"];  // the key itself, even without values
  for (DWORD i = 0;; ++i) {
    char valueName[512];
    DWORD cchName = sizeof(valueName);
    BYTE data[2048];
    DWORD cbData = sizeof(data);
    DWORD type = 0;
    if (RegEnumValueA(hKey, i, valueName, &cchName, nullptr, &type, data, &cbData) != ERROR_SUCCESS) break;
    (*pOut)[name + "|" + valueName] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), cbData);
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD cchName = sizeof(name);
    if (RegEnumKeyExA(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(name);
  }
  RegCloseKey(hKey);
  for (const std::string& sub : subkeys) SnapshotKey(view, path + "\\" + sub, pOut);
}

}  // namespace

std::string SystemDir() {
  char dir[MAX_PATH] = "";
  GetSystemDirectoryA(dir, MAX_PATH);
  return dir;
}

std::string SystemPath(const std::string& name) { return SystemDir() + "\\" + name; }

std::string PayloadPath(const std::string& name) {
  // The build folder as the prefix's drive Z: sees it.
  std::string path = std::string("Z:") + VELO_PAYLOAD_DIR + "/" + name;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string PayloadBytes(const std::string& name) { return ReadBytes(PayloadPath(name)); }

std::string ResourceBytes(int id) {
  HMODULE hModule = GetModuleHandleA(nullptr);
  HRSRC hRes = FindResourceA(hModule, MAKEINTRESOURCEA(id), "BIN");
  if (!hRes) return "";
  const char* data = static_cast<const char*>(LockResource(LoadResource(hModule, hRes)));
  return std::string(data, SizeofResource(hModule, hRes));
}

std::string ReadBytes(const std::string& path) {
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string bytes(GetFileSize(h, nullptr), '\0');
  DWORD got = 0;
  if (!bytes.empty()) ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(h);
  bytes.resize(got);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

FILETIME WriteTime(const std::string& path) {
  FILETIME ft{};
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) ft = data.ftLastWriteTime;
  return ft;
}

void RemoveTarget(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) RemoveDirectoryA(path.c_str());
}

DWORD OpenForWritingError(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(h);
  return 0;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string OldContent(int i) {
  std::string stem = std::string("old copy of ") + kPayloadNames[i] + "\r\n";
  std::string bytes;
  size_t size = PayloadBytes(kPayloadNames[i]).size() + 4096;
  while (bytes.size() < size) bytes += stem;
  bytes.resize(size);
  return bytes;
}

void CleanSystemState() {
  for (const char* name : kPayloadNames) RemoveTarget(SystemPath(name));
  for (REGSAM view : kViews) {
    for (const std::string& root : RegistrationRoots()) {
      size_t slash = root.find_last_of('\\');
      if (slash == std::string::npos) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, root.c_str());
        continue;
      }
      HKEY hParent = nullptr;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, root.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &hParent) !=
          ERROR_SUCCESS)
        continue;
      RegDeleteTreeA(hParent, root.substr(slash + 1).c_str());
      RegCloseKey(hParent);
    }
  }
}

std::map<std::string, std::string> RegistrationSnapshot() {
  std::map<std::string, std::string> snapshot;
  for (REGSAM view : kViews)
    for (const std::string& root : RegistrationRoots()) SnapshotKey(view, root, &snapshot);
  return snapshot;
}

int CountUnder(const std::map<std::string, std::string>& snapshot, const std::string& keyPrefix) {
  int n = 0;
  for (const auto& entry : snapshot)
    if (entry.first.compare(3, keyPrefix.size(), keyPrefix) == 0) ++n;
  return n;
}

bool KeyExists(const char* subkey) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
  RegCloseKey(hKey);
  return true;
}

std::string RegisteredServerPath() {
  char value[1024] = "";
  DWORD cb = sizeof(value);
  if (RegGetValueA(HKEY_CLASSES_ROOT, kServerKey, nullptr, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, value, &cb) !=
      ERROR_SUCCESS)
    return "";
  return value;
}

void SetServerValue(DWORD type, const std::string& data) {
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(hKey, nullptr, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
  RegCloseKey(hKey);
}

void DeleteServerValue() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_WRITE, &hKey) != ERROR_SUCCESS) return;
  RegDeleteValueA(hKey, nullptr);
  RegCloseKey(hKey);
}

DWORD RunRegsvr32(const std::string& args) {
  std::string command = SystemPath("regsvr32.exe") + " " + args;
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  DWORD code = ~0u;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

std::string ScratchDir() {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "velo_installer_" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

void RemoveScratchDir() { vt::RemoveTree(ScratchDir()); }

std::string CopyToScratch(const std::string& source, const std::string& name) {
  std::string target = ScratchDir() + "\\" + name;
  CopyFileA(source.c_str(), target.c_str(), FALSE);
  return target;
}

std::string MakeFileWithPathLength(size_t length) {
  std::string dir = ScratchDir() + "\\long";
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string path = dir + "\\";
  path += std::string(length - path.size() - 4, 'n') + ".ocx";
  WriteBytes(path, "MZ");
  return path;
}

ScopedPlant::ScopedPlant(const std::string& library) {
  char old[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, old);
  m_strOldDir = old;
  m_strDir = ScratchDir() + "\\plant";
  CreateDirectoryA(m_strDir.c_str(), nullptr);
  CopyFileA(library.c_str(), (m_strDir + "\\DvrOcx.ocx").c_str(), FALSE);
  SetCurrentDirectoryA(m_strDir.c_str());
}

ScopedPlant::~ScopedPlant() {
  SetCurrentDirectoryA(m_strOldDir.c_str());
  RemoveTarget(m_strDir + "\\DvrOcx.ocx");
  RemoveDirectoryA(m_strDir.c_str());
}

}  // namespace installer_test
