// The viewer: the main window that hosts the viewer control.
#pragma once

#include "framework/afx.h"

class CViewerDlg : public CDialog {
 public:
  explicit CViewerDlg(CWnd* pParent = nullptr);
};
