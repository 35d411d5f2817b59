// The viewer dialog with the real control: what it reads from the settings
// file and hands to the control, what it shows and paints, its buttons.
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

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxScript([this](const MessageBoxCall& c) { boxes.push_back(c); return IDOK; });
    vt::WriteFileBytes(kIni, kBook);
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    DeleteFileA(kIni);
  }
  std::vector<MessageBoxCall> boxes;
};

TEST_F(ViewerTest, OpensOnTheLastAddressAndConnectsOnlyWithBoth) {
  struct Row {
    std::string ini, address, port, deviceIP;
    long devicePort;
  } const rows[] = {
      {kBook, "10.0.0.1", "8000", "10.0.0.1", 8000},  // no INDEX: slot 0
      {"[VELO_KEYWORDS]\r\nINDEX=3\r\nIP03=10.0.0.3\r\n", "10.0.0.3", "", "", 0},
      {"[VELO_KEYWORDS]\r\nINDEX=4\r\nPORT04=9000\r\n", "", "9000", "", 0},
      {"[VELO_KEYWORDS]\r\nINDEX=5\r\nIP05=127.0.0.1\r\nPORT05=40000\r\n", "127.0.0.1", "40000", "127.0.0.1", 40000},
      {"[VELO_KEYWORDS]\r\nINDEX=6\r\nIP06=127.0.0.1\r\nPORT06=70000\r\n", "127.0.0.1", "", "", 0},
      {kBook + "INDEX=-1\r\n", "", "", "", 0},
      {"", "", "", "", 0}};  // no file at all, and none is made
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ini);
    if (row.ini.empty()) DeleteFileA(kIni); else vt::WriteFileBytes(kIni, row.ini);
    Viewer dlg;
    dlg.steps.push_back([&](Viewer& v) {
      EXPECT_EQ(row.address, v.GetDlgItemText(IDC_VIEWER_ADDRESS));
      EXPECT_EQ(row.port, v.GetDlgItemText(IDC_VIEWER_PORT));
      EXPECT_EQ(row.deviceIP, v.m_dvrOcx.GetdeviceIP());
      EXPECT_EQ(row.devicePort, v.m_dvrOcx.GetDevicePort());
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(!row.ini.empty(), vt::FileExists(kIni));
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ViewerTest, OpensWithMenuIconsTheControlInPlaceAndItsLanguageWindowsHidden) {
  struct Probe : Viewer {
    HWND deep = nullptr, spaced = nullptr;
    BOOL OnInitDialog() override {
      CDialog::OnInitDialog();  // windows made inside the control before the viewer's own steps
      HWND box = CreateWindowA("STATIC", "box", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, m_dvrOcx.m_hWnd, nullptr, nullptr, nullptr);
      deep = CreateWindowA("BUTTON", "繁体中文", WS_CHILD | WS_VISIBLE, 0, 0, 9, 9, box, nullptr, nullptr, nullptr);
      spaced = CreateWindowA("BUTTON", "ENGLISH ", WS_CHILD | WS_VISIBLE, 0, 0, 9, 9, box, nullptr, nullptr, nullptr);
      return Viewer::OnInitDialog();
    }
  } dlg;
  dlg.steps.push_back([&](Viewer& v) {
    EXPECT_EQ("", v.GetWindowText());
    EXPECT_TRUE(GetWindowLongPtrA(v.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    HMENU menu = GetSystemMenu(v.m_hWnd, FALSE);
    const int n = GetMenuItemCount(menu);
    char text[256] = "";
    GetMenuStringA(menu, static_cast<UINT>(n - 1), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("关于 VELODvr(&A)...", text);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, n - 1));
    EXPECT_EQ(0u, GetMenuItemID(menu, n - 2));  // a separator
    EXPECT_NE(0, v.SendMessage(WM_GETICON, ICON_BIG));
    EXPECT_NE(0, v.SendMessage(WM_GETICON, ICON_SMALL));
    EXPECT_EQ(reinterpret_cast<LRESULT>(v.m_hIcon), v.SendMessage(WM_QUERYDRAGICON));
    // The control at its item's place with the extent of its saved state, enabled.
    RECT want = DialogUnits(v.m_hWnd, 8, 7, 669, 417), got = RectInParent(v.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(EqualRect(&want, &got));
    IOleObject* ole = nullptr;
    v.m_dvrOcx.GetControlSite()->GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    SIZEL extent{};
    ole->GetExtent(DVASPECT_CONTENT, &extent);
    ole->Release();
    EXPECT_EQ(26564, extent.cx);
    EXPECT_EQ(16563, extent.cy);
    EXPECT_TRUE(IsWindowEnabled(v.m_dvrOcx.m_hWnd));
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1010, 1012, 1013})
      EXPECT_FALSE(IsWindowVisible(v.GetDlgItem(id))) << id;
    // Exact captions are hidden at any depth; the rest of the control shows.
    for (int id : {3001, 3002, 3003}) EXPECT_FALSE(IsWindowVisible(GetDlgItem(v.m_dvrOcx.m_hWnd, id))) << id;
    EXPECT_FALSE(GetWindowLongPtrA(dlg.deep, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsWindowVisible(dlg.spaced));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(v.m_dvrOcx.m_hWnd, 3010)));
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ(nullptr, dlg.m_dvrOcx.m_hWnd);
  EXPECT_EQ(S_OK, DvrOcxCanUnloadNow());
  EXPECT_TRUE(boxes.empty()) << "the refused Enabled request is quiet";
}

// Every pixel outside the control is the frame grey; the control's own area is left alone.
void CheckFrame(CViewerDlg& v) {
  RECT c, r = RectInParent(v.m_dvrOcx.m_hWnd);
  v.GetClientRect(&c);
  HDC mem = CreateCompatibleDC(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), c.right, -c.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  DWORD* px = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&px), nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  for (LONG k = 0; k < c.right * c.bottom; ++k) px[k] = 0x010203;
  v.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem));
  GdiFlush();
  int wrong = 0;
  for (LONG y = 0; y < c.bottom; ++y)
    for (LONG x = 0; x < c.right; ++x) {
      const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      wrong += (px[y * c.right + x] & 0xFFFFFF) != (inside ? 0x010203u : 0xC8C8C8u);
    }
  EXPECT_EQ(0, wrong);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
}

