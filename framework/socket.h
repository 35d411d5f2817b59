// Windows Sockets start-up for the program.
#pragma once

#include <winsock2.h>

// Starts Windows Sockets (version 1.1 or later); FALSE when it cannot.
BOOL AfxSocketInit(WSADATA* lpwsaData = nullptr);

// Tests replace the start-up call to see the failure path.
using SocketStartupFn = int(WINAPI*)(WORD, LPWSADATA);
void SetSocketStartupForTest(SocketStartupFn fn);  // nullptr: the real WSAStartup
