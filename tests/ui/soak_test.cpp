// Long use without leaks, driven from outside: language switches, hover and
// press cycles over the skin buttons, additions and deletions of address-book
// entries and viewer openings, with the objects the program holds counted
// before and after (see ui::CountObjects for what is counted and how).
//
// The short form runs inside the test suite; VELO_SOAK=long in the
// environment selects the full counts (./dev soak).
//
// Built a second time with VELO_PROBE_LIBRARY defined, this file is the probe
// library that the driver loads into the program to count what only the
// program itself can see.

#ifdef VELO_PROBE_LIBRARY

#include <windows.h>

#include <cstdio>

namespace {

// USER handles are 0x20 + 2 * index; a handle whose upper word is 0 names the
// object in that slot whatever its generation.
const unsigned kUserHandleSlots = (0xFFEF - 0x20 + 1) / 2;
HANDLE UserHandle(unsigned slot) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x20 + 2 * slot)); }

typedef BOOL(WINAPI* PFNGETICONSIZE)(HICON, UINT, LONG*, LONG*);
typedef HRESULT(STDAPICALLTYPE* PFNCANUNLOADNOW)();

bool g_bWatching = false;

HRESULT ControlCanUnloadNow(bool* loaded) {
  HMODULE ocx = GetModuleHandleA("DvrOcx.ocx");
  *loaded = ocx != nullptr;
  if (!ocx) return E_FAIL;
  FARPROC p = GetProcAddress(ocx, "DllCanUnloadNow");
  PFNCANUNLOADNOW canUnload = reinterpret_cast<PFNCANUNLOADNOW>(reinterpret_cast<void (*)()>(p));
  return canUnload ? canUnload() : E_NOTIMPL;
}

// Written while the process ends: the control's own answer whether anything
// still holds it (S_OK, 0, when nothing does).
void WriteExitReport() {
  char path[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, path);
  if (!n || n > MAX_PATH - 40) return;
  snprintf(path + n, MAX_PATH - n, "velo-probe-%lu.txt", GetCurrentProcessId());
  bool loaded = false;
  HRESULT hr = ControlCanUnloadNow(&loaded);
  char text[80];
  int len = loaded ? snprintf(text, sizeof(text), "DllCanUnloadNow=0x%08lx\r\n", static_cast<unsigned long>(hr))
                   : snprintf(text, sizeof(text), "DvrOcx.ocx not loaded\r\n");
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text, static_cast<DWORD>(len), &written, nullptr);
  CloseHandle(h);
}

}  // namespace

