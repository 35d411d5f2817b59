// The skin button in real windows: sizing, the frame chosen for each state,
// hover tracking, double-clicks and GDI use, with faces read back from
// memory DCs and from the screen.
#include "ui/skin/skinbutton.h"

#include <gtest/gtest.h>

#include "res/resource.h"
#include "tests/unit/skin/skin_test_util.h"
#include "tests/unit/skin/test_strips.h"

using skintest::Canvas;
using skintest::LoadStripImage;
using skintest::Owner;
using skintest::Pixel;
using skintest::Pump;
using skintest::PumpUntil;
using skintest::RectInParent;
using skintest::StripImage;

namespace {

const COLORREF kBlueKey = 0xFF0000;
const int kNoPaint = -1;    // the face is what was there before
const int kOtherFace = -2;  // something, but no frame of the strip

// A skin button that lets the test read its state and see the messages it
// gets; everything else is the button's own.
class ProbeButton : public CSkinButton {
 public:
  int hover() const { return m_bHover; }
  int tracking() const { return m_bTracking; }
  int Seen(UINT msg) const {
    int n = 0;
    for (UINT m : seen)
      if (m == msg) ++n;
    return n;
  }
  std::vector<UINT> seen;

  BEGIN_MSG_MAP(ProbeButton)
  MESSAGE_HANDLER(WM_ERASEBKGND, OnSeen)
  MESSAGE_HANDLER(WM_MOUSEMOVE, OnSeen)
  MESSAGE_HANDLER(WM_MOUSEHOVER, OnSeen)
  MESSAGE_HANDLER(WM_MOUSELEAVE, OnSeen)
  CHAIN_MSG_MAP(CSkinButton)
  END_MSG_MAP()

  LRESULT OnSeen(UINT uMsg, WPARAM, LPARAM, BOOL& bHandled) {
    seen.push_back(uMsg);
    bHandled = FALSE;
    return 0;
  }
};

// Which frame of img fills a w x h face at the canvas origin.
int FrameOnCanvas(const Canvas& c, const std::vector<Pixel>& before, const StripImage& img, int w) {
  for (int k = 0; k < 4; ++k) {
    bool same = true;
    for (int y = 0; y < img.height && same; ++y)
      for (int x = 0; x < w && same; ++x) same = c.at(x, y) == img.at(k * w + x, y);
    if (same) return k;
  }
  return c.Snapshot() == before ? kNoPaint : kOtherFace;
}

// Paints through the system: WM_PRINTCLIENT makes the button send
// WM_DRAWITEM to its owner, which passes it back to the button object.
int PrintedFrame(HWND button, const StripImage& img, int w = 80) {
  Canvas c(90, 30);
  c.FillPattern();
  const std::vector<Pixel> before = c.Snapshot();
  ::SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.hdc()), PRF_CLIENT);
  return FrameOnCanvas(c, before, img, w);
}

// Calls DrawItem with a record as the system fills it for an owner-drawn button.
int DrawnFrame(CSkinButton& button, UINT itemState, const StripImage& img) {
  Canvas c(90, 30);
  c.FillPattern();
  const std::vector<Pixel> before = c.Snapshot();
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = static_cast<UINT>(button.GetDlgCtrlID());
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = itemState;
  dis.hwndItem = button.m_hWnd;
  dis.hDC = c.hdc();
  button.GetClientRect(&dis.rcItem);
  button.DrawItem(&dis);
  return FrameOnCanvas(c, before, img, 80);
}

// The button as it stands on the screen, frame by frame.
int ScreenFrame(HWND button, const StripImage& img) {
  ::UpdateWindow(button);
  Canvas c(80, 24);
  HDC screen = ::GetDC(button);
  ::BitBlt(c.hdc(), 0, 0, 80, 24, screen, 0, 0, SRCCOPY);
  ::ReleaseDC(button, screen);
  return FrameOnCanvas(c, std::vector<Pixel>(), img, 80);
}

void MouseMsg(HWND h, UINT msg, int x = 10, int y = 10, WPARAM keys = 0) {
  ::SendMessageA(h, msg, keys, MAKELPARAM(x, y));
}

