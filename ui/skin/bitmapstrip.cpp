#include "ui/skin/bitmapstrip.h"

#include "framework/app.h"
#include "framework/handles.h"

BOOL CBitmapStrip::Load(UINT nIDResource) {
  m_bitmap.Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(LOWORD(nIDResource))));
  BITMAP bm{};
  if (!m_bitmap || !::GetObjectA(m_bitmap, sizeof(BITMAP), &bm)) bm = BITMAP{};
  m_nWidth = bm.bmWidth;
  m_nHeight = bm.bmHeight;
  m_nFrameWidth = m_nWidth / 4;
  return TRUE;
}

BOOL CBitmapStrip::CopyWhole(CDC* pDC, const RECT& rc) {
  CDC dcMem;
  dcMem.CreateCompatibleDC(pDC->m_hDC);
  CSelectObject select(dcMem, m_bitmap);
  ::StretchBlt(pDC->m_hDC, 0, 0, rc.right - rc.left, rc.bottom - rc.top, dcMem, 0, 0, m_nWidth, m_nHeight, SRCCOPY);
  return TRUE;
}

// Nothing is cached: every paint builds the frame, its mask and the result
// afresh in four memory contexts, and frees them before it returns. Each
// context gives its bitmap back (CSelectObject) before the bitmap goes.
void CBitmapStrip::Draw(CDC* pDC, int nFrame, int x, int y, COLORREF crTransparent) {
  const HDC hdcTarget = pDC->m_hDC;
  const int w = m_nFrameWidth;
  const int h = m_nHeight;

  // The whole strip.
  CDC dcStrip;
  dcStrip.CreateCompatibleDC(hdcTarget);
  CBitmap bmStrip(::CreateCompatibleBitmap(hdcTarget, m_nWidth, h));
  CSelectObject selStrip(dcStrip, bmStrip);
  const RECT rcStrip = {0, 0, m_nWidth, h};
  CopyWhole(&dcStrip, rcStrip);

  // The chosen frame.
  CDC dcFrame;
  dcFrame.CreateCompatibleDC(hdcTarget);
  CBitmap bmFrame(::CreateCompatibleBitmap(hdcTarget, w, h));
  CSelectObject selFrame(dcFrame, bmFrame);
  ::BitBlt(dcFrame, 0, 0, w, h, dcStrip, nFrame * w, 0, SRCCOPY);

  // The mask: a colour-to-monochrome copy turns the source's background
  // colour into 1 and everything else into 0, so it marks the key.
  CDC dcMask;
  dcMask.CreateCompatibleDC(hdcTarget);
  CBitmap bmMask(::CreateBitmap(w, h, 1, 1, nullptr));
  CSelectObject selMask(dcMask, bmMask);
  ::SetBkColor(dcFrame, crTransparent);
  ::BitBlt(dcMask, 0, 0, w, h, dcFrame, 0, 0, SRCCOPY);

  // Blacken the key in the frame: copied onto colour, mask 1 bits take the
  // destination's background (black) and 0 bits its text colour (white).
  ::SetBkColor(dcFrame, RGB(0, 0, 0));
  ::SetTextColor(dcFrame, RGB(255, 255, 255));
  ::BitBlt(dcFrame, 0, 0, w, h, dcMask, 0, 0, SRCAND);

  // What the target shows where the frame goes, cut out where the frame is
  // opaque (a new memory context draws 1 bits white and 0 bits black), with
  // the opaque frame pixels ORed into the holes.
  CDC dcResult;
  dcResult.CreateCompatibleDC(hdcTarget);
  CBitmap bmResult(::CreateCompatibleBitmap(hdcTarget, w, h));
  CSelectObject selResult(dcResult, bmResult);
  ::BitBlt(dcResult, 0, 0, w, h, hdcTarget, x, y, SRCCOPY);
  ::BitBlt(dcResult, 0, 0, w, h, dcMask, 0, 0, SRCAND);
  ::BitBlt(dcResult, 0, 0, w, h, dcFrame, 0, 0, SRCPAINT);

  ::BitBlt(hdcTarget, x, y, w, h, dcResult, 0, 0, SRCCOPY);
}
