// VELODvr's benchmarks, one program, each figure against a bare program
// doing the same work, measured in the same run with runs alternating:
//
//   bench startup   launch to the start-up dialog "Init" visible; floor: the
//                   same template shown by a bare Win32 program (bench_floor)
//   bench viewer    Ok clicked to the control's window visible, and to the
//                   recorder's listener accepting the control's connection;
//                   peer: the same control hosted by ATL's AtlAxWin
//                   (bench_floor --peer); also the peak working set
//   bench install   InstallComponents on an empty system directory; floor:
//                   CopyFile of the same thirteen files
//   bench video     four SD channels at 25 frames a second from the test
//                   RTSP server played by the control in this process:
//                   decoded frames a second per channel, CPU time per
//                   frame, the UI thread's busy time, the latency from a
//                   picture's first byte to its paint, and memory after
//                   the first minute and at the end (--seconds N, 60)
//
// --quick: two runs (CTest only checks that they work); --runs N (10).
// Each figure is printed as one line for ./dev bench:
//   figure|<name>|<median ms>|<base ms>|<floor or peer>|<ratio>|<target>
// A run that does not reach its end fails the program.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "components/common/dvrocx_ids.h"
#include "framework/msgbox.h"
#include "framework/occ.h"
#include "installer/installer.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "tests/support/support.h"
#include "tests/support/test_server.h"

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Figure(const char* name, const std::vector<double>& ours, const std::vector<double>& base, const char* kind,
            double target) {
  const double m = Median(ours), b = Median(base);
  std::printf("figure|%s|%.1f|%.1f|%s|%.2f|%.2f\n", name, m, b, kind, m / b, target);
}

std::string SystemDir() {
  char dir[MAX_PATH] = "";
  GetSystemDirectoryA(dir, MAX_PATH);
  return dir;
}

// Installed control, settings file in dir: what every start but the first
// meets. Done in process, with every question answered yes.
bool PrepareSteadyState(const std::string& dir) {
  SetMessageBoxScript([](const MessageBoxCall& c) { return (c.type & 0xF) == MB_YESNO ? IDYES : IDOK; });
  if (!IsControlRegistered()) InstallComponents(nullptr);
  SetCurrentDirectoryA(dir.c_str());
  settings::EnsureSettingsFile();
  SetMessageBoxScript({});
  if (IsControlRegistered() && vt::FileExists(dir + "\\QlUserCfg.ini")) return true;
  std::fprintf(stderr, "could not install the control or create the settings file\n");
  return false;
}

// Polls every millisecond until find() gives a window, p ends or 30 s pass.
HWND Poll(vt::Process& p, const std::function<HWND()>& find) {
  const double deadline = NowMs() + 30000;
  for (;;) {
    if (HWND h = find()) return h;
    if (NowMs() > deadline || !p.Running()) return nullptr;
    Sleep(1);
  }
}

// A visible top-level dialog of pid with this caption. Windows of the
// watched program are looked at only through calls the system answers
// itself: a sent message would add work to the very run being timed.
HWND FindDialog(DWORD pid, const wchar_t* caption) {
  for (HWND h = FindWindowExW(nullptr, nullptr, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32770)), nullptr); h;
       h = FindWindowExW(nullptr, h, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(32770)), nullptr)) {
    DWORD owner = 0;
    wchar_t text[64] = L"";
    GetWindowThreadProcessId(h, &owner);
    InternalGetWindowText(h, text, 64);
    if (owner == pid && IsWindowVisible(h) && !lstrcmpW(text, caption)) return h;
  }
  return nullptr;
}

BOOL CALLBACK IsControlWindow(HWND h, LPARAM found) {
  char cls[32] = "";
  GetClassNameA(h, cls, sizeof cls);
  if (lstrcmpA(cls, "VeloDvrOcxView") || !IsWindowVisible(h)) return TRUE;
  *reinterpret_cast<HWND*>(found) = h;
  return FALSE;
}

// The control's own window, visible, anywhere below top.
HWND FindControlWindow(HWND top) {
  HWND found = nullptr;
  EnumChildWindows(top, IsControlWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

int Runs(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--quick")) return 2;
    if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) return std::max(1, std::atoi(argv[i + 1]));
  }
  return 10;
}

