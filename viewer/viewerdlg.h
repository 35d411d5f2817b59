// The viewer: the main window while the operator works. It hosts the viewer
// control over all but a thin grey frame, hands it the current address-book
// entry, hides the control's own language buttons (the language is chosen at
// start-up), lets the operator drag the window by the frame, and offers the
// About box from the system menu. The template's lower items stay hidden.
#pragma once

#include <string>

#include "framework/afx.h"

#include <commctrl.h>
#include "ui/skin/skinbutton.h"
#include "viewer/dvrocx.h"

// Process-wide: a window that button 1010 reports on, and windows that
// button 1012 shows and hides. Nothing in the program fills them.
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
  HICON m_hIcon = nullptr;  // icon 128: minimised painting and drag icon

  BEGIN_MSG_MAP(CViewerDlg)
  MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  MESSAGE_HANDLER(WM_PAINT, OnPaint)
  MESSAGE_HANDLER(WM_QUERYDRAGICON, OnQueryDragIcon)
  MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
  MESSAGE_HANDLER(WM_SIZE, OnSize)
  COMMAND_HANDLER(1001, BN_CLICKED, OnSetIpPort)
  MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBkgnd)
  COMMAND_HANDLER(1008, BN_CLICKED, OnExit)
  CTLCOLOR_HANDLER(OnCtlColor)
  COMMAND_HANDLER(1007, EN_CHANGE, OnChangePort)
  COMMAND_HANDLER(1010, BN_CLICKED, OnButton1)
  COMMAND_HANDLER(1012, BN_CLICKED, OnButton2)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
  CHAIN_MSG_MAP(CDialog)
  END_MSG_MAP()

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  void LoadLastAddress();
  LRESULT OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL&);
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnQueryDragIcon(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEraseBkgnd(UINT, WPARAM wParam, LPARAM, BOOL&);
  HBRUSH OnCtlColor(HDC hdc, HWND hCtl, UINT nCtlColor);
  void OnSetIpPort();
  void OnExit();
  void OnChangePort();
  void OnButton1();
  void OnButton2();
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
  // Tooltip text requests (TTN_NEEDTEXTA); FALSE for a tool that is not a window.
  BOOL OnToolTipText(UINT id, NMHDR* pNMHDR, LRESULT* pResult);

 private:
  LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  void ConnectControl();
};
