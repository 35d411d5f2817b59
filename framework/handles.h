// Handles that release themselves: the owners shared with the viewer control
// (CComPtr, CScopedHandle and the other owners there) and
//
//   CSelectObject  a GDI object selected into a DC, deselected when it goes
#pragma once

#include "components/common/handles.h"

class CSelectObject {
 public:
  CSelectObject(HDC hdc, HGDIOBJ h) : m_hdc(hdc), m_hOld(::SelectObject(hdc, h)) {}
  ~CSelectObject() {
    if (m_hOld) ::SelectObject(m_hdc, m_hOld);
  }
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;

 private:
  HDC m_hdc;
  HGDIOBJ m_hOld;
};
