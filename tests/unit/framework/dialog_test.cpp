// The modal loop and the dialog plumbing, on the program's own templates.
#include <gtest/gtest.h>

#include <vector>

#include "framework/afx.h"
#include "res/resource.h"

namespace {

// A start-up template dialog that runs an action once it is up.
struct ScriptedDialog : CDialog {
  explicit ScriptedDialog(UINT id = IDD_INIT, CWnd* parent = nullptr) : CDialog(id, parent) {}
  std::function<void(ScriptedDialog&)> onInit;
  std::vector<UINT> keysSeen;
  bool consumeEnter = false, ownerEnabled = true;
  CButton m_btnOk, m_btnLeave;
  std::vector<int> bound;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ownerEnabled = m_pParentWnd && ::IsWindowEnabled(m_pParentWnd->m_hWnd);
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
    if (pMsg->message == WM_KEYDOWN) keysSeen.push_back(static_cast<UINT>(pMsg->wParam));
    if (pMsg->message == WM_KEYDOWN && consumeEnter && pMsg->wParam == VK_RETURN) return TRUE;
    return CDialog::PreTranslateMessage(pMsg);
  }
  BEGIN_MSG_MAP(ScriptedDialog)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  CHAIN_MSG_MAP(CDialog)
  END_MSG_MAP()
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&) {
    KillTimer(m_hWnd, 7);
    EndDialog(42);
    return 0;
  }
};

void PostKey(HWND h, UINT vk) {
  PostMessageA(h, WM_KEYDOWN, vk, 1);
  PostMessageA(h, WM_KEYUP, vk, 0xC0000001);
}

TEST(ModalLoop, WaysToEndTheDialogAndTheOwnerAroundIt) {
  using Action = void (*)(ScriptedDialog&);
  struct Row {
    Action action;
    bool consumeEnter;
    INT_PTR result;
    std::vector<UINT> keys;
  } const rows[] = {
      {[](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_ADDRESS_LIST), VK_ESCAPE); }, false, IDCANCEL, {VK_ESCAPE}},
      {[](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_PORT), VK_RETURN); }, false, IDOK, {VK_RETURN}},  // no default button
      {[](ScriptedDialog& d) { PostKey(d.GetDlgItem(IDC_PORT), VK_RETURN); PostKey(d.GetDlgItem(IDC_PORT), VK_ESCAPE); },
       true, IDCANCEL, {VK_RETURN, VK_ESCAPE}},  // PreTranslateMessage sees keys first and may eat them
      {[](ScriptedDialog& d) { d.PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0); }, false, IDCANCEL, {}},
      {[](ScriptedDialog& d) { d.OnOK(); }, false, IDOK, {}},
      {[](ScriptedDialog& d) { d.OnCancel(); }, false, IDCANCEL, {}},
      {[](ScriptedDialog& d) { SetTimer(d.m_hWnd, 7, 10, nullptr); }, false, 42, {}}};  // EndDialog from a message
  HWND owner = CreateWindowExA(0, "Static", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  CWnd parent;
  parent.Attach(owner);
  for (const Row& row : rows) {
    ScriptedDialog dlg(IDD_INIT, &parent);
    dlg.onInit = row.action;
    dlg.consumeEnter = row.consumeEnter;
    EXPECT_EQ(row.result, dlg.DoModal());
    EXPECT_EQ(row.keys, dlg.keysSeen);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_FALSE(dlg.ownerEnabled) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(IsWindowEnabled(owner)) << "and enabled again after";
  }
  parent.Detach();
  DestroyWindow(owner);
}

TEST(DataExchange, BindsControlsInTheOrderGivenUntilTheWindowGoes) {
  ScriptedDialog dlg;
  dlg.onInit = [](ScriptedDialog& d) {
    EXPECT_EQ(&d.m_btnOk, CWnd::FromHandlePermanent(d.GetDlgItem(IDC_OK)));
    d.OnCancel();
  };
  dlg.DoModal();
  EXPECT_EQ((std::vector<int>{IDC_LEAVE, IDC_OK}), dlg.bound);
  EXPECT_EQ(nullptr, dlg.m_btnOk.m_hWnd);
}

TEST(Templates, ActiveXItemsAreLeftOutWithoutAContainerAndParsingLosesNothing) {
  ScriptedDialog dlg(IDD_VELODVR_DIALOG);
  dlg.onInit = [](ScriptedDialog& d) {
    EXPECT_EQ(nullptr, d.GetDlgItem(IDC_DVROCX));
    EXPECT_NE(nullptr, d.GetDlgItem(IDC_EXIT));
    d.OnCancel();
  };
  EXPECT_EQ(IDCANCEL, dlg.DoModal());
  for (UINT id : {IDD_INIT, IDD_VELODVR_DIALOG, IDD_ABOUTBOX}) {
    HRSRC h = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    ASSERT_NE(nullptr, h) << id;
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, h)));
    std::vector<BYTE> original(p, p + SizeofResource(nullptr, h));
    DialogTemplate t;
    ASSERT_TRUE(t.Parse(original.data(), original.size()));
    while (original.size() % 4) original.push_back(0);
    EXPECT_EQ(original, t.Build(false)) << id;
  }
}

int WINAPI FailingStartup(WORD, LPWSADATA) { return WSASYSNOTREADY; }

TEST(Services, MessageBoxesSocketsAndTheFileDialogHaveTheirSeams) {
  std::vector<MessageBoxCall> calls;
  SetMessageBoxScript([&](const MessageBoxCall& c) { calls.push_back(c); return IDNO; });
  EXPECT_EQ(IDNO, AfxMessageBox("hello"));
  CWnd none;
  EXPECT_EQ(IDNO, none.MessageBox("text", "Stop", MB_YESNO));
  AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
  SetMessageBoxScript(nullptr);
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ("hello", calls[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), calls[0].type);
  EXPECT_EQ("Stop", calls[1].caption);
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), calls[1].type);  // a window's box keeps its type
  EXPECT_EQ("Windows 通信端口初始化失败。", calls[2].text);

  EXPECT_TRUE(AfxSocketInit());
  SetSocketStartupForTest(&FailingStartup);
  EXPECT_FALSE(AfxSocketInit());
  SetSocketStartupForTest(nullptr);

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
