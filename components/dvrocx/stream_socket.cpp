#include "stream_socket.h"

#include <ws2tcpip.h>

#include <memory>

namespace dvrocx {
namespace {

// A name lookup on its own thread. Whichever of the caller and the thread
// finishes last frees it: the caller may give up on cancel and return.
struct Lookup {
  ~Lookup() {
    if (done != nullptr) CloseHandle(done);
  }
  LONG refs = 2;
  std::string host;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HMODULE module = nullptr;
  bool found = false;
  in_addr address = {};
};

void Release(Lookup* lookup) {
  if (InterlockedDecrement(&lookup->refs) == 0) delete lookup;
}

// Holds its own Winsock start and a reference to this module (both taken
// for it before it starts), so that neither the control's Winsock cleanup
// nor the container freeing the library pulls them away under a slow lookup.
DWORD WINAPI LookupThread(void* param) {
  Lookup* lookup = static_cast<Lookup*>(param);
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(lookup->host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
    lookup->address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    lookup->found = true;
  }
  if (found != nullptr) freeaddrinfo(found);
  WSACleanup();
  SetEvent(lookup->done);
  const HMODULE module = lookup->module;
  Release(lookup);
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

int64_t Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

NetIo ResolveHost(const std::string& host, uint16_t port, HANDLE cancel, sockaddr_in& to) {
  to = sockaddr_in();
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = inet_addr(host.c_str());
  if (to.sin_addr.s_addr != INADDR_NONE) return NetIo::kOk;
  std::unique_ptr<Lookup> owned(new Lookup);
  owned->host = host;
  WSADATA data;
  const bool winsock = owned->done != nullptr && WSAStartup(MAKEWORD(2, 2), &data) == 0;
  const bool pinned =
      winsock && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<const wchar_t*>(reinterpret_cast<const void*>(&LookupThread)),
                                    &owned->module);
  const HANDLE thread = pinned ? CreateThread(nullptr, 0, LookupThread, owned.get(), 0, nullptr) : nullptr;
  if (thread == nullptr) {
    if (pinned) FreeLibrary(owned->module);
    if (winsock) WSACleanup();
    return NetIo::kFailed;
  }
  CloseHandle(thread);
  Lookup* lookup = owned.release();  // the thread's and ours now
  const HANDLE waits[2] = {cancel, lookup->done};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  NetIo io = NetIo::kFailed;
  if (woke == WAIT_OBJECT_0) {
    io = NetIo::kCancelled;
  } else if (woke == WAIT_OBJECT_0 + 1 && lookup->found) {
    to.sin_addr = lookup->address;
    io = NetIo::kOk;
  }
  Release(lookup);
  return io;
}

StreamSocket::StreamSocket(HANDLE cancel) : m_cancel(cancel) {}

StreamSocket::~StreamSocket() {
  if (m_socket != INVALID_SOCKET) closesocket(m_socket);
  if (m_event != WSA_INVALID_EVENT) WSACloseEvent(m_event);
}

NetIo StreamSocket::Connect(const sockaddr_in& to, DWORD timeoutMs, int receiveBuffer) {
  m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  m_event = WSACreateEvent();
  if (m_socket == INVALID_SOCKET || m_event == WSA_INVALID_EVENT ||
      WSAEventSelect(m_socket, m_event, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0)
    return NetIo::kFailed;
  if (receiveBuffer > 0)
    setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof(receiveBuffer));
  if (connect(m_socket, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0) return NetIo::kOk;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return NetIo::kFailed;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const NetIo io = Wait(deadline);
    if (io != NetIo::kOk) return io == NetIo::kCancelled ? io : NetIo::kFailed;
    WSANETWORKEVENTS events = {};
    if (WSAEnumNetworkEvents(m_socket, m_event, &events) != 0) return NetIo::kFailed;
    if (events.lNetworkEvents & FD_CONNECT) return events.iErrorCode[FD_CONNECT_BIT] == 0 ? NetIo::kOk : NetIo::kFailed;
  }
}

NetIo StreamSocket::Send(const std::string& bytes, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (size_t at = 0; at < bytes.size();) {
    const int n = send(m_socket, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
    if (n > 0) {
      at += static_cast<size_t>(n);
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return NetIo::kClosed;
    const NetIo io = Wait(deadline);
    if (io != NetIo::kOk) return io;
    // Whatever else the event reported is picked up by the next recv.
    WSANETWORKEVENTS events = {};
    WSAEnumNetworkEvents(m_socket, m_event, &events);
  }
  return NetIo::kOk;
}

NetIo StreamSocket::Receive(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  // After the wait timed out, one more recv takes what came meanwhile.
  for (bool waited = false;;) {
    if (WaitForSingleObject(m_cancel, 0) == WAIT_OBJECT_0) return NetIo::kCancelled;
    const int n = recv(m_socket, m_buffer.data(), static_cast<int>(m_buffer.size()), 0);
    if (n > 0) {
      m_size = static_cast<size_t>(n);
      m_arrival = Now();
      return NetIo::kOk;
    }
    if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return NetIo::kClosed;
    if (waited) return NetIo::kTimeout;
    const NetIo io = Wait(deadline);
    if (io == NetIo::kTimeout) {
      waited = true;
    } else if (io != NetIo::kOk) {
      return io;
    } else {
      WSANETWORKEVENTS events = {};
      WSAEnumNetworkEvents(m_socket, m_event, &events);
    }
  }
}

void StreamSocket::SendAndShutdown(const std::string& bytes) {
  if (m_socket == INVALID_SOCKET) return;
  send(m_socket, bytes.data(), static_cast<int>(bytes.size()), 0);
  shutdown(m_socket, SD_SEND);
}

NetIo StreamSocket::Wait(ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  const HANDLE waits[2] = {m_cancel, m_event};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
  if (woke == WAIT_OBJECT_0) return NetIo::kCancelled;
  if (woke == WAIT_OBJECT_0 + 1) return NetIo::kOk;
  return woke == WAIT_TIMEOUT ? NetIo::kTimeout : NetIo::kFailed;
}

}  // namespace dvrocx
