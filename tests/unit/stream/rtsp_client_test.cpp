#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "components/dvrocx/rtsp_client.h"
#include "tests/support/support.h"
#include "tests/support/test_server.h"

namespace {

using dvrocx::SessionEnd;

// A session on its own thread, as a channel's worker runs it, and what it got.
struct Session : dvrocx::IStreamSink {
  Session(uint16_t port, const std::string& path, const std::string& user = "", const std::string& password = "") {
    url.hasUser = !user.empty(), url.user = user, url.password = password;
    url.host = "127.0.0.1", url.port = port, url.path = path;
    idr.reserve(100000);
    thread = std::thread([this] { end = dvrocx::RunRtspSession(url, cancel, *this), SetEvent(ended); });
  }
  ~Session() { SetEvent(cancel), thread.join(), CloseHandle(cancel), CloseHandle(ended); }
  void OnPlaying() override { playing = true; }
  void OnH264Parameters(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) override {
    parameters = playing && count == 0 && !sps.empty() && (sps[0] & 0x1f) == 7 && !pps.empty();
  }
  // Each unit must start with a start code, be flagged IDR when it holds an
  // IDR slice, and not arrive before the one before it.
  void OnH264(const uint8_t* data, size_t size, bool isIdr, int64_t time) override {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ordered = ordered && parameters && text.compare(0, 4, std::string("\0\0\0\1", 4)) == 0 &&
              isIdr == (text.find(std::string("\0\0\0\1\x65", 5)) != std::string::npos) && time > 0 && time >= arrival;
    arrival = time;
    idr.push_back(isIdr);
    ++count;
  }
  void OnJpeg(const uint8_t*, size_t, int64_t) override { ordered = false; }
  // The milliseconds until the session ended, or -1 when it did not within 20 s.
  int EndsWithin() {
    const ULONGLONG start = GetTickCount64();
    return WaitForSingleObject(ended, 20000) == WAIT_OBJECT_0 ? static_cast<int>(GetTickCount64() - start) : -1;
  }
  SessionEnd Result() { return EndsWithin() >= 0 ? end : SessionEnd::kCancelled; }

  video::StreamUrl url;
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr), ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SessionEnd end = SessionEnd::kCancelled;
  std::vector<char> idr;  // of each unit; reserved, so the first count can be read while it runs
  std::atomic<size_t> count{0};
  std::atomic<bool> playing{false}, parameters{false}, ordered{true};
  int64_t arrival = 0;
  std::thread thread;
};

const std::string kServe = "--stream /moving=" VELO_STREAMS "/moving.h264 --stream /ch{ch}=" VELO_STREAMS "/red.h264";

TEST(RtspClient, WholePicturesAfterBadFramesKeepAliveAndTeardownOnCancel) {
  vt::TestServer server;
  ASSERT_TRUE(server.Start("rtsp_server.py", kServe + " --basic admin:s3cret --timeout 2"));
  Session s(server.port(), "/moving", "admin", "s3cret");
  ASSERT_TRUE(vt::PumpUntil([&] { return s.count >= 60; }, 20000));
  // An IDR picture every 25: the first unit is one, and none goes missing.
  std::vector<size_t> idrs;
  for (size_t i = 0; i < 60; ++i) {
    if (s.idr[i]) idrs.push_back(i);
  }
  EXPECT_EQ(idrs, (std::vector<size_t>{0, 25, 50}));
  for (int round = 0; round < 3; ++round) {
    const size_t before = s.count;
    ASSERT_TRUE(server.Command("garbage"));
    EXPECT_TRUE(vt::PumpUntil(
        [&] {
          const auto end = s.idr.begin() + s.count;
          return end - std::find(s.idr.begin() + before, end, 1) > 5;
        },
        20000))
        << round;
  }
  EXPECT_TRUE(s.ordered && s.parameters);  // playing, the SDP's parameter sets, then good units
  EXPECT_TRUE(vt::PumpUntil([&] { return server.Command("seen GET_PARAMETER"); }, 20000));
  SetEvent(s.cancel);
  const int ms = s.EndsWithin();
  EXPECT_TRUE(ms >= 0 && ms < 1000) << ms;
  EXPECT_EQ(s.end, SessionEnd::kCancelled);
  EXPECT_TRUE(vt::PumpUntil([&] { return server.Command("seen TEARDOWN"); }, 20000));
}

}  // namespace
