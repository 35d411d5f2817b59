// A dialog of the program run by a test from inside its own modal loop.
#pragma once

#include <functional>
#include <vector>

#include "framework/afx.h"

// Runs each step from a message posted to itself, so every message a step
// posts is handled before the next; ends with IDOK after the last.
template <typename TBase>
class TStepDialog : public TBase {
 public:
  using TBase::TBase;
  std::vector<std::function<void(TStepDialog&)>> steps;
  bool Done() const { return m_nNext == steps.size(); }  // every step ran
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