extern "C" {

// Menus of this process.
__declspec(dllexport) DWORD WINAPI ProbeCountMenus(LPVOID) {
  DWORD n = 0;
  for (unsigned i = 0; i < kUserHandleSlots; ++i)
    if (IsMenu(static_cast<HMENU>(UserHandle(i)))) ++n;
  return n;
}

// Icons and cursors of this process (Wine's win32u answers their size only
// for the process's own ones).
__declspec(dllexport) DWORD WINAPI ProbeCountIcons(LPVOID) {
  FARPROC p = GetProcAddress(GetModuleHandleA("win32u.dll"), "NtUserGetIconSize");
  PFNGETICONSIZE getIconSize = reinterpret_cast<PFNGETICONSIZE>(reinterpret_cast<void (*)()>(p));
  if (!getIconSize) return static_cast<DWORD>(-1);
  DWORD n = 0;
  for (unsigned i = 0; i < kUserHandleSlots; ++i) {
    LONG cx = 0, cy = 0;
    if (getIconSize(static_cast<HICON>(UserHandle(i)), 0, &cx, &cy)) ++n;
  }
  return n;
}

// The control's DllCanUnloadNow now (0xFFFFFFFF when it is not loaded); the
// answer at the end of the process goes to the exit report.
__declspec(dllexport) DWORD WINAPI ProbeWatchControl(LPVOID) {
  bool loaded = false;
  HRESULT hr = ControlCanUnloadNow(&loaded);
  if (!loaded) return static_cast<DWORD>(-1);
  g_bWatching = true;
  return static_cast<DWORD>(hr);
}

// A WH_CALLWNDPROC hook: each top-level window the thread shows is noted in
// "%TEMP%\\velo-shown-<pid>.txt" as its class and caption, one a line.
__declspec(dllexport) LRESULT CALLBACK ProbeShowHook(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
  // Showing goes through SetWindowPos with SWP_SHOWWINDOW, whatever asked for it.
  const bool shown = code == HC_ACTION && cwp && cwp->message == WM_WINDOWPOSCHANGED &&
                     (reinterpret_cast<const WINDOWPOS*>(cwp->lParam)->flags & SWP_SHOWWINDOW);
  if (shown && !(GetWindowLongA(cwp->hwnd, GWL_STYLE) & WS_CHILD)) {
    char path[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, path);
    if (n && n < MAX_PATH - 40) {
      snprintf(path + n, MAX_PATH - n, "velo-shown-%lu.txt", GetCurrentProcessId());
      char cls[64] = "", caption[128] = "", line[220];
      GetClassNameA(cwp->hwnd, cls, sizeof(cls));
      GetWindowTextA(cwp->hwnd, caption, sizeof(caption));
      int len = snprintf(line, sizeof(line), "%s '%s'\n", cls, caption);
      HANDLE h =
          CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, line, static_cast<DWORD>(len), &written, nullptr);
        CloseHandle(h);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // Loaded after the control, the probe is detached before it when the
  // process ends, so the control still answers here.
  if (reason == DLL_PROCESS_DETACH && reserved && g_bWatching) WriteExitReport();
  return TRUE;
}

}  // extern "C"

#else  // the test program

#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "res/resource.h"
#include "tests/ui/uidriver.h"

namespace {

const DWORD kFirstStartMs = 60000;  // a first start in a fresh prefix installs the components
const DWORD kStartMs = 10000;
const DWORD kStepMs = 2000;  // the longest the program may take to answer one action

const std::string kDefaults =
    "[Language]\r\nLang=0\r\n[WINDOW_COUNT]\r\nwnd_count=0\r\n[Path]\r\nVideopath=c:\\DVR\\backup\\\r\n"
    "Framepath=c:\\DVR\\capture\\\r\nFilepath=c:\\DVR\\\r\n[Delete]\r\nIsDelete=1033";

bool LongForm() {
  char value[16] = "";
  return GetEnvironmentVariableA("VELO_SOAK", value, sizeof(value)) && std::strcmp(value, "long") == 0;
}

struct Plan {
  int languageSwitches;
  int hoverCycles;
  int bookRounds;  // each adds entries one OK at a time, then deletes them all
  int entriesPerRound;
  int viewerOpenings;
};

Plan ThePlan() { return LongForm() ? Plan{1000, 1000, 10, 20, 50} : Plan{96, 30, 1, 5, 3}; }

// Frame `frame` (normal, hover, pressed, disabled) of one of the program's skin bitmaps.
std::vector<DWORD> Frame(UINT bitmap, int frame) {
  int w = 0, h = 0;
  return ui::BitmapFrame(ui::ProgramPath(), bitmap, frame, &w, &h);
}

std::vector<DWORD> Face(HWND button) {
  RECT rc;
  GetWindowRect(button, &rc);
  return ui::CaptureScreenRect(rc);
}

// The value of "Lang" as it stands in the file's text.
std::string StoredLanguage(const std::string& ini) {
  std::string text = ui::ReadFileBytes(ini);
  size_t at = text.find("\nLang=");
  if (at == std::string::npos) return std::string();
  at += 6;
  return text.substr(at, text.find_first_of("\r\n", at) - at);
}

// Polls more often than ui::WaitUntil: a soak step is short and there are
// thousands of them.
template <typename F>
bool WaitBriefly(F pred, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(2);
  }
}

// The largest difference from a starting value seen for each kind of object.
class DriftLog {
 public:
  DriftLog(const char* phase, const ui::ObjectCounts& start) : m_phase(phase), m_start(start) {}
  void Note(const ui::ObjectCounts& now) {
    Widen(now.handles, m_start.handles, &m_worst.handles);
    Widen(now.gdi, m_start.gdi, &m_worst.gdi);
    Widen(now.windows, m_start.windows, &m_worst.windows);
    Widen(now.menus, m_start.menus, &m_worst.menus);
    Widen(now.icons, m_start.icons, &m_worst.icons);
  }
  // Prints start, end and the largest drift; the end is noted too.
  void Report(const ui::ObjectCounts& end) {
    Note(end);
    std::printf("soak: %s\n  start: %s\n  end:   %s\n  largest drift: %s\n", m_phase, ui::Describe(m_start).c_str(),
                ui::Describe(end).c_str(), ui::Describe(m_worst).c_str());
    std::fflush(stdout);
  }
  // Prints the start and the largest drift of the values noted.
  void Summary() {
    std::printf("soak: %s\n  first: %s\n  largest drift: %s\n", m_phase, ui::Describe(m_start).c_str(),
                ui::Describe(m_worst).c_str());
    std::fflush(stdout);
  }
  const ui::ObjectCounts& worst() const { return m_worst; }
  bool Steady() const { return m_worst == ui::ObjectCounts{0, 0, 0, 0, 0}; }

 private:
  static void Widen(long now, long start, long* worst) {
    long d = now - start;
    if (std::labs(d) > std::labs(*worst)) *worst = d;
  }
  const char* m_phase;
  ui::ObjectCounts m_start;
  ui::ObjectCounts m_worst{0, 0, 0, 0, 0};
};

void ExpectCountsAvailable(const ui::ObjectCounts& c) {
  EXPECT_GE(c.handles, 1) << "kernel handles not measurable";
  EXPECT_GE(c.gdi, 1) << "GDI objects not measurable";
  EXPECT_GE(c.windows, 1) << "windows not measurable";
  EXPECT_GE(c.menus, 0) << "menus not measurable (probe)";
  EXPECT_GE(c.icons, 0) << "icons not measurable (probe)";
}

// Makes Wine's hover tracking answer after 10 ms instead of 400, so a
// thousand hover cycles stay short; the old value comes back afterwards.
class ShortHoverTime {
 public:
  ShortHoverTime() {
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &m_old, 0);
    SystemParametersInfoW(SPI_SETMOUSEHOVERTIME, 10, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }
  ~ShortHoverTime() {
    SystemParametersInfoW(SPI_SETMOUSEHOVERTIME, m_old, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }

 private:
  UINT m_old = 400;
};

// ---------------------------------------------------------------------------
// The measurement itself sees objects come and go: in this process, every
// kind of object made raises its count by exactly one, and destroying it
// brings the count back.

LRESULT CALLBACK PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

TEST(Measurement, CountsFollowObjectsAsTheyComeAndGo) {
  const DWORD self = GetCurrentProcessId();
  ui::Probe probe(self);
  ASSERT_TRUE(probe.loaded());
  WNDCLASSW wc{};
  wc.lpfnWndProc = &PlainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VeloCountProbe";
  RegisterClassW(&wc);
  auto makeWindow = [&](HWND parent, DWORD style) {
    return CreateWindowExW(0, wc.lpszClassName, L"", style, 0, 0, 10, 10, parent, nullptr, wc.hInstance, nullptr);
  };
  // Whatever the first use of each kind sets up once is done before counting
  // (a window kept meanwhile keeps the thread's input-method window too).
  HWND keeper = makeWindow(nullptr, WS_POPUP);
  DestroyWindow(makeWindow(nullptr, WS_POPUP));
  DestroyMenu(CreatePopupMenu());
  std::vector<BYTE> andMask(32, 0xFF), xorMask(32, 0);
  DestroyIcon(CreateIcon(nullptr, 16, 16, 1, 1, andMask.data(), xorMask.data()));
  ui::CountObjects(self, &probe);

  const ui::ObjectCounts before = ui::CountObjects(self, &probe);
  ExpectCountsAvailable(before);

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ui::ObjectCounts now = ui::CountObjects(self, &probe);
  EXPECT_EQ(before.handles + 1, now.handles);

  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HDC dc = CreateCompatibleDC(nullptr);
  now = ui::CountObjects(self, &probe);
  EXPECT_EQ(before.gdi + 2, now.gdi);

  HWND top = makeWindow(nullptr, WS_POPUP);
  HWND child = makeWindow(top, WS_CHILD);
  HWND messageOnly = makeWindow(HWND_MESSAGE, 0);
  now = ui::CountObjects(self, &probe);
  EXPECT_EQ(before.windows + 3, now.windows);

  HMENU menu = CreatePopupMenu();
  HICON icon = CreateIcon(nullptr, 16, 16, 1, 1, andMask.data(), xorMask.data());
  now = ui::CountObjects(self, &probe);
  EXPECT_EQ(before.menus + 1, now.menus);
  EXPECT_EQ(before.icons + 1, now.icons);
  EXPECT_EQ(before.handles + 1, now.handles);

  DestroyIcon(icon);
  DestroyMenu(menu);
  DestroyWindow(messageOnly);
  DestroyWindow(child);
  DestroyWindow(top);
  DeleteDC(dc);
  DeleteObject(brush);
  CloseHandle(event);
  const ui::ObjectCounts after = ui::CountObjects(self, &probe);
  EXPECT_EQ(before, after) << "before: " << ui::Describe(before) << "\nafter:  " << ui::Describe(after);
  DestroyWindow(keeper);
}

// ---------------------------------------------------------------------------
// Language switches and hover/press cycles, in one run of the program.

struct LanguageStep {
  int button;    // clicked, or the button the arrow key is pressed on
  UINT key;      // 0: a click
  int expected;  // the language stored afterwards
};

// Half of the switches by button, half by arrow key; every step changes the
// language, so each one shows in the file.
const LanguageStep kLanguageCycle[] = {
    {IDC_RADIO_SIMPLIFIED, 0, 1},      {IDC_RADIO_SIMPLIFIED, VK_DOWN, 0},  {IDC_RADIO_TRADITIONAL, 0, 2},
    {IDC_RADIO_TRADITIONAL, VK_UP, 0}, {IDC_RADIO_SIMPLIFIED, 0, 1},        {IDC_RADIO_SIMPLIFIED, VK_RIGHT, 0},
    {IDC_RADIO_TRADITIONAL, 0, 2},     {IDC_RADIO_TRADITIONAL, VK_LEFT, 0},
};

// One step; false when the program did not show and store the language in time.
bool SwitchLanguage(ui::InitSession& s, const LanguageStep& step) {
  HWND button = s.Item(step.button);
  if (step.key == 0) {
    ui::Click(button);
  } else {
    if (!WaitBriefly([&] { return s.program().Focus() == button; }, kStepMs)) return false;
    ui::PostKey(button, step.key);
  }
  const char* stored = step.expected == 0 ? "0" : step.expected == 1 ? "1" : "2";
  const int shown = step.expected == 0   ? IDC_RADIO_ENGLISH
                    : step.expected == 1 ? IDC_RADIO_SIMPLIFIED
                                         : IDC_RADIO_TRADITIONAL;
  return WaitBriefly(
      [&] {
        return StoredLanguage(s.Ini()) == stored && SendMessageW(s.Item(shown), BM_GETCHECK, 0, 0) == BST_CHECKED;
      },
      kStepMs);
}

// The three visible skin buttons with their English faces: normal, hover, pressed.
struct SkinButton {
  int id;
  UINT bitmap;
  std::vector<DWORD> frames[3];
};

// One hover/press cycle with the real pointer: rest on the button (hover
// face), press (pressed face), slide off and release there (no click), and
// the button is back to normal. False, with what went wrong, when a face did
// not show in time.
//
// Wine's hover tracking looks for the pointer where the X server has it.
// SetCursorPos tells the program of the move before it moves the X pointer,
// and a program that asks for tracking in between gets nothing registered
// and no leave message either, where Windows would send one at once; the
// button then waits for that leave message before it asks again. So the
// program's thread is held while the pointer moves, as with a real mouse,
// whose move the X server knows before any program does. Should a stay still
// show no hover face after a while, the test sends the leave message Windows
// would have sent and nudges the pointer; *recovered counts those stays.
bool HoverAndPress(ui::InitSession& s, const SkinButton& b, POINT away, int* recovered, std::string* what) {
  HWND button = s.Item(b.id);
  const POINT on = ui::CenterOf(button);
  {
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, s.program().tid());
    SuspendThread(thread);
    ui::PointerTo(on);
    Sleep(5);
    ResumeThread(thread);
    CloseHandle(thread);
  }
  if (!WaitBriefly([&] { return Face(button) == b.frames[1]; }, 250)) {
    PostMessageW(button, WM_MOUSELEAVE, 0, 0);
    ui::PointerTo(POINT{on.x + 1, on.y});
    if (!WaitBriefly([&] { return Face(button) == b.frames[1]; }, kStepMs)) return *what = "no hover face", false;
    ++*recovered;
  }
  ui::PointerButton(true, on);
  if (!WaitBriefly([&] { return Face(button) == b.frames[2]; }, kStepMs)) return *what = "no pressed face", false;
  ui::PointerTo(away);
  ui::PointerButton(false, away);
  if (!WaitBriefly([&] { return Face(button) == b.frames[0]; }, kStepMs)) return *what = "no normal face", false;
  return true;
}

TEST(Soak, LanguageSwitchesAndSkinButtons) {
  const Plan plan = ThePlan();
  ShortHoverTime hover;
  std::string dir = ui::MakeTempDir("soak-ui");
  ASSERT_TRUE(ui::WriteFileBytes(dir + "\\QlUserCfg.ini", kDefaults));
  ui::InitSession s(dir, kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());
  const DWORD pid = s.program().pid();
  ui::Probe probe(pid);
  ASSERT_TRUE(probe.loaded());

  // English faces of Delete, Ok and Leave; the list is empty and no address
  // typed, so a click that slipped through would show (a box, or the end).
  SkinButton buttons[3] = {{IDC_DELETE, 156, {}}, {IDC_OK, 159, {}}, {IDC_LEAVE, 162, {}}};
  for (SkinButton& b : buttons)
    for (int f = 0; f < 3; ++f) b.frames[f] = Frame(b.bitmap, f);
  RECT dlg;
  GetWindowRect(s.dialog(), &dlg);
  // The grey left of the Delete button, where nothing reacts to the pointer.
  RECT del;
  GetWindowRect(s.Item(IDC_DELETE), &del);
  const POINT away{dlg.left + 8, (del.top + del.bottom) / 2};
  ui::PointerTo(away);

  // One round of everything first: what the first use sets up once is not a leak.
  for (const LanguageStep& step : kLanguageCycle) ASSERT_TRUE(SwitchLanguage(s, step));
  std::string what;
  int recovered = 0;
  for (const SkinButton& b : buttons) ASSERT_TRUE(HoverAndPress(s, b, away, &recovered, &what)) << b.id << ": " << what;
  recovered = 0;

  const ui::ObjectCounts start = ui::SettledCounts(pid, &probe);
  ExpectCountsAvailable(start);
  DriftLog languageLog("language switches", start);
  const DWORD t0 = GetTickCount();
  int failed = 0;
  const int cycle = static_cast<int>(sizeof(kLanguageCycle) / sizeof(kLanguageCycle[0]));
  for (int i = 0; i < plan.languageSwitches && failed < 3; ++i) {
    if (!SwitchLanguage(s, kLanguageCycle[i % cycle])) {
      ADD_FAILURE() << "language switch " << i << " did not show in time";
      ++failed;
    }
    if ((i + 1) % 100 == 0) languageLog.Note(ui::CountObjects(pid, &probe));
  }
  const ui::ObjectCounts afterLanguages = ui::SettledCounts(pid, &probe);
  languageLog.Report(afterLanguages);
  std::printf("soak: %d language switches in %lu ms\n", plan.languageSwitches, GetTickCount() - t0);
  EXPECT_EQ(start, afterLanguages) << "start: " << ui::Describe(start) << "\nend:   " << ui::Describe(afterLanguages);

  // The language cycle ends in English: the faces above apply.
  ASSERT_EQ("0", StoredLanguage(s.Ini()));
  DriftLog hoverLog("hover/press cycles over the skin buttons", afterLanguages);
  const DWORD t1 = GetTickCount();
  failed = 0;
  for (int i = 0; i < plan.hoverCycles && failed < 3; ++i) {
    const SkinButton& b = buttons[i % 3];
    if (!HoverAndPress(s, b, away, &recovered, &what)) {
      ADD_FAILURE() << "cycle " << i << " on button " << b.id << ": " << what;
      ++failed;
    }
    if ((i + 1) % 100 == 0) hoverLog.Note(ui::CountObjects(pid, &probe));
  }
  const ui::ObjectCounts afterHover = ui::SettledCounts(pid, &probe);
  hoverLog.Report(afterHover);
  std::printf("soak: %d hover/press cycles in %lu ms (%d hover requests lost by Wine and sent again)\n",
              plan.hoverCycles, GetTickCount() - t1, recovered);
  EXPECT_EQ(afterLanguages, afterHover) << "start: " << ui::Describe(afterLanguages)
                                        << "\nend:   " << ui::Describe(afterHover);

  // No press became a click: no box, the dialog is still there, nothing stored.
  for (HWND h : s.program().Windows()) EXPECT_FALSE(ui::IsMessageBox(h)) << ui::Text(GetDlgItem(h, 0xFFFF));
  EXPECT_TRUE(s.Open());
  EXPECT_TRUE(ui::ReadAddressBook(s.Ini()).addresses.empty());
  ui::Click(s.Item(IDC_LEAVE));
  EXPECT_TRUE(s.program().WaitExit(kStepMs));
}

// ---------------------------------------------------------------------------
// Additions (each one OK, so each one a start of the program and a viewer)
// and deletions (all in one run of the start-up dialog).

// A loopback address of its own for each entry: the viewer's connection is
// refused at once.
std::string EntryAddress(int round, int k) {
  return "127." + std::to_string(round + 1) + "." + std::to_string(k) + ".1";
}

TEST(Soak, AddressBookAdditionsAndDeletions) {
  const Plan plan = ThePlan();
  std::string dir = ui::MakeTempDir("soak-book");
  ASSERT_TRUE(ui::WriteFileBytes(dir + "\\QlUserCfg.ini", kDefaults));
  ui::InitSession s(dir, kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());
  ui::Click(s.Item(IDC_LEAVE));
  ASSERT_TRUE(s.program().WaitExit(kStepMs));

  const DWORD t0 = GetTickCount();
  int additions = 0, deletions = 0;
  std::unique_ptr<DriftLog> starts;  // each deleting run's start against the first one's
  for (int round = 0; round < plan.bookRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    for (int k = 0; k < plan.entriesPerRound; ++k) {
      s.Restart(kStartMs);
      ASSERT_NE(nullptr, s.dialog());
      s.Type(EntryAddress(round, k), std::to_string(20000 + k));
      ui::Click(s.Item(IDC_OK));
      HWND viewer = s.WaitViewer(kStepMs);
      ASSERT_NE(nullptr, viewer) << "no viewer after OK with a new address";
      ASSERT_TRUE(s.CloseViewer(viewer));
      ++additions;
    }
    ui::AddressBook book = ui::ReadAddressBook(s.Ini());
    EXPECT_TRUE(book.problems.empty()) << book.problems.front();
    ASSERT_EQ(static_cast<size_t>(plan.entriesPerRound), book.addresses.size());

    // Delete them all in one run; the first question is answered No, so
    // what the first message box sets up once is counted in the start.
    s.Restart(kStartMs);
    ASSERT_NE(nullptr, s.dialog());
    const DWORD pid = s.program().pid();
    ui::Probe probe(pid);
    ui::MessageBoxInfo box;
    s.Select(0);
    ASSERT_TRUE(s.ClickForBox(IDC_DELETE, &box));
    ASSERT_EQ("sure delete?", box.text);
    s.AnswerAndWait(box, IDNO);
    const ui::ObjectCounts start = ui::SettledCounts(pid, &probe);
    ExpectCountsAvailable(start);
    // Nothing piles up from one run of the program to the next either.
    if (!starts) starts = std::make_unique<DriftLog>("start of each deleting run against the first", start);
    starts->Note(start);
    DriftLog log("deletions", start);
    for (int k = 0; k < plan.entriesPerRound; ++k) {
      const size_t before = s.Entries().size();
      s.Select(0);
      ASSERT_TRUE(s.ClickForBox(IDC_DELETE, &box));
      s.AnswerAndWait(box, IDYES);
      ASSERT_TRUE(WaitBriefly([&] { return s.Entries().size() == before - 1; }, kStepMs)) << "deletion " << k;
      ASSERT_TRUE(WaitBriefly([&] { return IsWindowEnabled(s.Item(IDC_DELETE)) != FALSE; }, kStepMs));
      ++deletions;
      if ((k + 1) % 5 == 0) log.Note(ui::CountObjects(pid, &probe));
    }
    const ui::ObjectCounts end = ui::SettledCounts(pid, &probe);
    log.Report(end);
    EXPECT_EQ(start, end) << "start: " << ui::Describe(start) << "\nend:   " << ui::Describe(end);
    ui::Click(s.Item(IDC_LEAVE));
    ASSERT_TRUE(s.program().WaitExit(kStepMs));
    book = ui::ReadAddressBook(s.Ini());
    EXPECT_TRUE(book.problems.empty()) << book.problems.front();
    EXPECT_TRUE(book.addresses.empty());
  }
  std::printf("soak: %d additions and %d deletions in %lu ms\n", additions, deletions, GetTickCount() - t0);
  ASSERT_TRUE(starts);
  starts->Summary();
  EXPECT_TRUE(starts->Steady()) << ui::Describe(starts->worst());
}

// ---------------------------------------------------------------------------
// Viewer openings: OK, the viewer connects to a listener of this test, close,
// and the next start. While the viewer is open the control is loaded from the
// system directory and held (DllCanUnloadNow says S_FALSE); when the process
// ends after the viewer closed, nothing holds it any more (S_OK). The counts
// in the start-up dialog and in the open viewer are the same at every
// opening.

class Listener {
 public:
  Listener() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    int len = sizeof(a);
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    listen(m_socket, 8);
  }
  ~Listener() {
    closesocket(m_socket);
    WSACleanup();
  }
  int port() const { return m_port; }
  // Accepts one connection within ms and closes it.
  bool Accept(DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(m_socket, &set);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
    if (select(0, &set, nullptr, nullptr, &tv) != 1) return false;
    SOCKET c = accept(m_socket, nullptr, nullptr);
    if (c == INVALID_SOCKET) return false;
    closesocket(c);
    return true;
  }

 private:
  SOCKET m_socket = INVALID_SOCKET;
  int m_port = 0;
};

