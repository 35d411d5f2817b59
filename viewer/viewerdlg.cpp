#include "viewer/viewerdlg.h"

#include <olectl.h>

#include <cstring>

#include "components/common/dvrocx_ids.h"
#include "components/common/port.h"
#include "framework/trace.h"
#include "res/resource.h"
#include "settings/settings.h"

HWND g_hWatchedWnd = nullptr;
HWND g_hCompanionWnds[4] = {};
int g_nCompanionShowCmd = SW_HIDE;

namespace {

const COLORREF kFrameGrey = RGB(200, 200, 200);

// The control's own language switch: the language is the start-up dialog's
// business, so these windows are hidden wherever they sit in the control.
BOOL CALLBACK HideLanguageWindows(HWND hWnd, LPARAM) {
  char caption[200] = "";
  ::GetWindowTextA(hWnd, caption, sizeof(caption));
  if (std::strcmp(caption, "ENGLISH") == 0 || std::strcmp(caption, "简体中文") == 0 ||
      std::strcmp(caption, "繁体中文") == 0)
    ::ShowWindow(hWnd, SW_HIDE);
  return TRUE;
}

}  // namespace

CAboutDlg::CAboutDlg(CWnd* pParent) : CDialog(IDD_ABOUTBOX, pParent) {}

CViewerDlg::CViewerDlg(CWnd* pParent) : CDialog(IDD_VELODVR_DIALOG, pParent) {
  m_hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CViewerDlg::~CViewerDlg() = default;

void CViewerDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, {{IDC_BUTTON1, &m_btnButton1},
                    {IDC_EXIT, &m_btnExit},
                    {IDC_SET_IP_PORT, &m_btnSetIpPort},
                    {IDC_DVROCX, &m_dvrOcx}});
  DDX_OCText(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEIP, m_strAddress);
  DDX_OCInt(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEPORT, m_nPort);
}

BOOL CViewerDlg::OnInitDialog() {
  // The base's data exchange puts the still empty address and port 0 into
  // the control before LoadLastAddress has read them. Older copies of the
  // program do the same, and the control only stores the two values.
  CDialog::OnInitDialog();
  if (HMENU hSysMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
    char about[256] = "";
    ::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof(about));
    if (about[0]) {
      ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  HICON hIcon = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_VIEWER));
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
  LoadLastAddress();
  // The control has no Enabled property: the request fails, which is fine,
  // and the control keeps taking the operator's input.
  COleControlSite* site = m_dvrOcx.GetControlSite();
  const HRESULT hr = site ? site->SetProperty(DISPID_ENABLED, VT_BOOL, FALSE) : S_OK;
  if (FAILED(hr)) Trace("viewer: the control refused Enabled = FALSE (0x%08lX)\n", static_cast<unsigned long>(hr));
  m_hNullBrush = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
  if (m_dvrOcx.m_hWnd) ::EnumChildWindows(m_dvrOcx.m_hWnd, &HideLanguageWindows, 0);
  return TRUE;
}

void CViewerDlg::ConnectControl() {
  // The result is not acted on: a failed call has been reported already,
  // and the control's own refusal goes to the developer trace.
  const long result = m_dvrOcx.SetDeviceIPandPort(m_strAddress.c_str(), PortToControl(m_nPort));
  if (result != 0) Trace("viewer: SetDeviceIPandPort(%s, %d) gave %ld\n", m_strAddress.c_str(), m_nPort, result);
}

void CViewerDlg::LoadLastAddress() {
  // A stored port outside 1..65535 reads as 0, no port (see ReadLastAddress).
  settings::LastAddress last = settings::ReadLastAddress();
  if (!last.address.empty()) {
    SetDlgItemText(IDC_VIEWER_ADDRESS, last.address.c_str());
    m_strAddress = last.address;
  }
  if (last.port != 0) {
    SetDlgItemText(IDC_VIEWER_PORT, std::to_string(last.port).c_str());
    m_nPort = last.port;
  }
  if (!m_strAddress.empty() && m_nPort != 0) ConnectControl();
}

void CViewerDlg::OnSysCommand(UINT nID, POINT) {
  if ((nID & 0xFFF0) != IDM_ABOUTBOX) return SetMsgHandled(FALSE);
  CAboutDlg dlgAbout;
  dlgAbout.DoModal();
}

