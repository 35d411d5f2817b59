// NV12 to BGRA against the published limited-range BT.601 values of the
// full-intensity colour bars, and the plane layout (stride, crop, chroma
// shared by 2x2 pixels).
#include <gtest/gtest.h>

#include "nv12.h"

namespace {

bool Near(uint32_t expected, uint32_t got) {  // within 2 levels a channel, opaque
  for (int s = 0; s < 24; s += 8)
    if (abs(static_cast<int>((expected >> s) & 0xFF) - static_cast<int>((got >> s) & 0xFF)) > 2) return false;
  return got >> 24 == 0xFF;
}

TEST(Nv12, ColourBarsAndClamping) {
  const uint8_t bars[][3] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},   {106, 202, 222},
                             {81, 90, 240},   {41, 240, 110}, {16, 128, 128}, {255, 128, 128}, {0, 128, 128}};
  const uint32_t rgb[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0, 0xFFFFFF, 0};
  for (int i = 0; i < 10; ++i) {
    uint32_t out = 0;
    video::Nv12ToBgra(bars[i], bars[i] + 1, 2, 1, 1, &out);
    EXPECT_TRUE(Near(rgb[i], out)) << i << std::hex << " got " << out;
  }
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