// Launch to "Init" visible; the dialog is then cancelled. -1 on failure.
double TimeStartup(const std::string& exe, const std::string& dir) {
  vt::Process p;
  const double t0 = NowMs();
  if (!p.Start(exe, "", dir)) return -1;
  HWND init = Poll(p, [&] { return FindDialog(p.pid(), L"Init"); });
  const double ms = NowMs() - t0;
  if (!init) return -1;
  PostMessageW(init, WM_COMMAND, IDCANCEL, 0);
  return p.WaitExit(10000) ? ms : -1;
}

int BenchStartup(int runs, const std::string& dir) {
  std::vector<double> ours, floor;
  for (int i = -1; i < runs; ++i) {  // run -1 warms both up, untimed
    const double a = TimeStartup(VELO_EXE, dir), b = TimeStartup(FLOOR_EXE, dir);
    if (a < 0 || b < 0) return std::fprintf(stderr, "a start did not reach \"Init\" or did not end\n"), 1;
    if (i < 0) continue;
    ours.push_back(a);
    floor.push_back(b);
    std::printf("  run %2d: program %6.1f ms, floor %6.1f ms\n", i + 1, a, b);
  }
  Figure("start-up: launch to \"Init\" visible", ours, floor, "floor", 1.1);
  return 0;
}

struct ViewerRun {
  double visible = -1, connected = -1;
  SIZE_T peak = 0;
};

// Ok clicked on the start-up dialog (the program's, or the peer's copy of
// its template) to the control's window visible and to a connection
// accepted on a loopback listener whose port the operator typed.
ViewerRun TimeViewer(bool peer, const std::string& dir) {
  ViewerRun run;
  SOCKET ls = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof a;
  if (bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a) || listen(ls, 1) ||
      getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len))
    return closesocket(ls), run;
  const std::string port = std::to_string(ntohs(a.sin_port));
  vt::Process p;
  if (!(peer ? p.Start(FLOOR_EXE, "--peer 127.0.0.1 " + port, dir) : p.Start(VELO_EXE, "", dir))) return run;
  HWND init = Poll(p, [&] { return FindDialog(p.pid(), L"Init"); });
  HWND edit = init ? GetWindow(GetDlgItem(init, IDC_ADDRESS_LIST), GW_CHILD) : nullptr;
  if (!edit) return closesocket(ls), run;
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"));
  SetWindowTextA(GetDlgItem(init, IDC_PORT), port.c_str());
  WaitForInputIdle(p.handle(), 5000);
  const double t0 = NowMs();
  SendNotifyMessageW(GetDlgItem(init, IDC_OK), BM_CLICK, 0, 0);
  HWND viewer = nullptr;
  while ((run.visible < 0 || run.connected < 0) && NowMs() - t0 < 30000 && p.Running()) {
    if (run.visible < 0 && (viewer = FindDialog(p.pid(), L"")) && FindControlWindow(viewer)) run.visible = NowMs() - t0;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ls, &set);
    timeval none{0, 0};
    if (run.connected < 0 && select(0, &set, nullptr, nullptr, &none) == 1) {
      run.connected = NowMs() - t0;
      closesocket(accept(ls, nullptr, nullptr));
    }
    Sleep(1);
  }
  closesocket(ls);
  WaitForInputIdle(p.handle(), 5000);
  PROCESS_MEMORY_COUNTERS pmc{};
  if (GetProcessMemoryInfo(p.handle(), &pmc, sizeof pmc)) run.peak = pmc.PeakWorkingSetSize;
  if (viewer) PostMessageW(viewer, WM_CLOSE, 0, 0);
  if (!p.WaitExit(15000)) run.visible = -1;
  return run;
}

int BenchViewer(int runs, const std::string& dir) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  std::vector<double> visible[2], connected[2], peak;
  for (int i = -1; i < runs; ++i) {
    ViewerRun r[2] = {TimeViewer(false, dir), TimeViewer(true, dir)};
    for (const ViewerRun& x : r)
      if (x.visible < 0 || x.connected < 0)
        return std::fprintf(stderr, "a viewer did not show its control, connect or end\n"), 1;
    if (i < 0) continue;
    for (int k = 0; k < 2; ++k) visible[k].push_back(r[k].visible), connected[k].push_back(r[k].connected);
    peak.push_back(static_cast<double>(r[0].peak) / 1048576.0);
    std::printf("  run %2d: program visible %6.1f ms, connected %6.1f ms; peer %6.1f ms, %6.1f ms\n", i + 1,
                r[0].visible, r[0].connected, r[1].visible, r[1].connected);
  }
  Figure("viewer: Ok to the control visible", visible[0], visible[1], "peer", 1.0);
  Figure("viewer: Ok to the recorder's accept", connected[0], connected[1], "peer", 1.0);
  std::printf("value|peak working set with the viewer open|%.1f MiB\n", Median(peak));
  return 0;
}

