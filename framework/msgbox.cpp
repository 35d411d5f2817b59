#include "framework/msgbox.h"

#include "framework/app.h"
#include "framework/testseam.h"
#include "framework/wnd.h"

void SetMessageBoxScript(MessageBoxScript script) { TestScript<MessageBoxScript>() = std::move(script); }

int ShowMessageBox(HWND hOwner, const char* text, const char* caption, UINT type) {
  if (const MessageBoxScript& script = TestScript<MessageBoxScript>())
    return script(MessageBoxCall{hOwner, text ? text : "", caption ? caption : "", type});
  return ::MessageBoxA(hOwner, text, caption, type);
}

int AfxMessageBox(const char* text, UINT nType, UINT) {
  // Owned by the main window's last active popup, or by the window the
  // operator is working in, so the box is modal to it.
  HWND hOwner = nullptr;
  if (AfxGetApp() && AfxGetApp()->m_pMainWnd && AfxGetApp()->m_pMainWnd->m_hWnd)
    hOwner = ::GetLastActivePopup(AfxGetApp()->m_pMainWnd->m_hWnd);
  if (!hOwner) hOwner = ::GetActiveWindow();
  if ((nType & MB_ICONMASK) == 0) {
    switch (nType & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        nType |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        nType |= MB_ICONQUESTION;
        break;
      default:
        break;
    }
  }
  return ShowMessageBox(hOwner, text, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  char text[512] = "";
  ::LoadStringA(AfxGetResourceHandle(), nIDPrompt, text, sizeof(text));
  return AfxMessageBox(text, nType, nIDHelp);
}