void CViewerDlg::OnPaint(HDC) {
  if (!IsIconic()) return SetMsgHandled(FALSE);
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  int cxIcon = ::GetSystemMetrics(SM_CXICON);
  int cyIcon = ::GetSystemMetrics(SM_CYICON);
  RECT rc;
  GetClientRect(&rc);
  int x = (rc.right - rc.left - cxIcon + 1) / 2;
  int y = (rc.bottom - rc.top - cyIcon + 1) / 2;
  ::DrawIcon(hdc, x, y, m_hIcon);
  ::EndPaint(m_hWnd, &ps);
}

HCURSOR CViewerDlg::OnQueryDragIcon() { return m_hIcon; }

void CViewerDlg::OnLButtonDown(UINT, POINT point) {
  // A press on the grey frame moves the window as the caption would; the
  // control takes the presses over its own area.
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
  Default();
}

BOOL CViewerDlg::OnEraseBkgnd(HDC hdc) {
  CDC dc(hdc);
  ::SetBkMode(dc, TRANSPARENT);
  RECT c, r{0, 0, 0, 0};
  GetClientRect(&c);
  if (m_dvrOcx.m_hWnd) {
    ::GetWindowRect(m_dvrOcx.m_hWnd, &r);
    ScreenToClient(&r);
  }
  // Above, left of, right of and below the control; its own area is the
  // control's to paint.
  dc.FillSolidRect(RECT{0, 0, c.right, r.top}, kFrameGrey);
  dc.FillSolidRect(RECT{0, 0, r.left, r.bottom}, kFrameGrey);
  dc.FillSolidRect(RECT{r.right, r.top, c.right, r.bottom}, kFrameGrey);
  dc.FillSolidRect(RECT{0, r.bottom, c.right, c.bottom}, kFrameGrey);
  return TRUE;
}

HBRUSH CViewerDlg::OnCtlColor(HDC hdc, HWND, UINT nCtlColor) {
  HBRUSH hBase = reinterpret_cast<HBRUSH>(Default());
  if (nCtlColor != CTLCOLOR_STATIC) return hBase;
  ::SetBkMode(hdc, TRANSPARENT);
  return m_hNullBrush;
}

void CViewerDlg::OnSetIpPort() {
  // The control's values are read first although the typed ones replace
  // them: when either box is empty the members keep what the control holds,
  // as in older copies of the program.
  UpdateData(TRUE);
  std::string address = GetDlgItemText(IDC_VIEWER_ADDRESS);
  std::string port = GetDlgItemText(IDC_VIEWER_PORT);
  if (address.empty() || port.empty()) return;
  settings::WriteViewerAddress(address, port);
  m_strAddress = address;
  m_nPort = PortNumberFromText(port.c_str());
  ConnectControl();
}

void CViewerDlg::OnExit() { SendMessage(WM_CLOSE); }

void CViewerDlg::OnChangePort() {}

void CViewerDlg::OnButton1() {
  bool visible = g_hWatchedWnd && ::IsWindowVisible(g_hWatchedWnd);
  AfxMessageBox(visible ? "Visible" : "NoVisible", MB_OK, 0);
}

void CViewerDlg::OnButton2() {
  for (HWND h : g_hCompanionWnds)
    if (h) ::ShowWindow(h, g_nCompanionShowCmd);
  g_nCompanionShowCmd = g_nCompanionShowCmd == SW_HIDE ? SW_SHOW : SW_HIDE;
}

void CViewerDlg::OnTimer(UINT_PTR) {
  // Unlike the opening connect, a negative port is no reason to call.
  if (!m_strAddress.empty() && m_nPort > 0) ConnectControl();
  Default();
}

LRESULT CViewerDlg::OnToolTipText(NMHDR* pNMHDR) {
  TOOLTIPTEXTA* pTTT = reinterpret_cast<TOOLTIPTEXTA*>(pNMHDR);
  // A tool given by its window handle carries that handle as its id.
  if (!(pTTT->uFlags & TTF_IDISHWND)) return SetMsgHandled(FALSE), 0;
  HWND hTool = reinterpret_cast<HWND>(pNMHDR->idFrom);
  std::strcpy(pTTT->szText, ::GetDlgCtrlID(hTool) == IDC_BUTTON1 ? "hello" : "hsi");
  return 0;
}