// Back to an empty system directory: the control unregistered by its own
// entry point, the thirteen files gone.
void CleanSystem() {
  const std::string sys = SystemDir();
  if (HMODULE h = LoadLibraryExA((sys + "\\DvrOcx.ocx").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) {
    using Entry = HRESULT(STDAPICALLTYPE*)();
    if (auto unreg = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(h, "DllUnregisterServer"))))
      unreg();
    FreeLibrary(h);
  }
  for (const PayloadEntry& e : g_aPayloads) DeleteFileA((sys + "\\" + e.pszFileName).c_str());
}

int BenchInstall(int runs) {
  const std::string sys = SystemDir();
  std::vector<double> ours, floor;
  std::vector<std::string> texts;
  SetMessageBoxScript([&](const MessageBoxCall& c) { return texts.push_back(c.text), IDOK; });
  for (int i = 0; i < runs; ++i) {
    CleanSystem();
    texts.clear();
    double t0 = NowMs();
    InstallComponents(nullptr);
    ours.push_back(NowMs() - t0);
    if (texts != std::vector<std::string>{"Register finish"} || !IsControlRegistered())
      return std::fprintf(stderr, "an installation did not finish\n"), 1;
    CleanSystem();
    t0 = NowMs();
    for (const PayloadEntry& e : g_aPayloads)
      if (!CopyFileA((std::string(PAYLOAD_DIR) + "/" + e.pszFileName).c_str(), (sys + "\\" + e.pszFileName).c_str(),
                     FALSE))
        return std::fprintf(stderr, "cannot copy %s\n", e.pszFileName), 1;
    floor.push_back(NowMs() - t0);
    std::printf("  run %2d: InstallComponents %6.1f ms, copy %6.1f ms\n", i + 1, ours.back(), floor.back());
  }
  CleanSystem();
  InstallComponents(nullptr);  // leave the prefix as a first start would
  Figure("install: thirteen files and the registration", ours, floor, "floor", 1.3);
  return 0;
}

// Kernel and user time, in ms, of the process (thread false) or this thread.
double CpuMs(bool thread) {
  FILETIME created, ended, kernel, user;
  if (thread)
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  else
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  return (static_cast<double>(kernel.dwLowDateTime) + static_cast<double>(user.dwLowDateTime) +
          4294967296.0 * (kernel.dwHighDateTime + user.dwHighDateTime)) /
         10000.0;
}
// Committed memory (Wine does not count private bytes apart).
double PrivateMiB() {
  PROCESS_MEMORY_COUNTERS pmc{};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return static_cast<double>(pmc.PagefileUsage) / 1048576.0;
}

