#include "framework/wnd.h"

#include "framework/app.h"
#include "framework/msgbox.h"

namespace {
// The C++ object of a window is kept as a window property.
const char kObjectProp[] = "VeloCWnd";
}  // namespace

std::string WindowTextOf(HWND hWnd) {
  if (!hWnd) return std::string();
  int n = ::GetWindowTextLengthA(hWnd);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = ::GetWindowTextA(hWnd, &s[0], n + 1);
  s.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return s;
}

CWnd::~CWnd() {
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    if (m_pfnSuper)
      UnsubclassWindow();
    else
      Detach();
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  return hWnd ? static_cast<CWnd*>(::GetPropA(hWnd, kObjectProp)) : nullptr;
}

BOOL CWnd::Attach(HWND hWnd) {
  if (!hWnd || m_hWnd) return FALSE;
  m_hWnd = hWnd;
  ::SetPropA(hWnd, kObjectProp, this);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) ::RemovePropA(h, kObjectProp);
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!Attach(hWnd)) return FALSE;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  HWND h = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (m_pfnSuper && m_hWnd) ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = FromHandlePermanent(hWnd);
  if (!pWnd) return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
  return pWnd->WindowProc(uMsg, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  MSG saved = m_msgCur;
  m_msgCur.hwnd = m_hWnd;
  m_msgCur.message = uMsg;
  m_msgCur.wParam = wParam;
  m_msgCur.lParam = lParam;
  LRESULT lResult = 0;
  HWND hWnd = m_hWnd;
  if (!ReflectChildNotify(uMsg, wParam, lParam, &lResult) && !ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult))
    lResult = DefWindowProc(uMsg, wParam, lParam);
  if (uMsg == WM_NCDESTROY) {
    // The window is gone: give the procedure back and forget the handle.
    if (m_hWnd == hWnd) UnsubclassWindow();
  } else {
    m_msgCur = saved;
  }
  return lResult;
}

BOOL CWnd::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&) { return FALSE; }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CWnd::ReflectChildNotify(UINT uMsg, WPARAM, LPARAM lParam, LRESULT* pResult) {
  if (uMsg != WM_DRAWITEM || !lParam) return FALSE;
  const DRAWITEMSTRUCT* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  if (dis->CtlType == ODT_MENU) return FALSE;
  CWnd* pChild = FromHandlePermanent(dis->hwndItem);
  return pChild && pChild != this && pChild->OnChildNotify(uMsg, 0, lParam, pResult);
}

LRESULT CWnd::Default() { return DefWindowProc(m_msgCur.message, m_msgCur.wParam, m_msgCur.lParam); }

LRESULT CWnd::DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, uMsg, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, uMsg, wParam, lParam);
}

std::string CWnd::GetWindowText() const { return WindowTextOf(m_hWnd); }

std::string CWnd::GetDlgItemText(int nID) const { return WindowTextOf(GetDlgItem(nID)); }

void CWnd::ModifyStyle(DWORD remove, DWORD add) {
  LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(remove)) | static_cast<LONG_PTR>(add);
  ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, style);
}

void CWnd::ScreenToClient(RECT* r) const {
  POINT pts[2] = {{r->left, r->top}, {r->right, r->bottom}};
  ::MapWindowPoints(nullptr, m_hWnd, pts, 2);
  *r = RECT{pts[0].x, pts[0].y, pts[1].x, pts[1].y};
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  return ShowMessageBox(m_hWnd, text, caption ? caption : AfxGetAppName(), type);
}
