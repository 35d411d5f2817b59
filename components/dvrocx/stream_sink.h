// What runs on a channel's worker thread: a network client reads a stream
// server and hands what it receives to a sink, which decodes it and keeps
// the newest picture for the tile. Clients return when the session ends or
// the cancel event is set; they never touch windows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dvrocx {

// How a session with a stream server ended.
enum class SessionEnd {
  kCancelled,    // the cancel event was set
  kUnreachable,  // no connection (refused, timed out, unknown host)
  kAuthFailed,   // the server refused the credentials (401 after trying them)
  kNotFound,     // no such stream (404, no H.264 track, not an image stream)
  kDropped,      // the connection ended or went silent after it had worked
  kBadData,      // the server spoke something that is not the protocol
};

// A decoded picture: 32-bit BGRA pixels (0xAARRGGBB as a uint32_t), top row
// first, width pixels a row.
struct VideoFrame {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  int64_t arrival = 0;  // QueryPerformanceCounter when its first byte arrived
};

class IStreamSink {
 public:
  // The server accepted the request and media is about to flow.
  virtual void OnPlaying() = 0;
  // RTSP: the parameter sets announced in the SDP (either may be empty),
  // once before the first access unit.
  virtual void OnH264Parameters(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps) = 0;
  // One H.264 access unit in Annex-B form (start codes before every NAL
  // unit). After a gap in the packets, units resume at the next IDR picture.
  virtual void OnH264(const uint8_t* data, size_t size, bool idr, int64_t arrival) = 0;
  // One whole JPEG image.
  virtual void OnJpeg(const uint8_t* data, size_t size, int64_t arrival) = 0;

 protected:
  ~IStreamSink() = default;
};

// Waits up to ms for cancel; true when it was set.
inline bool WaitCancelled(HANDLE cancel, DWORD ms) { return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0; }

}  // namespace dvrocx
