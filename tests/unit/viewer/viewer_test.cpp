// The viewer dialog with the real control: what it reads and hands to the
// control, what it paints, its system menu, its hidden buttons.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "occ_test_support.h"
#include "res/resource.h"
#include "viewer/viewerdlg.h"

namespace occtest {
extern HMODULE g_hDvrOcxModule;
}

namespace {

using occtest::Describe;
using occtest::DialogUnitsRect;
using occtest::RectInParent;

const char kIni[] = ".\\QlUserCfg.ini";

// A viewer that runs a list of steps once it is up, then closes.
using TestViewer = occtest::TStepDialog<CViewerDlg>;

void WriteIni(const std::string& text) {
  HANDLE h = CreateFileA(kIni, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(h);
}

std::string ReadIni() {
  std::string out;
  HANDLE h = CreateFileA(kIni, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) out.append(buf, n);
  CloseHandle(h);
  return out;
}

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(nullptr, occtest::g_hDvrOcxModule);
    SetMessageBoxScript([this](const MessageBoxCall& c) {
      boxes.push_back(c);
      return IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    DeleteFileA(kIni);
  }
  std::vector<MessageBoxCall> boxes;
};

struct Opened {
  std::string address, port;  // texts of the hidden fields 1005 and 1007
  std::string deviceIP;       // what the control holds after opening
  long devicePort = -1;
  std::string memberAddress;
  int memberPort = -1;
};

Opened OpenOn(const std::string& ini) {
  WriteIni(ini);
  Opened o;
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) {
    o.address = v.GetDlgItemText(IDC_VIEWER_ADDRESS);
    o.port = v.GetDlgItemText(IDC_VIEWER_PORT);
    o.deviceIP = v.m_dvrOcx.GetdeviceIP();
    o.devicePort = v.m_dvrOcx.GetDevicePort();
    o.memberAddress = v.m_strAddress;
    o.memberPort = v.m_nPort;
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  return o;
}

const std::string kBook = "[VELO_KEYWORDS]\r\nCOUNT=2\r\nIP00=10.0.0.1\r\nPORT00=8000\r\n";

TEST_F(Viewer, LoadLastAddressCases) {
  // No INDEX: slot 0, and the control is connected to it.
  Opened o = OpenOn(kBook);
  EXPECT_EQ("10.0.0.1", o.address);
  EXPECT_EQ("8000", o.port);
  EXPECT_EQ("10.0.0.1", o.deviceIP);
  EXPECT_EQ(8000, o.devicePort);

  // An address without a port: shown, kept, but no connect call.
  o = OpenOn("[VELO_KEYWORDS]\r\nINDEX=3\r\nIP03=10.0.0.3\r\n");
  EXPECT_EQ("10.0.0.3", o.address);
  EXPECT_EQ("", o.port);
  EXPECT_EQ("10.0.0.3", o.memberAddress);
  EXPECT_EQ("", o.deviceIP);
  EXPECT_EQ(0, o.devicePort);

  // A port without an address: shown, kept, no connect call.
  o = OpenOn("[VELO_KEYWORDS]\r\nINDEX=4\r\nPORT04=9000\r\n");
  EXPECT_EQ("", o.address);
  EXPECT_EQ("9000", o.port);
  EXPECT_EQ(9000, o.memberPort);
  EXPECT_EQ("", o.deviceIP);

  // 40000 travels as the 16-bit -25536 and reaches the control as 40000.
  o = OpenOn("[VELO_KEYWORDS]\r\nINDEX=5\r\nIP05=127.0.0.1\r\nPORT05=40000\r\n");
  EXPECT_EQ("40000", o.port);
  EXPECT_EQ(40000, o.memberPort);
  EXPECT_EQ("127.0.0.1", o.deviceIP);
  EXPECT_EQ(40000, o.devicePort);

  // 70000 is no port: nothing shown, no connect (its low 16 bits, 4464,
  // would reach a different port).
  o = OpenOn("[VELO_KEYWORDS]\r\nINDEX=6\r\nIP06=127.0.0.1\r\nPORT06=70000\r\n");
  EXPECT_EQ("127.0.0.1", o.address);
  EXPECT_EQ("", o.port);
  EXPECT_EQ(0, o.memberPort);
  EXPECT_EQ("", o.deviceIP);
  EXPECT_EQ(0, o.devicePort);

  // INDEX -1 (after a Delete whose first entry was not found): no entry.
  o = OpenOn(kBook + "INDEX=-1\r\n");
  EXPECT_EQ("", o.address);
  EXPECT_EQ("", o.port);
  EXPECT_EQ("", o.deviceIP);

  // No settings file at all: nothing, and nothing is created.
  DeleteFileA(kIni);
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) { EXPECT_EQ("", v.m_dvrOcx.GetdeviceIP()); });
  dlg.DoModal();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(kIni));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Viewer, OpeningSetsMenuIconsAndHidesOnlyTheLanguageWindows) {
  WriteIni(kBook);
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) {
    EXPECT_EQ("", v.GetWindowText());
    EXPECT_TRUE(GetWindowLongPtrA(v.m_hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // The About entry after a separator, at the end of the system menu.
    HMENU menu = GetSystemMenu(v.m_hWnd, FALSE);
    int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    MENUITEMINFOA sep{};
    sep.cbSize = sizeof(sep);
    sep.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(menu, static_cast<UINT>(n - 2), TRUE, &sep);
    EXPECT_TRUE(sep.fType & MFT_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, n - 1));
    char text[256] = "";
    GetMenuStringA(menu, static_cast<UINT>(n - 1), text, sizeof(text), MF_BYPOSITION);
    EXPECT_STREQ("关于 VELODvr(&A)...", text);
    // Icon 132 big and small; 128 is the drag icon.
    EXPECT_NE(0, v.SendMessage(WM_GETICON, ICON_BIG));
    EXPECT_NE(0, v.SendMessage(WM_GETICON, ICON_SMALL));
    EXPECT_EQ(reinterpret_cast<LRESULT>(v.m_hIcon), v.SendMessage(WM_QUERYDRAGICON));
    // The control fills all but the frame; the hidden items stay hidden.
    RECT want = DialogUnitsRect(v.m_hWnd, 8, 7, 669, 417);
    RECT got = RectInParent(v.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(EqualRect(&want, &got)) << Describe(want) << Describe(got);
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1010, 1012, 1013})
      EXPECT_FALSE(IsWindowVisible(v.GetDlgItem(id))) << id;
    // The control stays enabled: the Enabled request failed and was ignored.
    EXPECT_TRUE(IsWindowEnabled(v.m_dvrOcx.m_hWnd));
    // Its language windows are hidden, every other window of it is not.
    int hidden = 0, shown = 0;
    for (HWND c = GetWindow(v.m_dvrOcx.m_hWnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      char caption[200] = "";
      GetWindowTextA(c, caption, sizeof(caption));
      std::string s = caption;
      bool language = s == "ENGLISH" || s == "简体中文" || s == "繁体中文";
      if (language) {
        ++hidden;
        EXPECT_FALSE(GetWindowLongPtrA(c, GWL_STYLE) & WS_VISIBLE) << s;
      } else if (GetWindowLongPtrA(c, GWL_STYLE) & WS_VISIBLE) {
        ++shown;
      }
    }
    EXPECT_EQ(3, hidden);
    EXPECT_GT(shown, 0);
  });
  dlg.DoModal();
  // The Enabled request failed quietly: no message.
  EXPECT_TRUE(boxes.empty());
}

