#include "bench/bench_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

DWORD g_pollMs = 1;

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      o.quick = true;
      o.runs = 2;
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      o.runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--poll-ms") == 0 && i + 1 < argc) {
      g_pollMs = static_cast<DWORD>(std::max(0, std::atoi(argv[++i])));
    } else {
      o.rest.push_back(argv[i]);
    }
  }
  // Output goes through a pipe under ./dev bench: no buffering surprises.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  return o;
}

double NowMs() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

void PrintFigure(const char* name, double value, double floor, double target) {
  std::printf("figure|%s|%.1f ms|%.1f ms|%.2f|<= %.1f\n", name, value, floor, floor > 0 ? value / floor : 0.0,
              target);
}

void PrintValue(const char* name, const std::string& text) { std::printf("figure|%s|%s|||\n", name, text.c_str()); }

std::string Bytes(unsigned long long n) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%llu B (%.2f MiB)", n, static_cast<double>(n) / (1024.0 * 1024.0));
  return buf;
}

std::wstring Caption(HWND h) {
  wchar_t buf[256] = L"";
  int n = InternalGetWindowText(h, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND FindVisibleDialog(DWORD pid, const wchar_t* caption) {
  return FindDialogIf(pid, [&](HWND h) { return IsWindowVisible(h) && Caption(h) == caption; });
}

Process::Process(const std::string& exe, const std::string& dir) {
  std::string cmd = "\"" + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &m_pi))
    m_pi = PROCESS_INFORMATION{};
}

Process::~Process() {
  if (!m_pi.hProcess) return;
  if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(m_pi.hProcess, 99);
    WaitForSingleObject(m_pi.hProcess, 5000);
  }
  CloseHandle(m_pi.hThread);
  CloseHandle(m_pi.hProcess);
}

bool Process::WaitExit(DWORD ms, DWORD* exitCode) {
  if (!m_pi.hProcess) return false;
  if (WaitForSingleObject(m_pi.hProcess, ms) != WAIT_OBJECT_0) {
    TerminateProcess(m_pi.hProcess, 99);
    WaitForSingleObject(m_pi.hProcess, 5000);
    return false;
  }
  if (exitCode) GetExitCodeProcess(m_pi.hProcess, exitCode);
  return true;
}

void PostCancel(HWND hDlg) { PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

}  // namespace bench
