// Installation on a clean system directory: the installer's
// InstallComponents (thirteen payloads written from this program's
// resources, then the control loaded and registered) against a plain
// CopyFile of the same thirteen files from the component build, in the same
// run, alternating. Before every timed step the files and every key of the
// registration are removed.
//
//   bench_install              10 runs of each, medians
//   bench_install --quick      2 runs of each (CI: does it run at all)
//   bench_install --runs N
//
// Fails only when an installation or a copy did not produce the files (and
// the registration).
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "framework/msgbox.h"
#include "installer/installer.h"
#include "installer_support.h"

using namespace installer_test;

namespace {

std::vector<std::string> g_texts;

bool FilesComplete() {
  for (const char* name : kPayloadNames)
    if (ReadBytes(SystemPath(name)) != PayloadBytes(name)) return false;
  return true;
}

// One installation from a clean state; -1 when it did not do the whole job.
double TimeInstall() {
  CleanSystemState();
  if (IsControlRegistered()) {
    std::fprintf(stderr, "the control is still registered after the clean-up\n");
    return -1;
  }
  g_texts.clear();
  const double t0 = bench::NowMs();
  InstallComponents(nullptr);
  const double ms = bench::NowMs() - t0;
  if (g_texts != std::vector<std::string>{"Register finish"} || !IsControlRegistered() || !FilesComplete()) {
    std::fprintf(stderr, "an installation was incomplete (%zu message(s)%s)\n", g_texts.size(),
                 g_texts.empty() ? "" : (", first: " + g_texts.front()).c_str());
    return -1;
  }
  return ms;
}

// The same bytes copied by the file system alone; -1 when a copy failed.
double TimeCopy() {
  CleanSystemState();
  const double t0 = bench::NowMs();
  bool ok = true;
  for (const char* name : kPayloadNames) ok = CopyFileA(PayloadPath(name).c_str(), SystemPath(name).c_str(), FALSE) && ok;
  const double ms = bench::NowMs() - t0;
  if (!ok || !FilesComplete()) {
    std::fprintf(stderr, "a plain copy failed\n");
    return -1;
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  bench::Options o = bench::ParseOptions(argc, argv);
  SetMessageBoxScript([](const MessageBoxCall& call) {
    g_texts.push_back(call.text);
    return IDYES;
  });
  const bool wasInstalled = IsControlRegistered() != 0;
  unsigned long long total = 0;
  for (const char* name : kPayloadNames) total += PayloadBytes(name).size();
  std::printf("installation: 13 payloads (%llu bytes) written and the control registered, against CopyFile of the "
              "same files\n  system directory %s\n",
              total, SystemDir().c_str());

  std::vector<double> install, copy;
  int rc = 0;
  for (int i = 0; i < o.runs && rc == 0; ++i) {
    const double a = TimeInstall();
    const double b = TimeCopy();
    if (a < 0 || b < 0) {
      rc = 1;
      break;
    }
    install.push_back(a);
    copy.push_back(b);
    std::printf("  run %2d: install %7.1f ms   copy %7.1f ms%s\n", i + 1, a, b,
                i == 0 ? "   (first in this process: libraries loaded for the first time)" : "");
  }

  if (rc == 0) {
    // Where the time goes: the thirteen writes and the registration apart.
    CleanSystemState();
    g_texts.clear();
    double t0 = bench::NowMs();
    for (const PayloadEntry& e : g_aPayloads) ExtractPayload(nullptr, "BIN", e.nId, e.pszFileName);
    const double writes = bench::NowMs() - t0;
    t0 = bench::NowMs();
    RegisterControl();
    const double registration = bench::NowMs() - t0;
    std::printf("  one more, taken apart: 13 writes %.1f ms, registration %.1f ms\n", writes, registration);

    const double m = bench::Median(install), f = bench::Median(copy);
    std::printf("clean system directory and registry, median of %d runs:\n", o.runs);
    std::printf("  install %.1f ms, copy %.1f ms, ratio %.2f (target <= 2.0)\n", m, f, m / f);
    bench::PrintFigure("Installation: 13 payloads + registration vs CopyFile", m, f, 2.0);
  }

  // Leave the prefix as it was found.
  CleanSystemState();
  if (wasInstalled) InstallComponents(nullptr);
  SetMessageBoxScript(nullptr);
  return rc;
}