// A window of the given caption inside the control, at some depth, to see
// that only the exact language captions are hidden.
TEST_F(Viewer, LanguageWindowsAreFoundAtAnyDepthByExactCaption) {
  WriteIni(kBook);
  struct Probe : TestViewer {
    HWND deep = nullptr, english = nullptr, trailing = nullptr, lower = nullptr;
    BOOL OnInitDialog() override {
      // Made before the viewer's own initialisation hides its windows.
      CDialog::OnInitDialog();
      HWND box = CreateWindowA("STATIC", "box", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, m_dvrOcx.m_hWnd, nullptr,
                               nullptr, nullptr);
      HWND inner = CreateWindowA("STATIC", "inner", WS_CHILD | WS_VISIBLE, 0, 0, 40, 40, box, nullptr, nullptr,
                                 nullptr);
      deep = CreateWindowA("BUTTON", "繁体中文", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, inner, nullptr, nullptr, nullptr);
      english = CreateWindowA("BUTTON", "English", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, inner, nullptr, nullptr,
                              nullptr);
      trailing = CreateWindowA("BUTTON", "ENGLISH ", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, box, nullptr, nullptr,
                               nullptr);
      lower = CreateWindowA("BUTTON", "简体中文 ", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, box, nullptr, nullptr, nullptr);
      // Now the viewer's own steps, as they run after the base initialisation.
      return TestViewer::OnInitDialog();
    }
  } dlg;
  dlg.steps.push_back([&](TestViewer&) {
    EXPECT_FALSE(GetWindowLongPtrA(dlg.deep, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongPtrA(dlg.english, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongPtrA(dlg.trailing, GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(GetWindowLongPtrA(dlg.lower, GWL_STYLE) & WS_VISIBLE);
  });
  dlg.DoModal();
}

// Pixels of what WM_ERASEBKGND paints into a memory DC of the client size.
std::vector<COLORREF> ErasedPixels(CViewerDlg& v, const RECT& client) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  // Mark everything first, so what is left unpainted shows.
  RECT all = client;
  HBRUSH marker = CreateSolidBrush(RGB(1, 2, 3));
  FillRect(mem, &all, marker);
  DeleteObject(marker);
  v.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem));
  GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  std::vector<COLORREF> px(p, p + client.right * client.bottom);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return px;
}

void CheckFrame(CViewerDlg& v) {
  RECT c;
  v.GetClientRect(&c);
  RECT r = RectInParent(v.m_dvrOcx.m_hWnd);
  std::vector<COLORREF> px = ErasedPixels(v, c);
  const DWORD grey = 0xC8C8C8, marker = 0x010203;  // DIB order 0xRRGGBB
  size_t wrongFrame = 0, wrongControl = 0;
  for (int y = 0; y < c.bottom; ++y)
    for (int x = 0; x < c.right; ++x) {
      DWORD p = px[static_cast<size_t>(y * c.right + x)] & 0xFFFFFF;
      bool inControl = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      if (inControl)
        wrongControl += p != marker;
      else
        wrongFrame += p != grey;
    }
  EXPECT_EQ(0u, wrongFrame) << "frame pixels not RGB(200,200,200)";
  EXPECT_EQ(0u, wrongControl) << "the control's own area was painted";
}

TEST_F(Viewer, GreyFramePaintedAroundTheControlAlsoMaximised) {
  WriteIni(kBook);
  TestViewer dlg;
  RECT templateRect{};
  dlg.steps.push_back([&](TestViewer& v) {
    templateRect = RectInParent(v.m_dvrOcx.m_hWnd);
    CheckFrame(v);
    v.ShowWindow(SW_MAXIMIZE);
  });
  dlg.steps.push_back([&](TestViewer& v) {
    EXPECT_TRUE(IsZoomed(v.m_hWnd));
    RECT now = RectInParent(v.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(EqualRect(&templateRect, &now)) << Describe(now);
    CheckFrame(v);
  });
  dlg.DoModal();
}

TEST_F(Viewer, SetIpPortStoresTheUnnumberedPairAndConnects) {
  const std::string before = "[Language]\r\nLang=0\r\n" + kBook + "INDEX=0\r\n";
  WriteIni(before);
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) {
    // One field empty: nothing written.
    v.SetDlgItemText(IDC_VIEWER_ADDRESS, "192.168.5.5");
    v.SetDlgItemText(IDC_VIEWER_PORT, "");
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SET_IP_PORT, BN_CLICKED), 0);
    EXPECT_EQ(before, ReadIni());
    // Both filled: IP and PORT in VELO_KEYWORDS, the control is pointed there.
    v.SetDlgItemText(IDC_VIEWER_PORT, "6001");
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SET_IP_PORT, BN_CLICKED), 0);
    EXPECT_EQ("192.168.5.5", v.m_dvrOcx.GetdeviceIP());
    EXPECT_EQ(6001, v.m_dvrOcx.GetDevicePort());
    EXPECT_EQ("192.168.5.5", v.m_strAddress);
    EXPECT_EQ(6001, v.m_nPort);
  });
  dlg.DoModal();
  EXPECT_EQ(before + "IP=192.168.5.5\r\nPORT=6001\r\n", ReadIni());
}

