#include "viewer/viewerdlg.h"

#include "res/resource.h"

CViewerDlg::CViewerDlg(CWnd* pParent) : CDialog(IDD_VELODVR_DIALOG, pParent) {}
