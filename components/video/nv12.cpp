#include "nv12.h"

namespace video {

namespace {

inline uint32_t Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint32_t>(v); }

}  // namespace

void Nv12ToBgra(const uint8_t* y, const uint8_t* uv, int stride, int width, int height, uint32_t* out) {
  // Fixed point with 16 fraction bits: 255/219 for luma, the BT.601 chroma
  // weights scaled by 255/224.
  constexpr int kY = 76309, kRv = 104597, kGu = 25675, kGv = 53279, kBu = 132201, kHalf = 1 << 15;
  for (int row = 0; row < height; ++row) {
    const uint8_t* yr = y + static_cast<long>(row) * stride;
    const uint8_t* cr = uv + static_cast<long>(row / 2) * stride;
    uint32_t* o = out + static_cast<long>(row) * width;
    for (int x = 0; x < width; ++x) {
      const int l = (yr[x] - 16) * kY + kHalf;
      const int u = cr[x & ~1] - 128, v = cr[(x & ~1) + 1] - 128;
      const uint32_t r = Clamp((l + kRv * v) >> 16);
      const uint32_t g = Clamp((l - kGu * u - kGv * v) >> 16);
      const uint32_t b = Clamp((l + kBu * u) >> 16);
      o[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
}

}  // namespace video
