// One tile's stream: a worker thread that keeps a session with a stream
// server going (reconnecting after 1, 2, 4 ... 30 s), decodes what arrives
// and keeps only the newest picture. The window side takes a snapshot of
// it at paint time and never waits on the network: the lock guards a few
// words and a pointer swap.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "h264_decoder.h"
#include "jpeg_decoder.h"
#include "handles.h"
#include "stream_sink.h"
#include "stream_url.h"
#include "tile_view.h"
#include "worker.h"

namespace dvrocx {

// The longest wait between two attempts, in seconds.
constexpr int kMaxBackoffSeconds = 30;

class CChannel final : private IStreamSink {
 public:
  CChannel() = default;
  ~CChannel() { Stop(); }
  CChannel(const CChannel&) = delete;
  CChannel& operator=(const CChannel&) = delete;

  // Stops an earlier stream, then plays url. Whenever what the tile shows
  // changes, `message` is posted to notify with (wParam, lParam) as given,
  // at most once until the next Snapshot(). False when no thread could be
  // had.
  bool Start(const video::StreamUrl& url, HWND notify, UINT message, WPARAM wParam, LPARAM lParam);
  // Ends the session (the server sees it end) and waits for the worker.
  void Stop();
  TileView Snapshot();

 private:
  static unsigned __stdcall ThreadMain(void* param);
  void Run();
  void SetState(TileState state, int retrySeconds = 0);
  void PutFrame(std::shared_ptr<VideoFrame> frame);
  void Notify();

  void OnPlaying() override;
  void OnH264Parameters(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) override;
  void OnH264(const uint8_t* data, size_t size, bool idr, int64_t arrival) override;
  void OnJpeg(const uint8_t* data, size_t size, int64_t arrival) override;

  video::StreamUrl m_url;
  HWND m_hNotify = nullptr;
  UINT m_message = 0;
  WPARAM m_wParam = 0;
  LPARAM m_lParam = 0;
  CWorker m_worker;  // its event is also set when there is no decoder

  // Worker side only.
  std::unique_ptr<CH264Decoder> m_decoder;
  std::unique_ptr<JpegDecoder> m_jpeg;
  std::vector<VideoFrame> m_decoded;
  bool m_bNoDecoder = false;
  bool m_bPictureSeen = false;  // a picture arrived in this session

  // Shared with the window side, under m_lock.
  SRWLOCK m_lock = SRWLOCK_INIT;
  TileView m_view;
  ULONGLONG m_fpsStart = 0;  // the second whose pictures m_fpsCount counts
  int m_fpsCount = 0;
  std::atomic<bool> m_bPosted{false};
};

}  // namespace dvrocx
