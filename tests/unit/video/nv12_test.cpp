// NV12 to BGRA against the published limited-range BT.601 values of the
// full-intensity colour bars, and the plane layout (stride, crop, chroma
// shared by 2x2 pixels).
#include <gtest/gtest.h>

#include <cstdlib>

#include "nv12.h"

namespace {

struct Bar {
  uint8_t y, cb, cr;
  uint32_t rgb;
};

// Within 2 levels on each channel.
bool Near(uint32_t expected, uint32_t got) {
  if ((got >> 24) != 0xFF) return false;
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(static_cast<int>((expected >> shift) & 0xFF) - static_cast<int>((got >> shift) & 0xFF)) > 2)
      return false;
  return true;
}

TEST(Nv12, ColourBars) {
  const Bar bars[] = {{235, 128, 128, 0xFFFFFF}, {210, 16, 146, 0xFFFF00},  {170, 166, 16, 0x00FFFF},
                      {145, 54, 34, 0x00FF00},   {106, 202, 222, 0xFF00FF}, {81, 90, 240, 0xFF0000},
                      {41, 240, 110, 0x0000FF},  {16, 128, 128, 0x000000},  {126, 128, 128, 0x808080}};
  for (const Bar& b : bars) {
    const uint8_t y[2] = {b.y, b.y}, uv[2] = {b.cb, b.cr};
    uint32_t out[2] = {};
    video::Nv12ToBgra(y, uv, 2, 2, 1, out);
    EXPECT_TRUE(Near(b.rgb, out[0])) << std::hex << b.rgb << " got " << out[0];
  }
  // Beyond the nominal range: clamped, not wrapped.
  const uint8_t y[2] = {255, 0}, uv[2] = {128, 128};
  uint32_t out[2] = {};
  video::Nv12ToBgra(y, uv, 2, 2, 1, out);
  EXPECT_EQ(0xFFFFFFFFu, out[0]);
  EXPECT_EQ(0xFF000000u, out[1]);
}

TEST(Nv12, StrideCropAndChromaPlacement) {
  // A 3x3 picture inside 4x4 planes of stride 6: left column pair red,
  // right pair blue on the top chroma row, white below; padding is green.
  const uint8_t G = 145;
  const uint8_t y[] = {81, 81, 41, 41, G, G, 81, 81, 41, 41, G, G, 235, 235, 235, 235, G, G, 235, 235, 235, 235, G, G};
  const uint8_t uv[] = {90, 240, 240, 110, 54, 34, 128, 128, 128, 128, 54, 34};
  uint32_t out[10];
  out[9] = 0x12345678;  // just past the 3x3 picture: left alone
  video::Nv12ToBgra(y, uv, 6, 3, 3, out);
  const uint32_t expected[9] = {0xFF0000, 0xFF0000, 0x0000FF, 0xFF0000, 0xFF0000,
                                0x0000FF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(Near(expected[i], out[i])) << i << ": " << std::hex << out[i];
  EXPECT_EQ(0x12345678u, out[9]);
}

}  // namespace