POINT CentreOnScreen(HWND h) {
  RECT rc;
  ::GetWindowRect(h, &rc);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// Puts the pointer somewhere and lets the system catch up with it.
void MovePointer(POINT pt) {
  ::SetCursorPos(pt.x, pt.y);
  PumpUntil(
      [&] {
        POINT now;
        return ::GetCursorPos(&now) && now.x == pt.x && now.y == pt.y;
      },
      1000);
  ::Sleep(30);
  Pump();
}

TRACKMOUSEEVENT TrackingInForce() {
  TRACKMOUSEEVENT q{};
  q.cbSize = sizeof(q);
  q.dwFlags = TME_QUERY;
  ::TrackMouseEvent(&q);
  return q;
}

void CancelTracking(HWND h) {
  TRACKMOUSEEVENT c{};
  c.cbSize = sizeof(c);
  c.dwFlags = TME_CANCEL | TME_HOVER | TME_LEAVE;
  c.hwndTrack = h;
  ::TrackMouseEvent(&c);
}

class SkinButtonTest : public ::testing::Test {
 protected:
  SkinButtonTest() : owner(300, 200, 320, 200), img159(LoadStripImage(159)) {}

  // Binds a template-made push button the way the start-up dialog does:
  // subclass, add BS_OWNERDRAW, then give it a strip.
  void Bind(CSkinButton& b, int id, int x = 13, int y = 21) {
    HWND h = owner.AddButton(id, x, y);
    ASSERT_NE(nullptr, h);
    ASSERT_TRUE(b.SubclassWindow(h));
    b.ModifyStyle(0, BS_OWNERDRAW);
  }

  void TearDown() override { MovePointer(POINT{5, 5}); }

  Owner owner;
  StripImage img159;
};

}  // namespace

TEST_F(SkinButtonTest, SetBitmapSizesTheButtonToOneFrameKeepingItsTopLeft) {
  const UINT ids[] = {149, 151, 153, 156, 157, 158, 159, 160, 161,
                      162, 163, 164, 165, 167, 168, 169, 170, 171};
  int n = 0;
  for (UINT id : ids) {
    SCOPED_TRACE(id);
    CSkinButton b;
    const int x = 7 + (n % 3) * 90, y = 5 + (n / 3) * 30;
    ++n;
    Bind(b, 2000 + static_cast<int>(id), x, y);
    b.SetBitmap(id, kBlueKey);
    const RECT rc = RectInParent(b);
    EXPECT_EQ(x, rc.left);
    EXPECT_EQ(y, rc.top);
    EXPECT_EQ(80, rc.right - rc.left);
    EXPECT_EQ(24, rc.bottom - rc.top);
    EXPECT_EQ(0, PrintedFrame(b, LoadStripImage(id)));
    ::DestroyWindow(b);
  }
}

TEST_F(SkinButtonTest, SetBitmapAgainReplacesTheStripAndFreesTheOldOne) {
  CSkinButton b;
  Bind(b, 1022, 31, 17);
  b.SetBitmap(159, kBlueKey);
  EXPECT_EQ(0, PrintedFrame(b, img159));

  b.SetBitmap(160, kBlueKey);
  EXPECT_EQ(0, PrintedFrame(b, LoadStripImage(160)));
  EXPECT_NE(0, PrintedFrame(b, img159));

  // A smaller strip resizes again, still from the same corner.
  b.SetBitmap(IDB_TEST_ODD_WIDTH, kBlueKey);
  RECT rc = RectInParent(b);
  EXPECT_EQ(31, rc.left);
  EXPECT_EQ(17, rc.top);
  EXPECT_EQ(4, rc.right - rc.left) << "19 columns make frames of 4";
  EXPECT_EQ(2, rc.bottom - rc.top);
  EXPECT_EQ(0, PrintedFrame(b, LoadStripImage(IDB_TEST_ODD_WIDTH), 4));

  // The new key colour is taken too: with grey as key the corners let the
  // background through, so the face is no longer the plain frame.
  b.SetBitmap(159, RGB(200, 200, 200));
  EXPECT_EQ(kOtherFace, PrintedFrame(b, img159));
  b.SetBitmap(159, kBlueKey);
  EXPECT_EQ(0, PrintedFrame(b, img159));
  rc = RectInParent(b);
  EXPECT_EQ(31, rc.left);
  EXPECT_EQ(17, rc.top);
  EXPECT_EQ(80, rc.right - rc.left);

  const unsigned held = skintest::GdiObjectCount();
  for (int i = 0; i < 100; ++i) b.SetBitmap(156 + i % 6, kBlueKey);
  b.SetBitmap(159, kBlueKey);
  EXPECT_EQ(held, skintest::GdiObjectCount()) << "each SetBitmap frees the strip it replaces";
}

