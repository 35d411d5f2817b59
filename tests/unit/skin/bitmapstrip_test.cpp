// The bitmap strip: loading, the whole copy and the key-colour composition,
// drawn by real GDI into memory DCs and read back pixel by pixel.
#include "ui/skin/bitmapstrip.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/skin/skin_test_util.h"
#include "tests/unit/skin/test_strips.h"

using skintest::Canvas;
using skintest::LoadStripImage;
using skintest::Pixel;
using skintest::StripImage;

namespace {

const UINT kShippedStrips[] = {149, 151, 153, 156, 157, 158, 159, 160, 161,
                               162, 163, 164, 165, 167, 168, 169, 170, 171};
const COLORREF kBlueKey = 0xFF0000;  // pure blue as a COLORREF
const Pixel kBluePixel = 0x0000FF;   // the same as a DIB pixel

// Every pixel of the canvas against what it should show; names the first
// few that differ.
::testing::AssertionResult CanvasIs(const Canvas& c,
                                    const std::function<Pixel(int, int)>& expected) {
  int wrong = 0;
  std::string first;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      const Pixel want = expected(x, y), got = c.at(x, y);
      if (want == got) continue;
      if (++wrong <= 3) {
        char buf[96];
        snprintf(buf, sizeof buf, " (%d,%d) is %06X, want %06X;", x, y, static_cast<unsigned>(got),
                 static_cast<unsigned>(want));
        first += buf;
      }
    }
  if (!wrong) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " pixels differ:" << first;
}

// What Draw of frame k at (x0, y0) must leave: the frame where it is opaque,
// the old background where it has the key, and everything else untouched.
std::function<Pixel(int, int)> Composed(const std::vector<Pixel>& before, int canvasWidth,
                                        const StripImage& img, int frameWidth, int k, int x0,
                                        int y0, Pixel key) {
  return [&before, canvasWidth, &img, frameWidth, k, x0, y0, key](int x, int y) {
    const Pixel under = before[y * canvasWidth + x];
    if (x < x0 || y < y0 || x >= x0 + frameWidth || y >= y0 + img.height) return under;
    const Pixel p = img.at(k * frameWidth + (x - x0), y - y0);
    return p == key ? under : p;
  };
}

}  // namespace

TEST(StripLoad, EveryShippedStripIsFourFramesOf80By24) {
  for (UINT id : kShippedStrips) {
    SCOPED_TRACE(id);
    CBitmapStrip strip;
    EXPECT_TRUE(strip.Load(id));
    EXPECT_NE(nullptr, strip.m_bitmap.m_hObject);
    EXPECT_EQ(320, strip.m_nWidth);
    EXPECT_EQ(24, strip.m_nHeight);
    EXPECT_EQ(80, strip.m_nFrameWidth);
  }
  // Only the low 16 bits of the id name the resource.
  CBitmapStrip high;
  EXPECT_TRUE(high.Load(0x10000 | 159));
  EXPECT_EQ(320, high.m_nWidth);
  EXPECT_EQ(24, high.m_nHeight);
}

TEST(StripLoad, AnIdWithoutBitmapLeavesAnEmptyStripThatPaintsNothing) {
  CBitmapStrip fresh;
  EXPECT_EQ(0, fresh.m_nWidth);
  EXPECT_EQ(0, fresh.m_nHeight);
  EXPECT_EQ(0, fresh.m_nFrameWidth);

  // 150 is one of the gaps in the bitmap ids; loading it drops the strip held.
  CBitmapStrip strip;
  ASSERT_TRUE(strip.Load(159));
  EXPECT_TRUE(strip.Load(150));
  EXPECT_EQ(nullptr, strip.m_bitmap.m_hObject);
  EXPECT_EQ(0, strip.m_nWidth);
  EXPECT_EQ(0, strip.m_nHeight);
  EXPECT_EQ(0, strip.m_nFrameWidth);

  Canvas c(40, 30);
  c.FillPattern();
  const std::vector<Pixel> before = c.Snapshot();
  for (int k = 0; k < 4; ++k) {
    fresh.Draw(&c.dc(), k, 0, 0, kBlueKey);
    strip.Draw(&c.dc(), k, 5, 5, kBlueKey);
  }
  EXPECT_TRUE(CanvasIs(c, [&](int x, int y) { return before[y * c.width() + x]; }));
}

TEST(StripDraw, EveryShippedFrameWithTheBlueKeyIsCopiedPixelForPixel) {
  for (UINT id : kShippedStrips) {
    const StripImage img = LoadStripImage(id);
    ASSERT_EQ(320, img.width) << id;
    CBitmapStrip strip;
    strip.Load(id);
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE(::testing::Message() << "strip " << id << " frame " << k);
      Canvas c(96, 40);
      c.FillPattern();
      const std::vector<Pixel> before = c.Snapshot();
      strip.Draw(&c.dc(), k, 9, 7, kBlueKey);
      // The shipped images have no pure blue, so the face is the frame itself.
      EXPECT_TRUE(CanvasIs(c, Composed(before, c.width(), img, 80, k, 9, 7, 0xFFFFFFFF)));
    }
  }
}

TEST(StripDraw, KeyColouredPixelsShowWhatWasUnderneath) {
  const StripImage img = LoadStripImage(IDB_TEST_KEYED);
  ASSERT_EQ(16, img.width);
  ASSERT_EQ(3, img.height);
  CBitmapStrip strip;
  strip.Load(IDB_TEST_KEYED);
  ASSERT_EQ(4, strip.m_nFrameWidth);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    int keyed = 0;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) keyed += img.at(k * 4 + x, y) == kBluePixel;
    ASSERT_GT(keyed, 0) << "each test frame has key pixels";
    Canvas c(13, 9);
    c.FillPattern();
    const std::vector<Pixel> before = c.Snapshot();
    strip.Draw(&c.dc(), k, 6, 4, kBlueKey);
    EXPECT_TRUE(CanvasIs(c, Composed(before, c.width(), img, 4, k, 6, 4, kBluePixel)));
  }
}

