// The bitmap skin button.
//
//   CSkinButton  an owner-drawn push button whose whole face is one frame of
//                a four-frame bitmap strip (normal, hover, pressed, disabled)
//
// The button does not make itself owner-drawn: the dialog that binds it adds
// BS_OWNERDRAW to its style, then gives it a strip with SetBitmap. The
// caption is part of the image; no text and no focus rectangle are drawn.
#pragma once

#include <windows.h>

#include "framework/controls.h"
#include "ui/skin/bitmapstrip.h"

class CSkinButton : public CButton {
 public:
  CSkinButton() = default;
  ~CSkinButton() override;

  BEGIN_MSG_MAP(CSkinButton)
  MSG_WM_MOUSEMOVE(OnMouseMove)
  MSG_WM_MOUSEHOVER(OnMouseHover)
  MSG_WM_MOUSELEAVE(OnMouseLeave)
  MSG_WM_LBUTTONDBLCLK(OnLButtonDblClk)
  CHAIN_MSG_MAP(CButton)
  END_MSG_MAP()

  BOOL PreTranslateMessage(MSG* pMsg) override;
  void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

  // Loads strip nIDResource, keeps crTransparent as the key colour, and
  // sizes the window to one frame without moving its top-left corner.
  void SetBitmap(UINT nIDResource, COLORREF crTransparent);

 protected:
  void OnMouseMove(UINT nFlags, POINT point);
  void OnMouseHover(UINT nFlags, POINT point);
  void OnMouseLeave();
  void OnLButtonDblClk(UINT nFlags, POINT point);

  int m_bDisabled = 0;   // draw the disabled frame (only IDC_BUTTON1 sets it)
  int m_bHover = 0;      // the pointer has rested over the button
  int m_bTracking = 0;   // hover and leave tracking is requested and in force
  CBitmapStrip m_strip;  // the face images
  COLORREF m_crTransparent = 0;
};
