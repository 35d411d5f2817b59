// libFuzzer target over the Annex-B splitter and the sequence parameter set
// reader. Besides the sanitizers' checks: every unit lies inside the input in
// order, right after a start code, holds no start code and ends in a non-zero
// byte; a size that is read fits the coded size in whole macroblocks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "h264_sps.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "property broken: %s\n", what), std::abort();
}

bool StartCodeAt(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<video::NalUnit> units = video::SplitAnnexB(data, size);
  const uint8_t* previous_end = data;
  for (const video::NalUnit& u : units) {
    Check(u.size > 0 && u.data >= previous_end + 3 && u.data + u.size <= data + size, "unit outside the input");
    Check(StartCodeAt(u.data - 3), "unit not after a start code");
    Check(u.data[u.size - 1] != 0, "unit ends in a zero byte");
    for (size_t i = 0; i + 3 <= u.size; ++i) Check(!StartCodeAt(u.data + i), "start code inside a unit");
    previous_end = u.data + u.size;
  }
  // Start codes the splitter skipped: none between units but zero bytes.
  size_t codes = 0;
  for (size_t i = 0; i + 3 <= size; ++i) codes += StartCodeAt(data + i);
  Check(units.size() <= codes, "more units than start codes");

  video::SpsInfo info;
  const uint8_t* sps = size ? data + 1 : data;  // the first byte steers nothing else: the rest as one unit
  if (video::ParseSps(sps, size ? size - 1 : 0, &info)) {
    Check(info.coded_width % 16 == 0 && info.coded_height % 16 == 0, "coded size not in macroblocks");
    Check(info.coded_width <= 16384 && info.coded_height <= 16384, "size beyond the limit");
    Check(info.width > 0 && info.width <= info.coded_width, "width outside the coded width");
    Check(info.height > 0 && info.height <= info.coded_height, "height outside the coded height");
  }
  for (const video::NalUnit& u : units) video::ParseSps(u.data, u.size, &info);
  return 0;
}
