#include "channel.h"

#include <objbase.h>

#include <utility>

#include "http_client.h"
#include "rtsp_client.h"

namespace dvrocx {
namespace {

class CExclusive {
 public:
  explicit CExclusive(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
  ~CExclusive() { ReleaseSRWLockExclusive(&m_lock); }
  CExclusive(const CExclusive&) = delete;
  CExclusive& operator=(const CExclusive&) = delete;

 private:
  SRWLOCK& m_lock;
};

// A session that brought pictures starts the waits over at one second.
int NextBackoff(int seconds) { return seconds * 2 < kMaxBackoffSeconds ? seconds * 2 : kMaxBackoffSeconds; }

}  // namespace

bool CChannel::Start(const video::StreamUrl& url, HWND notify, UINT message, WPARAM wParam, LPARAM lParam) {
  Stop();
  m_url = url;
  m_hNotify = notify;
  m_message = message;
  m_wParam = wParam;
  m_lParam = lParam;
  {
    CExclusive lock(m_lock);
    m_view = TileView();
    m_view.state = TileState::kConnecting;
  }
  return m_worker.Start(&CChannel::ThreadMain, this);
}

void CChannel::Stop() {
  m_worker.Stop();
  CExclusive lock(m_lock);
  m_view = TileView();
}

TileView CChannel::Snapshot() {
  m_bPosted = false;
  CExclusive lock(m_lock);
  TileView view = m_view;
  // A stream that stopped bringing pictures is not playing at its old rate.
  if (view.state == TileState::kPlaying && GetTickCount64() - m_fpsStart > 2000) view.fps = 0;
  return view;
}

unsigned __stdcall CChannel::ThreadMain(void* param) {
  // The decoders are COM objects; this thread is theirs.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  static_cast<CChannel*>(param)->Run();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}

void CChannel::Run() {
  int backoff = 1;
  m_bNoDecoder = false;
  for (;;) {
    SetState(TileState::kConnecting);
    m_bPictureSeen = false;
    m_decoder.reset(new CH264Decoder());
    m_jpeg.reset(new JpegDecoder());
    const SessionEnd end = m_url.scheme == video::Scheme::kRtsp ? RunRtspSession(m_url, m_worker.Cancel(), *this)
                                                                : RunHttpSession(m_url, m_worker.Cancel(), *this);
    m_decoder.reset();
    m_jpeg.reset();
    if (m_bNoDecoder) {
      SetState(TileState::kNoDecoder);
      return;
    }
    if (end == SessionEnd::kCancelled) return;
    if (m_bPictureSeen) backoff = 1;
    // Refused credentials and missing streams stay on the tile while the
    // channel waits; anything else counts down to the next attempt.
    const TileState waiting = end == SessionEnd::kAuthFailed ? TileState::kAuthFailed
                              : end == SessionEnd::kNotFound ? TileState::kNoStream
                                                             : TileState::kReconnecting;
    for (int left = backoff; left > 0; --left) {
      SetState(waiting, left);
      if (WaitCancelled(m_worker.Cancel(), 1000)) return;
    }
    backoff = NextBackoff(backoff);
  }
}

void CChannel::SetState(TileState state, int retrySeconds) {
  {
    CExclusive lock(m_lock);
    if (m_view.state == state && m_view.retrySeconds == retrySeconds) return;
    m_view.state = state;
    m_view.retrySeconds = retrySeconds;
    if (state != TileState::kPlaying) {
      // The next session counts its frames a second afresh.
      m_view.frame.reset();
      m_fpsStart = 0;
      m_fpsCount = 0;
    }
  }
  Notify();
}

void CChannel::Notify() {
  if (!m_bPosted.exchange(true)) PostMessageA(m_hNotify, m_message, m_wParam, m_lParam);
}

void CChannel::PutFrame(std::shared_ptr<VideoFrame> frame) {
  m_bPictureSeen = true;
  const ULONGLONG now = GetTickCount64();
  {
    CExclusive lock(m_lock);
    if (now - m_fpsStart >= 1000) {
      m_view.fps = m_fpsStart == 0 ? 0 : static_cast<int>(m_fpsCount * 1000 / (now - m_fpsStart));
      m_fpsStart = now;
      m_fpsCount = 0;
    }
    ++m_fpsCount;
    m_view.state = TileState::kPlaying;
    m_view.retrySeconds = 0;
    m_view.frame = std::move(frame);  // the older picture goes once nobody paints it
  }
  Notify();
}

void CChannel::OnPlaying() { SetState(TileState::kPlaying); }

void CChannel::OnH264Parameters(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) {
  if (m_decoder) m_decoder->SetParameterSets(sps, pps);
}

void CChannel::OnH264(const uint8_t* data, size_t size, bool idr, int64_t arrival) {
  if (!m_decoder || m_bNoDecoder) return;
  (void)idr;
  m_decoded.clear();
  if (m_decoder->Decode(data, size, arrival, &m_decoded) == CH264Decoder::Result::kNoDecoder) {
    // The stream plays on no tile of this system: end the session for good.
    m_bNoDecoder = true;
    SetEvent(m_worker.Cancel());
    return;
  }
  if (!m_decoded.empty()) PutFrame(std::make_shared<VideoFrame>(std::move(m_decoded.back())));
}

void CChannel::OnJpeg(const uint8_t* data, size_t size, int64_t arrival) {
  auto frame = std::make_shared<VideoFrame>();
  if (!m_jpeg || !m_jpeg->Decode(data, size, *frame)) return;
  frame->arrival = arrival;
  PutFrame(std::move(frame));
}

}  // namespace dvrocx
