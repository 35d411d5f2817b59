// A driver for the whole program, used from outside: it starts VELODvr.exe
// in a working folder, finds its windows, reads and sets texts, clicks,
// posts keys, answers message boxes, and reads files and registry values.
// All texts it hands out or takes are UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

std::string Utf8(const std::wstring& w);
std::wstring Wide(const std::string& utf8);

// A fresh, empty folder under the temporary folder.
std::string MakeTempDir(const char* tag);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool ReadRegString(HKEY root, const char* key, const char* value, std::string* out);
std::string SystemDir();

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string text;
  std::string caption;
  std::vector<int> buttons;  // ids of the buttons it shows (IDOK, IDYES ...)
  bool hasIcon = false;
};

class Program {
 public:
  // Starts the program with workDir as its current folder.
  explicit Program(const std::string& workDir, const std::string& exe = "");
  ~Program();  // ends it if it still runs
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool started() const { return m_pi.hProcess != nullptr; }
  DWORD pid() const { return m_pi.dwProcessId; }
  DWORD tid() const { return m_pi.dwThreadId; }
  bool WaitExit(DWORD ms, DWORD* exitCode = nullptr);
  bool Running() const;

  // Visible top-level windows of the process.
  std::vector<HWND> Windows() const;
  // A visible top-level window with exactly this caption, not a message box.
  HWND WaitWindow(const std::string& caption, DWORD ms) const;
  // The next message box of the process.
  bool WaitMessageBox(DWORD ms, MessageBoxInfo* out) const;
  // Answers every message box with its first button until the window with
  // the caption shows; the texts of the boxes are collected.
  HWND AnswerBoxesUntil(const std::string& caption, DWORD ms, std::vector<std::string>* texts) const;
  // The viewer: the program's window with a taskbar button of its own
  // (null when none came within ms or the program ended).
  HWND WaitViewer(DWORD ms) const;
  // The window with the keyboard focus in the program.
  HWND Focus() const;
  // Waits until the focus is on hWnd (true) or the time is up.
  bool WaitFocus(HWND hWnd, DWORD ms) const;

 private:
  PROCESS_INFORMATION m_pi{};
};

bool IsMessageBox(HWND h);
MessageBoxInfo ReadMessageBox(HWND h);
// Clicks a message box button by id.
void Answer(const MessageBoxInfo& box, int id);

std::string Text(HWND h);
void SetText(HWND h, const std::string& text);
std::string ClassName(HWND h);
// Clicks a button without waiting for what the click opens.
void Click(HWND h);
void PostKey(HWND h, UINT vk);
std::vector<HWND> Descendants(HWND h);
HWND Child(HWND parent, int id);
// Waits until pred() holds; false when the time is up.
template <typename F>
bool WaitUntil(F pred, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (pred()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
}

// The size in pixels of a dialog template of VELODvr.exe, as the system
// lays it out (created hidden in this process from the program's template).
SIZE TemplateClientSize(const std::string& exe, UINT id);
std::string ProgramPath();

}  // namespace ui

namespace ui {

// The pixels (0x00RRGGBB) of a window's rectangle as the screen shows it.
std::vector<DWORD> CaptureScreenRect(const RECT& rc);
// Frame `frame` (80 px wide) of bitmap `id` of the program, as 0x00RRGGBB.
std::vector<DWORD> BitmapFrame(const std::string& exe, UINT id, int frame, int* width, int* height);
// Positions in pixels of a template's controls relative to its client area.
RECT TemplateItemRect(const std::string& exe, UINT dialogId, int itemId);
// Dialog units of a template mapped to pixels (left, top, right, bottom).
RECT TemplateMapRect(const std::string& exe, UINT dialogId, RECT dialogUnits);
// A value of the settings file as the profile functions read it.
std::string IniValue(const std::string& file, const char* section, const char* key);

}  // namespace ui

namespace ui {

// ---- What a process holds, measured from outside ----
//
// GetGuiResources and GetProcessHandleCount answer 0 under Wine 8 (stubs),
// so a check built on them alone could never fail. Where they answer 0 the
// counts come from what Wine really keeps:
//   handles  the system handle list (NtQuerySystemInformation), entries of
//            that process
//   gdi      the process's GDI handle table (PEB GdiSharedHandleTable, read
//            with ReadProcessMemory), live entries, stock objects included
//   windows  every window of the process: top-level (hidden ones too), their
//            descendants, and message-only windows
//   menus, icons  counted inside the process by the probe library
//            (velo_probe.dll beside the test program), which walks the USER
//            handle table there; -1 when no probe is loaded
struct ObjectCounts {
  long handles = -1;
  long gdi = -1;
  long windows = -1;
  long menus = -1;
  long icons = -1;  // icons and cursors
  bool operator==(const ObjectCounts& o) const {
    return handles == o.handles && gdi == o.gdi && windows == o.windows && menus == o.menus && icons == o.icons;
  }
  bool operator!=(const ObjectCounts& o) const { return !(*this == o); }
};
std::string Describe(const ObjectCounts& c);

// The probe library loaded into another process (it stays there until the
// process ends). Its exported functions run there on a thread of their own.
class Probe {
 public:
  explicit Probe(DWORD pid);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  bool loaded() const { return m_remoteBase != nullptr; }
  // Runs the probe's export `name` in the process; false when it could not run.
  bool Call(const char* name, DWORD* result, DWORD ms = 10000) const;

