// The application object and the program entry.
//
//   CWinApp   one global object; the entry point calls its InitInstance and
//             ends the process when it returns FALSE (there is no message
//             loop of the application's own)
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
  // Kept for the look of old programs: the system draws 3-D controls itself.
  BOOL Enable3dControls() { return TRUE; }

  CWnd* m_pMainWnd = nullptr;
  std::string m_strAppName;
  HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The module that holds the program's resources.
HINSTANCE AfxGetResourceHandle();
const char* AfxGetAppName();
// Runs the application: InitInstance, then the exit processing.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
// Switches on the ActiveX control container for dialogs created afterwards.
void AfxEnableControlContainer();
