#include "device_link.h"

#include <ws2tcpip.h>

namespace dvrocx {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHostNameChar(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-'; }

// Exactly four decimal numbers 0-255 separated by dots ("127.1", octal and
// hexadecimal forms that inet_addr would take are refused).
bool ParseDottedQuad(const std::string& text, in_addr& address) {
  unsigned long value = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4) {
    size_t digits = 0;
    unsigned part = 0;
    while (i < text.size() && IsDigit(text[i]) && digits < 4) {
      part = part * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || part > 255) return false;
    value = value << 8 | part;
    ++parts;
    if (parts < 4) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
  }
  if (i != text.size()) return false;
  address.s_addr = htonl(value);
  return true;
}

bool IsHostNameSyntax(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  size_t label = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (label == 0 || label > 63 || text[i - 1] == '-' || text[i - label] == '-') return false;
      label = 0;
    } else if (IsHostNameChar(text[i])) {
      ++label;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ResolveDeviceAddress(const std::string& typed, in_addr& address) {
  const size_t first = typed.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  const std::string text = typed.substr(first, typed.find_last_not_of(" \t") - first + 1);

  if (text.find_first_not_of("0123456789.") == std::string::npos) return ParseDottedQuad(text, address);
  if (!IsHostNameSyntax(text)) return false;

  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

bool CDeviceLink::Start(const in_addr& address, USHORT port, HWND notify, WPARAM attempt, int* error) {
  Stop();
  *error = 0;
  m_socket.Attach(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (m_socket == INVALID_SOCKET) {
    *error = WSAGetLastError();
    return false;
  }
  m_hNetEvent.Attach(WSACreateEvent());
  // Ask for the events before connecting: this also makes the socket
  // non-blocking, so connect() returns at once.
  if (m_hNetEvent == WSA_INVALID_EVENT || WSAEventSelect(m_socket, m_hNetEvent, FD_CONNECT | FD_READ | FD_CLOSE) != 0) {
    *error = WSAGetLastError();
    if (*error == 0) *error = static_cast<int>(GetLastError());
    Stop();
    return false;
  }
  m_target = {};
  m_target.sin_family = AF_INET;
  m_target.sin_addr = address;
  m_target.sin_port = htons(port);
  m_hNotify = notify;
  m_attempt = attempt;

  if (!m_worker.Start(&CDeviceLink::ThreadMain, this)) {
    *error = static_cast<int>(GetLastError());
    Stop();
    return false;
  }
  return true;
}

void CDeviceLink::Stop() {
  m_worker.Stop();
  // Only now that the worker is gone: it uses the socket and its events.
  m_socket.Release();
  m_hNetEvent.Release();
}

unsigned __stdcall CDeviceLink::ThreadMain(void* param) {
  static_cast<CDeviceLink*>(param)->Run();
  return 0;
}

void CDeviceLink::Run() {
  if (WaitForConnect()) WatchConnection();
}

void CDeviceLink::Post(UINT message, LPARAM lParam) const { PostMessageA(m_hNotify, message, m_attempt, lParam); }

// True once connected (and reported); false after a failure, a timeout or
// cancellation.
bool CDeviceLink::WaitForConnect() {
  if (connect(m_socket, reinterpret_cast<const sockaddr*>(&m_target), sizeof(m_target)) == 0) {
    Post(kMsgLinkConnected, 0);
    return true;
  }
  const int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK) {
    Post(kMsgLinkFailed, error);
    return false;
  }

  const ULONGLONG deadline = GetTickCount64() + kConnectTimeoutMs;
  const HANDLE waits[2] = {m_worker.Cancel(), m_hNetEvent};
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, left);
    if (woke == WAIT_OBJECT_0) return false;
    if (woke == WAIT_TIMEOUT) {
      Post(kMsgLinkFailed, WSAETIMEDOUT);
      return false;
    }
    if (woke != WAIT_OBJECT_0 + 1) {
      Post(kMsgLinkFailed, static_cast<LPARAM>(GetLastError()));
      return false;
    }
    WSANETWORKEVENTS events = {};
    if (WSAEnumNetworkEvents(m_socket, m_hNetEvent, &events) != 0) {
      Post(kMsgLinkFailed, WSAGetLastError());
      return false;
    }
    if (events.lNetworkEvents & FD_CONNECT) {
      const int result = events.iErrorCode[FD_CONNECT_BIT];
      if (result != 0) {
        Post(kMsgLinkFailed, result);
        return false;
      }
      Post(kMsgLinkConnected, 0);
      // A peer that closes at once may do so in the same batch of events.
      if (events.lNetworkEvents & FD_CLOSE) {
        Post(kMsgLinkClosed, events.iErrorCode[FD_CLOSE_BIT]);
        return false;
      }
      return true;
    }
  }
}

// The recorder's protocol is not spoken here: whatever it sends is read and
// dropped so the connection stays healthy, until it closes or Stop() is called.
void CDeviceLink::WatchConnection() {
  const HANDLE waits[2] = {m_worker.Cancel(), m_hNetEvent};
  char buffer[4096];
  for (;;) {
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0 + 1) return;
    WSANETWORKEVENTS events = {};
    if (WSAEnumNetworkEvents(m_socket, m_hNetEvent, &events) != 0) {
      Post(kMsgLinkClosed, WSAGetLastError());
      return;
    }
    if (events.lNetworkEvents & FD_READ) {
      while (recv(m_socket, buffer, sizeof(buffer), 0) > 0) {
      }
    }
    if (events.lNetworkEvents & FD_CLOSE) {
      Post(kMsgLinkClosed, events.iErrorCode[FD_CLOSE_BIT]);
      return;
    }
  }
}

}  // namespace dvrocx
