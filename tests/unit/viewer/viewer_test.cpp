// The viewer dialog with the real control (built into occ_test): what it reads and hands
// to the control, what it shows and paints, its buttons.
#include <winsock2.h>
#include <gtest/gtest.h>
#include <commctrl.h>

#include "occ/occ_test.h"
#include "res/resource.h"
#include "tests/support/support.h"
#include "viewer/viewerdlg.h"

namespace {

using Viewer = TStepDialog<CViewerDlg>;
const char kIni[] = ".\\QlUserCfg.ini";
const std::string kBook = "[VELO_KEYWORDS]\r\nCOUNT=2\r\nIP00=10.0.0.1\r\nPORT00=8000\r\n";

struct ViewerTest : ::testing::Test {
  void SetUp() override {
    SetMessageBoxScript([this](const MessageBoxCall& c) { return boxes.push_back(c), IDOK; });
    vt::WriteFileBytes(kIni, kBook);
  }
  void TearDown() override { SetMessageBoxScript(nullptr), DeleteFileA(kIni); }
  std::vector<MessageBoxCall> boxes;
};

TEST_F(ViewerTest, OpensOnTheLastAddressAndConnectsOnlyWithBoth) {
  // {the file, then what the boxes show and what the control was given: address|port|address|port}
  const std::string k = "[VELO_KEYWORDS]\r\nINDEX=";
  using R = std::pair<std::string, std::string>;
  for (const R& row : {R(kBook, "10.0.0.1|8000|10.0.0.1|8000"),  // no INDEX: slot 0
                       R(k + "3\r\nIP03=10.0.0.3\r\n", "10.0.0.3|||0"), R(k + "4\r\nPORT04=9000\r\n", "|9000||0"),
                       R(k + "5\r\nIP05=127.0.0.1\r\nPORT05=40000\r\n", "127.0.0.1|40000|127.0.0.1|40000"),
                       R(k + "6\r\nIP06=127.0.0.1\r\nPORT06=70000\r\n", "127.0.0.1|||0"),
                       R(kBook + "INDEX=-1\r\n", "|||0"), R("", "|||0")}) {  // the last: no file, and none is made
    row.first.empty() ? (void)DeleteFileA(kIni) : (void)vt::WriteFileBytes(kIni, row.first);
    Viewer dlg;
    dlg.steps.push_back([&](Viewer& v) {
      EXPECT_EQ(row.second, v.GetDlgItemText(IDC_VIEWER_ADDRESS) + "|" + v.GetDlgItemText(IDC_VIEWER_PORT) + "|" +
                                v.m_dvrOcx.GetdeviceIP() + "|" + std::to_string(v.m_dvrOcx.GetDevicePort()))
          << row.first;
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(!row.first.empty(), vt::FileExists(kIni));
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewerTest, OpensWithItsMenuTheControlInPlaceAndTheLanguageWindowsHidden) {
  struct Probe : Viewer {
    HWND deep = nullptr, spaced = nullptr;
    BOOL OnInitDialog() override {
      CDialog::OnInitDialog();  // windows inside the control, made before the viewer's own steps
      HWND box = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, m_dvrOcx.m_hWnd, 0, 0, 0);
      deep = CreateWindowA("BUTTON", "繁体中文", WS_CHILD | WS_VISIBLE, 0, 0, 9, 9, box, 0, 0, 0);
      spaced = CreateWindowA("BUTTON", "ENGLISH ", WS_CHILD | WS_VISIBLE, 0, 0, 9, 9, box, 0, 0, 0);
      return Viewer::OnInitDialog();
    }
  } dlg;
  dlg.steps.push_back([&](Viewer& v) {
    EXPECT_TRUE(v.GetWindowText().empty() && (GetWindowLongPtrA(v.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW));
    HMENU menu = GetSystemMenu(v.m_hWnd, FALSE);
    const int n = GetMenuItemCount(menu);
    char text[256] = "";
    GetMenuStringA(menu, static_cast<UINT>(n - 1), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("关于 VELODvr(&A)...", text);
    EXPECT_TRUE(GetMenuItemID(menu, n - 1) == IDM_ABOUTBOX && GetMenuItemID(menu, n - 2) == 0) << "after a separator";
    EXPECT_TRUE(v.SendMessage(WM_GETICON, ICON_BIG) && v.SendMessage(WM_GETICON, ICON_SMALL));
    EXPECT_EQ(reinterpret_cast<LRESULT>(v.m_hIcon), v.SendMessage(WM_QUERYDRAGICON));
    RECT want = DialogUnits(v.m_hWnd, 8, 7, 669, 417), got = RectInParent(v.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(EqualRect(&want, &got) && IsWindowEnabled(v.m_dvrOcx.m_hWnd));
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1010, 1012, 1013})
      EXPECT_FALSE(IsWindowVisible(v.GetDlgItem(id))) << id;
    for (int id : {3001, 3002, 3003}) EXPECT_FALSE(IsWindowVisible(GetDlgItem(v.m_dvrOcx.m_hWnd, id))) << id;
    EXPECT_FALSE(GetWindowLongPtrA(dlg.deep, GWL_STYLE) & WS_VISIBLE);  // exact captions, at any depth
    EXPECT_TRUE(IsWindowVisible(dlg.spaced) && IsWindowVisible(GetDlgItem(v.m_dvrOcx.m_hWnd, 3010)));
    v.PostMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0xF);  // the low four bits are the system's
  });
  dlg.steps.push_back([&](Viewer& v) {  // in the About box's modal loop, owned by the main window
    HWND about = GetForegroundWindow();
    EXPECT_TRUE(GetWindow(about, GW_OWNER) == v.m_hWnd && WindowTextOf(about) == "关于 VELODvr");
    if (about != v.m_hWnd) PostMessageA(about, WM_COMMAND, IDOK, 0);
  });
  CWinApp app;
  app.m_pMainWnd = &dlg;
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ(S_OK, DvrOcxCanUnloadNow());
  EXPECT_TRUE(boxes.empty()) << "the refused Enabled request is quiet";
}

// Every pixel outside the control is the frame grey; the control's own area is left alone.
void CheckFrame(CViewerDlg& v) {
  RECT c, r = RectInParent(v.m_dvrOcx.m_hWnd);
  v.GetClientRect(&c);
  vt::Canvas canvas(c.right, c.bottom);
  v.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()));
  EXPECT_EQ(0, canvas.Wrong([&](int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom ? canvas.before(x, y) : 0xC8C8C8u;
  }));
}

std::vector<MSG> g_pressed;
LRESULT CALLBACK CatchCaptionPress(int code, WPARAM w, LPARAM l) {
  MSG* m = reinterpret_cast<MSG*>(l);
  if (code >= 0 && w == PM_REMOVE && m->message == WM_NCLBUTTONDOWN)
    g_pressed.push_back(*m), m->message = WM_NULL;  // no system move loop waiting for a held button
  return CallNextHookEx(nullptr, code, w, l);
}

TEST_F(ViewerTest, PaintsTheFrameAlsoMaximisedAndAPressOnItMovesTheWindow) {
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, CatchCaptionPress, nullptr, GetCurrentThreadId());
  Viewer dlg;
  dlg.steps.push_back([&](Viewer& v) {
    CheckFrame(v);
    v.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
    v.SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE);  // not the About box's
  });
  dlg.steps.push_back([&](Viewer& v) {
    EXPECT_TRUE(IsZoomed(v.m_hWnd));
    CheckFrame(v);
    ASSERT_EQ(1u, g_pressed.size());
    EXPECT_TRUE(g_pressed[0].hwnd == v.m_hWnd && g_pressed[0].wParam == HTCAPTION);
    EXPECT_EQ(MAKELPARAM(3, 5), g_pressed[0].lParam);
  });
  dlg.DoModal();
  UnhookWindowsHookEx(hook);
}

