// The modal loop and the dialog plumbing, on the program's own templates.
#include <gtest/gtest.h>

#include <vector>

#include "framework/afx.h"
#include "res/resource.h"

namespace {

// A start-up template dialog that runs a list of actions once it is up.
class ScriptedDialog : public CDialog {
 public:
  explicit ScriptedDialog(UINT id = IDD_INIT) : CDialog(id) {}
  std::vector<UINT> keysSeen;
  bool consumeEnter = false;
  std::function<void(ScriptedDialog&)> onInit;
  CButton m_btnOk, m_btnLeave;
  std::vector<int> bound;

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_LEAVE, m_btnLeave);
    bound.push_back(m_btnLeave.GetDlgCtrlID());
    DDX_Control(pDX, IDC_OK, m_btnOk);
    bound.push_back(m_btnOk.GetDlgCtrlID());
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN) {
      keysSeen.push_back(static_cast<UINT>(pMsg->wParam));
      if (consumeEnter && pMsg->wParam == VK_RETURN) return TRUE;
    }
    return CDialog::PreTranslateMessage(pMsg);
  }
};

void PostKey(HWND h, UINT vk) {
  PostMessageA(h, WM_KEYDOWN, vk, 1);
  PostMessageA(h, WM_KEYUP, vk, 0xC0000001);
}

TEST(ModalLoop, EscapeEndsWithCancel) {
  ScriptedDialog dlg;
  dlg.onInit = [](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_ADDRESS_LIST), VK_ESCAPE); };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_EQ(nullptr, dlg.m_hWnd);
}

TEST(ModalLoop, CloseBoxEndsWithCancel) {
  ScriptedDialog dlg;
  dlg.onInit = [](ScriptedDialog& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
}

TEST(ModalLoop, OnOkAndOnCancelGiveTheirResults) {
  ScriptedDialog ok;
  ok.onInit = [](ScriptedDialog& d) { d.OnOK(); };
  EXPECT_EQ(IDOK, ok.DoModal());
  ScriptedDialog cancel;
  cancel.onInit = [](ScriptedDialog& d) { d.OnCancel(); };
  EXPECT_EQ(IDCANCEL, cancel.DoModal());
}

TEST(ModalLoop, EndDialogFromPostedMessageWakesTheLoop) {
  // The loop must not sleep in GetMessage after an EndDialog made inside a
  // sent message: ending from a timer proves it returns without more input.
  ScriptedDialog dlg;
  dlg.onInit = [](ScriptedDialog& d) { SetTimer(d.m_hWnd, 7, 10, nullptr); };
  struct TimerDialog : ScriptedDialog {
    BEGIN_MSG_MAP(TimerDialog)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    CHAIN_MSG_MAP(CDialog)
    END_MSG_MAP()
    LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&) {
      KillTimer(m_hWnd, 7);
      EndDialog(42);
      return 0;
    }
  } timed;
  timed.onInit = dlg.onInit;
  DWORD start = GetTickCount();
  EXPECT_EQ(42, timed.DoModal());
  EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(ModalLoop, PreTranslateSeesKeysFirstAndCanConsumeThem) {
  ScriptedDialog dlg;
  dlg.consumeEnter = true;
  dlg.onInit = [](ScriptedDialog& d) {
    HWND list = d.GetDlgItem(IDC_ADDRESS_LIST);
    // Enter would end the dialog with IDOK through the dialog navigation;
    // consumed here, it does nothing, and Escape then ends it.
    PostKey(list, VK_RETURN);
    PostKey(list, VK_ESCAPE);
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  ASSERT_EQ(2u, dlg.keysSeen.size());
  EXPECT_EQ(static_cast<UINT>(VK_RETURN), dlg.keysSeen[0]);
  EXPECT_EQ(static_cast<UINT>(VK_ESCAPE), dlg.keysSeen[1]);
}

TEST(ModalLoop, EnterWithoutConsumingEndsWithOk) {
  // The start-up template has no default button: Enter means IDOK.
  ScriptedDialog dlg;
  dlg.onInit = [](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_PORT), VK_RETURN); };
  EXPECT_EQ(IDOK, dlg.DoModal());
}

