// OK to viewer: from the click on the start-up dialog's Ok button to the
// viewer window visible with the control window (1011) in place and
// visible, VELODvr.exe against the floor program (bench_floor.exe: after
// its Ok, an empty dialog of the viewer template's size, style and font).
// Also the peak working set of the program with the viewer open.
//
//   bench_viewer              10 timed runs of each, medians
//   bench_viewer --quick      2 runs of each (CI: does it run at all)
//   bench_viewer --runs N
//   bench_viewer ... PROGRAM  another build of the program
//
// Fails only when a run does not reach the viewer or does not end.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/steady_state.h"
#include "res/resource.h"
#include "tests/support/support.h"
#include "tests/ui/uidriver.h"

namespace {

struct ViewerRun {
  double ms = -1;
  SIZE_T peak = 0;  // peak working set with the viewer open
  // ms after Ok: start-up dialog hidden, viewer created, control created
  double seen[3] = {0, 0, 0};
};

// The viewer of the program: its control window is there and visible. The
// floor's empty dialog has no control.
bool IsViewer(HWND h, bool withControl) {
  if (!IsWindowVisible(h) || !bench::Caption(h).empty()) return false;
  if (!withControl) return true;
  HWND hControl = GetDlgItem(h, IDC_DVROCX);
  return hControl && IsWindowVisible(hControl);
}

ViewerRun TimeViewer(const std::string& exe, const std::string& dir, bool withControl) {
  ViewerRun run;
  bench::Process p(exe, dir);
  if (!p.started()) {
    std::fprintf(stderr, "cannot start %s\n", exe.c_str());
    return run;
  }
  HWND hInit = bench::Poll(p.handle(), 30000, [&] { return bench::FindVisibleDialog(p.pid(), L"Init"); });
  if (!hInit) {
    std::fprintf(stderr, "%s: no start-up dialog within 30 s\n", exe.c_str());
    return run;
  }
  // The address and port an operator would type (a port nobody listens on:
  // the control's connection attempt fails at once).
  HWND hCombo = GetDlgItem(hInit, IDC_ADDRESS_LIST);
  HWND hPort = GetDlgItem(hInit, IDC_PORT);
  HWND hOk = GetDlgItem(hInit, IDC_OK);
  HWND hEdit = hCombo ? GetWindow(hCombo, GW_CHILD) : nullptr;
  if (!hEdit || !hPort || !hOk) {
    std::fprintf(stderr, "%s: the start-up dialog lacks the address, port or Ok\n", exe.c_str());
    return run;
  }
  ui::SetText(hEdit, "127.0.0.1");
  ui::SetText(hPort, "9");
  // Clicked once the dialog waits for input, as an operator's click comes.
  WaitForInputIdle(p.handle(), 5000);

  // Besides the figure, when each step of the way is first seen: the
  // start-up dialog hidden, the viewer window created (still hidden), its
  // control window created.
  const double t0 = bench::NowMs();
  ui::Click(hOk);
  HWND hViewer = nullptr;
  double seen[3] = {-1, -1, -1};
  const double deadline = t0 + 30000;
  for (unsigned n = 0; !hViewer; ++n) {
    const double now = bench::NowMs();
    if (seen[0] < 0 && !IsWindowVisible(hInit)) seen[0] = now - t0;
    HWND hCreated = bench::FindDialogIf(p.pid(), [](HWND h) { return bench::Caption(h).empty(); });
    if (hCreated && seen[1] < 0) seen[1] = now - t0;
    if (hCreated && seen[2] < 0 && GetDlgItem(hCreated, IDC_DVROCX)) seen[2] = now - t0;
    if (hCreated && IsViewer(hCreated, withControl)) hViewer = hCreated;
    if (hViewer || now > deadline) break;
    if (n % 16 == 15 && WaitForSingleObject(p.handle(), 0) != WAIT_TIMEOUT) break;
    Sleep(bench::g_pollMs);
  }
  const double ms = bench::NowMs() - t0;
  if (!hViewer) {
    std::fprintf(stderr, "%s: no viewer within 30 s of Ok\n", exe.c_str());
    return run;
  }
  for (int i = 0; i < 3; ++i) run.seen[i] = seen[i] < 0 ? ms : seen[i];
  // Let the viewer settle (first paints, the connection attempt) before
  // reading the peak.
  WaitForInputIdle(p.handle(), 5000);
  Sleep(300);
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof(pmc);
  if (GetProcessMemoryInfo(p.handle(), &pmc, sizeof(pmc))) run.peak = pmc.PeakWorkingSetSize;
  PostMessageW(hViewer, WM_CLOSE, 0, 0);
  if (!p.WaitExit(15000)) {
    std::fprintf(stderr, "%s: did not end after the viewer was closed\n", exe.c_str());
    return run;
  }
  run.ms = ms;
  return run;
}

double MiB(SIZE_T n) { return static_cast<double>(n) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  bench::Options o = bench::ParseOptions(argc, argv);
  const std::string exe = o.rest.empty() ? ui::ProgramPath() : o.rest[0];
  const std::string floor = bench::FloorPath();
  const std::string dir = ui::MakeTempDir("bench-viewer");
  std::printf("viewer: Ok clicked to viewer visible with its control\n  program %s\n  floor   %s\n", exe.c_str(),
              floor.c_str());
  if (!bench::PrepareSteadyState(exe, dir)) return 1;
  // One untimed run of each: the address enters the book, and whatever
  // they load is then equally warm.
  if (TimeViewer(exe, dir, true).ms < 0 || TimeViewer(floor, dir, false).ms < 0) return 1;

  std::vector<double> program, floorMs, peak, floorPeak, ratios;
  std::vector<double> seen[5];  // program: hidden, created, control; floor: hidden, created
  for (int i = 0; i < o.runs; ++i) {
    const ViewerRun a = TimeViewer(exe, dir, true);
    const ViewerRun b = TimeViewer(floor, dir, false);
    if (a.ms < 0 || b.ms < 0) return 1;
    program.push_back(a.ms);
    floorMs.push_back(b.ms);
    ratios.push_back(a.ms / b.ms);
    peak.push_back(MiB(a.peak));
    floorPeak.push_back(MiB(b.peak));
    for (int k = 0; k < 3; ++k) seen[k].push_back(a.seen[k]);
    for (int k = 0; k < 2; ++k) seen[3 + k].push_back(b.seen[k]);
    std::printf("  run %2d: program %6.1f ms (start-up hidden %5.1f, viewer created %5.1f, control %5.1f)   "
                "floor %6.1f ms (hidden %5.1f, created %5.1f)\n",
                i + 1, a.ms, a.seen[0], a.seen[1], a.seen[2], b.ms, b.seen[0], b.seen[1]);
  }
  const double m = bench::Median(program), f = bench::Median(floorMs);
  std::printf("steady state (control installed, settings file present), median of %d runs:\n", o.runs);
  std::printf("  program %.1f ms, floor %.1f ms, ratio %.2f (target <= 1.5); median of the paired ratios %.2f\n", m,
              f, m / f, bench::Median(ratios));
  // Other programs on the machine only ever add time: the fastest runs
  // come nearest to what the two cost by themselves.
  std::printf("  fastest runs: program %.1f ms, floor %.1f ms, ratio %.2f\n", bench::Min(program),
              bench::Min(floorMs), bench::Min(program) / bench::Min(floorMs));
  std::printf("  ms after Ok (medians): start-up dialog hidden %.1f / floor %.1f; viewer window created %.1f / %.1f; "
              "control created %.1f; visible %.1f / %.1f\n",
              bench::Median(seen[0]), bench::Median(seen[3]), bench::Median(seen[1]), bench::Median(seen[4]),
              bench::Median(seen[2]), m, f);
  std::printf("  peak working set with the viewer open: program %.2f MiB (largest %.2f), floor %.2f MiB\n",
              bench::Median(peak), bench::Max(peak), bench::Median(floorPeak));
  bench::PrintFigure("Viewer: Ok to viewer with control visible", m, f, 1.5);
  char text[128];
  std::snprintf(text, sizeof(text), "%.2f MiB (floor's empty viewer: %.2f MiB)", bench::Median(peak),
                bench::Median(floorPeak));
  bench::PrintValue("Peak working set, viewer open", text);
  vt::RemoveTree(dir);
  return 0;
}
