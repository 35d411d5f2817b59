// Shared by the container and viewer tests.
#pragma once

#include "framework/afx.h"
#include "tests/support/step_dialog.h"

HRESULT DvrOcxCanUnloadNow();  // of DvrOcx.ocx, whose class is offered to this process only

inline RECT RectInParent(HWND hWnd) {
  RECT r;
  ::GetWindowRect(hWnd, &r);
  return ::MapWindowPoints(nullptr, ::GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2), r;
}
inline RECT DialogUnits(HWND hDlg, int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  return ::MapDialogRect(hDlg, &r), r;
}
