#include "bench/steady_state.h"

#include <cstdio>
#include <vector>

#include "bench/bench_util.h"
#include "tests/ui/uidriver.h"

namespace bench {

std::string FloorPath() { return BENCH_FLOOR_EXE; }

namespace {
const char kServerKey[] = "CLSID\\{9b479d7b-916a-45b0-b042-d42865a60e21}\\InprocServer32";
}  // namespace

bool PrepareSteadyState(const std::string& exe, const std::string& dir) {
  // Whatever registration the prefix holds goes: the first start then
  // installs this program's own payloads (answering Yes to replacing any
  // files of an earlier installation) and registers them.
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kServerKey);
  const double t0 = NowMs();
  ui::Program p(dir, exe);
  if (!p.started()) {
    std::fprintf(stderr, "cannot start %s\n", exe.c_str());
    return false;
  }
  std::vector<std::string> texts;
  HWND init = p.AnswerBoxesUntil("Init", 120000, &texts);
  const double ms = NowMs() - t0;
  if (!init) {
    std::fprintf(stderr, "the first start did not reach the start-up dialog\n");
    return false;
  }
  // The overwrite questions end alike; they are counted, the rest listed.
  const std::string question = u8"覆盖吗";  // the driver hands out UTF-8
  int questions = 0;
  std::string others;
  for (const std::string& t : texts) {
    if (t.size() >= question.size() && t.compare(t.size() - question.size(), question.size(), question) == 0)
      ++questions;
    else
      others += " \"" + t + "\"";
  }
  std::printf("first start (installation, settings file created): %.0f ms to \"Init\"; answered %d overwrite "
              "question(s) and%s\n",
              ms, questions, others.empty() ? " nothing else" : others.c_str());
  PostCancel(init);
  if (!p.WaitExit(10000)) {
    std::fprintf(stderr, "the program did not end after Leave\n");
    return false;
  }
  std::string server;
  if (!ui::ReadRegString(HKEY_CLASSES_ROOT, kServerKey, "", &server) ||
      lstrcmpiA(server.c_str(), (ui::SystemDir() + "\\DvrOcx.ocx").c_str()) != 0 ||
      GetFileAttributesA(server.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "the control is not installed in the system directory after the first start (\"%s\")\n",
                 server.c_str());
    return false;
  }
  if (GetFileAttributesA((dir + "\\QlUserCfg.ini").c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "the settings file was not created\n");
    return false;
  }
  std::printf("steady state: control registered (%s), settings file present\n", server.c_str());
  return true;
}

}  // namespace bench