TEST(DataExchange, BindsControlsInTheOrderGiven) {
  ScriptedDialog dlg;
  HWND leave = nullptr, ok = nullptr;
  dlg.onInit = [&](ScriptedDialog& d) {
    leave = d.m_btnLeave.m_hWnd;
    ok = d.m_btnOk.m_hWnd;
    EXPECT_EQ(&d.m_btnOk, CWnd::FromHandlePermanent(d.GetDlgItem(IDC_OK)));
    d.OnCancel();
  };
  dlg.DoModal();
  EXPECT_NE(nullptr, leave);
  EXPECT_NE(nullptr, ok);
  EXPECT_EQ((std::vector<int>{IDC_LEAVE, IDC_OK}), dlg.bound);
  // The window is gone, and so are the bindings.
  EXPECT_EQ(nullptr, dlg.m_btnOk.m_hWnd);
}

TEST(Templates, ActiveXItemsAreLeftOutWhenNoContainerHostsThem) {
  ScriptedDialog dlg(IDD_VELODVR_DIALOG);
  bool hasControl = true;
  dlg.onInit = [&](ScriptedDialog& d) {
    hasControl = d.GetDlgItem(IDC_DVROCX) != nullptr;
    EXPECT_NE(nullptr, d.GetDlgItem(IDC_EXIT));
    d.OnCancel();
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  EXPECT_FALSE(hasControl);
}

TEST(Templates, TemplateRoundTripsByteForByte) {
  // Building the template again without dropping anything gives the
  // resource's own bytes: the parser loses nothing.
  for (UINT id : {IDD_INIT, IDD_VELODVR_DIALOG, IDD_ABOUTBOX}) {
    HRSRC h = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    ASSERT_NE(nullptr, h) << id;
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, h)));
    std::vector<BYTE> original(p, p + SizeofResource(nullptr, h));
    DialogTemplate t;
    ASSERT_TRUE(t.Parse(original.data(), original.size()));
    std::vector<BYTE> rebuilt = t.Build(false);
    while (original.size() % 4) original.push_back(0);
    EXPECT_EQ(original, rebuilt) << id;
  }
}

TEST(MessageBoxes, ScriptRecordsTextCaptionAndButtons) {
  std::vector<MessageBoxCall> calls;
  SetMessageBoxScript([&](const MessageBoxCall& c) {
    calls.push_back(c);
    return IDNO;
  });
  EXPECT_EQ(IDNO, AfxMessageBox("hello"));
  CWnd none;
  EXPECT_EQ(IDNO, none.MessageBox("text", "Stop", MB_YESNO));
  SetMessageBoxScript(nullptr);
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ("hello", calls[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), calls[0].type);
  EXPECT_EQ("Stop", calls[1].caption);
  // A box owned by a window keeps exactly the type asked for: no icon added.
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), calls[1].type);
}

TEST(MessageBoxes, StringIdLoadsTheText) {
  std::vector<MessageBoxCall> calls;
  SetMessageBoxScript([&](const MessageBoxCall& c) {
    calls.push_back(c);
    return IDOK;
  });
  AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
  SetMessageBoxScript(nullptr);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ("Windows 通信端口初始化失败。", calls[0].text);
}

int WINAPI FailingStartup(WORD, LPWSADATA) { return WSASYSNOTREADY; }

TEST(Sockets, StartupAndItsFailureSeam) {
  EXPECT_TRUE(AfxSocketInit());
  SetSocketStartupForTest(&FailingStartup);
  EXPECT_FALSE(AfxSocketInit());
  SetSocketStartupForTest(nullptr);
}

TEST(FileDialog, FilterAndScriptedAnswer) {
  CFileDialog dlg(TRUE, nullptr, nullptr, 0, "(*.ocx)|*.ocx|(*.dll)|*.dll|all file|*.*||");
  EXPECT_EQ(std::string("(*.ocx)\0*.ocx\0(*.dll)\0*.dll\0all file\0*.*\0\0\0", 43), dlg.GetSystemFilter());
  SetFileDialogScript([](const CFileDialog&, std::string* path) {
    *path = "C:\\some\\folder\\Lib.dll";
    return static_cast<INT_PTR>(IDOK);
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  SetFileDialogScript(nullptr);
  EXPECT_EQ("Lib.dll", dlg.GetFileName());
  EXPECT_EQ("C:\\some\\folder\\Lib.dll", dlg.GetPathName());
}

}  // namespace
