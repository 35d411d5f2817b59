// The control's TCP connection to a recorder. A worker thread connects
// (non-blocking, bounded by kConnectTimeoutMs) and then watches the open
// connection; it only ever posts messages to the notify window, so the GUI
// thread never waits on the network and Stop() can always join it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

#include "handles.h"
#include "worker.h"

namespace dvrocx {

constexpr DWORD kConnectTimeoutMs = 5000;

// Messages posted to the notify window; wParam is the attempt number given
// to Start, so a window can drop news of an attempt it has replaced.
constexpr UINT kMsgLinkConnected = WM_APP + 0x40;  // lParam 0
constexpr UINT kMsgLinkFailed = WM_APP + 0x41;     // lParam: Windows Sockets error
constexpr UINT kMsgLinkClosed = WM_APP + 0x42;     // lParam: 0 or the error that closed it
constexpr UINT kMsgTileChanged = WM_APP + 0x43;    // lParam: the tile whose stream has news

// Checks an address as an operator types it and resolves it to IPv4: a
// dotted quad of four decimal numbers 0-255, or a host name (letters,
// digits, '-' and '.') that the resolver knows. False for anything else,
// without asking the resolver about text that cannot be a host name.
bool ResolveDeviceAddress(const std::string& text, in_addr& address);

class CDeviceLink {
 public:
  ~CDeviceLink() { Stop(); }

  // Stops any earlier connection, then starts connecting. False with
  // *error set when no socket or thread could be had; nothing runs then.
  bool Start(const in_addr& address, USHORT port, HWND notify, WPARAM attempt, int* error);
  // Cancels the worker, waits for it and closes the socket (the peer sees
  // the connection end).
  void Stop();
  bool IsRunning() const { return m_worker.IsRunning(); }

 private:
  static unsigned __stdcall ThreadMain(void* param);
  void Run();
  bool WaitForConnect();
  void WatchConnection();
  void Post(UINT message, LPARAM lParam) const;

  CSocket<SOCKET, ::closesocket> m_socket;
  CWorker m_worker;
  CScopedHandle<WSAEVENT, BOOL, ::WSACloseEvent> m_hNetEvent;  // network events of m_socket
  sockaddr_in m_target = {};
  HWND m_hNotify = nullptr;
  WPARAM m_attempt = 0;
};

}  // namespace dvrocx
