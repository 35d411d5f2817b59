// velo_show PROGRAM FOLDER [--viewer ADDRESS PORT] [--language-windows]
//
// Starts the program in FOLDER, answers the first start's messages with
// their first button, and waits for the start-up dialog; with --viewer it
// types that address and port, presses OK and waits for the viewer
// (--language-windows shows the control's language buttons again, as the
// control draws them before the viewer hides them). Then it writes
// FOLDER\.velo-ready and, once FOLDER\.velo-close appears, ends the program.
// ./dev run uses it on a machine without a display, tools/screenshots.sh for
// the pictures in docs/.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

DWORD g_pid;

// The first visible top-level window of the program for which pred holds.
template <typename Pred>
HWND Find(Pred pred) {
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == g_pid && IsWindowVisible(h) && pred(h)) return h;
  }
  return nullptr;
}

BOOL CALLBACK IsBoxItem(HWND c, LPARAM only) {
  const int id = GetDlgCtrlID(c) & 0xFFFF;
  if (id != 0xFFFF && id != 0x440 && (id < IDOK || id > 11)) *reinterpret_cast<bool*>(only) = false;
  return TRUE;
}

BOOL CALLBACK ShowLanguageWindow(HWND h, LPARAM) {
  wchar_t t[16] = L"";
  GetWindowTextW(h, t, 16);
  if (!lstrcmpW(t, L"ENGLISH") || !lstrcmpW(t, L"简体中文") || !lstrcmpW(t, L"繁体中文")) ShowWindow(h, SW_SHOWNA);
  return TRUE;
}

// A message box: a dialog whose items are only its text (0xFFFF), its icon
// (0x440) and buttons with the standard ids.
bool IsMessageBox(HWND h) {
  char cls[16] = "";
  GetClassNameA(h, cls, sizeof cls);
  bool onlyBoxItems = true;
  EnumChildWindows(h, IsBoxItem, reinterpret_cast<LPARAM>(&onlyBoxItems));
  return !lstrcmpA(cls, "#32770") && onlyBoxItems && GetDlgItem(h, 0xFFFF);
}

bool Caption(HWND h, const wchar_t* text) {
  wchar_t buf[64] = L"";
  GetWindowTextW(h, buf, 64);
  return !lstrcmpW(buf, text) && !IsMessageBox(h);
}

// Waits up to 60 s for a window, answering message boxes on the way.
template <typename Pred>
HWND Await(HANDLE process, Pred pred) {
  for (int i = 0; i < 3000 && WaitForSingleObject(process, 20) == WAIT_TIMEOUT; ++i) {
    if (HWND box = Find(IsMessageBox)) {
      for (int id : {IDOK, IDYES})
        if (HWND b = GetDlgItem(box, id)) SendNotifyMessageW(b, BM_CLICK, 0, 0);
    } else if (HWND h = Find(pred)) {
      return h;
    }
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return std::fprintf(stderr, "usage: velo_show PROGRAM FOLDER [--viewer ADDRESS PORT]\n"), 2;
  const std::string folder = argv[2];
  std::string command = std::string("\"") + argv[1] + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return 1;
  g_pid = pi.dwProcessId;
  HWND init = Await(pi.hProcess, [](HWND h) { return Caption(h, L"Init"); });
  if (!init) return 1;
  if (argc >= 6 && !std::strcmp(argv[3], "--viewer")) {
    SetWindowTextA(GetWindow(GetDlgItem(init, 1016), GW_CHILD), argv[4]);
    SetWindowTextA(GetDlgItem(init, 1007), argv[5]);
    SendNotifyMessageW(GetDlgItem(init, 1022), BM_CLICK, 0, 0);
    HWND viewer = Await(pi.hProcess, [](HWND h) { return (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0; });
    if (!viewer) return 1;
    WaitForInputIdle(pi.hProcess, 5000);
    if (argc >= 7 && !std::strcmp(argv[6], "--language-windows")) EnumChildWindows(viewer, ShowLanguageWindow, 0);
  }
  HANDLE ready = CreateFileA((folder + "\\.velo-ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(ready);
  while (GetFileAttributesA((folder + "\\.velo-close").c_str()) == INVALID_FILE_ATTRIBUTES &&
         WaitForSingleObject(pi.hProcess, 100) == WAIT_TIMEOUT) {
  }
  TerminateProcess(pi.hProcess, 0);
  return 0;
}