TEST_F(SkinButtonTest, AButtonWithoutStripPaintsNothing) {
  CSkinButton b;
  Bind(b, 1022);
  EXPECT_EQ(kNoPaint, PrintedFrame(b, img159));
  for (UINT state : {0u, static_cast<UINT>(ODS_SELECTED), static_cast<UINT>(ODS_FOCUS)})
    EXPECT_EQ(kNoPaint, DrawnFrame(b, state, img159));
  MouseMsg(b, WM_MOUSEHOVER);
  EXPECT_EQ(kNoPaint, PrintedFrame(b, img159));

  CSkinButton missing;
  Bind(missing, 1023, 100, 21);
  missing.SetBitmap(150, kBlueKey);  // no bitmap has this id
  EXPECT_EQ(kNoPaint, PrintedFrame(missing, img159));
}

TEST_F(SkinButtonTest, TheFrameFollowsTheStateWithDisablingOnlyForControl1010) {
  CSkinButton b1010, other;
  Bind(b1010, 1010, 13, 21);
  Bind(other, 1022, 13, 60);
  b1010.SetBitmap(159, kBlueKey);
  other.SetBitmap(159, kBlueKey);

  struct Case {
    bool enabled, selected, hover;
  };
  for (CSkinButton* b : {&b1010, &other}) {
    const bool is1010 = b == &b1010;
    for (int bits = 0; bits < 8; ++bits) {
      const Case c{(bits & 1) == 0, (bits & 2) != 0, (bits & 4) != 0};
      SCOPED_TRACE(::testing::Message() << "id " << b->GetDlgCtrlID() << " enabled " << c.enabled
                                        << " selected " << c.selected << " hover " << c.hover);
      b->EnableWindow(c.enabled);
      MouseMsg(*b, c.hover ? WM_MOUSEHOVER : WM_MOUSELEAVE);
      const int want = (is1010 && !c.enabled) ? 3 : c.selected ? 2 : c.hover ? 1 : 0;
      // The record's focus and disabled bits are set as the system sets
      // them; neither changes the face.
      UINT state = ODS_FOCUS;
      if (c.selected) state |= ODS_SELECTED;
      if (!c.enabled) state |= ODS_DISABLED;
      EXPECT_EQ(want, DrawnFrame(*b, state, img159));
    }
  }
  // Control 1010 looks at its window, not at the record.
  b1010.EnableWindow(TRUE);
  MouseMsg(b1010, WM_MOUSELEAVE);
  EXPECT_EQ(0, DrawnFrame(b1010, ODS_DISABLED, img159));
}

TEST_F(SkinButtonTest, SystemPaintsShowPressedOverHoverAndTheDisabledFrameOf1010) {
  CSkinButton b1010, other;
  Bind(b1010, 1010, 13, 21);
  Bind(other, 1022, 13, 60);
  b1010.SetBitmap(159, kBlueKey);
  other.SetBitmap(159, kBlueKey);

  for (CSkinButton* b : {&b1010, &other}) {
    SCOPED_TRACE(b->GetDlgCtrlID());
    EXPECT_EQ(0, PrintedFrame(*b, img159));
    MouseMsg(*b, WM_MOUSEHOVER);
    EXPECT_EQ(1, PrintedFrame(*b, img159));
    b->SendMessage(BM_SETSTATE, TRUE);
    EXPECT_EQ(2, PrintedFrame(*b, img159)) << "pressed wins over hover";
    b->SendMessage(BM_SETSTATE, FALSE);
    EXPECT_EQ(1, PrintedFrame(*b, img159));
    b->EnableWindow(FALSE);
    EXPECT_EQ(b == &b1010 ? 3 : 1, PrintedFrame(*b, img159));
    b->SendMessage(BM_SETSTATE, TRUE);
    EXPECT_EQ(b == &b1010 ? 3 : 2, PrintedFrame(*b, img159)) << "disabled wins over pressed";
    b->SendMessage(BM_SETSTATE, FALSE);
    b->EnableWindow(TRUE);
    MouseMsg(*b, WM_MOUSELEAVE);
    EXPECT_EQ(0, PrintedFrame(*b, img159));
  }
}

