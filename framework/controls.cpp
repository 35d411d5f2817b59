#include "framework/controls.h"

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT uMsg, WPARAM, LPARAM lParam, LRESULT* pResult) {
  if (uMsg != WM_DRAWITEM) return FALSE;
  DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
  if (pResult) *pResult = TRUE;
  return TRUE;
}

std::string CComboBox::GetLBText(int nIndex) const {
  LRESULT n = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(nIndex));
  if (n == CB_ERR || n < 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(nIndex), reinterpret_cast<LPARAM>(&s[0]));
  s.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return s;
}
