// The HTTP/JPEG client against tests/servers/http_server.py on loopback,
// each picture decoded by the WIC decoder as the control decodes it.
#include <gtest/gtest.h>

#include "http_client.h"
#include "jpeg_decoder.h"
#include "tests/support/support.h"
#include "tests/support/test_server.h"

using dvrocx::SessionEnd;

namespace {

int64_t Qpc() {
  LARGE_INTEGER t;
  return QueryPerformanceCounter(&t), t.QuadPart;
}

// RunHttpSession on a thread of its own with COM, decoding every picture.
class Session : public dvrocx::IStreamSink {
 public:
  Session(const std::string& path, uint16_t port) : m_cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    EXPECT_TRUE(video::ParseStreamUrl("http://" + path, port, m_url)) << path;
    m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Session() {
    SetEvent(m_cancel);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    CloseHandle(m_cancel);
  }
  bool Pictures(int n) {
    return vt::PumpUntil([&] { return good >= n; }, 20000);
  }
  SessionEnd End() { return WaitForSingleObject(m_thread, 20000) == WAIT_OBJECT_0 ? end : SessionEnd::kCancelled; }
  DWORD CancelMs() {
    const ULONGLONG t = GetTickCount64();
    SetEvent(m_cancel);
    EXPECT_EQ(End(), SessionEnd::kCancelled);
    return static_cast<DWORD>(GetTickCount64() - t);
  }

  volatile LONG playing = 0, good = 0, bad = 0;
  volatile uint32_t centre = 0;
  int64_t start = Qpc(), last = 0;
  SessionEnd end = SessionEnd::kCancelled;

 private:
  static DWORD WINAPI Run(void* p) {
    auto* s = static_cast<Session*>(p);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    dvrocx::JpegDecoder decoder;
    s->m_decoder = &decoder;
    s->end = dvrocx::RunHttpSession(s->m_url, s->m_cancel, *s);
    s->m_decoder = nullptr;
    return 0;
  }
  void OnPlaying() override { InterlockedIncrement(&playing); }
  void OnH264Parameters(const std::vector<uint8_t>&, const std::vector<uint8_t>&) override { ADD_FAILURE(); }
  void OnH264(const uint8_t*, size_t, bool, int64_t) override { ADD_FAILURE(); }
  void OnJpeg(const uint8_t* data, size_t size, int64_t arrival) override {
    dvrocx::VideoFrame f;
    if (!m_decoder->Decode(data, size, f) || f.width != 320 || f.height != 240) return (void)InterlockedIncrement(&bad);
    EXPECT_TRUE(arrival > last && arrival <= Qpc());
    last = arrival;
    centre = f.pixels[120 * 320 + 160];
    InterlockedIncrement(&good);
  }

  video::StreamUrl m_url;
  HANDLE m_cancel, m_thread;
  dvrocx::JpegDecoder* m_decoder = nullptr;
};

// Solid colours come back within JPEG's error, alpha opaque.
bool Near(uint32_t bgra, uint32_t want) {
  for (int shift = 0; shift < 32; shift += 8)
    if (abs(int(bgra >> shift & 255) - int(want >> shift & 255)) > 12) return false;
  return true;
}

vt::TestServer& Plain() {
  static vt::TestServer server;
  if (!server.port()) {
    EXPECT_TRUE(server.Start("http_server.py"));
  }
  return server;
}

TEST(HttpClient, MjpegPicturesInTheirColourThroughJunkUntilCancelled) {
  Session s("127.0.0.1/mjpeg/red", Plain().port());
  ASSERT_TRUE(s.Pictures(3));
  EXPECT_TRUE(Near(s.centre, 0xFFFF0000)) << std::hex << s.centre;
  ASSERT_TRUE(Plain().Command("garbage"));
  const LONG before = s.good;
  ASSERT_TRUE(s.Pictures(before + 5));  // the junk went by and pictures go on
  EXPECT_EQ(s.bad, 0);
  EXPECT_EQ(s.playing, 1);
  EXPECT_LT(s.CancelMs(), 1000u);
}

TEST(HttpClient, SnapshotAskedAgainNoMoreThanFiveTimesASecond) {
  Session s("127.0.0.1:" + std::to_string(Plain().port()) + "/snap/blue", 1);
  ASSERT_TRUE(s.Pictures(6));
  const LONG n = s.good;
  LARGE_INTEGER hz;
  QueryPerformanceFrequency(&hz);
  EXPECT_GE((s.last - s.start) * 1000 / hz.QuadPart, (n - 1) * 200) << n;
  EXPECT_TRUE(Near(s.centre, 0xFF0000FF)) << std::hex << s.centre;
  EXPECT_EQ(s.playing, 1);
  EXPECT_LT(s.CancelMs(), 1000u);
}

TEST(HttpClient, BasicCredentialsAndWhatIsNotThere) {
  vt::TestServer locked;
  ASSERT_TRUE(locked.Start("http_server.py", "--basic u:p@s:s"));
  {
    Session s("u:p%40s:s@127.0.0.1/snap/lime", locked.port());
    ASSERT_TRUE(s.Pictures(1));
    EXPECT_TRUE(Near(s.centre, 0xFF00FF00)) << std::hex << s.centre;
  }
  for (const char* refused : {"u:p%40s:x@127.0.0.1/snap/lime", "127.0.0.1/mjpeg/lime"})
    EXPECT_EQ(Session(refused, locked.port()).End(), SessionEnd::kAuthFailed) << refused;
  for (const char* missing : {"127.0.0.1/snap/nocolour", "127.0.0.1/other"})
    EXPECT_EQ(Session(missing, Plain().port()).End(), SessionEnd::kNotFound) << missing;
}

}  // namespace