TEST(Soak, ViewerOpenings) {
  const Plan plan = ThePlan();
  Listener listener;
  const std::string port = std::to_string(listener.port());
  // The listener's address is the current entry, so that every opening
  // starts the same way: the entry shown, OK, the viewer.
  std::string dir = ui::MakeTempDir("soak-viewer");
  ASSERT_TRUE(ui::WriteFileBytes(
      dir + "\\QlUserCfg.ini",
      kDefaults + "\r\n[VELO_KEYWORDS]\r\nCOUNT=1\r\nIP00=127.0.0.1\r\nPORT00=" + port + "\r\nINDEX=0\r\n"));
  ui::InitSession s(dir, kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());

  const std::string control = ui::SystemDir() + "\\DvrOcx.ocx";
  std::unique_ptr<DriftLog> initLog, viewerLog;
  const DWORD t0 = GetTickCount();
  for (int i = 0; i < plan.viewerOpenings; ++i) {
    SCOPED_TRACE("opening " + std::to_string(i));
    if (i > 0) s.Restart(kStartMs);
    ASSERT_NE(nullptr, s.dialog());
    ASSERT_EQ("127.0.0.1", ui::Text(s.Item(IDC_ADDRESS_LIST)));
    ASSERT_EQ(port, ui::Text(s.Item(IDC_PORT)));
    const DWORD pid = s.program().pid();
    const ui::ObjectCounts init = ui::SettledCounts(pid, nullptr);
    if (!initLog) initLog = std::make_unique<DriftLog>("start-up dialog, each opening against the first", init);
    initLog->Note(init);

    ui::Click(s.Item(IDC_OK));
    HWND viewer = s.WaitViewer(kStepMs);
    ASSERT_NE(nullptr, viewer);
    ASSERT_TRUE(listener.Accept(5000)) << "the control did not connect";
    EXPECT_EQ(0, lstrcmpiA(control.c_str(), ui::ModulePathIn(pid, "DvrOcx.ocx").c_str()))
        << "control loaded from " << ui::ModulePathIn(pid, "DvrOcx.ocx");
    ui::Probe probe(pid);
    ASSERT_TRUE(probe.loaded());
    DWORD held = 0;
    ASSERT_TRUE(probe.Call(ui::kProbeWatchControl, &held));
    EXPECT_EQ(static_cast<DWORD>(S_FALSE), held) << "the open viewer's control is not held";
    const ui::ObjectCounts open = ui::SettledCounts(pid, &probe);
    if (!viewerLog) {
      ExpectCountsAvailable(open);
      viewerLog = std::make_unique<DriftLog>("open viewer, each opening against the first", open);
    }
    viewerLog->Note(open);

    DeleteFileA(ui::ProbeReportPath(pid).c_str());
    ASSERT_TRUE(s.CloseViewer(viewer, kStepMs)) << "the program did not end after the viewer closed";
    const std::string report = ui::ReadFileBytes(ui::ProbeReportPath(pid));
    EXPECT_EQ("DllCanUnloadNow=0x00000000\r\n", report) << "something still holds the control at the end";
    DeleteFileA(ui::ProbeReportPath(pid).c_str());
  }
  std::printf("soak: %d viewer openings in %lu ms\n", plan.viewerOpenings, GetTickCount() - t0);
  ASSERT_TRUE(initLog && viewerLog);
  initLog->Summary();
  viewerLog->Summary();
  EXPECT_TRUE(initLog->Steady()) << ui::Describe(initLog->worst());
  EXPECT_TRUE(viewerLog->Steady()) << ui::Describe(viewerLog->worst());

  ui::AddressBook book = ui::ReadAddressBook(s.Ini());
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
  EXPECT_EQ(std::vector<std::string>{"127.0.0.1"}, book.addresses);
}

}  // namespace

#endif  // VELO_PROBE_LIBRARY