TEST_F(ViewerTest, SetIpPortStoresTheUnnumberedPairAndConnectsAndTheHiddenButtonsAnswer) {
  const std::string before = "[Language]\r\nLang=0\r\n" + kBook + "INDEX=0\r\n";
  vt::WriteFileBytes(kIni, before);
  Viewer dlg;
  dlg.steps.push_back([&](Viewer& v) {
    v.SetDlgItemText(IDC_VIEWER_ADDRESS, "192.168.5.5");
    v.SetDlgItemText(IDC_VIEWER_PORT, "");
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SET_IP_PORT, BN_CLICKED), 0);
    EXPECT_EQ(before, vt::ReadFileBytes(kIni));  // one field empty: nothing
    v.SetDlgItemText(IDC_VIEWER_PORT, "6001");
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SET_IP_PORT, BN_CLICKED), 0);
    EXPECT_EQ("192.168.5.5", v.m_dvrOcx.GetdeviceIP());
    EXPECT_EQ(6001, v.m_dvrOcx.GetDevicePort());
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON1, BN_CLICKED), 0);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("NoVisible", boxes[0].text);
    const int first = g_nCompanionShowCmd;  // button 1012 alternates its command
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED), 0);
    EXPECT_EQ(first == SW_HIDE ? SW_SHOW : SW_HIDE, g_nCompanionShowCmd);
    // A tool that is no window is left alone; the others get their texts.
    using Tip = std::tuple<UINT, int, const char*>;
    for (auto [flags, id, text] :
         {Tip(0, 1010, ""), Tip(TTF_IDISHWND, IDC_BUTTON1, "hello"), Tip(TTF_IDISHWND, IDC_BUTTON3, "hsi")}) {
      TOOLTIPTEXTA t{};
      t.hdr.code = TTN_NEEDTEXTA, t.uFlags = flags;
      t.hdr.idFrom = flags ? reinterpret_cast<UINT_PTR>(v.GetDlgItem(id)) : 1010;
      EXPECT_STREQ(text, (v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t)), t.szText));
    }
  });
  dlg.DoModal();
  EXPECT_EQ(before + "IP=192.168.5.5\r\nPORT=6001\r\n", vt::ReadFileBytes(kIni));
}

}  // namespace
