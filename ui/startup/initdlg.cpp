#include "ui/startup/initdlg.h"

#include "res/resource.h"

CInitDlg::CInitDlg(CWnd* pParent) : CDialog(IDD_INIT, pParent) {}
