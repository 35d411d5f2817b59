// The start-up sequence with stand-in dialogs on the real templates: which
// dialogs run, in which order their objects die, what is shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sequence.h"

namespace {

std::vector<std::string> g_log;
INT_PTR g_initResult = IDOK;
HWND g_mainWhileViewing = nullptr;
int g_startups = 0;

struct TestApp : CWinApp {
  BOOL InitInstance() override { return TRUE; }
};
struct StubInit : CDialog {
  StubInit() : CDialog(IDD_INIT) { g_log.push_back("init+"); }
  ~StubInit() override { g_log.push_back("init-"); }
  BOOL OnInitDialog() override { return g_log.push_back("init shown"), EndDialog(g_initResult), TRUE; }
};
// A template without the ActiveX item: the sequence runs without the control.
struct StubViewer : CDialog {
  StubViewer() : CDialog(IDD_ABOUTBOX) { g_log.push_back("viewer+"); }
  ~StubViewer() override { g_log.push_back("viewer-"); }
  BOOL OnInitDialog() override {
    g_log.push_back("viewer shown");
    g_mainWhileViewing = AfxGetApp()->m_pMainWnd ? AfxGetApp()->m_pMainWnd->m_hWnd : nullptr;
    EXPECT_EQ(m_hWnd, g_mainWhileViewing);
    return PostMessage(WM_CLOSE), TRUE;
  }
};
int WINAPI CountingStartup(WORD v, LPWSADATA d) { return ++g_startups, WSAStartup(v, d); }
int WINAPI FailingStartup(WORD, LPWSADATA) { return ++g_startups, WSAVERNOTSUPPORTED; }

TEST(Sequence, LeavingSocketsFailureAndTheViewerRun) {
  const std::vector<std::string> leave{"init+", "init shown", "init-"};
  const std::vector<std::string> view{"init+", "init shown", "viewer+", "viewer shown", "viewer-", "init-"};
  struct Row {
    INT_PTR initResult;
    int(WINAPI* startup)(WORD, LPWSADATA);
    std::vector<std::string> log;
    int startups;
    std::string box;
  } const rows[] = {{IDCANCEL, CountingStartup, leave, 0, ""},
                    {IDOK, FailingStartup, leave, 1, "Windows 通信端口初始化失败。"},
                    {IDOK, CountingStartup, view, 1, ""},
                    {-1, CountingStartup, view, 1, ""}};  // a start-up dialog that could not be made
  for (const Row& row : rows) {
    SCOPED_TRACE(row.initResult);
    g_log.clear(), g_startups = 0, g_mainWhileViewing = nullptr, g_initResult = row.initResult;
    std::vector<MessageBoxCall> boxes;
    SetMessageBoxScript([&](const MessageBoxCall& c) { boxes.push_back(c); return IDOK; });
    SetSocketStartupForTest(row.startup);
    TestApp app;
    EXPECT_FALSE((RunStartupSequence<StubInit, StubViewer>(app)));
    SetSocketStartupForTest(nullptr);
    SetMessageBoxScript(nullptr);
    EXPECT_EQ(row.log, g_log);
    EXPECT_EQ(row.startups, g_startups);
    EXPECT_EQ(row.box.empty() ? 0u : 1u, boxes.size());
    EXPECT_EQ(row.box, boxes.empty() ? "" : boxes[0].text);
    EXPECT_EQ(row.log == view, g_mainWhileViewing != nullptr);
    EXPECT_EQ(nullptr, app.m_pMainWnd);  // the viewer object is gone and forgotten
  }
}

}  // namespace
