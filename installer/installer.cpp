#include "installer/installer.h"

#include <stdio.h>

#include <string>

#include "framework/app.h"
#include "framework/filedialog.h"
#include "framework/handles.h"
#include "framework/msgbox.h"

namespace {

const char kPayloadType[] = "BIN";
const char kLibraryFilter[] = "(*.ocx)|*.ocx|(*.dll)|*.dll|all file|*.*||";

// Self-registration entry points take nothing and return an HRESULT.
typedef HRESULT(STDAPICALLTYPE* PFNDLLREGISTER)();

// The system directory, into a buffer of 200 bytes like every path this module
// builds from it. False (with an empty buffer) when it does not fit.
bool GetSystemDir(char (&szDir)[200]) {
  UINT n = ::GetSystemDirectoryA(szDir, sizeof(szDir));
  if (n == 0 || n >= sizeof(szDir)) {
    szDir[0] = '\0';
    return false;
  }
  return true;
}

void ShowMessage(const char* pszText) { AfxMessageBox(pszText, MB_OK, 0); }

// A payload that did not reach the disk in full is named to the operator:
// otherwise the control could end up registered with a library missing or
// truncated and nobody would know why it fails later.
void ReportWriteFailure(const char* pszPath, DWORD dwError) {
  char szText[400];
  snprintf(szText, sizeof(szText), "CreateFile fail %s, error: %d", pszPath, static_cast<int>(dwError));
  ShowMessage(szText);
}

// Loads a library by its full path only. A bare name would let the search
// order pick whatever same-named library comes first (the current folder, for
// one), and registering that would run foreign code. The altered search path
// makes the library's own dependencies come from its folder too.
HMODULE LoadLibraryByPath(const char* pszPath) {
  char szFull[MAX_PATH];
  DWORD n = ::GetFullPathNameA(pszPath, sizeof(szFull), szFull, nullptr);
  if (n == 0 || n >= sizeof(szFull)) {
    if (n != 0) ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  return ::LoadLibraryExA(szFull, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Calls the entry point of a loaded library and frees the library. Its
// outcome is shown: pszDoneText (if any) after success, else pszFailText
// with the HRESULT ("Register fail: 0x80040200").
void CallEntryPoint(CModule& hLibrary, const char* pszEntryPoint, const char* pszDoneText, const char* pszFailText) {
  // The one cast to the entry point's real type (through the generic function
  // pointer type, which the compiler accepts as a match for any signature).
  auto pfnEntry =
      reinterpret_cast<PFNDLLREGISTER>(reinterpret_cast<void (*)()>(::GetProcAddress(hLibrary, pszEntryPoint)));
  if (!pfnEntry) {
    ShowMessage("GetProcAddress fail");
    return;
  }
  const HRESULT hr = pfnEntry();
  hLibrary.Release();  // its work is done: not held while the outcome is shown
  if (SUCCEEDED(hr)) {
    if (pszDoneText) ShowMessage(pszDoneText);
    return;
  }
  char szText[64];
  snprintf(szText, sizeof(szText), "%s: 0x%08X", pszFailText, static_cast<unsigned>(hr));
  ShowMessage(szText);
}

// The Register and Unregister buttons: the operator picks a library, whose
// entry point is called as CallEntryPoint does.
void CallChosenLibrary(const char* pszEntryPoint, const char* pszDoneText, const char* pszFailText) {
  CFileDialog dlg(TRUE, nullptr, nullptr, 0, kLibraryFilter, nullptr);
  if (dlg.DoModal() != IDOK) return;

  CModule hLibrary(LoadLibraryByPath(dlg.GetPathName().c_str()));
  if (!hLibrary) {
    ShowMessage("LoadLibrary fail");
    return;
  }
  CallEntryPoint(hLibrary, pszEntryPoint, pszDoneText, pszFailText);
}

}  // namespace

int IsControlRegistered() {
  CRegKey hKey;
  if (::RegOpenKeyA(HKEY_CLASSES_ROOT, kControlServerKey, &hKey) != ERROR_SUCCESS || !hKey) return 0;

  // Only a string that fits the 260-byte buffer with its terminator names a
  // file. Anything else (another value type, an empty or a cut-off path)
  // counts as not installed, so the installation repairs it rather than
  // trusting whatever the buffer happens to hold.
  char szPath[260] = "";
  DWORD dwType = REG_NONE;
  DWORD cbPath = sizeof(szPath);
  LONG lResult = ::RegQueryValueExA(hKey, nullptr, nullptr, &dwType, reinterpret_cast<BYTE*>(szPath), &cbPath);
  if (lResult != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ)) return 0;
  if (cbPath > 0 && szPath[cbPath - 1] == '\0') --cbPath;  // the stored terminator
  if (cbPath == 0 || cbPath >= sizeof(szPath)) return 0;
  szPath[cbPath] = '\0';

  // Existence only: no access asked for, so a library in use still counts.
  CHandle hFile(::CreateFileA(szPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  return hFile.Valid() ? 1 : 0;
}

void InstallComponents(HWND hOwner) {
  // Every payload is attempted, whatever happened to the one before, and the
  // registration runs even when some files could not be written.
  for (const PayloadEntry& entry : g_aPayloads) ExtractPayload(hOwner, kPayloadType, entry.nId, entry.pszFileName);
  RegisterControl();
}

void ExtractPayload(HWND hOwner, const char* pszType, int nId, const char* pszFileName) {
  HMODULE hModule = AfxGetResourceHandle();
  HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(nId), pszType);
  if (!hResource) return;  // only a build without its payloads gets here
  HGLOBAL hData = ::LoadResource(hModule, hResource);
  const void* pData = hData ? ::LockResource(hData) : nullptr;
  DWORD cbData = ::SizeofResource(hModule, hResource);
  if (!pData) return;

  char szSysDir[200];
  if (!GetSystemDir(szSysDir)) {
    ReportWriteFailure(pszFileName, ERROR_BUFFER_OVERFLOW);
    return;
  }
  char szPath[MAX_PATH];
  snprintf(szPath, sizeof(szPath), "%s\\%s", szSysDir, pszFileName);

  CHandle hFile(::CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD dwError = ::GetLastError();
  if (!hFile.Valid()) {
    ReportWriteFailure(szPath, dwError);
    return;
  }
  if (dwError == ERROR_ALREADY_EXISTS) {
    // The operator decides about a file that is already there; the path and
    // the question run together, with no separator.
    std::string strQuestion = std::string(szPath) + "文件已经存在，　覆盖吗";
    int nAnswer = ShowMessageBox(hOwner, strQuestion.c_str(), "Stop", MB_YESNO);
    hFile.Release();  // closed before the file is opened again to be emptied
    if (nAnswer != IDYES) return;
    hFile.Attach(::CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.Valid()) {
      ReportWriteFailure(szPath, ::GetLastError());
      return;
    }
  }

  // One write, straight from the loaded resource.
  DWORD cbWritten = 0;
  BOOL bWritten = ::WriteFile(hFile, pData, cbData, &cbWritten, nullptr);
  dwError = bWritten ? ERROR_DISK_FULL : ::GetLastError();  // a short write means the disk is full
  // Closed, the file complete on disk, before a failure is reported.
  hFile.Release();
  if (!bWritten || cbWritten != cbData) ReportWriteFailure(szPath, dwError);
}

void RegisterControl() {
  char szSysDir[200];
  char szPath[MAX_PATH] = "";
  if (GetSystemDir(szSysDir)) snprintf(szPath, sizeof(szPath), "%s\\%s", szSysDir, g_aPayloads[0].pszFileName);

  // The copy just written into the system directory, by its full path.
  CModule hLibrary(szPath[0] ? LoadLibraryByPath(szPath) : nullptr);
  if (!hLibrary) {
    DWORD dwError = szPath[0] ? ::GetLastError() : ERROR_BUFFER_OVERFLOW;
    if (dwError == ERROR_MOD_NOT_FOUND) {
      // The operators know this text as it is, so it stays, although only the
      // system directory's copy is ever loaded now.
      std::string strText = std::string("找不到文件， 请将Dvrocx.ocx文件拷贝到当前目录下或拷贝到") + szSysDir;
      ShowMessage(strText.c_str());
    } else {
      char szText[64];
      snprintf(szText, sizeof(szText), "LoadLibrary fail: %d", static_cast<int>(dwError));
      ShowMessage(szText);
    }
    return;
  }
  CallEntryPoint(hLibrary, "DllRegisterServer", "Register finish", "Register fail");
}

void OnButtonRegister() { CallChosenLibrary("DllRegisterServer", nullptr, "Register fail"); }

void OnButtonUnregister() { CallChosenLibrary("DllUnregisterServer", "UnRegister finish", "UnRegister fail"); }
