// The H.264 decoder with the system's own decoder on solid-colour streams:
// the colours and sizes that come out, a size change on the way, and
// garbage between access units.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "h264_decoder.h"
#include "h264_sps.h"

using dvrocx::CH264Decoder;
using Units = std::vector<std::vector<uint8_t>>;

namespace {

// The access units of a stream: a new one starts at a parameter set, an SEI
// or a delimiter after a slice, and at a slice whose first macroblock is 0.
Units ReadUnits(const char* name) {
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
  return units;
}

bool Near(uint32_t expected, uint32_t got) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(static_cast<int>((expected >> shift) & 0xFF) - static_cast<int>((got >> shift) & 0xFF)) > 6)
      return false;
  return true;
}

uint32_t Centre(const dvrocx::VideoFrame& f) { return f.pixels[f.pixels.size() / 2 + f.width / 2]; }

class H264Decoder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
  void TearDown() override { CoUninitialize(); }

  // Decodes the units into frames_; fails on kNoDecoder.
  void Decode(const Units& units, CH264Decoder::Result expected = CH264Decoder::Result::kOk) {
    for (size_t i = 0; i < units.size(); ++i) {
      const CH264Decoder::Result r = decoder_.Decode(units[i].data(), units[i].size(), ++arrival_, &frames_);
      ASSERT_NE(CH264Decoder::Result::kNoDecoder, r) << "this system has no H.264 decoder";
      ASSERT_EQ(expected, r) << "unit " << i;
    }
  }

  CH264Decoder decoder_;
  std::vector<dvrocx::VideoFrame> frames_;
  int64_t arrival_ = 0;
};

TEST_F(H264Decoder, SolidColoursAtSdSize) {
  const struct {
    const char* name;
    uint32_t rgb;
  } streams[] = {{"red", 0xFF0000}, {"green", 0x008000}, {"blue", 0x0000FF}};
  for (const auto& s : streams) {
    CH264Decoder decoder;
    frames_.clear();
    const Units units = ReadUnits(s.name);
    ASSERT_GT(units.size(), 50u) << s.name;
    LARGE_INTEGER t0, t1, hz;
    QueryPerformanceCounter(&t0);
    for (const auto& u : units) ASSERT_EQ(CH264Decoder::Result::kOk, decoder.Decode(u.data(), u.size(), 7, &frames_));
    QueryPerformanceCounter(&t1);
    QueryPerformanceFrequency(&hz);
    std::printf("%s: %zu units, %zu frames, %.2f ms a unit\n", s.name, units.size(), frames_.size(),
                1000.0 * (t1.QuadPart - t0.QuadPart) / hz.QuadPart / units.size());
    // Some decoders keep the last few pictures until more input comes.
    EXPECT_GE(frames_.size() + 4, units.size()) << s.name;
    for (const auto& f : frames_) {
      ASSERT_EQ(720, f.width);
      ASSERT_EQ(576, f.height);
      ASSERT_TRUE(Near(s.rgb, Centre(f))) << s.name << std::hex << " got " << Centre(f);
      ASSERT_TRUE(Near(s.rgb, f.pixels[0]) && Near(s.rgb, f.pixels.back())) << s.name;
      ASSERT_EQ(7, f.arrival);
    }
  }
}

TEST_F(H264Decoder, SizeChangeOnTheWay) {
  const Units sd = ReadUnits("red"), small = ReadUnits("yellow_small");
  Decode(Units(sd.begin(), sd.begin() + 30));
  const size_t sdFrames = frames_.size();
  Decode(small);
  Decode(Units(sd.begin(), sd.begin() + 30));
  ASSERT_GT(sdFrames, 20u);
  size_t smallFrames = 0, sdAfter = 0;
  for (size_t i = sdFrames; i < frames_.size(); ++i) {
    const dvrocx::VideoFrame& f = frames_[i];
    const bool isSmall = f.width == 320 && f.height == 180;
    ASSERT_TRUE(isSmall || (f.width == 720 && f.height == 576)) << f.width << "x" << f.height;
    ASSERT_TRUE(Near(isSmall ? 0xFFFF00 : 0xFF0000, Centre(f))) << std::hex << Centre(f);
    (isSmall ? smallFrames : sdAfter) += 1;
    ASSERT_TRUE(!isSmall || sdAfter == 0) << "a small picture after the size went back";
  }
  EXPECT_GT(smallFrames + 4, small.size());
  EXPECT_GT(sdAfter, 20u);
}

TEST_F(H264Decoder, GarbageBetweenUnitsResumesAtTheNextIdr) {
  const Units blue = ReadUnits("blue");
  Decode(Units(blue.begin(), blue.begin() + 10));
  const size_t before = frames_.size();
  // Bytes without a start code, and a start code with bytes that are no NAL unit.
  std::vector<uint8_t> noise(3000), broken = {0, 0, 1, 0x80, 0xff, 0x12, 0, 0, 1, 0x1f};
  unsigned seed = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16) | 0x04;
  Decode({noise, broken}, CH264Decoder::Result::kFailed);
  // A corrupt slice: the rest of the group of pictures may be refused or look wrong.
  std::vector<uint8_t> corrupt = {0, 0, 0, 1, 0x41};
  corrupt.insert(corrupt.end(), noise.begin(), noise.end());
  decoder_.Decode(corrupt.data(), corrupt.size(), ++arrival_, &frames_);
  for (size_t i = 10; i < 25; ++i) decoder_.Decode(blue[i].data(), blue[i].size(), ++arrival_, &frames_);
  const size_t afterGarbage = frames_.size();
  Decode(Units(blue.begin() + 25, blue.end()));
  EXPECT_GT(before, 5u);
  ASSERT_GT(frames_.size(), afterGarbage + 60);
  for (size_t i = afterGarbage + 2; i < frames_.size(); ++i)
    ASSERT_TRUE(Near(0x0000FF, Centre(frames_[i]))) << i << std::hex << " got " << Centre(frames_[i]);
}

}  // namespace
