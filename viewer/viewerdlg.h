// The viewer: the main window while the operator works. It hosts the viewer
// control over all but a thin grey frame, hands it the current address-book
// entry, hides the control's own language buttons (the language is chosen at
// start-up), lets the operator drag the window by the frame, and offers the
// About box from the system menu. The template's lower items stay hidden.
#pragma once

#include <string>

#include "framework/afx.h"
#include "res/resource.h"

#include <commctrl.h>
#include "ui/skin/skinbutton.h"
#include "viewer/dvrocx.h"

// Process-wide: a window that IDC_BUTTON1 reports on, and windows that
// IDC_BUTTON2 shows and hides. Nothing in the program fills them.
extern HWND g_hWatchedWnd;
extern HWND g_hCompanionWnds[4];
extern int g_nCompanionShowCmd;

class CAboutDlg : public CDialog {
 public:
  explicit CAboutDlg(CWnd* pParent = nullptr);
};

class CViewerDlg : public CDialog {
 public:
  explicit CViewerDlg(CWnd* pParent = nullptr);
  ~CViewerDlg() override;

  HBRUSH m_hNullBrush = nullptr;  // the stock null brush, from OnInitDialog on
  CButton m_btnButton1;
  CSkinButton m_btnExit;       // plain push button, no images
  CSkinButton m_btnSetIpPort;  // plain push button, no images
  CDvrOcx m_dvrOcx;
  std::string m_strAddress;
  int m_nPort = 0;
  HICON m_hIcon = nullptr;  // IDR_MAINFRAME: minimised painting and drag icon

  BEGIN_MSG_MAP(CViewerDlg)
  MSG_WM_SYSCOMMAND(OnSysCommand)
  MSG_WM_PAINT(OnPaint)
  MSG_WM_QUERYDRAGICON(OnQueryDragIcon)
  MSG_WM_LBUTTONDOWN(OnLButtonDown)
  COMMAND_HANDLER(IDC_SET_IP_PORT, BN_CLICKED, OnSetIpPort)
  MSG_WM_ERASEBKGND(OnEraseBkgnd)
  COMMAND_HANDLER(IDC_EXIT, BN_CLICKED, OnExit)
  CTLCOLOR_HANDLER(OnCtlColor)
  COMMAND_HANDLER(IDC_VIEWER_PORT, EN_CHANGE, OnChangePort)
  COMMAND_HANDLER(IDC_BUTTON1, BN_CLICKED, OnButton1)
  COMMAND_HANDLER(IDC_BUTTON2, BN_CLICKED, OnButton2)
  MSG_WM_TIMER(OnTimer)
  NOTIFY_CODE_HANDLER_EX(TTN_NEEDTEXTA, OnToolTipText)
  CHAIN_MSG_MAP(CDialog)
  END_MSG_MAP()

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  void LoadLastAddress();
  void OnSysCommand(UINT nID, POINT);
  void OnPaint(HDC);
  HCURSOR OnQueryDragIcon();
  void OnLButtonDown(UINT, POINT point);
  BOOL OnEraseBkgnd(HDC hdc);
  HBRUSH OnCtlColor(HDC hdc, HWND hCtl, UINT nCtlColor);
  void OnSetIpPort();
  void OnExit();
  void OnChangePort();
  void OnButton1();
  void OnButton2();
  void OnTimer(UINT_PTR);
  // Tooltip text requests (TTN_NEEDTEXTA) of tools that are windows.
  LRESULT OnToolTipText(NMHDR* pNMHDR);

 private:
  void ConnectControl();
};
