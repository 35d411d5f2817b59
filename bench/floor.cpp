// The floor of the start-up benchmarks: the least a Win32 program built by
// the same toolchain has to do to show the same dialogs.
//
// It shows the start-up template (154, the same bytes as the program's,
// from res/dialogs.rc) as a modal dialog with a procedure that does nothing
// but end it. Ending it with the Ok button (1022) opens a second modal
// dialog: the viewer template (102) with its items dropped, i.e. an empty
// dialog of the viewer's size, style and font. Cancel or the close box end
// either dialog; the process then ends.
#include <windows.h>

#include <cstring>
#include <vector>

#include "res/resource.h"

namespace {

INT_PTR CALLBACK StartProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  if (uMsg == WM_INITDIALOG) return TRUE;
  if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const int id = LOWORD(wParam);
    if (id == IDC_OK || id == IDC_LEAVE || id == IDCANCEL) {
      EndDialog(hDlg, id);
      return TRUE;
    }
  }
  return FALSE;
}

INT_PTR CALLBACK EmptyProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  if (uMsg == WM_INITDIALOG) return TRUE;
  if (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(hDlg, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

// Template id of this module with its item count set to 0: the items follow
// the header, so the system then reads the header alone.
std::vector<WORD> EmptyTemplate(HINSTANCE hInst, UINT id) {
  HRSRC hRes = FindResourceA(hInst, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (!hRes) return {};
  const DWORD size = SizeofResource(hInst, hRes);
  const void* data = LockResource(LoadResource(hInst, hRes));
  // A template is at least a header and far below 64 KiB.
  if (!data || size < 18 || size > 65536) return {};
  std::vector<WORD> words((size + 1) / 2);
  std::memcpy(words.data(), data, size);
  // DLGTEMPLATEEX (dlgVer 1, signature 0xFFFF): cDlgItems is word 8;
  // DLGTEMPLATE: cdit is word 4.
  const bool extended = words[0] == 1 && words[1] == 0xFFFF;
  words[extended ? 8 : 4] = 0;
  return words;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE, LPSTR, int) {
  const INT_PTR result = DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_INIT), nullptr, &StartProc, 0);
  if (result != IDC_OK) return result == -1 ? 1 : 0;
  std::vector<WORD> empty = EmptyTemplate(hInst, IDD_VELODVR_DIALOG);
  if (empty.empty()) return 1;
  return DialogBoxIndirectParamA(hInst, reinterpret_cast<LPCDLGTEMPLATEA>(empty.data()), nullptr, &EmptyProc, 0) ==
                 -1
             ? 1
             : 0;
}
