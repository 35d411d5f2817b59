#include "tests/support/test_server.h"

#include <cstdio>

#include "tests/support/support.h"

namespace vt {
namespace {

struct Winsock {
  Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() { WSACleanup(); }
};

}  // namespace

TestServer::~TestServer() { Stop(); }

bool TestServer::Start(const std::string& script, const std::string& args) {
  static Winsock winsock;
  static int serial = 0;
  Stop();
  // Unique across processes of both architectures: each suite has its own
  // wineserver, so Windows process ids repeat between them.
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  char name[96];
  std::snprintf(name, sizeof(name), "/tmp/velo-server-%llx-%lu-%d.port", static_cast<unsigned long long>(now.QuadPart),
                GetCurrentProcessId(), ++serial);
  const std::string portFile = name;
  const std::string windowsPortFile = "Z:" + portFile;
  DeleteFileA(windowsPortFile.c_str());
  std::string command = "Z:\\usr\\bin\\python3 " VELO_SOURCE_DIR "/tests/servers/" + script + " --port-file " +
                        portFile + (args.empty() ? "" : " " + args);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  // A Linux program's handles cannot be waited on; the control connection
  // is what ties the server's life to ours.
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  unsigned port = 0, control = 0;
  if (!PumpUntil(
          [&] {
            const std::string text = ReadFileBytes(windowsPortFile);
            return std::sscanf(text.c_str(), "%u %u", &port, &control) == 2;
          },
          20000))
    return false;
  DeleteFileA(windowsPortFile.c_str());
  m_control = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<u_short>(control));
  if (connect(m_control, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    Stop();
    return false;
  }
  m_port = static_cast<uint16_t>(port);
  return true;
}

bool TestServer::Command(const std::string& line) {
  const std::string out = line + "\n";
  if (send(m_control, out.data(), static_cast<int>(out.size()), 0) != static_cast<int>(out.size())) return false;
  std::string reply;
  char c = 0;
  while (recv(m_control, &c, 1, 0) == 1 && c != '\n') reply += c;
  return reply == "ok";
}

void TestServer::Stop() {
  if (m_control != INVALID_SOCKET) closesocket(m_control);
  m_control = INVALID_SOCKET;
  m_port = 0;
}

}  // namespace vt
