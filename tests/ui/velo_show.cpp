// Starts VELODvr.exe in a folder, answers the first-start messages, and
// waits until the start-up dialog is up (it then writes "<folder>\.velo-ready").
// The program is ended once "<folder>\.velo-close" appears. Used by
// "./dev run" on a machine without a display to take a screenshot.
#include <cstdio>
#include <string>

#include "tests/ui/uidriver.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: velo_show PROGRAM FOLDER\n");
    return 2;
  }
  std::string folder = argv[2];
  ui::Program p(folder, argv[1]);
  if (!p.started()) return 1;
  std::vector<std::string> texts;
  HWND init = p.AnswerBoxesUntil("Init", 120000, &texts);
  for (const std::string& t : texts) std::printf("message: %s\n", t.c_str());
  if (!init) return 1;
  ui::WriteFileBytes(folder + "\\.velo-ready", "ready");
  ui::WaitUntil([&] { return GetFileAttributesA((folder + "\\.velo-close").c_str()) != INVALID_FILE_ATTRIBUTES; },
                600000);
  return 0;
}
