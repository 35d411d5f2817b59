// The file-open dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class CWnd;

class CFileDialog {
 public:
  // The filter is "text|pattern|text|pattern||" as in resource scripts.
  CFileDialog(BOOL bOpenFileDialog, const char* lpszDefExt = nullptr, const char* lpszFileName = nullptr,
              DWORD dwFlags = 0, const char* lpszFilter = nullptr, CWnd* pParentWnd = nullptr);
  INT_PTR DoModal();
  std::string GetPathName() const { return m_strPath; }
  // The file name alone, without its folder.
  std::string GetFileName() const;
  // The filter as the system wants it: pairs of zero-ended strings.
  const std::string& GetSystemFilter() const { return m_strFilter; }

 private:
  BOOL m_bOpen;
  std::string m_strDefExt;
  std::string m_strPath;
  std::string m_strFilter;
  DWORD m_dwFlags;
  HWND m_hParent;
};

// Tests answer the dialog: the script gets the dialog and may set the path;
// it returns IDOK or IDCANCEL.
using FileDialogScript = std::function<INT_PTR(const CFileDialog& dlg, std::string* pPath)>;
void SetFileDialogScript(FileDialogScript script);
