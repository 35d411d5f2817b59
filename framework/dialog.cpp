#include "framework/dialog.h"

#include "framework/app.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (!rControl.m_hWnd) rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDX->m_pDlgWnd);
}

void DDX_Control(CDataExchange* pDX, std::initializer_list<std::pair<int, CWnd*>> controls) {
  for (const auto& control : controls) DDX_Control(pDX, control.first, *control.second);
}

namespace {

// A dialog with no parent is owned by the application's main window (the
// top-level window that holds it), as an application's second dialog is.
HWND SafeOwner(CWnd* pParent) {
  HWND h = pParent ? pParent->m_hWnd : nullptr;
  if (!h && AfxGetApp() && AfxGetApp()->m_pMainWnd) h = AfxGetApp()->m_pMainWnd->m_hWnd;
  while (h && (::GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD)) h = ::GetParent(h);
  if (h && !pParent) h = ::GetLastActivePopup(h);
  return h;
}

// Centres a top-level window on its owner, or on the work area when it has
// no visible owner.
void CenterOnOwner(HWND hWnd) {
  RECT rc, area;
  ::GetWindowRect(hWnd, &rc);
  HWND hOwner = ::GetWindow(hWnd, GW_OWNER);
  if (hOwner && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner)) {
    ::GetWindowRect(hOwner, &area);
  } else {
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoA(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTOPRIMARY), &mi);
    area = mi.rcWork;
  }
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = area.left + ((area.right - area.left) - w) / 2;
  int y = area.top + ((area.bottom - area.top) - h) / 2;
  ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  m_nModalResult = -1;
  m_bModalEnded = false;
  if (!m_template.Load(AfxGetResourceHandle(), m_nIDTemplate)) return -1;
  // Windows cannot create ActiveX items; the control container makes them
  // while the dialog initialises. The window is created hidden and shown
  // once it is initialised and placed: a dialog whose initialisation ends it
  // (a control that cannot be created) never appears at all.
  const DWORD style = m_template.style;
  m_template.style &= ~static_cast<DWORD>(WS_VISIBLE);
  std::vector<BYTE> bytes = m_template.Build(true);
  m_template.style = style;

  HWND hOwner = SafeOwner(m_pParentWnd);
  bool bEnableOwner = false;
  if (hOwner && ::IsWindowEnabled(hOwner)) {
    ::EnableWindow(hOwner, FALSE);
    bEnableOwner = true;
  }
  HWND hWnd = ::CreateDialogIndirectParamA(AfxGetResourceHandle(), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()),
                                           hOwner, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (hWnd && !m_bModalEnded) {
    if (!::IsWindowVisible(hWnd)) ::ShowWindow(hWnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(hWnd);
    RunModalLoop();
  }
  if (bEnableOwner) ::EnableWindow(hOwner, TRUE);
  if (hWnd && ::IsWindow(hWnd)) {
    ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (hOwner && ::GetActiveWindow() == hWnd) ::SetActiveWindow(hOwner);
    if (COccManager* occ = AfxGetOccManager()) occ->DestroyDlgControls(this);
    ::DestroyWindow(hWnd);
  }
  return hWnd ? m_nModalResult : -1;
}

void CDialog::RunModalLoop() {
  MSG msg;
  while (!m_bModalEnded) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // Leave the quit message for whoever runs the loop outside.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    // Offer the message to the target window and its parents up to the
    // top-level window before it is dispatched.
    BOOL bDone = FALSE;
    for (HWND h = msg.hwnd; h && !bDone; h = ::GetParent(h)) {
      if (CWnd* p = CWnd::FromHandlePermanent(h)) bDone = p->PreTranslateMessage(&msg);
      if (!(::GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD)) break;
    }
    if (!bDone) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }
}

void CDialog::EndDialog(INT_PTR nResult) {
  m_nModalResult = nResult;
  m_bModalEnded = true;
  // The loop may be asleep in GetMessage: wake it.
  if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
  if (!m_hWnd) return FALSE;
  if (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) {
    if (COccManager* occ = AfxGetOccManager())
      if (occ->PreTranslateAccelerator(this, pMsg)) return TRUE;
  }
  return ::IsDialogMessageA(m_hWnd, pMsg);
}

BOOL CDialog::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) {
  if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      lResult = 0;
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      lResult = 0;
      return TRUE;
    }
  }
  return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM, LPARAM lParam) {
  if (uMsg != WM_INITDIALOG) return FALSE;
  // From here on the dialog's messages run through its message map; this
  // procedure answers FALSE so that the system's dialog handling is the
  // default processing.
  CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
  pDlg->SubclassWindow(hWnd);
  return pDlg->HandleInitDialog();
}

BOOL CDialog::HandleInitDialog() {
  RECT before;
  ::GetWindowRect(m_hWnd, &before);
  bool bHasOle = false;
  for (const DialogItem& it : m_template.items) bHasOle = bHasOle || it.IsOleControl();
  if (bHasOle) {
    COccManager* occ = AfxGetOccManager();
    if (occ && !occ->CreateDlgControls(this, m_template)) {
      EndDialog(-1);
      return FALSE;
    }
  }
  BOOL bResult = OnInitDialog();
  RECT after;
  ::GetWindowRect(m_hWnd, &after);
  // A dialog that did not place itself is centred, as modal dialogs are.
  if (::EqualRect(&before, &after) && !(GetStyle() & WS_CHILD)) CenterOnOwner(m_hWnd);
  return bResult;
}
