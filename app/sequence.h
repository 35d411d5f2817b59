// The start-up sequence: the start-up dialog, then (unless the operator
// left it) Windows Sockets, control hosting and the viewer as main window.
// Written over the two dialog types so that tests can run the real sequence
// with dialogs of their own.
#pragma once

#include "framework/afx.h"
#include "res/resource.h"

template <typename TInitDlg, typename TViewerDlg>
BOOL RunStartupSequence(CWinApp& app) {
  TInitDlg dlgInit;  // lives through the viewer run as well
  if (dlgInit.DoModal() == IDCANCEL) return FALSE;
  // Any other result (IDOK, or -1 when the dialog could not be created)
  // goes on to the viewer.
  if (!AfxSocketInit()) {
    AfxMessageBox(IDS_SOCKETS_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
    return FALSE;
  }
  AfxEnableControlContainer();
  {
    TViewerDlg dlgViewer;  // destroyed before the start-up dialog object
    app.m_pMainWnd = &dlgViewer;
    dlgViewer.DoModal();
  }
  app.m_pMainWnd = nullptr;  // the viewer object is gone
  // The process ends when initialisation reports failure: there is no
  // message loop after the viewer.
  return FALSE;
}
