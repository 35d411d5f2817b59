#include "framework/gdi.h"

BOOL CDC::CreateCompatibleDC(HDC hdc) {
  m_owned.Attach(::CreateCompatibleDC(hdc));
  m_hDC = m_owned;
  return m_hDC != nullptr;
}

void CDC::FillSolidRect(const RECT& r, COLORREF cr) {
  COLORREF old = ::SetBkColor(m_hDC, cr);
  ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, old);
}
