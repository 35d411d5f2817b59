#include "ui/skin/skinbutton.h"

#include <commctrl.h>

#include "framework/syslib.h"
#include "res/resource.h"

namespace {
enum Frame { kFrameNormal = 0, kFrameHover = 1, kFramePressed = 2, kFrameDisabled = 3 };
}  // namespace

CSkinButton::~CSkinButton() = default;

BOOL CSkinButton::PreTranslateMessage(MSG* pMsg) { return CButton::PreTranslateMessage(pMsg); }

void CSkinButton::SetBitmap(UINT nIDResource, COLORREF crTransparent) {
  m_strip.Load(nIDResource);
  m_crTransparent = crTransparent;
  RECT rc;
  GetWindowRect(&rc);
  ::MapWindowPoints(nullptr, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&rc), 2);
  ::MoveWindow(m_hWnd, rc.left, rc.top, m_strip.m_nFrameWidth, m_strip.m_nHeight, TRUE);
}

// The record's action, focus and disabled bits are not consulted: the face
// depends only on the pressed state, the hover state and, for IDC_BUTTON1
// (the one button with a disabled face), whether the window is enabled.
void CSkinButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
  CDC dc(lpDrawItemStruct->hDC);
  if (lpDrawItemStruct->CtlID == IDC_BUTTON1) m_bDisabled = ::IsWindowEnabled(lpDrawItemStruct->hwndItem) ? 0 : 1;

  int nFrame = kFrameNormal;
  if (m_bDisabled == 1)
    nFrame = kFrameDisabled;
  else if (lpDrawItemStruct->itemState & ODS_SELECTED)
    nFrame = kFramePressed;
  else if (m_bHover)
    nFrame = kFrameHover;

  m_strip.Draw(&dc, nFrame, 0, 0, m_crTransparent);
}

// One tracking request covers one stay of the pointer: only the leave
// message clears m_bTracking, and a failed request leaves it 0 to ask again.
void CSkinButton::OnMouseMove(UINT, POINT) {
  if (!m_bTracking) {
    TRACKMOUSEEVENT tme;
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_HOVER | TME_LEAVE;
    tme.hwndTrack = m_hWnd;
    tme.dwHoverTime = HOVER_DEFAULT;
    // The common controls' tracking call, loaded on the first move over a
    // skin button rather than at every start of the program.
    typedef BOOL(WINAPI * TrackFn)(LPTRACKMOUSEEVENT);
    TrackFn track = SystemProc<TrackFn>("comctl32.dll", "_TrackMouseEvent");
    m_bTracking = track ? track(&tme) : 0;
  }
  Default();
}

void CSkinButton::OnMouseHover(UINT, POINT) {
  m_bHover = 1;
  Invalidate(TRUE);
}

void CSkinButton::OnMouseLeave() {
  m_bTracking = 0;
  m_bHover = 0;
  Invalidate(TRUE);
}

// An owner-drawn button reports the second press of a double-click as
// BN_DOUBLECLICKED and stays up. Pressing it here first makes the release
// give a second BN_CLICKED: a double-click acts as two clicks.
void CSkinButton::OnLButtonDblClk(UINT, POINT) {
  SendMessage(WM_LBUTTONDOWN, 0, 0);
  Default();
}