int BenchVideo(int argc, char** argv) {
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--quick")) seconds = 8;
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::max(5, std::atoi(argv[i + 1]));
  }
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  OleInitialize(nullptr);
  std::string streams;
  for (int ch = 1; ch <= 4; ++ch) streams += " --stream /ch" + std::to_string(ch) + "=" VELO_STREAMS "/sd.h264";
  vt::TestServer server;
  if (!server.Start("rtsp_server.py", streams)) return std::fprintf(stderr, "the RTSP server did not start\n"), 1;
  if (!vt::OfferClass(std::string(PAYLOAD_DIR) + "/DvrOcx.ocx", CLSID_DvrOcx))
    return std::fprintf(stderr, "cannot load the control\n"), 1;
  HWND top = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 800, 0, 0, 0, 0);
  COleControlSite* site = nullptr;
  IDispatch* d = nullptr;
  if (FAILED(CreateControl(CLSID_DvrOcx, "", WS_VISIBLE, RECT{0, 0, 1280, 800}, top, 1011, &site)) ||
      FAILED(site->GetControlUnknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))))
    return std::fprintf(stderr, "cannot host the control\n"), 1;
  const std::wstring url = L"rtsp://127.0.0.1:" + std::to_wstring(server.port()) + L"/ch{ch}";
  VARIANT args[2] = {};
  args[1].vt = VT_BSTR, args[1].bstrVal = SysAllocString(url.c_str());
  args[0].vt = VT_I4, args[0].lVal = 554;
  DISPPARAMS params{args, nullptr, 2, 0};
  d->Invoke(DISPID_DVROCX_SETDEVICEIPANDPORT, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  VariantClear(&args[1]);

  const HWND view = site->GetControlWindow();
  const UINT askText = RegisterWindowMessageA("VeloDvrOcxTileText");
  const UINT askLatency = RegisterWindowMessageA("VeloDvrOcxTileLatency");
  const auto label = [&](int ch) {
    char text[256] = "";
    SendMessageA(view, askText, ch, reinterpret_cast<LPARAM>(text));
    return std::string(text);
  };
  const auto rate = [&](int ch) {
    int n = 0, fps = 0;
    return std::sscanf(label(ch).c_str(), "CH%d  %d", &n, &fps) == 2 ? fps : 0;
  };
  // Measured from when every channel shows pictures at a steady rate.
  const bool steady =
      vt::PumpUntil([&] { return rate(0) > 20 && rate(1) > 20 && rate(2) > 20 && rate(3) > 20; }, 60000);
  for (int ch = 0; ch < 4 && !steady; ++ch) std::fprintf(stderr, "not steady after 60 s: %s\n", label(ch).c_str());
  vt::PumpFor(1000);
  std::vector<double> fps[4], latency;
  LRESULT lastLatency[4] = {-1, -1, -1, -1};
  double firstMinute = -1;
  const double cpu0 = CpuMs(false), ui0 = CpuMs(true), t0 = NowMs();
  // The rate each channel shows, read once a second however slowly the
  // loop turns on a busy machine.
  for (double nextSample = t0 + 1000; NowMs() - t0 < seconds * 1000.0;) {
    vt::PumpFor(100);
    const bool sample = NowMs() >= nextSample;
    if (sample) nextSample += 1000;
    for (int ch = 0; ch < 4; ++ch) {
      const LRESULT us = SendMessageA(view, askLatency, ch, 0);
      if (us >= 0 && us != lastLatency[ch]) latency.push_back(static_cast<double>(us) / 1000.0);
      lastLatency[ch] = us;
      if (sample) fps[ch].push_back(rate(ch));
    }
    if (firstMinute < 0 && NowMs() - t0 >= 60000) firstMinute = PrivateMiB();
  }
  const double elapsed = (NowMs() - t0) / 1000.0, cpu = CpuMs(false) - cpu0;
  const double ui = CpuMs(true) - ui0;
  double frames = 0;
  for (int ch = 0; ch < 4; ++ch) {
    double sum = 0;
    for (double f : fps[ch]) sum += f;
    const double mean = fps[ch].empty() ? 0 : sum / static_cast<double>(fps[ch].size());
    frames += mean * elapsed;
    std::printf("value|channel %d decoded frames a second|%.1f\n", ch + 1, mean);
  }
  if (frames < 1) {
    for (int ch = 0; ch < 4; ++ch) std::fprintf(stderr, "no channel played: %s\n", label(ch).c_str());
    return 1;
  }
  std::sort(latency.begin(), latency.end());
  std::printf("value|CPU time per frame (whole process)|%.2f ms\n", cpu / frames);
  std::printf("value|UI thread busy|%.1f ms a second\n", ui / elapsed);
  std::printf("value|latency first byte to paint, median|%.1f ms\n", Median(latency));
  std::printf("value|latency first byte to paint, 95th percentile|%.1f ms\n",
              latency.empty() ? 0 : latency[latency.size() * 95 / 100]);
  if (firstMinute >= 0) std::printf("value|committed memory after 1 minute|%.1f MiB\n", firstMinute);
  std::printf("value|committed memory after %.0f s|%.1f MiB\n", elapsed + 5, PrivateMiB());
  std::printf("video|%.4f\n", cpu / frames);
  d->Release();
  site->Destroy();
  DestroyWindow(top);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int runs = Runs(argc, argv);
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "install") return BenchInstall(runs);
  if (what == "video") return BenchVideo(argc, argv);
  vt::TempDir dir("bench");
  if (!PrepareSteadyState(dir.path())) return 1;
  if (what == "startup") return BenchStartup(runs, dir.path());
  if (what == "viewer") return BenchViewer(runs, dir.path());
  std::fprintf(stderr, "usage: bench startup|viewer|install|video [--quick | --runs N | --seconds N]\n");
  return 2;
}