TEST(StripDraw, TheKeyIsTheColourGivenNotAlwaysBlue) {
  // With the dialog grey as key, the disabled frame (all grey) vanishes and
  // the normal frame keeps only its bar, not its corners.
  const StripImage img = LoadStripImage(159);
  CBitmapStrip strip;
  strip.Load(159);
  for (int k : {0, 3}) {
    SCOPED_TRACE(k);
    Canvas c(90, 30);
    c.FillPattern();
    const std::vector<Pixel> before = c.Snapshot();
    strip.Draw(&c.dc(), k, 4, 3, RGB(200, 200, 200));
    EXPECT_TRUE(CanvasIs(c, Composed(before, c.width(), img, 80, k, 4, 3, 0xC8C8C8)));
    if (k == 3) {
      EXPECT_TRUE(CanvasIs(c, [&](int x, int y) { return before[y * c.width() + x]; }));
    }
  }
  // With white as key, the test strip's blue pixels are drawn like any other.
  const StripImage keyed = LoadStripImage(IDB_TEST_KEYED);
  CBitmapStrip test;
  test.Load(IDB_TEST_KEYED);
  Canvas c(10, 6);
  c.FillPattern();
  const std::vector<Pixel> before = c.Snapshot();
  test.Draw(&c.dc(), 0, 1, 1, RGB(255, 255, 255));
  EXPECT_TRUE(CanvasIs(c, Composed(before, c.width(), keyed, 4, 0, 1, 1, 0xFFFFFF)));
  EXPECT_EQ(kBluePixel, c.at(1, 1));
}

TEST(StripDraw, AWidthNotAMultipleOfFourDropsTheRemainder) {
  const StripImage img = LoadStripImage(IDB_TEST_ODD_WIDTH);
  ASSERT_EQ(19, img.width);
  CBitmapStrip strip;
  strip.Load(IDB_TEST_ODD_WIDTH);
  EXPECT_EQ(19, strip.m_nWidth);
  EXPECT_EQ(2, strip.m_nHeight);
  EXPECT_EQ(4, strip.m_nFrameWidth);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    Canvas c(12, 5);
    c.FillPattern();
    const std::vector<Pixel> before = c.Snapshot();
    strip.Draw(&c.dc(), k, 2, 1, kBlueKey);
    EXPECT_TRUE(CanvasIs(c, Composed(before, c.width(), img, 4, k, 2, 1, kBluePixel)));
    for (Pixel p : c.Snapshot()) EXPECT_NE(0xFF00FFu, p) << "a spare column was shown";
  }
}

TEST(StripDraw, ComposesOntoAScreenCompatibleTarget) {
  // The draw-item DC of a real button is a screen-format DC, not a DIB.
  const StripImage img = LoadStripImage(IDB_TEST_KEYED);
  CBitmapStrip strip;
  strip.Load(IDB_TEST_KEYED);
  HDC screen = ::GetDC(nullptr);
  CDC dc;
  dc.CreateCompatibleDC(screen);
  HBITMAP bmp = ::CreateCompatibleBitmap(screen, 8, 5);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(dc, bmp);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) ::SetPixel(dc, x, y, RGB(x * 30, y * 40, 90));
  strip.Draw(&dc, 1, 2, 1, kBlueKey);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) {
      Pixel want = skintest::PixelOf(RGB(x * 30, y * 40, 90));
      if (x >= 2 && x < 6 && y >= 1 && y < 4 && img.at(4 + x - 2, y - 1) != kBluePixel)
        want = img.at(4 + x - 2, y - 1);
      EXPECT_EQ(want, skintest::PixelOf(::GetPixel(dc, x, y))) << x << "," << y;
    }
  ::SelectObject(dc, old);
  ::DeleteObject(bmp);
}

TEST(StripCopyWhole, CopiesTheWholeStripOneToOneAtTheOrigin) {
  const StripImage img = LoadStripImage(160);
  CBitmapStrip strip;
  strip.Load(160);
  for (const RECT rc : {RECT{0, 0, 320, 24}, RECT{6, 3, 326, 27}}) {
    Canvas c(330, 30);
    c.FillPattern();
    const std::vector<Pixel> before = c.Snapshot();
    EXPECT_TRUE(strip.CopyWhole(&c.dc(), rc));
    EXPECT_TRUE(CanvasIs(c, [&](int x, int y) {
      return x < 320 && y < 24 ? img.at(x, y) : before[y * c.width() + x];
    }));
  }
}

TEST(StripResources, LoadingAgainAndDrawingFreeEveryObject) {
  Canvas c(90, 30);
  const unsigned start = skintest::GdiObjectCount();
  {
    CBitmapStrip strip;
    strip.Load(159);
    EXPECT_EQ(start + 1, skintest::GdiObjectCount()) << "the strip holds one bitmap";
    for (int i = 0; i < 300; ++i) {
      strip.Load(kShippedStrips[i % 18]);
      strip.Draw(&c.dc(), i % 4, 0, 0, kBlueKey);
      strip.CopyWhole(&c.dc(), RECT{0, 0, 320, 24});
    }
    EXPECT_EQ(start + 1, skintest::GdiObjectCount());
    strip.Load(150);
    EXPECT_EQ(start, skintest::GdiObjectCount()) << "an empty strip holds nothing";
    strip.Load(IDB_TEST_KEYED);
  }
  EXPECT_EQ(start, skintest::GdiObjectCount()) << "the destructor frees the bitmap";
}
