#include "http_client.h"

#include <string>

#include "http_message.h"
#include "stream_socket.h"

namespace dvrocx {
namespace {

const DWORD kConnectMs = 5000;
const DWORD kSilenceMs = 10000;
const ULONGLONG kSnapshotGapMs = 200;  // five requests a second at most

std::string Request(const video::StreamUrl& url) {
  std::string r = "GET " + url.path + " HTTP/1.0\r\nHost: " + url.host;
  if (url.port != 80) r += ":" + std::to_string(url.port);
  r += "\r\nAccept: */*\r\nConnection: close\r\n";
  if (url.hasUser) r += "Authorization: " + video::BasicAuthorization(url.user, url.password) + "\r\n";
  return r + "\r\n";
}

SessionEnd Ended(NetIo io) {
  if (io == NetIo::kCancelled) return SessionEnd::kCancelled;
  return SessionEnd::kDropped;  // closed, reset or silent
}

bool IsJpegType(const std::string& type) {
  return type == "image/jpeg" || type == "image/jpg" || type == "image/pjpeg";
}

// The parts of a multipart answer until the stream ends.
SessionEnd ReadParts(StreamSocket& c, const video::HttpResponseReader& head, int64_t arrival, IStreamSink& sink) {
  video::MultipartReader reader(head.response().boundary);
  const std::string& first = head.body();
  auto state = reader.Feed(reinterpret_cast<const uint8_t*>(first.data()), first.size(), arrival);
  for (;;) {
    for (video::MultipartReader::Part part; reader.Next(part);)
      sink.OnJpeg(part.body.data(), part.body.size(), part.arrival);
    if (state == video::MultipartReader::State::kBad) return SessionEnd::kBadData;
    if (state == video::MultipartReader::State::kEnd) return SessionEnd::kDropped;
    const NetIo io = c.Receive(kSilenceMs);
    if (io != NetIo::kOk) return Ended(io);
    state = reader.Feed(reinterpret_cast<const uint8_t*>(c.data()), c.size(), c.arrival());
  }
}

// A snapshot's picture: Content-Length bytes, else up to the end of the
// connection. kOk when it is whole.
NetIo ReadPicture(StreamSocket& c, const video::HttpResponseReader& head, std::string& picture, int64_t& arrival) {
  const int64_t length = head.response().contentLength;
  picture = head.body();
  while (length < 0 || picture.size() < static_cast<uint64_t>(length)) {
    if (picture.size() > video::kMaxHttpPart) return NetIo::kFailed;
    const NetIo io = c.Receive(kSilenceMs);
    if (io == NetIo::kClosed && length < 0) break;
    if (io != NetIo::kOk) return io;
    if (picture.empty()) arrival = c.arrival();  // the picture's first byte
    picture.append(c.data(), c.size());
  }
  if (length >= 0) picture.resize(static_cast<size_t>(length));
  return picture.size() <= video::kMaxHttpPart ? NetIo::kOk : NetIo::kFailed;
}

}  // namespace

SessionEnd RunHttpSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink) {
  sockaddr_in to;
  const NetIo found = ResolveHost(url.host, url.port, cancel, to);
  if (found != NetIo::kOk) return found == NetIo::kCancelled ? SessionEnd::kCancelled : SessionEnd::kUnreachable;
  const std::string request = Request(url);
  bool playing = false;
  for (ULONGLONG last = 0;;) {
    // A snapshot URL is asked again, but not sooner than kSnapshotGapMs.
    const ULONGLONG now = GetTickCount64();
    if (last && now < last + kSnapshotGapMs && WaitCancelled(cancel, static_cast<DWORD>(last + kSnapshotGapMs - now)))
      return SessionEnd::kCancelled;
    last = GetTickCount64();

    StreamSocket c(cancel);
    NetIo io = c.Connect(to, kConnectMs);
    if (io == NetIo::kFailed) return playing ? SessionEnd::kDropped : SessionEnd::kUnreachable;
    if (io == NetIo::kOk) io = c.Send(request, kSilenceMs);
    if (io != NetIo::kOk) return Ended(io);
    video::HttpResponseReader head;
    int64_t arrival = 0;
    while (head.state() == video::HttpResponseReader::State::kNeedMore) {
      io = c.Receive(kSilenceMs);
      if (io != NetIo::kOk) return Ended(io);
      arrival = c.arrival();
      head.Feed(reinterpret_cast<const uint8_t*>(c.data()), c.size());
    }
    if (head.state() == video::HttpResponseReader::State::kBad) return SessionEnd::kBadData;
    const video::HttpResponse& r = head.response();
    if (r.status == 401 || r.status == 403) return SessionEnd::kAuthFailed;
    if (r.status >= 500) return SessionEnd::kDropped;
    if (r.status < 200 || r.status > 299) return SessionEnd::kNotFound;
    if (r.contentType.compare(0, 10, "multipart/") == 0) {
      sink.OnPlaying();
      return ReadParts(c, head, arrival, sink);
    }
    if (!IsJpegType(r.contentType)) return SessionEnd::kNotFound;
    std::string picture;
    io = ReadPicture(c, head, picture, arrival);
    if (io == NetIo::kFailed) return SessionEnd::kBadData;
    if (io != NetIo::kOk) return Ended(io);
    if (!playing) sink.OnPlaying();
    playing = true;
    sink.OnJpeg(reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), arrival);
  }
}

}  // namespace dvrocx
