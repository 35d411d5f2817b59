// Control wrappers: hold the HWND, one SendMessage per method, no state.
//
//   CButton    push, radio and owner-drawn buttons (DrawItem for owner draw)
//   CComboBox  the combo box messages the address book uses
#pragma once

#include <string>

#include "framework/wnd.h"

class CButton : public CWnd {
 public:
  void SetCheck(int nCheck) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(nCheck)); }
  // Owner-drawn buttons paint here; the parent dialog passes WM_DRAWITEM on.
  virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
  BOOL OnChildNotify(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CComboBox : public CWnd {
 public:
  int AddString(const char* text) {
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  int SetCurSel(int nSelect) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect))); }
  int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
  int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
  int DeleteString(int nIndex) { return static_cast<int>(SendMessage(CB_DELETESTRING, static_cast<WPARAM>(nIndex))); }
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  // The text of entry nIndex; empty for an index that does not exist.
  std::string GetLBText(int nIndex) const;
};
