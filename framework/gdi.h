// A device context: wraps a given HDC, or owns a memory DC. Bitmaps have
// their owner in components/common/handles.h.
#pragma once

#include <windows.h>

#include "framework/handles.h"

class CDC {
 public:
  CDC() = default;
  // Wraps a DC owned by someone else (a paint or draw-item record).
  explicit CDC(HDC hdc) : m_hDC(hdc) {}
  HDC m_hDC = nullptr;
  operator HDC() const { return m_hDC; }
  // An owned memory DC, deleted with the object.
  BOOL CreateCompatibleDC(HDC hdc);
  void FillSolidRect(const RECT& r, COLORREF cr);

 private:
  CMemoryDC m_owned;
};
