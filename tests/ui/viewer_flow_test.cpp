// The whole program on a fresh machine, from the first start to the viewer
// connected to a recorder (a listener of the test on loopback).
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>

#include "tests/ui/uidriver.h"

namespace {

// A TCP listener on 127.0.0.1 at a port the system chooses.
class Listener {
 public:
  Listener() {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
    m_s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(m_s, 4);
    int len = sizeof(a);
    getsockname(m_s, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
  }
  ~Listener() {
    closesocket(m_s);
    WSACleanup();
  }
  int port() const { return m_port; }
  // Accepts one connection within ms; false when none came.
  bool Accept(DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(m_s, &set);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    if (select(0, &set, nullptr, nullptr, &tv) != 1) return false;
    SOCKET c = accept(m_s, nullptr, nullptr);
    if (c == INVALID_SOCKET) return false;
    closesocket(c);
    return true;
  }

 private:
  SOCKET m_s;
  int m_port = 0;
};

bool InMoveLoop(DWORD tid) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof(gti);
  return GetGUIThreadInfo(tid, &gti) && (gti.flags & GUI_INMOVESIZE);
}

void SendMouse(DWORD flags) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof(INPUT));
}

// Drags with the real mouse: press at `from` (screen), wait until the
// program's thread is in the system's move loop, move by dx, dy, release.
void Drag(DWORD tid, HWND window, POINT from, int dx, int dy) {
  RECT start;
  GetWindowRect(window, &start);
  // A press that comes while the window is still getting activated (just
  // after the About box closed, on a loaded machine) may not start the move:
  // release and press again.
  bool moving = false;
  for (int attempt = 0; attempt < 3 && !moving; ++attempt) {
    ui::WaitUntil([&] { return GetForegroundWindow() == window; }, 3000);
    SetCursorPos(from.x, from.y);
    Sleep(100);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    moving = ui::WaitUntil([&] { return InMoveLoop(tid); }, 3000);
    if (!moving) {
      SendMouse(MOUSEEVENTF_LEFTUP);
      Sleep(300);
    }
  }
  EXPECT_TRUE(moving) << "no move loop after the press";
  for (int step = 1; step <= 5; ++step) {
    SetCursorPos(from.x + dx * step / 5, from.y + dy * step / 5);
    SendMouse(MOUSEEVENTF_MOVE);
    Sleep(50);
  }
  ui::WaitUntil(
      [&] {
        RECT r;
        GetWindowRect(window, &r);
        return r.left == start.left + dx && r.top == start.top + dy;
      },
      5000);
  SendMouse(MOUSEEVENTF_LEFTUP);
  ui::WaitUntil([&] { return !InMoveLoop(tid); }, 5000);
}

TEST(ViewerFlow, FirstStartToConnectedViewerAndBack) {
  Listener listener;
  std::string dir = ui::MakeTempDir("viewer");
  ui::Program p(dir);
  std::vector<std::string> messages;
  HWND init = p.AnswerBoxesUntil("Init", 60000, &messages);
  ASSERT_NE(nullptr, init);
  // Installation on the fresh machine, then the new settings file.
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ("Register finish", messages[messages.size() - 2]);
  EXPECT_EQ("CreateFile", messages.back());

  ui::SetText(ui::Child(init, 1016), "127.0.0.1");
  ui::SetText(ui::Child(init, 1007), std::to_string(listener.port()));
  DWORD ok = GetTickCount();
  ui::Click(ui::Child(init, 1022));
  EXPECT_TRUE(listener.Accept(10000)) << "the control did not connect";
  std::printf("OK to connection: %lu ms\n", GetTickCount() - ok);

  HWND viewer = p.WaitViewer(10000);
  ASSERT_NE(nullptr, viewer);
  EXPECT_EQ("", ui::Text(viewer));
  RECT rc;
  GetClientRect(viewer, &rc);
  SIZE size = ui::TemplateClientSize(ui::ProgramPath(), 102);
  EXPECT_EQ(size.cx, rc.right);
  EXPECT_EQ(size.cy, rc.bottom);
  // The control covers all but the grey frame.
  HWND control = ui::Child(viewer, 1011);
  ASSERT_NE(nullptr, control);
  EXPECT_TRUE(IsWindowVisible(control));
  RECT want = ui::TemplateMapRect(ui::ProgramPath(), 102, RECT{8, 7, 677, 424});
  RECT got;
  GetWindowRect(control, &got);
  MapWindowPoints(nullptr, viewer, reinterpret_cast<POINT*>(&got), 2);
  EXPECT_TRUE(EqualRect(&want, &got));
  EXPECT_EQ(rc.right, got.right);  // it reaches the right edge
  // The control's language buttons are hidden; its other windows are not.
  int hidden = 0, visible = 0;
  for (HWND c : ui::Descendants(control)) {
    std::string t = ui::Text(c);
    bool language = t == "ENGLISH" || t == u8"简体中文" || t == u8"繁体中文";
    if (language) {
      ++hidden;
      EXPECT_FALSE(GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) << t;
    } else if (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) {
      ++visible;
    }
  }
  EXPECT_EQ(3, hidden);
  EXPECT_GT(visible, 0);

  // The About box from each system command 0x0010 to 0x001F.
  for (UINT cmd = 0x0010; cmd <= 0x001F; ++cmd) {
    SCOPED_TRACE(cmd);
    PostMessageW(viewer, WM_SYSCOMMAND, cmd, 0);
    HWND about = p.WaitWindow(u8"关于 VELODvr", 5000);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(viewer, GetWindow(about, GW_OWNER));
    std::vector<std::string> texts;
    for (HWND c : ui::Descendants(about)) texts.push_back(ui::Text(c));
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), u8"VELODvr 1.0 版"));
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), u8"确定"));
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(ui::WaitUntil([&] { return !IsWindow(about) || !IsWindowVisible(about); }, 5000));
  }

  // Dragging by the grey frame moves the window.
  RECT before;
  GetWindowRect(viewer, &before);
  POINT frame{3, rc.bottom - 3};
  ClientToScreen(viewer, &frame);
  Drag(p.tid(), viewer, frame, 60, 40);
  RECT after;
  GetWindowRect(viewer, &after);
  EXPECT_EQ(before.left + 60, after.left);
  EXPECT_EQ(before.top + 40, after.top);

  PostMessageW(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(p.WaitExit(10000));
}

}  // namespace
