#include "app/velodvr.h"

#include "app/sequence.h"
#include "ui/startup/initdlg.h"
#include "viewer/viewerdlg.h"

CViewerApp theApp;

BOOL CViewerApp::InitInstance() { return RunStartupSequence<CInitDlg, CViewerDlg>(*this); }
