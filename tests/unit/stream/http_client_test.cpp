// The HTTP/JPEG client against tests/servers/http_server.py on loopback,
// each picture decoded by the WIC decoder as the control decodes it.
#include <gtest/gtest.h>

#include "http_client.h"
#include "jpeg_decoder.h"
#include "tests/support/support.h"
#include "tests/support/test_server.h"

using dvrocx::SessionEnd;

// RunHttpSession on a thread of its own with COM, decoding every picture.
struct Session : dvrocx::IStreamSink {
  Session(const std::string& path, uint16_t port) {
    EXPECT_TRUE(video::ParseStreamUrl("http://" + path, port, url)) << path;
    thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Session() { SetEvent(cancel), WaitForSingleObject(thread, INFINITE), CloseHandle(thread), CloseHandle(cancel); }
  bool Pictures(LONG n) {
    return vt::PumpUntil([&] { return good >= n; }, 20000);
  }
  SessionEnd End() { return WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0 ? end : SessionEnd::kCancelled; }
  ULONGLONG CancelMs(ULONGLONG t = GetTickCount64()) {
    SetEvent(cancel);
    return End() == SessionEnd::kCancelled ? GetTickCount64() - t : 99999;
  }
  static DWORD WINAPI Run(void* p) {
    auto* s = static_cast<Session*>(p);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    dvrocx::JpegDecoder decoder;
    s->decoder = &decoder;
    return s->end = dvrocx::RunHttpSession(s->url, s->cancel, *s), 0;
  }
  void OnPlaying() override { InterlockedIncrement(&playing); }
  void OnH264Parameters(const std::vector<uint8_t>&, const std::vector<uint8_t>&) override {}
  void OnH264(const uint8_t*, size_t, bool, int64_t) override {}
  void OnJpeg(const uint8_t* data, size_t size, int64_t arrival) override {
    dvrocx::VideoFrame f;
    if (!decoder->Decode(data, size, f) || f.width != 320 || f.height != 240) return (void)InterlockedIncrement(&bad);
    EXPECT_GT(arrival, last);
    last = arrival;
    centre = f.pixels[120 * 320 + 160];
    InterlockedIncrement(&good);
  }

  video::StreamUrl url;
  HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr), thread;
  dvrocx::JpegDecoder* decoder = nullptr;
  volatile LONG playing = 0, good = 0, bad = 0;
  volatile uint32_t centre = 0;  // the last picture's middle pixel
  int64_t last = 0;
  SessionEnd end = SessionEnd::kCancelled;
};

static vt::TestServer& Plain() {
  static vt::TestServer server;
  if (!server.port()) server.Start("http_server.py");  // port 0 when it fails: no session parses
  return server;
}

TEST(HttpClient, MjpegAndSnapshotPicturesInTheirColoursUntilCancelled) {
  Session s("127.0.0.1/mjpeg/red", Plain().port());
  ASSERT_TRUE(s.Pictures(3));
  EXPECT_EQ(s.centre & 0xFFC0C0C0, 0xFFC00000) << std::hex << s.centre;  // opaque red, give or take
  ASSERT_TRUE(Plain().Command("garbage"));                               // junk that looks like a part's headers
  ASSERT_TRUE(s.Pictures(s.good + 5));
  EXPECT_EQ(std::make_pair(s.bad, s.playing), std::make_pair(0L, 1L));  // none broken, one start
  EXPECT_LT(s.CancelMs(), 1000u);
  // The snapshot is asked again, and no more than five times a second.
  const ULONGLONG start = GetTickCount64();
  Session snap("127.0.0.1:" + std::to_string(Plain().port()) + "/snap/blue", 1);
  ASSERT_TRUE(snap.Pictures(6));
  const LONG n = snap.good;
  EXPECT_GE(GetTickCount64() - start, (n - 1) * 200u) << n;
  EXPECT_EQ(snap.centre & 0xFFC0C0C0, 0xFF0000C0) << std::hex << snap.centre;
  EXPECT_EQ(std::make_pair(snap.bad, snap.playing), std::make_pair(0L, 1L));
  EXPECT_LT(snap.CancelMs(), 1000u);
}

TEST(HttpClient, BasicCredentialsAndWhatIsNotThere) {
  vt::TestServer locked;
  ASSERT_TRUE(locked.Start("http_server.py", "--basic u:p@s:s"));
  Session s("u:p%40s:s@127.0.0.1/snap/lime", locked.port());
  ASSERT_TRUE(s.Pictures(1));
  for (const char* refused : {"u:p%40s:x@127.0.0.1/snap/lime", "127.0.0.1/mjpeg/lime"})
    EXPECT_EQ(Session(refused, locked.port()).End(), SessionEnd::kAuthFailed) << refused;
  for (const char* missing : {"127.0.0.1/snap/nocolour", "127.0.0.1/other"})
    EXPECT_EQ(Session(missing, Plain().port()).End(), SessionEnd::kNotFound) << missing;
}