TEST_F(ViewerTest, PaintsTheGreyFrameAroundTheControlAlsoMaximised) {
  Viewer dlg;
  RECT first{};
  dlg.steps.push_back([&](Viewer& v) {
    first = RectInParent(v.m_dvrOcx.m_hWnd);
    CheckFrame(v);
    v.ShowWindow(SW_MAXIMIZE);
  });
  dlg.steps.push_back([&](Viewer& v) {
    RECT now = RectInParent(v.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(IsZoomed(v.m_hWnd) && EqualRect(&first, &now));
    CheckFrame(v);
  });
  dlg.DoModal();
}

TEST_F(ViewerTest, SetIpPortStoresTheUnnumberedPairAndConnects) {
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
  });
  dlg.DoModal();
  EXPECT_EQ(before + "IP=192.168.5.5\r\nPORT=6001\r\n", vt::ReadFileBytes(kIni));
}

std::vector<MSG> g_pressed;
LRESULT CALLBACK CatchCaptionPress(int code, WPARAM w, LPARAM l) {
  MSG* m = reinterpret_cast<MSG*>(l);
  if (code >= 0 && w == PM_REMOVE && m->message == WM_NCLBUTTONDOWN) {
    g_pressed.push_back(*m);
    m->message = WM_NULL;  // no system move loop waiting for a held button
  }
  return CallNextHookEx(nullptr, code, w, l);
}

TEST_F(ViewerTest, HiddenButtonsTooltipsAndAPressOnTheFrame) {
  g_pressed.clear();
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, CatchCaptionPress, nullptr, GetCurrentThreadId());
  Viewer dlg;
  dlg.steps.push_back([&](Viewer& v) {
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON1, BN_CLICKED), 0);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("NoVisible", boxes[0].text);
    const int first = g_nCompanionShowCmd;  // button 1012 alternates its command
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED), 0);
    EXPECT_EQ(first == SW_HIDE ? SW_SHOW : SW_HIDE, g_nCompanionShowCmd);
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED), 0);
    EXPECT_EQ(first, g_nCompanionShowCmd);
    TOOLTIPTEXTA t{};
    t.hdr.code = TTN_NEEDTEXTA;
    t.hdr.idFrom = 1010;
    strcpy(t.szText, "unchanged");
    v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t));
    EXPECT_STREQ("unchanged", t.szText);  // a tool that is no window
    t.uFlags = TTF_IDISHWND;
    for (auto row : {std::make_pair(IDC_BUTTON1, "hello"), std::make_pair(IDC_BUTTON3, "hsi")}) {
      t.hdr.idFrom = reinterpret_cast<UINT_PTR>(v.GetDlgItem(row.first));
      v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t));
      EXPECT_STREQ(row.second, t.szText);
    }
    v.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
  });
  dlg.steps.push_back([&](Viewer& v) {
    ASSERT_EQ(1u, g_pressed.size());
    EXPECT_EQ(v.m_hWnd, g_pressed[0].hwnd);
    EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), g_pressed[0].wParam);
    EXPECT_EQ(MAKELPARAM(3, 5), g_pressed[0].lParam);
  });
  dlg.DoModal();
  UnhookWindowsHookEx(hook);
}

int g_aboutSeen = 0;
void CALLBACK AnswerAbout(HWND owner, UINT, UINT_PTR, DWORD) {
  HWND about = FindWindowA("#32770", "关于 VELODvr");
  if (!about || !IsWindowVisible(about)) return;
  KillTimer(owner, 99);
  std::vector<std::string> texts;
  for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    char t[200] = "";
    GetWindowTextA(c, t, sizeof(t));
    texts.push_back(t);
  }
  EXPECT_EQ(owner, GetWindow(about, GW_OWNER));
  EXPECT_EQ(4u, texts.size());  // the icon, the name, the copyright, OK
  if (texts.size() == 4) {
    EXPECT_EQ("VELODvr 1.0 版", texts[1]);
    EXPECT_NE(std::string::npos, texts[2].find("2026"));
    EXPECT_EQ("确定", texts[3]);
  }
  ++g_aboutSeen;
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(ViewerTest, AboutBoxFromEverySystemCommandOfItsRange) {
  g_aboutSeen = 0;
  Viewer dlg;
  CWinApp app;  // the viewer is the main window, which owns the About box
  app.m_pMainWnd = &dlg;
  for (UINT cmd = 0x0010; cmd <= 0x001F; ++cmd)  // the low four bits do not matter
    dlg.steps.push_back([cmd](Viewer& v) {
      SetTimer(v.m_hWnd, 99, 30, AnswerAbout);
      v.SendMessage(WM_SYSCOMMAND, cmd, 0);
    });
  dlg.DoModal();
  EXPECT_EQ(16, g_aboutSeen);
}

}  // namespace