TEST_F(SkinButtonTest, TheFaceOnTheScreenIsTheFrameWithNoTextAndNoFocusRectangle) {
  CSkinButton b;
  Bind(b, 1022);
  b.SetBitmap(161, kBlueKey);
  b.SetFocus();
  ::InvalidateRect(b, nullptr, TRUE);
  EXPECT_EQ(0, ScreenFrame(b, LoadStripImage(161)));
  MouseMsg(b, WM_MOUSEHOVER);
  EXPECT_EQ(1, ScreenFrame(b, LoadStripImage(161)));
}

TEST_F(SkinButtonTest, HoverShowsOnlyAfterTheHoverMessageAndGoesAtOnceOnLeave) {
  ProbeButton b;
  Bind(b, 1022);
  b.SetBitmap(159, kBlueKey);
  ::UpdateWindow(owner);
  EXPECT_EQ(0, b.tracking());
  EXPECT_EQ(0, b.hover());

  MouseMsg(b, WM_MOUSEMOVE);
  EXPECT_EQ(1, b.tracking());
  EXPECT_EQ(0, b.hover());
  EXPECT_EQ(0, PrintedFrame(b, img159)) << "entering alone shows no hover";

  ::ValidateRect(b, nullptr);
  const int erased = b.Seen(WM_ERASEBKGND);
  MouseMsg(b, WM_MOUSEHOVER);
  EXPECT_EQ(1, b.hover());
  RECT dirty{}, client{};
  EXPECT_TRUE(::GetUpdateRect(b, &dirty, FALSE));
  b.GetClientRect(&client);
  EXPECT_TRUE(::EqualRect(&dirty, &client)) << "the whole button is repainted";
  ::UpdateWindow(b);
  EXPECT_EQ(erased + 1, b.Seen(WM_ERASEBKGND)) << "and erased";
  EXPECT_EQ(1, PrintedFrame(b, img159));

  MouseMsg(b, WM_MOUSEMOVE);
  EXPECT_EQ(1, PrintedFrame(b, img159)) << "moving on the button keeps the hover";

  MouseMsg(b, WM_MOUSELEAVE);
  EXPECT_EQ(0, b.tracking());
  EXPECT_EQ(0, b.hover());
  EXPECT_TRUE(::GetUpdateRect(b, &dirty, FALSE));
  EXPECT_TRUE(::EqualRect(&dirty, &client));
  EXPECT_EQ(0, PrintedFrame(b, img159));

  // Leaving before the hover message also ends the stay.
  MouseMsg(b, WM_MOUSEMOVE);
  EXPECT_EQ(1, b.tracking());
  MouseMsg(b, WM_MOUSELEAVE);
  EXPECT_EQ(0, b.tracking());
  EXPECT_EQ(0, b.hover());
}

