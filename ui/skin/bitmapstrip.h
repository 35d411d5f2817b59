// A bitmap strip of four equal frames side by side: normal, hover, pressed
// and disabled.
//
//   CBitmapStrip  loads the strip, copies it whole, and composes one frame
//                 onto a device context with a key colour that lets the
//                 background show through
#pragma once

#include <windows.h>

#include "framework/gdi.h"
#include "framework/handles.h"

class CBitmapStrip {
 public:
  CBitmapStrip() = default;
  CBitmapStrip(const CBitmapStrip&) = delete;
  CBitmapStrip& operator=(const CBitmapStrip&) = delete;

  // Replaces the strip with the bitmap resource nIDResource (low 16 bits).
  // An id with no bitmap leaves the strip empty: all sizes 0, nothing drawn.
  BOOL Load(UINT nIDResource);
  // Stretches the whole strip onto pDC at 0, 0 with the size of rc.
  BOOL CopyWhole(CDC* pDC, const RECT& rc);
  // Composes frame nFrame onto pDC at x, y; pixels of crTransparent keep
  // what pDC already shows there.
  void Draw(CDC* pDC, int nFrame, int x, int y, COLORREF crTransparent);

  int m_nHeight = 0;      // the bitmap's height, which is the frame height
  int m_nWidth = 0;       // the whole strip, all four frames
  int m_nFrameWidth = 0;  // m_nWidth / 4; a remainder is never shown
  CBitmap m_bitmap;
};
