#include "app/velodvr.h"

#include <mbctype.h>

#include "app/sequence.h"
#include "ui/startup/initdlg.h"
#include "viewer/viewerdlg.h"

namespace {
// The run-time library's multibyte functions (_mbs*, _ismbblead) follow the
// system's ANSI code page from the start, as in any MFC program, so that
// GBK text would be taken as double-byte characters. No code of the program
// calls them today; the call only keeps the run-time state programs of this
// kind start with.
struct MultibyteCodePage {
  MultibyteCodePage() { _setmbcp(_MB_CP_ANSI); }
};
MultibyteCodePage g_mbcp __attribute__((init_priority(101)));
}  // namespace

CViewerApp theApp;

BOOL CViewerApp::InitInstance() { return RunStartupSequence<CInitDlg, CViewerDlg>(*this); }
