#include "h264_sps.h"

namespace video {

std::vector<NalUnit> SplitAnnexB(const uint8_t* data, size_t size) {
  std::vector<NalUnit> units;
  size_t begin = 0;  // where the current unit starts, 0 before the first start code
  bool inside = false;
  auto close = [&](size_t end) {
    while (end > begin && data[end - 1] == 0) --end;
    if (inside && end > begin) units.push_back(NalUnit{data + begin, end - begin});
  };
  for (size_t i = 0; i + 3 <= size;) {
    if (data[i + 2] > 1) {
      i += 3;
    } else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      close(i);
      begin = i + 3;
      inside = true;
      i += 3;
    } else {
      ++i;
    }
  }
  close(size);
  return units;
}

namespace {

// Reads the bits of a raw byte sequence; any read past the end sets failed.
class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool failed() const { return failed_; }
  void Fail() { failed_ = true; }

  uint32_t Bits(int n) {
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
      if (pos_ >= bytes_.size() * 8) {
        failed_ = true;
        return 0;
      }
      value = value << 1 | ((bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1);
      ++pos_;
    }
    return value;
  }
  // Exp-Golomb codes of up to 32 bits' value.
  uint32_t Ue() {
    int zeros = 0;
    while (!failed_ && Bits(1) == 0) {
      if (++zeros > 31) failed_ = true;
    }
    if (failed_) return 0;
    return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Bits(zeros));
  }
  int64_t Se() {
    const uint32_t k = Ue();
    return k & 1 ? int64_t{(k + 1) / 2} : -int64_t{k / 2};
  }
  // Ue() that fails above max.
  uint32_t UeMax(uint32_t max) {
    const uint32_t v = Ue();
    if (v > max) failed_ = true;
    return v;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
  bool failed_ = false;
};

bool HighProfile(uint32_t profile) {
  for (uint32_t p : {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135})
    if (profile == p) return true;
  return false;
}

void SkipScalingList(BitReader& r, int count) {
  int last = 8, next = 8;
  for (int j = 0; j < count && !r.failed(); ++j) {
    if (next != 0) {
      const int64_t delta = r.Se();
      if (delta < -128 || delta > 127) return r.Fail();
      next = static_cast<int>((last + delta + 256) % 256);
    }
    if (next != 0) last = next;
  }
}

}  // namespace

bool ParseSps(const uint8_t* nal, size_t size, SpsInfo* info) {
  if (size < 4 || (nal[0] & 0x9f) != kNalSps) return false;
  std::vector<uint8_t> rbsp;  // without the header byte and the emulation prevention bytes
  rbsp.reserve(size);
  int zeros = 0;
  for (size_t i = 1; i < size; ++i) {
    if (zeros >= 2 && nal[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = nal[i] == 0 ? zeros + 1 : 0;
    rbsp.push_back(nal[i]);
  }
  BitReader r(rbsp);
  const uint32_t profile = r.Bits(8);
  r.Bits(16);   // constraint flags, level
  r.UeMax(31);  // seq_parameter_set_id
  uint32_t chroma_format = 1;
  bool separate_planes = false;
  if (HighProfile(profile)) {
    chroma_format = r.UeMax(3);
    if (chroma_format == 3) separate_planes = r.Bits(1);
    r.UeMax(6);  // bit depths
    r.UeMax(6);
    r.Bits(1);  // transform bypass
    if (r.Bits(1)) {
      for (int i = 0; i < (chroma_format != 3 ? 8 : 12) && !r.failed(); ++i)
        if (r.Bits(1)) SkipScalingList(r, i < 6 ? 16 : 64);
    }
  }
  r.UeMax(12);  // log2_max_frame_num - 4
  const uint32_t poc_type = r.UeMax(2);
  if (poc_type == 0) {
    r.UeMax(12);
  } else if (poc_type == 1) {
    r.Bits(1);
    r.Se();
    r.Se();
    const uint32_t cycle = r.UeMax(255);
    for (uint32_t i = 0; i < cycle && !r.failed(); ++i) r.Se();
  }
  r.Ue();     // max_num_ref_frames
  r.Bits(1);  // gaps allowed
  const uint32_t width_mbs = r.UeMax(1023) + 1;
  const uint32_t height_units = r.UeMax(1023) + 1;
  const bool frames_only = r.Bits(1);
  if (!frames_only) r.Bits(1);      // adaptive frame/field
  r.Bits(1);                        // direct 8x8 inference
  uint32_t crop[4] = {0, 0, 0, 0};  // left, right, top, bottom
  if (r.Bits(1))
    for (uint32_t& c : crop) c = r.Ue();
  if (r.failed()) return false;

  const int64_t coded_width = int64_t{width_mbs} * 16;
  const int64_t coded_height = int64_t{height_units} * 16 * (frames_only ? 1 : 2);
  if (coded_width > 16384 || coded_height > 16384) return false;
  const int array_type = separate_planes ? 0 : static_cast<int>(chroma_format);
  const int64_t unit_x = array_type == 1 || array_type == 2 ? 2 : 1;
  const int64_t unit_y = (array_type == 1 ? 2 : 1) * (frames_only ? 1 : 2);
  const int64_t width = coded_width - unit_x * (int64_t{crop[0]} + crop[1]);
  const int64_t height = coded_height - unit_y * (int64_t{crop[2]} + crop[3]);
  if (width <= 0 || height <= 0) return false;
  info->coded_width = static_cast<int>(coded_width);
  info->coded_height = static_cast<int>(coded_height);
  info->width = static_cast<int>(width);
  info->height = static_cast<int>(height);
  return true;
}

}  // namespace video