TEST_F(Viewer, HiddenButtonsAndTooltips) {
  WriteIni(kBook);
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) {
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON1, BN_CLICKED), 0);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("NoVisible", boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK), boxes[0].type & MB_TYPEMASK);
    // Button 1012 only alternates its command.
    int first = g_nCompanionShowCmd;
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED), 0);
    EXPECT_EQ(first == SW_HIDE ? SW_SHOW : SW_HIDE, g_nCompanionShowCmd);
    v.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BUTTON2, BN_CLICKED), 0);
    EXPECT_EQ(first, g_nCompanionShowCmd);
    // Tooltip requests: a tool that is not a window is declined.
    TOOLTIPTEXTA t{};
    t.hdr.code = TTN_NEEDTEXTA;
    t.hdr.idFrom = 1010;
    strcpy(t.szText, "unchanged");
    EXPECT_EQ(0, v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t)));
    EXPECT_STREQ("unchanged", t.szText);
    t.uFlags = TTF_IDISHWND;
    t.hdr.idFrom = reinterpret_cast<UINT_PTR>(v.GetDlgItem(IDC_BUTTON1));
    v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t));
    EXPECT_STREQ("hello", t.szText);
    t.hdr.idFrom = reinterpret_cast<UINT_PTR>(v.GetDlgItem(IDC_BUTTON3));
    v.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&t));
    EXPECT_STREQ("hsi", t.szText);
  });
  dlg.DoModal();
}

