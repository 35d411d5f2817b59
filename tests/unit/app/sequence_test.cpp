// The start-up sequence with stand-in dialogs: what runs, what dies when, what is shown.
#include <gtest/gtest.h>

#include "app/sequence.h"

namespace {

std::vector<std::string> g_log;
INT_PTR g_initResult = IDOK;
int g_startups = 0;

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
  // {what the start-up dialog ends with, the sockets start-up, what runs, start-ups, the message}; -1: a
  // start-up dialog that could not be made.
  using R = std::tuple<INT_PTR, int(WINAPI*)(WORD, LPWSADATA), std::vector<std::string>, int, std::string>;
  for (auto [initResult, startup, log, startups, box] :
       {R(IDCANCEL, CountingStartup, leave, 0, ""), R(IDOK, FailingStartup, leave, 1, "Windows 通信端口初始化失败。"),
        R(IDOK, CountingStartup, view, 1, ""), R(-1, CountingStartup, view, 1, "")}) {
    SCOPED_TRACE(initResult);
    g_log.clear(), g_startups = 0, g_initResult = initResult;
    std::string boxes;  // their texts
    SetMessageBoxScript([&](const MessageBoxCall& c) { return boxes += c.text, IDOK; });
    SetSocketStartupForTest(startup);
    CWinApp app;
    EXPECT_FALSE((RunStartupSequence<StubInit, StubViewer>(app)));
    SetSocketStartupForTest(nullptr), SetMessageBoxScript(nullptr);
    EXPECT_EQ(log, g_log);
    EXPECT_EQ(startups, g_startups);
    EXPECT_EQ(box, boxes);
    EXPECT_EQ(nullptr, app.m_pMainWnd);  // the viewer object is gone and forgotten
  }
}

}  // namespace
