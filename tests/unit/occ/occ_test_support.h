// Shared pieces of the container tests: a dialog that runs a script of
// steps once it is up, and small window helpers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/afx.h"
#include "framework/occ.h"

namespace occtest {

// Runs each step from a message posted to itself, so the dialog is shown
// and every message a step posts is handled before the next step; ends
// with IDOK after the last step. TBase is the dialog class under test.
template <typename TBase>
class TStepDialog : public TBase {
 public:
  using TBase::TBase;
  std::vector<std::function<void(TStepDialog&)>> steps;

  BOOL OnInitDialog() override {
    BOOL r = TBase::OnInitDialog();
    this->PostMessage(kStep);
    return r;
  }

  BEGIN_MSG_MAP(TStepDialog)
  MESSAGE_HANDLER(kStep, OnStep)
  CHAIN_MSG_MAP(TBase)
  END_MSG_MAP()

 private:
  static constexpr UINT kStep = WM_APP + 17;
  LRESULT OnStep(UINT, WPARAM, LPARAM, BOOL&) {
    if (m_nNext < steps.size()) {
      steps[m_nNext++](*this);
      this->PostMessage(kStep);
    } else {
      this->EndDialog(IDOK);
    }
    return 0;
  }
  size_t m_nNext = 0;
};

// A plain dialog of a template with hooks for its initialisation and its
// data exchange, run step by step.
class CScriptBase : public CDialog {
 public:
  explicit CScriptBase(UINT id) : CDialog(id) {}
  std::function<void(CScriptBase&)> onInit;      // inside OnInitDialog, before the steps
  std::function<void(CDataExchange*)> exchange;  // the data exchange
  bool initRan = false;

  BOOL OnInitDialog() override {
    initRan = true;
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* pDX) override {
    if (exchange) exchange(pDX);
  }
};
using CScriptDialog = TStepDialog<CScriptBase>;

// A window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND hWnd) {
  RECT r;
  ::GetWindowRect(hWnd, &r);
  ::MapWindowPoints(nullptr, ::GetParent(hWnd), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

inline RECT DialogUnitsRect(HWND hDlg, int x, int y, int cx, int cy) {
  RECT r{x, y, x + cx, y + cy};
  ::MapDialogRect(hDlg, &r);
  return r;
}

inline bool SameRect(const RECT& a, const RECT& b) { return ::EqualRect(&a, &b) != FALSE; }

inline std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

// Pixels to HIMETRIC, as a control's extent is given.
inline SIZEL Himetric(LONG cx, LONG cy) {
  HDC hdc = ::GetDC(nullptr);
  SIZEL s{::MulDiv(cx, 2540, ::GetDeviceCaps(hdc, LOGPIXELSX)),
          ::MulDiv(cy, 2540, ::GetDeviceCaps(hdc, LOGPIXELSY))};
  ::ReleaseDC(nullptr, hdc);
  return s;
}

}  // namespace occtest
