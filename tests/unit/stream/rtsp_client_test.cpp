#include <gtest/gtest.h>

#include "rtsp_client.h"
#include "tests/support/support.h"
#include "tests/support/test_server.h"

namespace {

using dvrocx::SessionEnd;

// What a session handed over, and in which order.
class Sink : public dvrocx::IStreamSink {
 public:
  struct Unit {
    bool idr, annexB, idrSlice;
    int64_t arrival;
  };
  Sink() { InitializeCriticalSection(&m_lock); }
  ~Sink() { DeleteCriticalSection(&m_lock); }
  void OnPlaying() override {
    Locked([&] { m_playing = true; });
  }
  void OnH264Parameters(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) override {
    Locked([&] { m_parameters = m_playing && units.empty() && !sps.empty() && (sps[0] & 0x1f) == 7 && !pps.empty(); });
  }
  void OnH264(const uint8_t* data, size_t size, bool idr, int64_t arrival) override {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Locked([&] {
      units.push_back({idr, text.compare(0, 4, std::string("\0\0\0\1", 4)) == 0,
                       text.find(std::string("\0\0\0\1\x65", 5)) != std::string::npos, arrival});
      m_ordered = m_ordered && m_parameters;
    });
  }
  void OnJpeg(const uint8_t*, size_t, int64_t) override {
    Locked([&] { m_ordered = false; });
  }
  size_t Count() {
    return Locked([&] { return units.size(); });
  }
  bool Ordered() {
    return Locked([&] { return m_ordered && m_parameters; });
  }
  template <typename F>
  auto Locked(F f) -> decltype(f()) {
    EnterCriticalSection(&m_lock);
    struct Leave {
      CRITICAL_SECTION* c;
      ~Leave() { LeaveCriticalSection(c); }
    } leave{&m_lock};
    return f();
  }
  std::vector<Unit> units;  // read under Locked or after the session

 private:
  CRITICAL_SECTION m_lock;
  bool m_playing = false, m_parameters = false, m_ordered = true;
};

// One session on a thread of its own, as a channel's worker runs it.
struct Session {
  Session(uint16_t port, const std::string& path, const std::string& user = "", const std::string& password = "") {
    url.hasUser = !user.empty(), url.user = user, url.password = password;
    url.host = "127.0.0.1", url.port = port, url.path = path;
    thread = CreateThread(nullptr, 0, &Session::Main, this, 0, nullptr);
  }
  ~Session() {
    SetEvent(cancel);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread), CloseHandle(cancel);
  }
  static DWORD WINAPI Main(void* p) {
    auto* s = static_cast<Session*>(p);
    s->end = dvrocx::RunRtspSession(s->url, s->cancel, s->sink);
    return 0;
  }
  // The milliseconds the session took to end, or -1 when it did not within 20 s.
  int EndsWithin() {
    const ULONGLONG start = GetTickCount64();
    return WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0 ? static_cast<int>(GetTickCount64() - start) : -1;
  }
  SessionEnd Result() { return EndsWithin() >= 0 ? end : SessionEnd::kCancelled; }
  video::StreamUrl url;
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr), thread = nullptr;
  Sink sink;
  SessionEnd end = SessionEnd::kCancelled;
};

const std::string kServe = "--stream /moving=" VELO_STREAMS "/moving.h264 --stream /ch{ch}=" VELO_STREAMS "/red.h264";

TEST(RtspClient, WholeGroupsOfPicturesKeepAliveAndTeardownOnCancel) {
  vt::TestServer server;
  ASSERT_TRUE(server.Start("rtsp_server.py", kServe + " --timeout 2"));
  Session s(server.port(), "/moving");
  ASSERT_TRUE(vt::PumpUntil([&] { return s.sink.Count() >= 60; }, 20000));
  EXPECT_TRUE(s.sink.Ordered());  // playing, then the SDP's parameter sets, then units
  // Keep-alive every second with a two-second session timeout.
  EXPECT_TRUE(vt::PumpUntil([&] { return server.Command("seen GET_PARAMETER"); }, 20000));
  SetEvent(s.cancel);
  const int ms = s.EndsWithin();
  EXPECT_TRUE(ms >= 0 && ms < 1000) << ms;
  EXPECT_EQ(s.end, SessionEnd::kCancelled);
  EXPECT_TRUE(vt::PumpUntil([&] { return server.Command("seen TEARDOWN"); }, 20000));
  // The stream has an IDR picture every 25: the first unit is one, and no
  // unit goes missing between them.
  std::vector<size_t> idrs;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  for (size_t i = 0; i < s.sink.units.size(); ++i) {
    const Sink::Unit& u = s.sink.units[i];
    EXPECT_TRUE(u.annexB && u.idr == u.idrSlice && u.arrival > 0 && u.arrival <= now.QuadPart) << i;
    EXPECT_GE(u.arrival, i > 0 ? s.sink.units[i - 1].arrival : 0);
    if (u.idr) idrs.push_back(i);
  }
  ASSERT_GE(idrs.size(), 2u);
  EXPECT_EQ(idrs[0], 0u);
  for (size_t i = 1; i < idrs.size(); ++i) EXPECT_EQ(idrs[i] - idrs[i - 1], 25u);
}

TEST(RtspClient, CredentialsPathsAndServerGoingDown) {
  vt::TestServer server;
  ASSERT_TRUE(server.Start("rtsp_server.py", kServe + " --digest admin:s3cret"));
  EXPECT_EQ(Session(server.port(), "/ch2").Result(), SessionEnd::kAuthFailed);
  EXPECT_EQ(Session(server.port(), "/ch2", "admin", "wrong").Result(), SessionEnd::kAuthFailed);
  EXPECT_EQ(Session(server.port(), "/ch9x", "admin", "s3cret").Result(), SessionEnd::kNotFound);
  Session s(server.port(), "/ch2", "admin", "s3cret");
  ASSERT_TRUE(vt::PumpUntil([&] { return s.sink.Count() >= 5; }, 20000));
  ASSERT_TRUE(server.Command("down"));
  const int ms = s.EndsWithin();
  EXPECT_TRUE(ms >= 0 && ms < 2000) << ms;
  EXPECT_EQ(s.end, SessionEnd::kDropped);
  EXPECT_EQ(Session(server.port(), "/ch2", "admin", "s3cret").Result(), SessionEnd::kUnreachable);
}

TEST(RtspClient, BadFramesAreSkippedAndPicturesResume) {
  vt::TestServer server;
  ASSERT_TRUE(server.Start("rtsp_server.py", kServe + " --basic admin:s3cret"));
  Session s(server.port(), "/moving", "admin", "s3cret");
  ASSERT_TRUE(vt::PumpUntil([&] { return s.sink.Count() >= 5; }, 20000));
  for (int round = 0; round < 3; ++round) {
    const size_t before = s.sink.Count();
    ASSERT_TRUE(server.Command("garbage"));
    EXPECT_TRUE(vt::PumpUntil(
        [&] {
          return s.sink.Locked([&] {
            for (size_t i = before; i < s.sink.units.size(); ++i) {
              if (s.sink.units[i].idr && s.sink.units.size() >= i + 5) return true;
            }
            return false;
          });
        },
        20000))
        << round;
  }
  EXPECT_EQ(WaitForSingleObject(s.thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
