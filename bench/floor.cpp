// The floor of the start-up benchmarks: the least a Win32 program built by
// the same toolchain has to do to show the same dialogs.
//
// It shows the start-up template (154, the same bytes as the program's,
// from res/dialogs.rc) as a modal dialog with a procedure that does nothing
// but end it. Ending it with the Ok button (1022) opens a second modal
// dialog: the viewer template (102) with its items dropped, i.e. an empty
// dialog of the viewer's size, style and font. Cancel or the close box end
// either dialog; the process then ends.
//
// With --peer ADDRESS PORT it is instead the standard host of the viewer
// control: the empty viewer dialog gets an ATL host window (AtlAxWin from
// the system's atl.dll) at the control's place, created from the class id,
// and the control is handed the address and port through IDispatch, as the
// viewer does.
#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "components/common/dvrocx_ids.h"

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

const char* g_address;  // --peer: what the control is handed
short g_port;

// The control inside an AtlAxWin window at its place in the viewer template
// (8, 7, 669 x 417 dialog units), then SetDeviceIPandPort.
void HostControl(HWND hDlg) {
  HMODULE atl = LoadLibraryA("atl.dll");
  using Init = BOOL(WINAPI*)();
  using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
  auto init = reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto get = reinterpret_cast<GetControl>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  if (!init || !get || !init()) return;
  RECT r = {8, 7, 8 + 669, 7 + 417};
  MapDialogRect(hDlg, &r);
  HWND host = CreateWindowExA(0, "AtlAxWin", kDvrOcxClsidText, WS_CHILD | WS_VISIBLE | WS_TABSTOP, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, hDlg, nullptr, nullptr, nullptr);
  IUnknown* unknown = nullptr;
  IDispatch* dispatch = nullptr;
  if (!host || FAILED(get(host, &unknown))) return;
  if (SUCCEEDED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    VARIANTARG args[2];  // in reverse order: port, address
    VariantInit(&args[0]);
    args[0].vt = VT_I2;
    args[0].iVal = g_port;
    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;
    wchar_t wide[256];
    MultiByteToWideChar(CP_ACP, 0, g_address, -1, wide, 256);
    args[1].bstrVal = SysAllocString(wide);
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    dispatch->Invoke(DISPID_DVROCX_SETDEVICEIPANDPORT, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr,
                     nullptr);
    SysFreeString(args[1].bstrVal);
    dispatch->Release();
  }
  unknown->Release();
}

INT_PTR CALLBACK EmptyProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
  if (uMsg == WM_INITDIALOG) {
    if (g_address) HostControl(hDlg);
    return TRUE;
  }
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
  if (__argc == 4 && !std::strcmp(__argv[1], "--peer")) {
    g_address = __argv[2];
    g_port = static_cast<short>(std::atoi(__argv[3]));
    OleInitialize(nullptr);
  }
  const INT_PTR result = DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_INIT), nullptr, &StartProc, 0);
  if (result != IDC_OK) return result == -1 ? 1 : 0;
  std::vector<WORD> empty = EmptyTemplate(hInst, IDD_VELODVR_DIALOG);
  if (empty.empty()) return 1;
  return DialogBoxIndirectParamA(hInst, reinterpret_cast<LPCDLGTEMPLATEA>(empty.data()), nullptr, &EmptyProc, 0) == -1
             ? 1
             : 0;
}
