// Shared by the container and viewer tests.
#pragma once

#include <functional>

#include "framework/afx.h"

HRESULT DvrOcxCanUnloadNow();  // of DvrOcx.ocx, whose class is offered to this process only

// Runs each step from a message posted to itself, so every message a step
// posts is handled before the next; ends with IDOK after the last.
template <typename TBase>
class TStepDialog : public TBase {
 public:
  using TBase::TBase;
  std::vector<std::function<void(TStepDialog&)>> steps;
  BOOL OnInitDialog() override {
    BOOL r = TBase::OnInitDialog();
    this->PostMessage(WM_APP + 17);
    return r;
  }
  BEGIN_MSG_MAP(TStepDialog)
  MESSAGE_HANDLER(WM_APP + 17, OnStep)
  CHAIN_MSG_MAP(TBase)
  END_MSG_MAP()

 private:
  LRESULT OnStep(UINT, WPARAM, LPARAM, BOOL&) {
    if (m_nNext < steps.size())
      steps[m_nNext++](*this), this->PostMessage(WM_APP + 17);
    else
      this->EndDialog(IDOK);
    return 0;
  }
  size_t m_nNext = 0;
};

inline RECT RectInParent(HWND hWnd) {
  RECT r;
  ::GetWindowRect(hWnd, &r);
  return ::MapWindowPoints(nullptr, ::GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2), r;
}
inline RECT DialogUnits(HWND hDlg, int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  return ::MapDialogRect(hDlg, &r), r;
}
