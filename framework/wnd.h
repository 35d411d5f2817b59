// Windows and message maps.
//
//   CWnd          a C++ object attached to an HWND; subclassed windows route
//                 their messages through the class's message map
//   BEGIN_MSG_MAP the declarative message map (one ProcessWindowMessage)
//
// Conventions every class of the framework follows: wrappers hold the HWND
// they were given and nothing else of the window's state; a wrapper never
// destroys a window it did not create; every handler is an ordinary member
// function named in one map per class.
#pragma once

#include <windows.h>

#include <string>

// The map expands into one function. A handler returns TRUE when it handled
// the message (and sets lResult); unhandled messages go on to the chained
// base map and finally to the window's default processing.
#define BEGIN_MSG_MAP(theClass)                                                                              \
 public:                                                                                                     \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override { \
    (void)hWnd;                                                                                              \
    (void)wParam;                                                                                            \
    (void)lParam;                                                                                            \
    (void)lResult;

// Raw form: LRESULT OnX(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled).
#define MESSAGE_HANDLER(msg, func)                    \
  if (uMsg == (msg)) {                                \
    BOOL bHandled = TRUE;                             \
    LRESULT r = func(uMsg, wParam, lParam, bHandled); \
    if (bHandled) {                                   \
      lResult = r;                                    \
      return TRUE;                                    \
    }                                                 \
  }

// All WM_CTLCOLOR* messages: HBRUSH OnCtlColor(HDC hdc, HWND hCtl, UINT nCtlColor).
#define CTLCOLOR_HANDLER(func)                                                                          \
  if (uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC) {                                         \
    lResult = reinterpret_cast<LRESULT>(                                                                \
        func(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), uMsg - WM_CTLCOLORMSGBOX)); \
    return TRUE;                                                                                        \
  }

// Command from a control: void OnX().
#define COMMAND_HANDLER(id, code, func)                                           \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) { \
    func();                                                                       \
    lResult = 0;                                                                  \
    return TRUE;                                                                  \
  }

// Typed handlers, in the manner of WTL's atlcrack.h: MSG_WM_X(OnX) cracks
// the message for the handler, which may call SetMsgHandled(FALSE) to leave
// it to the default processing after all.
#define MSG_CRACKED_(cond, call)         \
  if (cond) {                            \
    BOOL bOuterHandled_ = m_bMsgHandled; \
    m_bMsgHandled = TRUE;                \
    lResult = 0;                         \
    call;                                \
    BOOL bHandled_ = m_bMsgHandled;      \
    m_bMsgHandled = bOuterHandled_;      \
    if (bHandled_) return TRUE;          \
  }
#define POINT_OF_(lParam) \
  POINT { static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)) }

// BOOL OnEraseBkgnd(HDC hdc)
#define MSG_WM_ERASEBKGND(func) MSG_CRACKED_(uMsg == WM_ERASEBKGND, lResult = func(reinterpret_cast<HDC>(wParam)))
// void OnPaint(HDC hdc)
#define MSG_WM_PAINT(func) MSG_CRACKED_(uMsg == WM_PAINT, func(reinterpret_cast<HDC>(wParam)))
// void OnSysCommand(UINT nID, POINT point)
#define MSG_WM_SYSCOMMAND(func) MSG_CRACKED_(uMsg == WM_SYSCOMMAND, func(static_cast<UINT>(wParam), POINT_OF_(lParam)))
// HCURSOR OnQueryDragIcon()
#define MSG_WM_QUERYDRAGICON(func) MSG_CRACKED_(uMsg == WM_QUERYDRAGICON, lResult = reinterpret_cast<LRESULT>(func()))
// void OnTimer(UINT_PTR nIDEvent)
#define MSG_WM_TIMER(func) MSG_CRACKED_(uMsg == WM_TIMER, func(static_cast<UINT_PTR>(wParam)))
// Mouse messages: void OnX(UINT nFlags, POINT point).
#define MSG_WM_MOUSE_(msg, func) MSG_CRACKED_(uMsg == (msg), func(static_cast<UINT>(wParam), POINT_OF_(lParam)))
#define MSG_WM_MOUSEMOVE(func) MSG_WM_MOUSE_(WM_MOUSEMOVE, func)
#define MSG_WM_MOUSEHOVER(func) MSG_WM_MOUSE_(WM_MOUSEHOVER, func)
#define MSG_WM_LBUTTONDOWN(func) MSG_WM_MOUSE_(WM_LBUTTONDOWN, func)
#define MSG_WM_LBUTTONDBLCLK(func) MSG_WM_MOUSE_(WM_LBUTTONDBLCLK, func)
// void OnMouseLeave()
#define MSG_WM_MOUSELEAVE(func) MSG_CRACKED_(uMsg == WM_MOUSELEAVE, func())
// WM_NOTIFY with a code, from any control: LRESULT OnX(NMHDR* pNMHDR).
#define NOTIFY_CODE_HANDLER_EX(nCode, func)                                                  \
  MSG_CRACKED_(uMsg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == (UINT)(nCode), \
               lResult = func(reinterpret_cast<NMHDR*>(lParam)))

#define CHAIN_MSG_MAP(theBase) \
  if (theBase::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return TRUE;

#define END_MSG_MAP() \
  return FALSE;       \
  }

// The window text of any window, in code page 936.
std::string WindowTextOf(HWND hWnd);

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }

  // The object that subclassed or attached hWnd, or null.
  static CWnd* FromHandlePermanent(HWND hWnd);

  // Binds without changing the window procedure (reflected notifications
  // and PreTranslateMessage still reach the object).
  BOOL Attach(HWND hWnd);
  HWND Detach();
  // Binds and routes the window's messages through this object's map.
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();

  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult);
  // Called for every message of a modal loop whose target is this window or
  // one of its children, before the message is dispatched.
  virtual BOOL PreTranslateMessage(MSG* pMsg);
  // A message the parent received about this child (WM_DRAWITEM).
  virtual BOOL OnChildNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  // Default processing of the message being handled now.
  LRESULT Default();
  LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

  // Thin wrappers.
  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  std::string GetWindowText() const;
  void SetDlgItemText(int nID, const char* text) { ::SetDlgItemTextA(m_hWnd, nID, text); }
  std::string GetDlgItemText(int nID) const;
  LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, m, w, l); }
  BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, m, w, l); }
  void Invalidate(BOOL bErase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, bErase); }
  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
  // Adds and removes style bits (the bit patterns are ORed in as given).
  void ModifyStyle(DWORD remove, DWORD add);
  BOOL ShowWindow(int nCmd) { return ::ShowWindow(m_hWnd, nCmd); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
  void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
  void ScreenToClient(RECT* r) const;
  HWND SetFocus() { return ::SetFocus(m_hWnd); }
  // A message box owned by this window, with the given type as it is.
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
  // From a typed handler: FALSE leaves the message to the default processing.
  void SetMsgHandled(BOOL bHandled) { m_bMsgHandled = bHandled; }

 protected:
  static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
  virtual LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
  // Offers WM_DRAWITEM to the child object that draws the item.
  BOOL ReflectChildNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  WNDPROC m_pfnSuper = nullptr;
  MSG m_msgCur{};             // the message being handled, for Default()
  BOOL m_bMsgHandled = TRUE;  // see SetMsgHandled
};
