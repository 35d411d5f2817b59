// The application object and the program entry.
//
//   CWinApp   one global object; the entry point calls its InitInstance,
//             which runs the whole program (in modal loops of its own), then
//             its ExitInstance, and ends the process; what InitInstance
//             returns does not matter
#pragma once

#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
 public:
  // No name: the application name is the module's file name without extension.
  explicit CWinApp(const char* pszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();

  CWnd* m_pMainWnd = nullptr;
  std::string m_strAppName;
  HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
// The module that holds the program's resources.
HINSTANCE AfxGetResourceHandle();
const char* AfxGetAppName();
// Runs the application: InitInstance, then the exit processing.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
