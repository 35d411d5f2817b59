#include "http_client.h"

#include <ws2tcpip.h>

#include <string>
#include <vector>

#include "http_message.h"

namespace dvrocx {
namespace {

const DWORD kConnectMs = 5000;
const DWORD kSilenceMs = 10000;
const ULONGLONG kSnapshotGapMs = 200;  // five requests a second at most

int64_t Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

enum class Io { kOk, kCancelled, kFailed, kSilent, kClosed };

// One non-blocking TCP connection whose waits end early on the cancel event.
class Connection {
 public:
  explicit Connection(HANDLE cancel) : m_cancel(cancel), m_event(WSACreateEvent()) {}
  ~Connection() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    if (m_event != WSA_INVALID_EVENT) WSACloseEvent(m_event);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Io Connect(const sockaddr_in& to) {
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_socket == INVALID_SOCKET || m_event == WSA_INVALID_EVENT ||
        WSAEventSelect(m_socket, m_event, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
      return Io::kFailed;
    if (connect(m_socket, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0) return Io::kOk;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Io::kFailed;
    const ULONGLONG deadline = GetTickCount64() + kConnectMs;
    for (;;) {
      const Io io = Wait(deadline);
      if (io != Io::kOk) return io == Io::kSilent ? Io::kFailed : io;
      WSANETWORKEVENTS events;
      if (WSAEnumNetworkEvents(m_socket, m_event, &events) != 0) return Io::kFailed;
      if (events.lNetworkEvents & FD_CONNECT) return events.iErrorCode[FD_CONNECT_BIT] ? Io::kFailed : Io::kOk;
    }
  }

  Io Send(const std::string& bytes) {
    const ULONGLONG deadline = GetTickCount64() + kSilenceMs;
    for (size_t done = 0; done < bytes.size();) {
      const int n = send(m_socket, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (WSAGetLastError() != WSAEWOULDBLOCK) return Io::kClosed;
      const Io io = WaitAndReset(deadline);
      if (io != Io::kOk) return io;
    }
    return Io::kOk;
  }

  // Bytes as they come; kSilent when none came for kSilenceMs.
  Io Receive(std::vector<char>& buf, int& n, int64_t& arrival) {
    const ULONGLONG deadline = GetTickCount64() + kSilenceMs;
    for (;;) {
      if (WaitCancelled(m_cancel, 0)) return Io::kCancelled;
      n = recv(m_socket, buf.data(), static_cast<int>(buf.size()), 0);
      if (n > 0) {
        arrival = Now();
        return Io::kOk;
      }
      if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return Io::kClosed;
      const Io io = WaitAndReset(deadline);
      if (io != Io::kOk) return io;
    }
  }

 private:
  Io Wait(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    const HANDLE handles[] = {m_cancel, m_event};
    const DWORD r = WaitForMultipleObjects(2, handles, FALSE, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    if (r == WAIT_OBJECT_0) return Io::kCancelled;
    if (r == WAIT_OBJECT_0 + 1) return Io::kOk;
    return r == WAIT_TIMEOUT ? Io::kSilent : Io::kFailed;
  }
  // Waits for the socket; its events are then read again by trying.
  Io WaitAndReset(ULONGLONG deadline) {
    const Io io = Wait(deadline);
    WSANETWORKEVENTS events;
    if (io == Io::kOk) WSAEnumNetworkEvents(m_socket, m_event, &events);
    return io;
  }

  HANDLE m_cancel;
  WSAEVENT m_event;
  SOCKET m_socket = INVALID_SOCKET;
};

bool Resolve(const video::StreamUrl& url, sockaddr_in& to) {
  to = sockaddr_in();
  to.sin_family = AF_INET;
  to.sin_port = htons(url.port);
  to.sin_addr.s_addr = inet_addr(url.host.c_str());
  if (to.sin_addr.s_addr != INADDR_NONE) return true;
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(url.host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  to.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

std::string Request(const video::StreamUrl& url) {
  std::string r = "GET " + url.path + " HTTP/1.0\r\nHost: " + url.host;
  if (url.port != 80) r += ":" + std::to_string(url.port);
  r += "\r\nAccept: */*\r\nConnection: close\r\n";
  if (url.hasUser) r += "Authorization: " + video::BasicAuthorization(url.user, url.password) + "\r\n";
  return r + "\r\n";
}

SessionEnd Ended(Io io) {
  if (io == Io::kCancelled) return SessionEnd::kCancelled;
  return SessionEnd::kDropped;  // closed, reset or silent
}

bool IsJpegType(const std::string& type) {
  return type == "image/jpeg" || type == "image/jpg" || type == "image/pjpeg";
}

// The parts of a multipart answer until the stream ends.
SessionEnd ReadParts(Connection& c, const video::HttpResponseReader& head, int64_t arrival, std::vector<char>& buf,
                     IStreamSink& sink) {
  video::MultipartReader reader(head.response().boundary);
  const std::string& first = head.body();
  auto state = reader.Feed(reinterpret_cast<const uint8_t*>(first.data()), first.size(), arrival);
  for (;;) {
    for (video::MultipartReader::Part part; reader.Next(part);)
      sink.OnJpeg(part.body.data(), part.body.size(), part.arrival);
    if (state == video::MultipartReader::State::kBad) return SessionEnd::kBadData;
    if (state == video::MultipartReader::State::kEnd) return SessionEnd::kDropped;
    int n = 0;
    const Io io = c.Receive(buf, n, arrival);
    if (io != Io::kOk) return Ended(io);
    state = reader.Feed(reinterpret_cast<const uint8_t*>(buf.data()), static_cast<size_t>(n), arrival);
  }
}

// A snapshot's picture: Content-Length bytes, else up to the end of the
// connection. kOk when it is whole.
Io ReadPicture(Connection& c, const video::HttpResponseReader& head, std::vector<char>& buf, std::string& picture,
               int64_t& arrival) {
  const int64_t length = head.response().contentLength;
  picture = head.body();
  while (length < 0 || picture.size() < static_cast<uint64_t>(length)) {
    if (picture.size() > video::kMaxHttpPart) return Io::kFailed;
    int n = 0;
    int64_t stamp = 0;
    const Io io = c.Receive(buf, n, stamp);
    if (io == Io::kClosed && length < 0) break;
    if (io != Io::kOk) return io;
    if (picture.empty()) arrival = stamp;  // the picture's first byte
    picture.append(buf.data(), static_cast<size_t>(n));
  }
  if (length >= 0) picture.resize(static_cast<size_t>(length));
  return picture.size() <= video::kMaxHttpPart ? Io::kOk : Io::kFailed;
}

}  // namespace

SessionEnd RunHttpSession(const video::StreamUrl& url, HANDLE cancel, IStreamSink& sink) {
  sockaddr_in to;
  if (!Resolve(url, to)) return SessionEnd::kUnreachable;
  const std::string request = Request(url);
  std::vector<char> buf(64 * 1024);
  bool playing = false;
  for (ULONGLONG last = 0;;) {
    // A snapshot URL is asked again, but not sooner than kSnapshotGapMs.
    const ULONGLONG now = GetTickCount64();
    if (last && now < last + kSnapshotGapMs && WaitCancelled(cancel, static_cast<DWORD>(last + kSnapshotGapMs - now)))
      return SessionEnd::kCancelled;
    last = GetTickCount64();

    Connection c(cancel);
    Io io = c.Connect(to);
    if (io == Io::kFailed) return playing ? SessionEnd::kDropped : SessionEnd::kUnreachable;
    if (io == Io::kOk) io = c.Send(request);
    if (io != Io::kOk) return Ended(io);
    video::HttpResponseReader head;
    int64_t arrival = 0;
    while (head.state() == video::HttpResponseReader::State::kNeedMore) {
      int n = 0;
      io = c.Receive(buf, n, arrival);
      if (io != Io::kOk) return Ended(io);
      head.Feed(reinterpret_cast<const uint8_t*>(buf.data()), static_cast<size_t>(n));
    }
    if (head.state() == video::HttpResponseReader::State::kBad) return SessionEnd::kBadData;
    const video::HttpResponse& r = head.response();
    if (r.status == 401 || r.status == 403) return SessionEnd::kAuthFailed;
    if (r.status >= 500) return SessionEnd::kDropped;
    if (r.status < 200 || r.status > 299) return SessionEnd::kNotFound;
    if (r.contentType.compare(0, 10, "multipart/") == 0) {
      sink.OnPlaying();
      return ReadParts(c, head, arrival, buf, sink);
    }
    if (!IsJpegType(r.contentType)) return SessionEnd::kNotFound;
    std::string picture;
    io = ReadPicture(c, head, buf, picture, arrival);
    if (io == Io::kFailed) return SessionEnd::kBadData;
    if (io != Io::kOk) return Ended(io);
    if (!playing) sink.OnPlaying();
    playing = true;
    sink.OnJpeg(reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), arrival);
  }
}

}  // namespace dvrocx
