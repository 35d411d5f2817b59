// JPEG pictures held in memory into VideoFrames, by the Windows Imaging
// Component. A channel's worker thread keeps one decoder for its session.
// COM must be initialised on that thread (either apartment) for as long as
// the decoder lives: it holds a WIC imaging factory.
#pragma once

#include <wincodec.h>

#include <cstddef>
#include <cstdint>

#include "stream_sink.h"

namespace dvrocx {

class JpegDecoder {
 public:
  // Neither side of a picture may be larger than this.
  static const int kMaxSide = 8192;

  JpegDecoder() = default;
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // The picture as 32-bit BGRA, top row first (arrival is left as it is).
  // False for anything that is no whole JPEG picture within the size
  // bound, or when WIC is not there; frame is then unchanged.
  bool Decode(const uint8_t* data, size_t size, VideoFrame& frame);

 private:
  IWICImagingFactory* m_factory = nullptr;
};

}  // namespace dvrocx
