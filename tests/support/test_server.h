// A test server from tests/servers, run by the system's python3 (Wine
// starts Linux programs). It lives while this object holds its control
// connection: a test that dies leaves no server behind.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace vt {

class TestServer {
 public:
  TestServer() = default;
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;
  // Starts tests/servers/<script> with the extra arguments (Linux paths)
  // and waits for it to listen. False when it does not within 20 s.
  bool Start(const std::string& script, const std::string& args = "");
  uint16_t port() const { return m_port; }
  // Sends one command line and waits for its answer; true for "ok".
  bool Command(const std::string& line);
  // Ends the server now.
  void Stop();

 private:
  SOCKET m_control = INVALID_SOCKET;
  uint16_t m_port = 0;
};

}  // namespace vt
