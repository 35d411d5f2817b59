// H.264 byte streams: the Annex-B start codes that separate NAL units, and
// the picture size that a sequence parameter set announces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

// One NAL unit inside a byte stream: its header byte first, without the
// start code and without the zero bytes that may trail it.
struct NalUnit {
  const uint8_t* data = nullptr;
  size_t size = 0;
  int Type() const { return size ? data[0] & 0x1f : 0; }
};

enum NalType { kNalSlice = 1, kNalIdr = 5, kNalSei = 6, kNalSps = 7, kNalPps = 8, kNalAud = 9 };

// The NAL units after each start code (00 00 01, also as 00 00 00 01).
// Bytes before the first start code are skipped; empty units are left out.
std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size);

struct SpsInfo {
  int coded_width = 0;  // whole macroblocks
  int coded_height = 0;
  int width = 0;  // after the frame cropping: what is shown
  int height = 0;
};

// Reads a sequence parameter set NAL unit (header byte first, emulation
// prevention bytes still in). False for any other unit, for anything
// malformed or cut short, and for pictures wider or taller than 16384.
bool ParseSps(const uint8_t* nal, size_t size, SpsInfo* info);

}  // namespace video