TEST_F(SkinButtonTest, OneTrackingRequestCoversOneStayOfThePointer) {
  ProbeButton b;
  Bind(b, 1022);
  b.SetBitmap(159, kBlueKey);
  MovePointer(CentreOnScreen(b));
  CancelTracking(b);
  MouseMsg(b, WM_MOUSELEAVE);  // start from "away", whatever the pointer did
  ASSERT_EQ(0, b.tracking());

  MouseMsg(b, WM_MOUSEMOVE);
  TRACKMOUSEEVENT t = TrackingInForce();
  EXPECT_EQ(b.m_hWnd, t.hwndTrack);
  EXPECT_EQ(static_cast<DWORD>(TME_HOVER | TME_LEAVE), t.dwFlags);
  UINT hoverTime = 0;
  ::SystemParametersInfoA(SPI_GETMOUSEHOVERTIME, 0, &hoverTime, 0);
  EXPECT_EQ(hoverTime, t.dwHoverTime) << "the system's hover time";

  // Take the request away behind the button's back: further moves in the
  // same stay must not ask again.
  CancelTracking(b);
  for (int i = 0; i < 5; ++i) MouseMsg(b, WM_MOUSEMOVE, 10 + i, 9);
  EXPECT_EQ(nullptr, TrackingInForce().hwndTrack);
  EXPECT_EQ(1, b.tracking());

  // After the leave message the next move starts a new stay and asks again.
  MouseMsg(b, WM_MOUSELEAVE);
  MouseMsg(b, WM_MOUSEMOVE);
  t = TrackingInForce();
  EXPECT_EQ(b.m_hWnd, t.hwndTrack);
  EXPECT_EQ(static_cast<DWORD>(TME_HOVER | TME_LEAVE), t.dwFlags);
  CancelTracking(b);
}

TEST_F(SkinButtonTest, ThePointerRestingOnTheButtonBringsHoverAndLeavingTakesItAway) {
  ProbeButton b;
  Bind(b, 1022);
  b.SetBitmap(159, kBlueKey);
  UINT hoverTime = 0;
  ::SystemParametersInfoA(SPI_GETMOUSEHOVERTIME, 0, &hoverTime, 0);

  MovePointer(POINT{5, 5});
  const DWORD entered = ::GetTickCount();  // no tracking can start before this
  MovePointer(CentreOnScreen(b));
  MouseMsg(b, WM_MOUSEMOVE, 40, 12);
  EXPECT_EQ(0, PrintedFrame(b, img159));
  ASSERT_TRUE(PumpUntil([&] { return b.Seen(WM_MOUSEHOVER) > 0; }, 5000))
      << "the system sends the hover message while the pointer rests";
  EXPECT_GE(::GetTickCount() - entered, hoverTime) << "not before the hover time";
  EXPECT_EQ(1, PrintedFrame(b, img159));
  EXPECT_EQ(1, ScreenFrame(b, img159));

  MovePointer(POINT{5, 5});
  ASSERT_TRUE(PumpUntil([&] { return b.Seen(WM_MOUSELEAVE) > 0; }, 5000))
      << "the system sends the leave message";
  EXPECT_EQ(0, b.hover());
  EXPECT_EQ(0, PrintedFrame(b, img159));
  EXPECT_EQ(0, ScreenFrame(b, img159));
}

TEST_F(SkinButtonTest, ADoubleClickGivesTheOwnerTwoClicks) {
  CSkinButton skin;
  Bind(skin, 1022, 13, 21);
  skin.SetBitmap(159, kBlueKey);
  // The same owner-drawn button without the skin class, for comparison.
  CButton plain;
  HWND h = owner.AddButton(1023, 13, 60);
  plain.SubclassWindow(h);
  plain.ModifyStyle(0, BS_OWNERDRAW);

  for (HWND button : {skin.m_hWnd, plain.m_hWnd}) {
    MouseMsg(button, WM_LBUTTONDOWN, 12, 8, MK_LBUTTON);
    MouseMsg(button, WM_LBUTTONUP, 12, 8);
    MouseMsg(button, WM_LBUTTONDBLCLK, 12, 8, MK_LBUTTON);
    MouseMsg(button, WM_LBUTTONUP, 12, 8);
  }
  EXPECT_EQ(2, owner.Count(1022, BN_CLICKED));
  EXPECT_EQ(1, owner.Count(1023, BN_CLICKED)) << "a plain owner-drawn button counts one";
  EXPECT_EQ(0, skin.SendMessage(BM_GETSTATE) & BST_PUSHED) << "released after the second click";
}

