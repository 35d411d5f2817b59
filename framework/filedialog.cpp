#include "framework/filedialog.h"

#include <commdlg.h>

#include "framework/syslib.h"
#include "framework/testseam.h"
#include "framework/wnd.h"

void SetFileDialogScript(FileDialogScript script) { TestScript<FileDialogScript>() = std::move(script); }

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt, const char* lpszFileName, DWORD dwFlags,
                         const char* lpszFilter, CWnd* pParentWnd)
    : m_bOpen(bOpenFileDialog),
      m_strDefExt(lpszDefExt ? lpszDefExt : ""),
      m_strPath(lpszFileName ? lpszFileName : ""),
      m_dwFlags(dwFlags),
      m_hParent(pParentWnd ? pParentWnd->m_hWnd : nullptr) {
  // "text|pattern|...||" becomes zero-separated pairs ending in two zeros.
  if (lpszFilter) {
    m_strFilter = lpszFilter;
    for (char& c : m_strFilter)
      if (c == '|') c = '\0';
  }
  m_strFilter.push_back('\0');
}

INT_PTR CFileDialog::DoModal() {
  if (const FileDialogScript& script = TestScript<FileDialogScript>()) {
    std::string path = m_strPath;
    INT_PTR r = script(*this, &path);
    if (r == IDOK) m_strPath = path;
    return r;
  }
  char file[MAX_PATH] = "";
  lstrcpynA(file, m_strPath.c_str(), MAX_PATH);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = m_hParent ? m_hParent : ::GetActiveWindow();
  ofn.lpstrFilter = m_strFilter.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = m_strDefExt.empty() ? nullptr : m_strDefExt.c_str();
  ofn.Flags = m_dwFlags | OFN_EXPLORER;
  typedef BOOL(WINAPI * FileNameFn)(LPOPENFILENAMEA);
  FileNameFn fn = SystemProc<FileNameFn>("comdlg32.dll", m_bOpen ? "GetOpenFileNameA" : "GetSaveFileNameA");
  BOOL ok = fn && fn(&ofn);
  if (!ok) return IDCANCEL;
  m_strPath = file;
  return IDOK;
}

std::string CFileDialog::GetFileName() const {
  size_t slash = m_strPath.find_last_of("\\/");
  return slash == std::string::npos ? m_strPath : m_strPath.substr(slash + 1);
}
