#include "framework/app.h"

#include <mbctype.h>

#include "framework/dialog.h"
#include "framework/wnd.h"

namespace {

CWinApp* g_pApp = nullptr;
bool g_bOccEnabled = false;

// The address book compares multibyte strings: the run-time library must
// use the system's ANSI code page before anything else runs.
struct MultibyteCodePage {
  MultibyteCodePage() { _setmbcp(_MB_CP_ANSI); }
};
MultibyteCodePage g_mbcp __attribute__((init_priority(101)));

}  // namespace

CWinApp::CWinApp(const char* pszAppName) {
  g_pApp = this;
  if (pszAppName) m_strAppName = pszAppName;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() {
  return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

const char* AfxGetAppName() {
  static std::string fallback;
  if (g_pApp && !g_pApp->m_strAppName.empty()) return g_pApp->m_strAppName.c_str();
  if (fallback.empty()) {
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(AfxGetInstanceHandle(), path, MAX_PATH);
    std::string name = path;
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.erase(dot);
    fallback = name;
    if (g_pApp) g_pApp->m_strAppName = name;
  }
  return g_pApp && !g_pApp->m_strAppName.empty() ? g_pApp->m_strAppName.c_str() : fallback.c_str();
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = hInstance;
  AfxGetAppName();
  if (!app->InitInstance()) return app->ExitInstance();
  // A program whose initialisation succeeds gets an ordinary message loop.
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return app->ExitInstance();
}

COccManager* DefaultOccManager();

void AfxEnableControlContainer() { g_bOccEnabled = true; }

COccManager* AfxGetOccManager() { return g_bOccEnabled ? DefaultOccManager() : nullptr; }