 private:
  HANDLE m_process = nullptr;
  HMODULE m_local = nullptr;  // the same library in this process, for the offsets
  BYTE* m_remoteBase = nullptr;
};

// Counts of the process (probe: for menus and icons, may be null).
ObjectCounts CountObjects(DWORD pid, const Probe* probe);
// Counts once they have stayed the same over two samples 150 ms apart
// (paints and message boxes come and go); at most ms of waiting.
ObjectCounts SettledCounts(DWORD pid, const Probe* probe, DWORD ms = 3000);

// The probe's exit report of process pid: written when the process ends
// with the probe loaded and armed (ProbeWatchControl); empty when missing.
std::string ProbeReportPath(DWORD pid);

// Where the probe's window hook (ShowWatch) notes the windows process pid shows.
std::string ProbeShownPath(DWORD pid);

// Full path of a module loaded in process pid (by file name, any case), or "".
std::string ModulePathIn(DWORD pid, const char* fileName);

// The bare name of the probe's exports.
extern const char kProbeCountMenus[];
extern const char kProbeCountIcons[];
extern const char kProbeWatchControl[];  // DllCanUnloadNow of DvrOcx.ocx; arms the exit report

// ---- Pointer input as the mouse gives it: the window under the pointer
// gets it, and hover tracking sees the pointer there ----
void PointerTo(POINT screen);
// The left button pressed or released with the pointer at that point.
void PointerButton(bool down, POINT screen);
POINT CenterOf(HWND h);

// ---- Unix commands from inside Wine (Wine runs ELF programs natively) ----
// Starts /usr/bin/<tool> with the arguments; does not wait.
bool RunUnix(const std::string& commandLine);
// The Unix path of a Windows path (Z: paths and the prefix's drive C:).
std::string UnixPath(const std::string& windowsPath);

}  // namespace ui

#include <memory>

namespace ui {

// ---- VELODvr's start-up dialog ("Init") and its settings file ----

// UTF-8 from text in the program's code page (936).
std::string Utf8FromGbk(const std::string& gbk);

// The address book of a settings file as the profile functions read it,
// with what is inconsistent about it: COUNT must equal the number of stored
// addresses, every stored address needs its port line (a port reading as
// 1..65535), and no numbered key may stand twice in the section.
struct AddressBook {
  int count = 0;                       // COUNT
  std::vector<std::string> addresses;  // stored addresses (UTF-8), in slot order
  std::vector<std::string> ports;      // their PORTnn texts
  std::vector<std::string> problems;   // empty when consistent
  std::string Port(const std::string& address) const;  // the PORTnn text of that address
};
AddressBook ReadAddressBook(const std::string& iniPath);

// One start of the program in a folder, up to its start-up dialog. Message
// boxes before the dialog are answered with their first button and their
// texts kept (the installer's and the settings file's first messages).
class InitSession {
 public:
  explicit InitSession(const std::string& dir, DWORD ms = 60000);
  void Restart(DWORD ms = 60000);

  Program& program() { return *m_p; }
  const Program& program() const { return *m_p; }
  HWND dialog() const { return m_init; }
  const std::vector<std::string>& messages() const { return m_messages; }
  std::string Ini() const { return m_dir + "\\QlUserCfg.ini"; }

  HWND Item(int id) const { return GetDlgItem(m_init, id); }
  std::vector<std::string> Entries() const;  // the address list's entries (UTF-8)
  void Type(const std::string& address, const std::string& port);
  // Selects an entry as the operator would (the dialog hears of it).
  void Select(int index);
  int Find(const std::string& entry) const;  // index in the list, -1 when absent
  // Clicks a button and waits for a message box (false when none came).
  bool ClickForBox(int id, MessageBoxInfo* box, DWORD ms = 2000);
  // Answers a box and waits until it is gone.
  void AnswerAndWait(const MessageBoxInfo& box, int id);
  bool Open() const { return IsWindow(m_init) && IsWindowVisible(m_init); }
  // The viewer after a confirmed OK (null when none came within ms).
  HWND WaitViewer(DWORD ms) const;
  // Closes the viewer; true when the program then ended within ms.
  bool CloseViewer(HWND viewer, DWORD ms = 5000);

 private:
  std::string m_dir;
  std::unique_ptr<Program> m_p;
  HWND m_init = nullptr;
  std::vector<std::string> m_messages;
};

}  // namespace ui

namespace ui {

// Every top-level window that the main thread of a program shows, however
// briefly, while the watch lasts: a hook of the probe library in that thread
// notes each one (WinEvent hooks across processes report nothing in Wine 8).
class ShowWatch {
 public:
  explicit ShowWatch(const Program& p);
  ~ShowWatch();
  ShowWatch(const ShowWatch&) = delete;
  ShowWatch& operator=(const ShowWatch&) = delete;
  bool active() const { return m_hook != nullptr; }
  // Class and caption of each top-level window shown so far, in order.
  std::vector<std::string> shown() const;

 private:
  HHOOK m_hook = nullptr;
  std::string m_report;
};

}  // namespace ui
