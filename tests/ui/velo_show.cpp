// Starts VELODvr.exe in a folder, answers the first-start messages, and
// waits until the start-up dialog is up (it then writes "<folder>\.velo-ready").
// With --viewer ADDRESS PORT it then confirms that address and waits for the
// viewer instead; --language-windows shows the control's language buttons
// again (as the control draws them before the viewer hides them).
// The program is ended once "<folder>\.velo-close" appears. Used by
// "./dev run" on a machine without a display, and for the screenshots.
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/ui/uidriver.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velo_show PROGRAM FOLDER [--viewer ADDRESS PORT] [--language-windows]\n");
    return 2;
  }
  std::string folder = argv[2];
  std::string address, port;
  bool languageWindows = false;
  for (int i = 3; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--viewer") && i + 2 < argc) {
      address = argv[++i];
      port = argv[++i];
    } else if (!std::strcmp(argv[i], "--language-windows")) {
      languageWindows = true;
    }
  }
  ui::Program p(folder, argv[1]);
  if (!p.started()) return 1;
  std::vector<std::string> texts;
  HWND init = p.AnswerBoxesUntil("Init", 120000, &texts);
  for (const std::string& t : texts) std::printf("message: %s\n", t.c_str());
  if (!init) return 1;
  if (!address.empty()) {
    ui::SetText(ui::Child(init, 1016), address);
    ui::SetText(ui::Child(init, 1007), port);
    ui::Click(ui::Child(init, 1022));
    HWND viewer = p.WaitViewer(20000);
    if (!viewer) return 1;
    Sleep(1000);  // let the control show its connection
    if (languageWindows)
      for (HWND c : ui::Descendants(ui::Child(viewer, 1011))) {
        std::string t = ui::Text(c);
        if (t == "ENGLISH" || t == u8"简体中文" || t == u8"繁体中文") ShowWindow(c, SW_SHOWNA);
      }
  }
  ui::WriteFileBytes(folder + "\\.velo-ready", "ready");
  ui::WaitUntil([&] { return GetFileAttributesA((folder + "\\.velo-close").c_str()) != INVALID_FILE_ATTRIBUTES; },
                600000);
  return 0;
}
