// libFuzzer target over the Annex-B splitter and the sequence parameter set
// reader. Besides the sanitizers' checks: every unit lies inside the input in
// order, right after a start code, holds none and ends in a non-zero byte; a
// size that is read fits the coded size in whole macroblocks.
#include <cstdio>
#include <cstdlib>

#include "h264_sps.h"

static void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "property broken: %s\n", what), std::abort();
}

static bool StartCodeAt(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* end = data;
  for (const video::NalUnit& u : video::SplitAnnexB(data, size)) {
    Check(u.size > 0 && u.data >= end + 3 && u.data + u.size <= data + size, "unit outside the input");
    Check(StartCodeAt(u.data - 3) && u.data[u.size - 1] != 0, "unit not after a start code or ends in zero");
    for (size_t i = 0; i + 3 <= u.size; ++i) Check(!StartCodeAt(u.data + i), "start code inside a unit");
    end = u.data + u.size;
    video::SpsInfo info;
    if (video::ParseSps(u.data, u.size, &info)) {
      Check(info.coded_width % 16 == 0 && info.coded_height % 16 == 0, "coded size not in macroblocks");
      Check(info.coded_width <= 16384 && info.coded_height <= 16384, "size beyond the limit");
      Check(info.width > 0 && info.width <= info.coded_width, "width outside the coded width");
      Check(info.height > 0 && info.height <= info.coded_height, "height outside the coded height");
    }
  }
  return 0;
}
