// An RTSP client for one H.264 stream, run on a channel's worker thread:
// OPTIONS, DESCRIBE, SETUP (RTP interleaved on the TCP connection), PLAY,
// then access units to the sink until the session ends. Every wait also
// waits on the cancel event, so a set cancel ends the session at once.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "stream_sink.h"
#include "stream_url.h"

namespace dvrocx {

constexpr DWORD kRtspConnectTimeoutMs = 5000;   // to establish the TCP connection
constexpr DWORD kRtspReplyTimeoutMs = 10000;    // for each reply before PLAY succeeds
constexpr DWORD kRtspSilenceTimeoutMs = 10000;  // without a video packet while playing
constexpr int kRtspDefaultSessionTimeout = 60;  // seconds, when SETUP names none

// Needs Winsock started. Returns how the session ended; kCancelled only
// when cancel was set (the session is then torn down without waiting).
SessionEnd RunRtspSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink);

}  // namespace dvrocx
