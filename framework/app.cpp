#include "framework/app.h"

namespace {

CWinApp* g_pApp = nullptr;

HINSTANCE InstanceHandle() { return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr); }

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

HINSTANCE AfxGetResourceHandle() { return InstanceHandle(); }

const char* AfxGetAppName() {
  static std::string fallback;
  if (g_pApp && !g_pApp->m_strAppName.empty()) return g_pApp->m_strAppName.c_str();
  if (fallback.empty()) {
    char path[MAX_PATH] = "";
    ::GetModuleFileNameA(InstanceHandle(), path, MAX_PATH);
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
  app->InitInstance();
  return app->ExitInstance();
}
