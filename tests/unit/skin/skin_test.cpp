// The skin: strips composed by real GDI into memory bitmaps and read back
// pixel by pixel against the resource bytes, and the button's face through
// the messages a real button gets.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "tests/support/support.h"
#include "tests/unit/skin/test_strips.h"
#include "ui/skin/skinbutton.h"

namespace {

using Pixel = uint32_t;  // 0x00RRGGBB
const COLORREF kBlueKey = RGB(0, 0, 255);
const UINT kShipped[] = {149, 151, 153, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 167, 168, 169, 170, 171};

using vt::Canvas;

// A strip's pixels decoded from its resource bytes (uncompressed 24 or 32
// bits), apart from the GDI code under test.
struct Image {
  int w = 0, h = 0;
  std::vector<Pixel> px;
  Pixel at(int x, int y) const { return px[y * w + x]; }
};
Image LoadImage(UINT id) {
  Image img;
  HRSRC res = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
  if (!res) return img;
  const auto* bih = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(nullptr, res)));
  img.w = bih->biWidth;
  img.h = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
  const int bpp = bih->biBitCount / 8, stride = (img.w * bpp + 3) & ~3;
  const auto* data = reinterpret_cast<const uint8_t*>(bih) + bih->biSize;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      const uint8_t* p = data + stride * (bih->biHeight > 0 ? img.h - 1 - y : y) + x * bpp;
      img.px.push_back(static_cast<Pixel>(p[2]) << 16 | p[1] << 8 | p[0]);
    }
  return img;
}

Pixel PixelOf(COLORREF c) { return static_cast<Pixel>(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c); }

// Which frame of img fills the top-left w x img.h of the canvas: 0..3, -1
// when untouched, -2 for anything else.
int FrameShown(const Canvas& c, const Image& img, int w) {
  for (int k = 0; k < 4; ++k)
    if (!c.Wrong([&](int x, int y) { return x < w && y < img.h ? img.at(k * w + x, y) : c.before(x, y); })) return k;
  return c.Wrong([&](int x, int y) { return c.before(x, y); }) ? -2 : -1;
}

// Each row draws all four frames of one strip at an offset: the frame must
// stand where its pixels are opaque, the background where they have the key,
// and nothing may change outside it.
TEST(SkinStrip, DrawComposesEachFrameWithTheKeyColour) {
  // {id, key, width, height, frame width}: the shipped strips have no pure blue; the key is the colour given;
  // the keyed test strip has blue in every frame; the odd width's remainder never shows; 150 is no bitmap.
  struct Row {
    UINT id;
    COLORREF key;
    int width, height, frameWidth;
  };
  auto R = [](UINT id, COLORREF key, int w, int h, int frameWidth) { return Row{id, key, w, h, frameWidth}; };
  std::vector<Row> rows{R(159, RGB(200, 200, 200), 320, 24, 80), R(IDB_TEST_KEYED, kBlueKey, 16, 3, 4),
                        R(IDB_TEST_KEYED, RGB(255, 255, 255), 16, 3, 4), R(IDB_TEST_ODD_WIDTH, kBlueKey, 19, 2, 4),
                        R(150, kBlueKey, 0, 0, 0)};
  for (UINT id : kShipped) rows.push_back(R(id, kBlueKey, 320, 24, 80));
  for (const Row& r : rows) {
    SCOPED_TRACE(::testing::Message() << "strip " << r.id << " key " << std::hex << r.key << ", frame:");
    const Image img = LoadImage(r.id);
    CBitmapStrip strip;
    ASSERT_TRUE(strip.Load(0x10000 | r.id)) << "only the low word names the bitmap";
    EXPECT_EQ(r.width, strip.m_nWidth);
    EXPECT_EQ(r.height, strip.m_nHeight);
    EXPECT_EQ(r.frameWidth, strip.m_nFrameWidth);
    for (int k = 0; k < 4; ++k) {
      Canvas c(96, 32);
      CDC dc(c.dc());
      strip.Draw(&dc, k, 9, 5, r.key);
      EXPECT_EQ(0, c.Wrong([&](int x, int y) {
        const int fx = x - 9, fy = y - 5;
        if (fx < 0 || fy < 0 || fx >= r.frameWidth || fy >= r.height) return c.before(x, y);
        const Pixel p = img.at(k * r.frameWidth + fx, fy);
        return p == PixelOf(r.key) ? c.before(x, y) : p;
      })) << k;
    }
  }
  // A strip's bitmap goes with the next load and with the strip: a stale
  // handle is no GDI object any more.
  HBITMAP replaced = nullptr, last = nullptr;
  {
    CBitmapStrip strip;
    strip.Load(159);
    replaced = strip.m_bitmap;
    strip.Load(160);
    last = strip.m_bitmap;
    EXPECT_EQ(0u, ::GetObjectType(replaced)) << "the replaced bitmap was not freed";
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), ::GetObjectType(last));
  }
  EXPECT_EQ(0u, ::GetObjectType(last)) << "the strip's bitmap outlived the strip";
}

