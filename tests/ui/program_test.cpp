// The whole program once, from outside, in a fresh prefix of its own: the
// first start installs and registers the control ("Register finish") and
// creates the settings file ("CreateFile"); an address and port typed and
// confirmed connect the viewer's control to a listener of this test on
// loopback; closing the viewer ends the program. A second start installs
// nothing, and Escape ends it with no other window shown.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <vector>

#include "tests/support/support.h"

namespace {

const char kControlKey[] = "CLSID\\{9B479D7B-916A-45B0-B042-D42865A60E21}\\InprocServer32";

// A TCP listener on 127.0.0.1 at a port the system chooses.
class Listener {
 public:
  Listener() {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
    s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(s_, 4);
    int len = sizeof(a);
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() {
    closesocket(s_);
    WSACleanup();
  }
  int port() const { return port_; }
  bool Accept(DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s_, &set);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    if (select(0, &set, nullptr, nullptr, &tv) != 1) return false;
    SOCKET c = accept(s_, nullptr, nullptr);
    if (c == INVALID_SOCKET) return false;
    closesocket(c);
    return true;
  }

 private:
  SOCKET s_;
  int port_ = 0;
};

std::string Text(HWND h) {
  wchar_t buf[512] = L"";
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr))
    return "";
  char utf8[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, buf, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// The visible top-level windows of process pid. (A callback of the system
// is CALLBACK, stdcall on i686: a lambda would convert to a cdecl pointer.)
struct WindowsOf {
  DWORD pid;
  std::vector<HWND> found;
};
BOOL CALLBACK AddIfOf(HWND h, LPARAM p) {
  auto* w = reinterpret_cast<WindowsOf*>(p);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  if (owner == w->pid && IsWindowVisible(h)) w->found.push_back(h);
  return TRUE;
}
std::vector<HWND> Windows(DWORD pid) {
  WindowsOf w{pid, {}};
  EnumWindows(AddIfOf, reinterpret_cast<LPARAM>(&w));
  return w.found;
}

// A system message box: a dialog whose children are one text static
// (0xFFFF), perhaps an icon (0x440) and buttons with the standard ids.
bool MessageBoxText(HWND h, std::string* text) {
  char cls[16] = "";
  GetClassNameA(h, cls, sizeof cls);
  int statics = 0;
  for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(c);
    if (id == 0xFFFF) {
      ++statics;
      *text = Text(c);
    } else if (id != 0x440 && (id < IDOK || id > 11)) {
      return false;
    }
  }
  return std::string(cls) == "#32770" && statics == 1;
}

// Answers each message box of the program with OK, in turn, until a window
// captioned `caption` shows; returns it (null when none came or the program
// ended). The texts of the boxes are collected in order; a box is read once
// and its window must be gone before the next one is looked for.
HWND AnswerBoxesUntil(vt::Process& p, const char* caption, std::vector<std::string>* texts) {
  HWND found = nullptr, answered = nullptr;
  vt::PumpUntil(
      [&] {
        if (answered && IsWindow(answered) && IsWindowVisible(answered)) return false;
        answered = nullptr;
        for (HWND h : Windows(p.pid())) {
          std::string text;
          if (MessageBoxText(h, &text)) {
            texts->push_back(text);
            SendNotifyMessageW(h, WM_COMMAND, IDOK, 0);
            answered = h;
            return false;
          }
          if (Text(h) == caption) found = h;
        }
        return found || !p.Running();
      },
      120000);
  return found;
}

HWND WaitViewer(vt::Process& p) {
  HWND viewer = nullptr;
  vt::PumpUntil(
      [&] {
        for (HWND h : Windows(p.pid()))
          if (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW) viewer = h;
        return viewer || !p.Running();
      },
      20000);
  return viewer;
}

}  // namespace

TEST(Program, FirstStartConnectsTheViewerAndEscapeEndsTheNext) {
  // Preconditions: a prefix in which the control was never registered, and
  // a working folder without settings.
  HKEY key = nullptr;
  ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kControlKey, 0, KEY_READ, &key))
      << "the prefix has the control registered already; run in a fresh copy (tests/ui/fresh-prefix)";
  vt::TempDir dir("program");
  ASSERT_FALSE(vt::FileExists(dir / "QlUserCfg.ini"));

  Listener listener;
  vt::Process p;
  ASSERT_TRUE(p.Start(VELO_EXE, "", dir.path()));
  std::vector<std::string> texts;
  HWND init = AnswerBoxesUntil(p, "Init", &texts);
  ASSERT_NE(nullptr, init);
  EXPECT_EQ((std::vector<std::string>{"Register finish", "CreateFile"}), texts);
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kControlKey, 0, KEY_READ, &key));
  RegCloseKey(key);

  SetWindowTextA(GetDlgItem(init, 1016), "127.0.0.1");
  SetWindowTextA(GetDlgItem(init, 1007), std::to_string(listener.port()).c_str());
  SendNotifyMessageW(GetDlgItem(init, 1022), BM_CLICK, 0, 0);
  EXPECT_TRUE(listener.Accept(20000)) << "the control did not connect";
  HWND viewer = WaitViewer(p);
  ASSERT_NE(nullptr, viewer);
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(p.WaitExit(10000));

  // The next start: nothing to install, the stored address shown; Escape in
  // the address list ends the program without any other window.
  ASSERT_TRUE(p.Start(VELO_EXE, "", dir.path()));
  texts.clear();
  init = AnswerBoxesUntil(p, "Init", &texts);
  ASSERT_NE(nullptr, init);
  EXPECT_TRUE(texts.empty());
  EXPECT_EQ("127.0.0.1", Text(GetDlgItem(init, 1016)));
  PostMessageW(GetWindow(GetDlgItem(init, 1016), GW_CHILD), WM_KEYDOWN, VK_ESCAPE, 0);
  std::vector<HWND> others;
  EXPECT_TRUE(vt::PumpUntil(
      [&] {
        for (HWND h : Windows(p.pid()))
          if (h != init) others.push_back(h);
        return !p.Running();
      },
      10000));
  EXPECT_TRUE(others.empty()) << Text(others.front());
}
