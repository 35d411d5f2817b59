#include "framework/socket.h"

#include <cstdlib>

namespace {
SocketStartupFn g_startup = nullptr;
bool g_bStarted = false;
void CleanupSockets() { ::WSACleanup(); }
}  // namespace

void SetSocketStartupForTest(SocketStartupFn fn) { g_startup = fn; }

BOOL AfxSocketInit(WSADATA* lpwsaData) {
  WSADATA data;
  SocketStartupFn startup = g_startup ? g_startup : &::WSAStartup;
  if (startup(MAKEWORD(1, 1), &data) != 0) return FALSE;
  if (lpwsaData) *lpwsaData = data;
  if (!g_startup && !g_bStarted) {
    g_bStarted = true;
    std::atexit(&CleanupSockets);
  }
  return TRUE;
}
