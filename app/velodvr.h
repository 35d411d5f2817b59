// The application: one global object whose initialisation runs the whole
// program as two modal dialogs in sequence.
#pragma once

#include "framework/afx.h"

class CViewerApp : public CWinApp {
 public:
  CViewerApp() = default;
  BOOL InitInstance() override;
};
