// NV12 pictures (what video decoders give): a luma plane, then one plane of
// interleaved Cb Cr pairs at half the width and height.
#pragma once

#include <cstdint>

namespace video {

// Converts the top-left width x height pixels into 32-bit BGRA (0xFFRRGGBB),
// width pixels a row, with the BT.601 limited-range matrix. Both planes have
// stride bytes a row; uv has (height + 1) / 2 rows. width and height must not
// exceed the picture, stride at least width rounded up to even.
void Nv12ToBgra(const uint8_t* y, const uint8_t* uv, int stride, int width, int height, uint32_t* out);

}  // namespace video
