// The client of an HTTP camera's JPEG pictures, run on a channel's worker
// thread (Winsock started by the caller). Two kinds of URL work:
//  - a multipart/x-mixed-replace stream (MJPEG): one request, one picture
//    a part;
//  - a snapshot URL answering one image/jpeg: asked again and again, a new
//    connection each time, no more than five requests a second.
// Requests are HTTP/1.0 (no chunked answers), with Basic credentials when
// the URL has user information. Every wait also watches the cancel event,
// the name lookup of the host too.
// Junk where a part should be is passed over up to the next boundary line.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "stream_sink.h"
#include "stream_url.h"

namespace dvrocx {

// Runs until the session ends; how it ended. The sink hears OnPlaying once
// the server answers with pictures, then OnJpeg for each one, stamped with
// when its first byte arrived.
SessionEnd RunHttpSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink);

}  // namespace dvrocx
