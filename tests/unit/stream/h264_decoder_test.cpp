// The H.264 decoder with the system's own decoder on solid-colour streams: colours
// and sizes that come out, a size change on the way, garbage between units.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <memory>
#include <string>

#include "h264_decoder.h"
#include "h264_sps.h"

using dvrocx::CH264Decoder;
using Units = std::vector<std::vector<uint8_t>>;

namespace {

// The access units of a stream: a new one starts at a parameter set, an SEI
// or a delimiter after a slice, and at a slice whose first macroblock is 0.
Units ReadUnits(const char* name, size_t begin = 0, size_t end = 1000) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen((std::string(VELO_STREAMS) + "/" + name + ".h264").c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  Units units(1);
  bool slice = false;
  for (const video::NalUnit& n : video::SplitAnnexB(bytes.data(), bytes.size())) {
    const bool isSlice = n.Type() == video::kNalSlice || n.Type() == video::kNalIdr;
    if (slice && (!isSlice || (n.size > 1 && (n.data[1] & 0x80)))) units.emplace_back(), slice = false;
    slice |= isSlice;
    units.back().insert(units.back().end(), {0, 0, 0, 1});
    units.back().insert(units.back().end(), n.data, n.data + n.size);
  }
  return Units(units.begin() + std::min(begin, units.size()), units.begin() + std::min(end, units.size()));
}

// The centre pixel within 6 levels a channel of the colour.
bool CentreIs(uint32_t rgb, const dvrocx::VideoFrame& f) {
  const uint32_t got = f.pixels[f.pixels.size() / 2 + f.width / 2];
  for (int s = 0; s < 24; s += 8)
    if (abs(static_cast<int>((rgb >> s) & 0xFF) - static_cast<int>((got >> s) & 0xFF)) > 6) return false;
  return true;
}

class H264Decoder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }

  // Decodes the units into frames_, each result as expected.
  void Decode(const Units& units, CH264Decoder::Result expected = CH264Decoder::Result::kOk) {
    for (size_t i = 0; i < units.size(); ++i)
      ASSERT_EQ(expected, decoder_->Decode(units[i].data(), units[i].size(), ++arrival_, &frames_)) << "unit " << i;
  }

  std::unique_ptr<CH264Decoder> decoder_ = std::make_unique<CH264Decoder>();
  std::vector<dvrocx::VideoFrame> frames_;
  int64_t arrival_ = 0;
};

TEST_F(H264Decoder, SizeChangeOnTheWay) {
  // The small stream's parameter sets come as an SDP would bring them.
  Units small = ReadUnits("yellow_small");
  const std::vector<video::NalUnit> n = video::SplitAnnexB(small[0].data(), small[0].size());  // SPS PPS SEI IDR
  decoder_->SetParameterSets({n[0].data, n[0].data + n[0].size}, {n[1].data, n[1].data + n[1].size});
  small[0].erase(small[0].begin(), small[0].begin() + (n[2].data - 4 - small[0].data()));
  ASSERT_NO_FATAL_FAILURE(Decode(ReadUnits("red", 0, 30)));
  const size_t sdFrames = frames_.size();
  ASSERT_NO_FATAL_FAILURE(Decode(small));
  ASSERT_NO_FATAL_FAILURE(Decode(ReadUnits("red", 0, 30)));
  size_t smallFrames = 0, sdAfter = 0;
  for (size_t i = sdFrames; i < frames_.size(); ++i) {
    const bool isSmall = frames_[i].width == 320 && frames_[i].height == 180;  // cropped from 320x192
    ASSERT_TRUE(isSmall || (frames_[i].width == 720 && frames_[i].height == 576)) << frames_[i].width;
    ASSERT_TRUE(CentreIs(isSmall ? 0xFFFF00 : 0xFF0000, frames_[i]));
    ASSERT_TRUE(!isSmall || sdAfter == 0) << "a small picture after the size went back";
    (isSmall ? smallFrames : sdAfter) += 1;
  }
  EXPECT_TRUE(sdFrames > 20 && smallFrames + 4 > small.size() && sdAfter > 20);
}

TEST_F(H264Decoder, GarbageBetweenUnitsResumesAtTheNextIdr) {
  ASSERT_NO_FATAL_FAILURE(Decode(ReadUnits("blue", 0, 10)));
  // Bytes without a start code, and a start code with bytes that are no NAL unit.
  std::vector<uint8_t> noise(3000), broken = {0, 0, 1, 0x80, 0xff, 0x12, 0, 0, 1, 0x1f};
  unsigned seed = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16) | 0x04;
  ASSERT_NO_FATAL_FAILURE(Decode({noise, broken}, CH264Decoder::Result::kFailed));
  // A corrupt slice: the rest of the group of pictures may be refused or look wrong.
  noise.insert(noise.begin(), {0, 0, 0, 1, 0x41});
  decoder_->Decode(noise.data(), noise.size(), 0, &frames_);
  for (const auto& u : ReadUnits("blue", 10, 25)) decoder_->Decode(u.data(), u.size(), 0, &frames_);
  const size_t before = frames_.size();
  ASSERT_NO_FATAL_FAILURE(Decode(ReadUnits("blue", 25)));
  ASSERT_GT(frames_.size(), before + 60);
  for (size_t i = before + 2; i < frames_.size(); ++i) ASSERT_TRUE(CentreIs(0x0000FF, frames_[i])) << i;
}
}  // namespace
