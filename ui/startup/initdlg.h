// The start-up dialog "Init": language, address and port.
#pragma once

#include "framework/afx.h"

class CInitDlg : public CDialog {
 public:
  explicit CInitDlg(CWnd* pParent = nullptr);
};
