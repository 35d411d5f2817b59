// The whole program once, from outside, in a fresh prefix of its own: the
// first start installs and registers the control ("Register finish") and
// creates the settings file ("CreateFile"); an address and port typed and
// confirmed connect the viewer's control to a listener of this test on
// loopback; closing the viewer ends the program. (What a later start and
// Leave do is the start-up sequence's and dialog's tests' business.)
#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <vector>

#include "tests/support/support.h"
#include "tests/support/test_server.h"

namespace {

const char kControlKey[] = "CLSID\\{9B479D7B-916A-45B0-B042-D42865A60E21}\\InprocServer32";

std::string Text(HWND h) {
  wchar_t buf[512] = L"";
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr))
    return "";
  char utf8[1024] = "";
  WideCharToMultiByte(CP_UTF8, 0, buf, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

// The visible top-level windows of process pid.
std::vector<HWND> Windows(DWORD pid) {
  std::vector<HWND> found;
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    DWORD owner = 0;
    if (GetWindowThreadProcessId(h, &owner) && owner == pid && IsWindowVisible(h)) found.push_back(h);
  }
  return found;
}

// A system message box with an OK button (all the program shows here): its
// text is the static 0xFFFF. The program's own dialogs have no IDOK item.
bool MessageBoxText(HWND h, std::string* text) {
  HWND label = GetDlgItem(h, 0xFFFF);
  return label && GetDlgItem(h, IDOK) && (*text = Text(label), true);
}

// Answers each message box of the program with OK, in turn, until a window
// that `wanted` shows; returns it (null when none came or the program
// ended). The texts of the boxes are collected in order; a box is read once
// and its window must be gone before the next one is looked for.
HWND AnswerBoxesUntil(vt::Process& p, bool (*wanted)(HWND), std::vector<std::string>* texts) {
  HWND found = nullptr, answered = nullptr;
  vt::PumpUntil(
      [&] {
        if (answered && IsWindow(answered) && IsWindowVisible(answered)) return false;
        for (HWND h : Windows(p.pid())) {
          std::string text;
          if (MessageBoxText(h, &text)) {
            texts->push_back(text);
            SendNotifyMessageW(h, WM_COMMAND, IDOK, 0);
            answered = h;
            return false;
          }
          if (wanted(h)) found = h;
        }
        return found || !p.Running();
      },
      120000);
  return found;
}

bool IsInit(HWND h) { return Text(h) == "Init"; }

// The colour on the screen at the middle of the first of the control's four
// tiles, as the operator sees it.
COLORREF FirstTileColour(HWND viewer) {
  HWND control = FindWindowExA(viewer, nullptr, "VeloDvrOcxView", nullptr);
  for (HWND child = GetWindow(viewer, GW_CHILD); child && !control; child = GetWindow(child, GW_HWNDNEXT))
    control = FindWindowExA(child, nullptr, "VeloDvrOcxView", nullptr);
  RECT r{};
  if (!control || !GetWindowRect(control, &r)) return CLR_INVALID;
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, r.left + (r.right - r.left) / 4, r.top + (r.bottom - r.top - 32) / 4);
  ReleaseDC(nullptr, screen);
  return c;
}
bool IsViewer(HWND h) { return GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW; }

}  // namespace

TEST(Program, FirstStartConnectsTheViewerAndEscapeEndsTheNext) {
  // Preconditions: a prefix in which the control was never registered, and
  // a working folder without settings.
  HKEY key = nullptr;
  ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kControlKey, 0, KEY_READ, &key))
      << "the prefix has the control registered already; run in a fresh copy (tests/ui/fresh-prefix)";
  vt::TempDir dir("program");
  ASSERT_FALSE(vt::FileExists(dir / "QlUserCfg.ini"));

  // A listener on loopback at a port the system chooses.
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&a), len));
  ASSERT_EQ(0, listen(listener, 4));
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);

  vt::Process p;
  ASSERT_TRUE(p.Start(VELO_EXE, "", dir.path()));
  std::vector<std::string> texts;
  HWND init = AnswerBoxesUntil(p, IsInit, &texts);
  ASSERT_NE(nullptr, init);
  EXPECT_EQ((std::vector<std::string>{"Register finish", "CreateFile"}), texts);

  SendMessageA(GetDlgItem(init, 1016), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("127.0.0.1"));
  SendMessageA(GetDlgItem(init, 1007), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(std::to_string(ntohs(a.sin_port)).c_str()));
  SendNotifyMessageW(GetDlgItem(init, 1022), BM_CLICK, 0, 0);
  fd_set pending;
  FD_ZERO(&pending);
  FD_SET(listener, &pending);
  timeval tv{20, 0};
  EXPECT_EQ(1, select(0, &pending, nullptr, nullptr, &tv)) << "the control did not connect";
  closesocket(listener);
  HWND viewer = AnswerBoxesUntil(p, IsViewer, &texts);
  ASSERT_NE(nullptr, viewer);
  EXPECT_EQ(2u, texts.size()) << "a message before the viewer";
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(p.WaitExit(10000));

  // The next start: nothing to install, the stored address shown; Escape in
  // the address list ends the program without any other window.
  ASSERT_TRUE(p.Start(VELO_EXE, "", dir.path())) << GetLastError();
  texts.clear();
  init = AnswerBoxesUntil(p, IsInit, &texts);
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

  // A stream URL in the address book plays in the viewer.
  vt::TestServer server;
  ASSERT_TRUE(server.Start("rtsp_server.py", "--stream /red=" VELO_STREAMS "/red.h264"));
  const std::string url = "rtsp://127.0.0.1:" + std::to_string(server.port()) + "/red";
  const std::string ini = dir / "QlUserCfg.ini";
  WritePrivateProfileStringA("VELO_KEYWORDS", "IP00", url.c_str(), ini.c_str());
  ASSERT_TRUE(p.Start(VELO_EXE, "", dir.path()));
  init = AnswerBoxesUntil(p, IsInit, &texts);
  ASSERT_NE(nullptr, init);
  EXPECT_EQ(url, Text(GetDlgItem(init, 1016)));
  SendNotifyMessageW(GetDlgItem(init, 1022), BM_CLICK, 0, 0);
  viewer = AnswerBoxesUntil(p, IsViewer, &texts);
  ASSERT_NE(nullptr, viewer);
  COLORREF seen = CLR_INVALID;
  EXPECT_TRUE(vt::PumpUntil(
      [&] {
        return (seen = FirstTileColour(viewer)) != CLR_INVALID && GetRValue(seen) > 200 && GetGValue(seen) < 60 &&
               GetBValue(seen) < 60;
      },
      30000))
      << std::hex << seen;
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(p.WaitExit(10000));
}