TEST_F(Viewer, PressOnTheFrameStartsAMoveButNotOnTheControl) {
  WriteIni(kBook);
  // Watch for the caption press the viewer posts to itself.
  static std::vector<MSG> seen;
  seen.clear();
  struct Hook {
    static LRESULT CALLBACK Proc(int code, WPARAM w, LPARAM l) {
      const MSG* m = reinterpret_cast<const MSG*>(l);
      if (code >= 0 && m->message == WM_NCLBUTTONDOWN && w == PM_REMOVE) {
        seen.push_back(*m);
        // Without a held mouse button the system's move loop would wait
        // for one: the press itself is what this test looks at.
        const_cast<MSG*>(m)->message = WM_NULL;
      }
      return CallNextHookEx(nullptr, code, w, l);
    }
  };
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, &Hook::Proc, nullptr, GetCurrentThreadId());
  TestViewer dlg;
  dlg.steps.push_back([&](TestViewer& v) {
    // A press on the control's own area goes to the control, not the dialog.
    RECT r = RectInParent(v.m_dvrOcx.m_hWnd);
    POINT inControl{r.left + 100, r.top + 100};
    HWND target = ChildWindowFromPointEx(v.m_hWnd, inControl, CWP_SKIPINVISIBLE);
    EXPECT_EQ(v.m_dvrOcx.m_hWnd, target);
    // A press on the grey frame is turned into a caption press at that point.
    v.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 5));
  });
  dlg.steps.push_back([&](TestViewer& v) {
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(v.m_hWnd, seen[0].hwnd);
    EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), seen[0].wParam);
    EXPECT_EQ(MAKELPARAM(3, 5), seen[0].lParam);
  });
  dlg.DoModal();
  UnhookWindowsHookEx(hook);
}

// While the About box runs its own modal loop, a timer of the viewer looks
// at it the way the operator would and presses its OK button.
int g_aboutOpened = 0;

void CALLBACK InspectAbout(HWND owner, UINT, UINT_PTR, DWORD) {
  HWND about = FindWindowA("#32770", "关于 VELODvr");
  if (!about || !IsWindowVisible(about)) return;
  KillTimer(owner, 99);
  std::vector<std::string> texts;
  bool icon = false;
  for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char t[200] = "";
    GetWindowTextA(child, t, sizeof(t));
    texts.push_back(t);
    if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      icon = icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
  }
  EXPECT_TRUE(icon);
  EXPECT_EQ(owner, GetWindow(about, GW_OWNER));
  EXPECT_EQ(4u, texts.size());
  if (texts.size() == 4) {
    EXPECT_EQ("VELODvr 1.0 版", texts[1]);
    EXPECT_NE(std::string::npos, texts[2].find("2026"));
    EXPECT_EQ("确定", texts[3]);
  }
  ++g_aboutOpened;
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(Viewer, AboutBoxFromEverySystemCommandOfItsRange) {
  WriteIni(kBook);
  g_aboutOpened = 0;
  TestViewer dlg;
  // As in the program, the viewer is the application's main window, which
  // owns the About box.
  CWinApp app;
  app.m_pMainWnd = &dlg;
  // The low four bits of the command do not matter.
  for (UINT cmd = 0x0010; cmd <= 0x001F; ++cmd) {
    dlg.steps.push_back([cmd](TestViewer& v) {
      SetTimer(v.m_hWnd, 99, 30, &InspectAbout);
      v.SendMessage(WM_SYSCOMMAND, cmd, 0);
    });
  }
  dlg.DoModal();
  EXPECT_EQ(16, g_aboutOpened);
}

}  // namespace
