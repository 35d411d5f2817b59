// The start-up sequence with stand-in dialogs on the real templates: which
// dialogs run, in which order objects die, what is shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sequence.h"

namespace {

std::vector<std::string> g_log;
INT_PTR g_initResult = IDOK;
HWND g_viewerWhileRunning = nullptr;
HWND g_mainWhileRunning = nullptr;

struct TestApp : CWinApp {
  BOOL InitInstance() override { return TRUE; }
};

struct StubInitDlg : CDialog {
  StubInitDlg() : CDialog(IDD_INIT) { g_log.push_back("init+"); }
  ~StubInitDlg() override { g_log.push_back("init-"); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    g_log.push_back("init shown");
    EndDialog(g_initResult);
    return TRUE;
  }
};

// The viewer stand-in uses a template without the ActiveX item, so the
// sequence runs whether or not the control is registered here.
struct StubViewerDlg : CDialog {
  StubViewerDlg() : CDialog(IDD_ABOUTBOX) { g_log.push_back("viewer+"); }
  ~StubViewerDlg() override { g_log.push_back("viewer-"); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    g_log.push_back("viewer shown");
    g_viewerWhileRunning = m_hWnd;
    g_mainWhileRunning = AfxGetApp()->m_pMainWnd ? AfxGetApp()->m_pMainWnd->m_hWnd : nullptr;
    PostMessage(WM_CLOSE);
    return TRUE;
  }
};

int g_startups = 0;
int WINAPI CountingStartup(WORD v, LPWSADATA d) {
  ++g_startups;
  return WSAStartup(v, d);
}
int WINAPI FailingStartup(WORD, LPWSADATA) {
  ++g_startups;
  return WSAVERNOTSUPPORTED;
}

class Sequence : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    g_startups = 0;
    g_viewerWhileRunning = g_mainWhileRunning = nullptr;
    SetMessageBoxScript([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    SetSocketStartupForTest(nullptr);
  }
  TestApp app;
  std::vector<MessageBoxCall> boxes;
};

TEST_F(Sequence, LeavingEndsWithoutSocketsMessageOrViewer) {
  g_initResult = IDCANCEL;
  SetSocketStartupForTest(&CountingStartup);
  EXPECT_FALSE((RunStartupSequence<StubInitDlg, StubViewerDlg>(app)));
  EXPECT_EQ((std::vector<std::string>{"init+", "init shown", "init-"}), g_log);
  EXPECT_EQ(0, g_startups);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Sequence, SocketsFailureShowsOneMessageAndNoViewer) {
  g_initResult = IDOK;
  SetSocketStartupForTest(&FailingStartup);
  EXPECT_FALSE((RunStartupSequence<StubInitDlg, StubViewerDlg>(app)));
  EXPECT_EQ((std::vector<std::string>{"init+", "init shown", "init-"}), g_log);
  EXPECT_EQ(1, g_startups);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("Windows 通信端口初始化失败。", boxes[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK), boxes[0].type & MB_TYPEMASK);
}

TEST_F(Sequence, ConfirmRunsTheViewerAsMainWindowAndDestroysItFirst) {
  g_initResult = IDOK;
  SetSocketStartupForTest(&CountingStartup);
  EXPECT_FALSE((RunStartupSequence<StubInitDlg, StubViewerDlg>(app)));
  EXPECT_EQ((std::vector<std::string>{"init+", "init shown", "viewer+", "viewer shown", "viewer-", "init-"}),
            g_log);
  EXPECT_EQ(1, g_startups);
  EXPECT_TRUE(boxes.empty());
  ASSERT_NE(nullptr, g_viewerWhileRunning);
  EXPECT_EQ(g_viewerWhileRunning, g_mainWhileRunning);
  // The viewer object is gone, and the application no longer points at it.
  EXPECT_EQ(nullptr, app.m_pMainWnd);
}

TEST_F(Sequence, AnyResultOtherThanCancelGoesOn) {
  // -1 is what a dialog that cannot be created returns.
  g_initResult = -1;
  SetSocketStartupForTest(&CountingStartup);
  EXPECT_FALSE((RunStartupSequence<StubInitDlg, StubViewerDlg>(app)));
  EXPECT_EQ(1, g_startups);
  EXPECT_EQ(6u, g_log.size());
}

}  // namespace
