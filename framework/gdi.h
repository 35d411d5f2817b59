// GDI wrappers that free what they own.
//
//   CDC      a device context: wraps a given HDC, or owns a memory DC
//   CBitmap  owns an HBITMAP
#pragma once

#include <windows.h>

class CBitmap {
 public:
  CBitmap() = default;
  ~CBitmap() { DeleteObject(); }
  CBitmap(const CBitmap&) = delete;
  CBitmap& operator=(const CBitmap&) = delete;
  HBITMAP m_hObject = nullptr;
  operator HBITMAP() const { return m_hObject; }
  BOOL Attach(HBITMAP h) { DeleteObject(); m_hObject = h; return h != nullptr; }
  BOOL DeleteObject();
  BOOL LoadBitmap(HINSTANCE hInst, UINT nID);
  BOOL CreateCompatibleBitmap(HDC hdc, int cx, int cy);
  BOOL CreateBitmap(int cx, int cy, UINT planes, UINT bitsPerPixel, const void* bits = nullptr);
  BOOL GetBitmap(BITMAP* pBitmap) const;
};

class CDC {
 public:
  CDC() = default;
  // Wraps a DC owned by someone else (a paint or draw-item record).
  explicit CDC(HDC hdc) : m_hDC(hdc) {}
  ~CDC();
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  HDC m_hDC = nullptr;
  operator HDC() const { return m_hDC; }
  // An owned memory DC, deleted with the object.
  BOOL CreateCompatibleDC(HDC hdc);
  void FillSolidRect(const RECT& r, COLORREF cr);

 private:
  bool m_bOwned = false;
};
