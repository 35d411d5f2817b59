// The TCP connection of the stream clients, on a channel's worker thread:
// non-blocking, every wait also watching the cancel event, so that a set
// cancel ends each call at once. Winsock is started by the caller.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dvrocx {

// QueryPerformanceCounter now: the clock of the arrival stamps.
int64_t Now();

enum class NetIo {
  kOk,
  kCancelled,  // the cancel event was set
  kFailed,     // unknown host, refused, reset, or no connection in time
  kTimeout,    // nothing could be sent or arrived in time
  kClosed,     // the peer closed the connection, or it broke
};

// Finds host's IPv4 address. A dotted address is taken as it is; a name is
// looked up on a helper thread that is abandoned when cancel is set, so a
// slow name server never holds up the caller. kOk, kCancelled or kFailed.
NetIo ResolveHost(const std::string& host, uint16_t port, HANDLE cancel, sockaddr_in& to);

class StreamSocket {
 public:
  explicit StreamSocket(HANDLE cancel);
  ~StreamSocket();
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;

  // kOk, kCancelled, or kFailed (also when timeoutMs passed first). A
  // receiveBuffer above 0 sets the socket's receive buffer size.
  NetIo Connect(const sockaddr_in& to, DWORD timeoutMs, int receiveBuffer = 0);
  // All of bytes within timeoutMs.
  NetIo Send(const std::string& bytes, DWORD timeoutMs);
  // Whatever has arrived, waiting up to timeoutMs for it; on kOk see
  // data(), size() and arrival().
  NetIo Receive(DWORD timeoutMs);
  // One send without waiting, then the sending side is shut down.
  void SendAndShutdown(const std::string& bytes);

  const char* data() const { return m_buffer.data(); }
  size_t size() const { return m_size; }
  // Now() at the recv that brought the bytes.
  int64_t arrival() const { return m_arrival; }

 private:
  NetIo Wait(ULONGLONG deadline);

  const HANDLE m_cancel;
  SOCKET m_socket = INVALID_SOCKET;
  WSAEVENT m_event = WSA_INVALID_EVENT;
  std::vector<char> m_buffer = std::vector<char>(64 * 1024);
  size_t m_size = 0;
  int64_t m_arrival = 0;
};

}  // namespace dvrocx