// A visible top-level window standing in for the dialog: the framework
// passes WM_DRAWITEM back to the button object, and it counts clicks.
class Owner : public CWnd {
 public:
  Owner() { SubclassWindow(::CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 300, 200, 320, 200, 0, 0, 0, 0)); }
  ~Owner() override { ::DestroyWindow(m_hWnd); }
  // A template-made push button bound as the start-up dialog binds it.
  void Bind(CSkinButton& b, int id, int x, int y) {
    HWND h = ::CreateWindowExA(0, "BUTTON", "Ok", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, y, 50, 14, m_hWnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    ASSERT_TRUE(b.SubclassWindow(h));
    b.ModifyStyle(0, BS_OWNERDRAW);
  }
  int clicks = 0;
  BEGIN_MSG_MAP(Owner)
  MESSAGE_HANDLER(WM_COMMAND, OnCommand)
  END_MSG_MAP()
  LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    clicks += HIWORD(wParam) == BN_CLICKED;
    return bHandled = FALSE;
  }
};

// The frame the button paints when the system asks it to (WM_PRINTCLIENT
// makes it send WM_DRAWITEM to its owner).
int Printed(HWND button, const Image& img) {
  Canvas c(90, 30);
  ::SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.dc()), PRF_CLIENT);
  return FrameShown(c, img, 80);
}

HWND TrackedWindow() {
  TRACKMOUSEEVENT q{sizeof(q), TME_QUERY, nullptr, 0};
  ::TrackMouseEvent(&q);
  return q.hwndTrack;
}

}  // namespace

// Two buttons, the one whose disabled state shows (1010) and another, taken
// through hover, press, disabling and leaving; each row is one message and
// the frame each button must show after it.
TEST(SkinButton, TheFaceFollowsHoverPressAndDisablingThroughMessages) {
  Owner owner;
  CSkinButton b1010, other;
  owner.Bind(b1010, 1010, 13, 21);
  owner.Bind(other, 1022, 113, 47);
  b1010.SetBitmap(159, kBlueKey);
  other.SetBitmap(159, kBlueKey);
  // One frame big, the top-left corner kept in the owner's coordinates.
  RECT rc;
  ::GetWindowRect(other, &rc);
  ::MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&rc), 2);
  const RECT want{113, 47, 193, 71};
  EXPECT_TRUE(::EqualRect(&want, &rc));
  const Image img = LoadImage(159);

  struct Row {
    const char* what;
    UINT msg;
    WPARAM wParam;
    int want1010, wantOther;
  } rows[] = {
      {"no strip state yet", 0, 0, 0, 0},
      {"the pointer enters", WM_MOUSEMOVE, 0, 0, 0},
      {"the pointer rests", WM_MOUSEHOVER, 0, 1, 1},
      {"pressed wins over hover", BM_SETSTATE, TRUE, 2, 2},
      {"disabled wins over pressed, only for 1010", WM_ENABLE, FALSE, 3, 2},
      {"enabled again", WM_ENABLE, TRUE, 2, 2},
      {"released", BM_SETSTATE, FALSE, 1, 1},
      {"the pointer leaves", WM_MOUSELEAVE, 0, 0, 0},
      {"disabled, not hovering", WM_ENABLE, FALSE, 3, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (CSkinButton* b : {&b1010, &other}) {
      ::ValidateRect(*b, nullptr);
      if (r.msg == WM_ENABLE)
        b->EnableWindow(static_cast<BOOL>(r.wParam));
      else if (r.msg)
        b->SendMessage(r.msg, r.wParam, MAKELPARAM(10, 10));
      if (r.msg == WM_MOUSEHOVER || r.msg == WM_MOUSELEAVE) {
        EXPECT_TRUE(::GetUpdateRect(*b, nullptr, FALSE)) << "not repainted";
      }
      EXPECT_EQ(b == &b1010 ? r.want1010 : r.wantOther, Printed(*b, img)) << "button " << b->GetDlgCtrlID();
    }
  }
  for (CSkinButton* b : {&b1010, &other}) b->EnableWindow(TRUE);

  // One tracking request per stay of the pointer: a move asks for hover and
  // leave messages, further moves do not ask again, and after the leave
  // message the next move does.
  POINT centre{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  ::ClientToScreen(owner, &centre);
  ::SetCursorPos(centre.x, centre.y);
  ASSERT_TRUE(vt::PumpUntil([&] {
    POINT now;
    return ::GetCursorPos(&now) && now.x == centre.x && now.y == centre.y && ::WindowFromPoint(now) == other.m_hWnd;
  })) << "the pointer is not over the button";
  TRACKMOUSEEVENT cancel{sizeof(cancel), TME_CANCEL | TME_HOVER | TME_LEAVE, other.m_hWnd, 0};
  other.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  EXPECT_EQ(other.m_hWnd, TrackedWindow());
  TRACKMOUSEEVENT q{sizeof(q), TME_QUERY, nullptr, 0};
  UINT hover = 0;  // the hover time asked for is the system's
  ::SystemParametersInfoA(SPI_GETMOUSEHOVERTIME, 0, &hover, 0);
  EXPECT_TRUE(::TrackMouseEvent(&q) && q.dwFlags == (TME_HOVER | TME_LEAVE) && q.dwHoverTime == hover)
      << std::hex << q.dwFlags << " " << std::dec << q.dwHoverTime;
  ::TrackMouseEvent(&cancel);
  other.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(11, 10));
  EXPECT_EQ(nullptr, TrackedWindow()) << "asked again within one stay";
  other.SendMessage(WM_MOUSELEAVE);
  other.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  EXPECT_EQ(other.m_hWnd, TrackedWindow()) << "a new stay did not ask";
  ::TrackMouseEvent(&cancel);

  // A double-click acts as two clicks and leaves the button up.
  for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    other.SendMessage(m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(12, 8));
  EXPECT_EQ(2, owner.clicks);
  EXPECT_EQ(0, other.SendMessage(BM_GETSTATE) & BST_PUSHED);
}
