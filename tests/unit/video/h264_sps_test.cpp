// The picture size read from sequence parameter sets of real encoders
// (libx264 through ffmpeg; the one with scaling lists made by hand and
// checked with ffmpeg's own header reader).
#include <gtest/gtest.h>

#include <string>

#include "h264_sps.h"

namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

const struct {
  const char* what;
  const char* sps;
  int coded_width, coded_height, width, height;
} kCases[] = {
    {"main 720x576", "674d401eeca05a09360220000003002000000641e2c5b2c0", 720, 576, 720, 576},
    {"baseline 1280x720, picture order type 2", "6742c01fd9005005bb011000000300100000030320f1832480", 1280, 720, 1280,
     720},
    {"high 1920x1080", "67640028acd940780227e5c044000003000400000300c83c60c658", 1920, 1088, 1920, 1080},
    {"interlaced 1920x1080", "67640028acd94078044fde0220000003002000000643e2c5b2c0", 1920, 1088, 1920, 1080},
    {"4:4:4 640x360", "67f4001e919b281405ff1380880000030008000003019078b16cb0", 640, 368, 640, 360},
    {"4:2:2 1918x1078", "677a0028bcd940780227a8bc0440000003004000000c83c60c6580", 1920, 1088, 1918, 1078},
    {"scaling lists 1920x1080",
     "67640028adc09404a025012809402e809404a025012805d012809404a0252111080a142850a142850a142850a142850a142805f8a1428"
     "50a142850a142850a142850a142805f8a142850a142850a142850a142850a142805f8a1429b280f0044fca8",
     1920, 1088, 1920, 1080},
    // The baseline one with constraint flags and level zero: an emulation
    // prevention byte follows them.
    {"escaped 1280x720", "6742000003d9005005bb011000000300100000030320f1832480", 1280, 720, 1280, 720},
};

TEST(H264Sps, SizesOfRealStreams) {
  for (const auto& c : kCases) {
    const std::vector<uint8_t> sps = Hex(c.sps);
    video::SpsInfo info;
    ASSERT_TRUE(video::ParseSps(sps.data(), sps.size(), &info)) << c.what;
    EXPECT_EQ(c.coded_width, info.coded_width) << c.what;
    EXPECT_EQ(c.coded_height, info.coded_height) << c.what;
    EXPECT_EQ(c.width, info.width) << c.what;
    EXPECT_EQ(c.height, info.height) << c.what;
  }
}

TEST(H264Sps, RefusesWhatIsNoWholeSps) {
  const std::vector<uint8_t> sps = Hex(kCases[6].sps);
  video::SpsInfo info;
  // Cut inside the scaling lists, or before the size.
  for (size_t size : {0, 3, 10, 60, 93}) EXPECT_FALSE(video::ParseSps(sps.data(), size, &info)) << size;
  std::vector<uint8_t> pps = sps;
  pps[0] = 0x68;
  EXPECT_FALSE(video::ParseSps(pps.data(), pps.size(), &info));
  // Frame cropping that removes the whole picture: 16x16, 16 columns off.
  const std::vector<uint8_t> all = Hex("6742c01fda7e2740");
  EXPECT_FALSE(video::ParseSps(all.data(), all.size(), &info));
}

}  // namespace
