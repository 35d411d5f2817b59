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
