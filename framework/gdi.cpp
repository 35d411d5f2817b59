#include "framework/gdi.h"

BOOL CBitmap::DeleteObject() {
  if (!m_hObject) return FALSE;
  BOOL ok = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

BOOL CBitmap::LoadBitmap(HINSTANCE hInst, UINT nID) {
  return Attach(::LoadBitmapA(hInst, MAKEINTRESOURCEA(nID)));
}

BOOL CBitmap::CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  return Attach(::CreateCompatibleBitmap(hdc, cx, cy));
}

BOOL CBitmap::CreateBitmap(int cx, int cy, UINT planes, UINT bitsPerPixel, const void* bits) {
  return Attach(::CreateBitmap(cx, cy, planes, bitsPerPixel, bits));
}

BOOL CBitmap::GetBitmap(BITMAP* pBitmap) const {
  return m_hObject && ::GetObjectA(m_hObject, sizeof(BITMAP), pBitmap) != 0;
}

CDC::~CDC() {
  if (m_bOwned && m_hDC) ::DeleteDC(m_hDC);
}

BOOL CDC::CreateCompatibleDC(HDC hdc) {
  if (m_bOwned && m_hDC) ::DeleteDC(m_hDC);
  m_hDC = ::CreateCompatibleDC(hdc);
  m_bOwned = true;
  return m_hDC != nullptr;
}

void CDC::FillSolidRect(const RECT& r, COLORREF cr) {
  COLORREF old = ::SetBkColor(m_hDC, cr);
  ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, old);
}
