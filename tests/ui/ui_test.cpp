// The whole program, driven from outside in a prefix of its own.
#include <gtest/gtest.h>

#include <set>

#include "tests/ui/uidriver.h"

namespace {

const DWORD kStartMs = 60000;  // a first start installs the components

// Confirms the start-up dialog with the keyboard: Enter in the address list
// moves on to the port box, Enter there confirms.
void ConfirmWithEnter(ui::Program& p, HWND init) {
  HWND port = ui::Child(init, 1007);
  for (int i = 0; i < 3 && p.WaitWindow("Init", 0); ++i) {
    HWND focus = p.Focus();
    ui::PostKey(focus ? focus : port, VK_RETURN);
    ui::WaitUntil([&] { return !p.WaitWindow("Init", 0) || p.Focus() != focus; }, 3000);
  }
}

TEST(Startup, EscapeEndsTheProgramWithNoOtherWindow) {
  std::string dir = ui::MakeTempDir("esc");
  ui::Program p(dir);
  ASSERT_TRUE(p.started());
  HWND init = p.AnswerBoxesUntil("Init", kStartMs, nullptr);
  ASSERT_NE(nullptr, init);
  ASSERT_TRUE(p.WaitFocus(ui::Child(init, 1016), 5000) ||
              GetParent(p.Focus()) == ui::Child(init, 1016));
  ui::PostKey(p.Focus(), VK_ESCAPE);
  std::set<HWND> others;
  bool ended = ui::WaitUntil(
      [&] {
        for (HWND h : p.Windows())
          if (h != init) others.insert(h);
        return !p.Running();
      },
      10000);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(others.empty()) << ui::Text(*others.begin());
}

TEST(Startup, EnterOpensTheViewerAndClosingItEndsTheProgram) {
  std::string dir = ui::MakeTempDir("enter");
  ui::Program p(dir);
  HWND init = p.AnswerBoxesUntil("Init", kStartMs, nullptr);
  ASSERT_NE(nullptr, init);
  ui::SetText(ui::Child(init, 1016), "127.0.0.1");
  ui::SetText(ui::Child(init, 1007), "5000");
  ConfirmWithEnter(p, init);
  HWND viewer = p.WaitViewer(20000);
  ASSERT_NE(nullptr, viewer);
  EXPECT_EQ("", ui::Text(viewer));
  EXPECT_TRUE(GetWindowLongW(viewer, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  RECT rc;
  GetClientRect(viewer, &rc);
  SIZE want = ui::TemplateClientSize(ui::ProgramPath(), 102);
  EXPECT_EQ(want.cx, rc.right);
  EXPECT_EQ(want.cy, rc.bottom);
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  EXPECT_TRUE(p.WaitExit(10000));
}

}  // namespace
