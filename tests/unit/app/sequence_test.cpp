// The start-up sequence with stand-in dialogs: what runs, what dies when, what is shown.
#include <gtest/gtest.h>

#include "app/sequence.h"

namespace {

std::vector<std::string> g_log;
INT_PTR g_initResult = IDOK;
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
    EXPECT_EQ(this, AfxGetApp()->m_pMainWnd) << "the viewer is the main window while it runs";
    return PostMessage(WM_CLOSE), TRUE;
  }
};
int WINAPI CountingStartup(WORD v, LPWSADATA d) { return ++g_startups, WSAStartup(v, d); }
int WINAPI FailingStartup(WORD, LPWSADATA) { return ++g_startups, WSAVERNOTSUPPORTED; }

TEST(Sequence, LeavingSocketsFailureAndTheViewerRun) {
  const std::vector<std::string> leave{"init+", "init shown", "init-"};
  const std::vector<std::string> view{"init+", "init shown", "viewer+", "viewer shown", "viewer-", "init-"};
  struct {
    INT_PTR initResult;
    int(WINAPI* startup)(WORD, LPWSADATA);
    std::vector<std::string> log;
    int startups;
    std::string box;
  } const rows[] = {{IDCANCEL, CountingStartup, leave, 0, ""},
                    {IDOK, FailingStartup, leave, 1, "Windows 通信端口初始化失败。"},
                    {IDOK, CountingStartup, view, 1, ""},
                    {-1, CountingStartup, view, 1, ""}};  // a start-up dialog that could not be made
  for (const auto& row : rows) {
    SCOPED_TRACE(row.initResult);
    g_log.clear(), g_startups = 0, g_initResult = row.initResult;
    std::vector<MessageBoxCall> boxes;
    SetMessageBoxScript([&](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
    SetSocketStartupForTest(row.startup);
    TestApp app;
    EXPECT_FALSE((RunStartupSequence<StubInit, StubViewer>(app)));
    SetSocketStartupForTest(nullptr), SetMessageBoxScript(nullptr);
    EXPECT_EQ(row.log, g_log);
    EXPECT_EQ(row.startups, g_startups);
    EXPECT_EQ(row.box, boxes.size() == 1 ? boxes[0].text : std::string(boxes.size(), '?'));  // none: ""
    EXPECT_EQ(nullptr, app.m_pMainWnd);  // the viewer object is gone and forgotten
  }
}

}  // namespace
