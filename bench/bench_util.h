// Pieces shared by the benchmark programs: run counts, timing, medians, the
// result lines that ./dev bench gathers into its table, and watching another
// process's windows.
//
// Windows of the watched program are looked at only through calls the
// system answers itself (class, caption, style, owner process). A sent
// message would wait until the program pumps its queue and would add work
// to the very run being timed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

struct Options {
  int runs = 10;
  bool quick = false;  // two runs: only "does it work"
  std::vector<std::string> rest;
};
// Milliseconds between two looks at a watched program's windows.
extern DWORD g_pollMs;

// --quick (2 runs), --runs N, --poll-ms N; everything else is left in rest.
Options ParseOptions(int argc, char** argv);

double NowMs();
double Median(std::vector<double> values);
double Max(const std::vector<double>& values);
double Min(const std::vector<double>& values);

// One row of the summary table (read by bench/bench.sh):
//   figure|<name>|<value>|<floor>|<ratio>|<target>
// value and floor in ms; ratio and target empty when there is no floor.
void PrintFigure(const char* name, double value, double floor, double target);
// figure|<name>|<text>|||  for sizes and memory.
void PrintValue(const char* name, const std::string& text);
std::string Bytes(unsigned long long n);  // "12 345 678 B (11.77 MiB)"

// The caption of another process's window, read without a message.
std::wstring Caption(HWND h);
// The first top-level dialog window (class "#32770") of process pid for
// which pred(hwnd) holds; null when there is none.
template <typename F>
HWND FindDialogIf(DWORD pid, F pred) {
  // 32770 is the atom of the system's dialog class.
  for (HWND h = FindWindowExW(nullptr, nullptr, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32770)), nullptr); h;
       h = FindWindowExW(nullptr, h, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32770)), nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == pid && pred(h)) return h;
  }
  return nullptr;
}
// A visible top-level dialog of process pid with exactly this caption.
HWND FindVisibleDialog(DWORD pid, const wchar_t* caption);

// Calls find() every g_pollMs until it gives a window, hProcess ends or
// timeoutMs pass; the window, or null.
template <typename F>
HWND Poll(HANDLE hProcess, DWORD timeoutMs, F find) {
  const double deadline = NowMs() + timeoutMs;
  for (unsigned n = 0;; ++n) {
    if (HWND h = find()) return h;
    if (NowMs() > deadline) return nullptr;
    if (n % 16 == 15 && WaitForSingleObject(hProcess, 0) != WAIT_TIMEOUT) return find();
    Sleep(g_pollMs);
  }
}

// A process started in a folder (a thin owner of its handles, so that the
// timed start is exactly one CreateProcess).
class Process {
 public:
  Process(const std::string& exe, const std::string& dir);
  ~Process();  // ends it if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  bool started() const { return m_pi.hProcess != nullptr; }
  HANDLE handle() const { return m_pi.hProcess; }
  DWORD pid() const { return m_pi.dwProcessId; }
  // Waits for the end; false (and the process is ended) after ms.
  bool WaitExit(DWORD ms, DWORD* exitCode = nullptr);

 private:
  PROCESS_INFORMATION m_pi{};
};

// Ends a dialog of another process as its Cancel button would.
void PostCancel(HWND hDlg);


}  // namespace bench
