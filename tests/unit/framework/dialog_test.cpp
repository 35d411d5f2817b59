// The modal loop and the dialog plumbing on the program's own templates, and
// the seams of the framework's services.
#include <gtest/gtest.h>

#include "framework/afx.h"
#include "res/resource.h"

namespace {

struct ScriptedDialog : CDialog {
  explicit ScriptedDialog(UINT id = IDD_INIT, CWnd* parent = nullptr) : CDialog(id, parent) {}
  void (*onInit)(ScriptedDialog&) = [](ScriptedDialog& d) { d.OnCancel(); };
  std::vector<UINT> keysSeen;  // as PreTranslateMessage saw them
  std::vector<int> bound;
  bool consumeEnter = false, ownerEnabled = true;
  CButton m_btnOk, m_btnLeave;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ownerEnabled = m_pParentWnd && ::IsWindowEnabled(m_pParentWnd->m_hWnd);
    return onInit(*this), TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_LEAVE, m_btnLeave);
    DDX_Control(pDX, IDC_OK, m_btnOk);
    bound = {m_btnLeave.GetDlgCtrlID(), m_btnOk.GetDlgCtrlID()};
  }
  BOOL PreTranslateMessage(MSG* pMsg) override {
    if (pMsg->message == WM_KEYDOWN) keysSeen.push_back(static_cast<UINT>(pMsg->wParam));
    if (pMsg->message == WM_KEYDOWN && consumeEnter && pMsg->wParam == VK_RETURN) return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
  }
  BEGIN_MSG_MAP(ScriptedDialog)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  CHAIN_MSG_MAP(CDialog)
  END_MSG_MAP()
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&) { return KillTimer(m_hWnd, 7), EndDialog(42), 0; }
};
void Key(HWND h, UINT vk) { PostMessageA(h, WM_KEYDOWN, vk, 1), PostMessageA(h, WM_KEYUP, vk, 0xC0000001); }

TEST(ModalLoop, WaysToEndTheDialogWithTheOwnerDisabledMeanwhile) {
  // {what happens in the dialog, whether it eats Enter, the result, the keys PreTranslateMessage saw}: Enter
  // has no default button to go to; PreTranslateMessage sees keys first and may eat them; EndDialog from a
  // message (a timer).
  using R = std::tuple<void (*)(ScriptedDialog&), bool, INT_PTR, std::vector<UINT>>;
  CWnd parent;
  HWND owner =
      (parent.Attach(CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99, 0, 0, 0, 0)), parent.m_hWnd);
  for (auto [action, consumeEnter, result, keys] :
       {R([](ScriptedDialog& d) { Key(d.GetDlgItem(IDC_ADDRESS_LIST), VK_ESCAPE); }, false, IDCANCEL, {VK_ESCAPE}),
        R([](ScriptedDialog& d) { Key(d.GetDlgItem(IDC_PORT), VK_RETURN); }, false, IDOK, {VK_RETURN}),
        R([](ScriptedDialog& d) { Key(d.GetDlgItem(IDC_PORT), VK_RETURN), Key(d.GetDlgItem(IDC_PORT), VK_ESCAPE); },
          true, IDCANCEL, {VK_RETURN, VK_ESCAPE}),
        R([](ScriptedDialog& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }, false, IDCANCEL, {}),
        R([](ScriptedDialog& d) { d.OnOK(); }, false, IDOK, {}),
        R([](ScriptedDialog& d) { SetTimer(d.m_hWnd, 7, 10, nullptr); }, false, 42, {})}) {
    ScriptedDialog dlg(IDD_INIT, &parent);
    dlg.onInit = action;
    dlg.consumeEnter = consumeEnter;
    EXPECT_EQ(result, dlg.DoModal());
    EXPECT_EQ(keys, dlg.keysSeen);
    EXPECT_TRUE(!dlg.m_hWnd && !dlg.m_btnOk.m_hWnd) << "the window and its bindings are gone";
    EXPECT_EQ((std::vector<int>{IDC_LEAVE, IDC_OK}), dlg.bound);
    EXPECT_FALSE(dlg.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner is enabled again";
  }
  DestroyWindow(parent.Detach());
}

TEST(Templates, ActiveXItemsAreLeftOutWithoutAContainerAndParsingLosesNothing) {
  ScriptedDialog dlg(IDD_VELODVR_DIALOG);
  dlg.onInit = [](ScriptedDialog& d) {
    EXPECT_TRUE(!d.GetDlgItem(IDC_DVROCX) && d.GetDlgItem(IDC_EXIT));
    d.OnCancel();
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  for (UINT id : {IDD_INIT, IDD_VELODVR_DIALOG, IDD_ABOUTBOX}) {
    HRSRC h = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, h)));
    std::vector<BYTE> original(p, p + SizeofResource(nullptr, h));
    DialogTemplate t;
    ASSERT_TRUE(t.Parse(original.data(), original.size())) << id;
    original.resize((original.size() + 3) & ~size_t{3});
    EXPECT_EQ(original, t.Build(false)) << id;
  }
}

int WINAPI FailingStartup(WORD, LPWSADATA) { return WSASYSNOTREADY; }

TEST(Services, MessageBoxesSocketsAndTheFileDialogHaveTheirSeams) {
  std::vector<MessageBoxCall> calls;
  SetMessageBoxScript([&](const MessageBoxCall& c) { return calls.push_back(c), IDNO; });
  EXPECT_EQ(IDNO, AfxMessageBox("hello"));
  EXPECT_EQ(IDNO, CWnd().MessageBox("text", "Stop", MB_YESNO));
  AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
  SetMessageBoxScript(nullptr);
  ASSERT_EQ(3u, calls.size());
  EXPECT_TRUE(calls[0].text == "hello" && calls[0].type == static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_TRUE(calls[1].caption == "Stop" && calls[1].type == MB_YESNO) << "a window's box keeps its type";
  EXPECT_EQ("Windows 通信端口初始化失败。", calls[2].text);
  EXPECT_TRUE(AfxSocketInit());
  SetSocketStartupForTest(&FailingStartup);
  EXPECT_FALSE(AfxSocketInit());
  SetSocketStartupForTest(nullptr);
  CFileDialog dlg(TRUE, nullptr, nullptr, 0, "(*.ocx)|*.ocx|(*.dll)|*.dll|all file|*.*||");
  EXPECT_EQ(std::string("(*.ocx)\0*.ocx\0(*.dll)\0*.dll\0all file\0*.*\0\0\0", 43), dlg.GetSystemFilter());
  SetFileDialogScript([](const CFileDialog&, std::string* path) { return *path = "C:\\a\\Lib.dll", INT_PTR{IDOK}; });
  EXPECT_EQ(IDOK, dlg.DoModal());
  SetFileDialogScript(nullptr);
  EXPECT_TRUE(dlg.GetFileName() == "Lib.dll" && dlg.GetPathName() == "C:\\a\\Lib.dll");
}

}  // namespace
