// Every message box of the program goes through ShowMessageBox, so tests can
// replace the real boxes with a script that records what was shown and
// answers as scripted.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct MessageBoxCall {
  HWND hOwner;
  std::string text;  // code page 936, as passed
  std::string caption;
  UINT type;  // MB_* flags as passed to the system
};

using MessageBoxScript = std::function<int(const MessageBoxCall&)>;

// Installs a script (an empty function restores real message boxes).
void SetMessageBoxScript(MessageBoxScript script);

int ShowMessageBox(HWND hOwner, const char* text, const char* caption, UINT type);

// Application message boxes: owned by the active window of the program,
// captioned with the application name; with no icon given, the usual one
// for the button set is added.
int AfxMessageBox(const char* text, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