TEST_F(SkinButtonTest, ARealDoubleClickGivesTheOwnerTwoClicks) {
  CSkinButton skin;
  Bind(skin, 1022, 13, 21);
  skin.SetBitmap(159, kBlueKey);
  ::SetForegroundWindow(owner);
  MovePointer(CentreOnScreen(skin));
  INPUT in[4]{};
  const DWORD flags[4] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN,
                          MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 4; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dwFlags = flags[i];
  }
  ASSERT_EQ(4u, ::SendInput(4, in, sizeof(INPUT)));
  EXPECT_TRUE(PumpUntil([&] { return owner.Count(1022, BN_CLICKED) >= 2; }, 3000));
  Pump();
  EXPECT_EQ(2, owner.Count(1022, BN_CLICKED));
  EXPECT_EQ(1, owner.Count(1022, BN_DOUBLECLICKED)) << "the system saw a double-click";
}

TEST_F(SkinButtonTest, TenThousandPaintsLeaveTheGdiObjectCountWhereItWas) {
  CSkinButton b;
  Bind(b, 1010);
  b.SetBitmap(159, kBlueKey);
  Canvas c(80, 24);
  ::SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.hdc()), PRF_CLIENT);
  const unsigned before = skintest::GdiObjectCount();
  ASSERT_GT(before, 0u);
  for (int i = 0; i < 10000; ++i) {
    switch (i % 2500) {
      case 0:
        MouseMsg(b, WM_MOUSEHOVER);
        break;
      case 600:
        b.SendMessage(BM_SETSTATE, TRUE);
        break;
      case 1200:
        b.SendMessage(BM_SETSTATE, FALSE);
        b.EnableWindow(FALSE);
        break;
      case 1800:
        b.EnableWindow(TRUE);
        MouseMsg(b, WM_MOUSELEAVE);
        break;
    }
    ::SendMessageA(b, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.hdc()), PRF_CLIENT);
  }
  EXPECT_EQ(before, skintest::GdiObjectCount());
  EXPECT_EQ(0, PrintedFrame(b, img159)) << "still painting correctly";
}

// The start-up dialog's own template: its five buttons bound, made
// owner-drawn and given each language's strips in turn.
TEST(SkinButtonInDialog, TheStartupButtonsTakeEachLanguagesStripsInPlace) {
  struct Slot {
    int id;
    UINT strips[3];  // English, Simplified, Traditional
  };
  const Slot slots[] = {{IDC_DELETE, {156, 158, 157}},
                        {IDC_OK, {159, 160, 161}},
                        {IDC_LEAVE, {162, 163, 164}},
                        {IDC_REGISTER, {165, 168, 167}},
                        {IDC_UNREGISTER, {169, 171, 170}}};
  struct Dlg {
    static INT_PTR CALLBACK Proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
  };
  HWND hDlg = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INIT), nullptr,
                                   &Dlg::Proc, 0);
  ASSERT_NE(nullptr, hDlg);
  {
    CWnd dlg;
    ASSERT_TRUE(dlg.SubclassWindow(hDlg));
    CSkinButton buttons[5];
    RECT origin[5];
    for (int i = 0; i < 5; ++i) {
      ASSERT_TRUE(buttons[i].SubclassDlgItem(static_cast<UINT>(slots[i].id), &dlg));
      origin[i] = RectInParent(buttons[i]);
    }
    for (CSkinButton& b : buttons) b.ModifyStyle(0, BS_OWNERDRAW);
    unsigned held = 0;
    for (int round = 0; round < 2; ++round)
      for (int lang = 0; lang < 3; ++lang) {
        for (int i = 0; i < 5; ++i) buttons[i].SetBitmap(slots[i].strips[lang], 0xFF0000);
        for (int i = 0; i < 5; ++i) {
          SCOPED_TRACE(::testing::Message() << "button " << slots[i].id << " language " << lang);
          const RECT rc = RectInParent(buttons[i]);
          EXPECT_EQ(origin[i].left, rc.left);
          EXPECT_EQ(origin[i].top, rc.top);
          EXPECT_EQ(80, rc.right - rc.left);
          EXPECT_EQ(24, rc.bottom - rc.top);
          EXPECT_EQ(0, PrintedFrame(buttons[i], LoadStripImage(slots[i].strips[lang])));
        }
        if (round == 0 && lang == 0) held = skintest::GdiObjectCount();
      }
    EXPECT_EQ(held, skintest::GdiObjectCount()) << "switching languages frees the old strips";
  }
  ::DestroyWindow(hDlg);
}
