// The start-up dialog "Init": interface language, the recorder's address
// (an editable list holding the address book) and port. While it opens it
// installs the viewer components when they are missing and prepares the
// settings file. It ends with IDOK only through a successful OK flow, and
// with IDCANCEL through Leave, Escape or the close box.
#pragma once

#include "framework/afx.h"
#include "res/resource.h"
#include "ui/skin/skinbutton.h"

class CInitDlg : public CDialog {
 public:
  explicit CInitDlg(CWnd* pParent = nullptr);
  ~CInitDlg() override;

  // Sets the label and language-button texts and the skin-button images of
  // language nLang (0 English, 1 Simplified, 2 Traditional); other values
  // change nothing.
  void ApplyLanguage(int nLang);

  // Bound in this order by DoDataExchange; destroyed in reverse.
  CComboBox m_comboAddress;
  CSkinButton m_btnUnregister;
  CSkinButton m_btnRegister;
  CSkinButton m_btnLeave;
  CSkinButton m_btnOk;
  CSkinButton m_btnDelete;
  CButton m_radioTraditional;
  CButton m_radioEnglish;
  CButton m_radioSimplified;
  HBRUSH m_hNullBrush = nullptr;  // the stock hollow brush, never deleted
  int m_nLang = 0;

  BEGIN_MSG_MAP(CInitDlg)
  CTLCOLOR_HANDLER(OnCtlColor)
  MSG_WM_ERASEBKGND(OnEraseBkgnd)
  COMMAND_HANDLER(IDC_LEAVE, BN_CLICKED, OnButtonLeave)
  COMMAND_HANDLER(IDC_OK, BN_CLICKED, SaveLoginAddress)
  COMMAND_HANDLER(IDC_DELETE, BN_CLICKED, DeleteSelectedAddress)
  COMMAND_HANDLER(IDC_RADIO_SIMPLIFIED, BN_CLICKED, OnRadioSimplified)
  COMMAND_HANDLER(IDC_RADIO_ENGLISH, BN_CLICKED, OnRadioEnglish)
  COMMAND_HANDLER(IDC_RADIO_TRADITIONAL, BN_CLICKED, OnRadioTraditional)
  COMMAND_HANDLER(IDC_REGISTER, BN_CLICKED, OnButtonRegister)
  COMMAND_HANDLER(IDC_UNREGISTER, BN_CLICKED, OnButtonUnregister)
  COMMAND_HANDLER(IDC_TEST, BN_CLICKED, OnButtonTest)
  COMMAND_HANDLER(IDC_ADDRESS_LIST, CBN_SELCHANGE, ShowPortOfSelection)
  CHAIN_MSG_MAP(CDialog)
  END_MSG_MAP()

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  BOOL OnInitDialog() override;

  HBRUSH OnCtlColor(HDC hdc, HWND hCtl, UINT nCtlColor);
  BOOL OnEraseBkgnd(HDC hdc);
  void OnButtonLeave();
  void OnButtonTest();
  void OnButtonRegister();
  void OnButtonUnregister();
  void OnRadioSimplified();
  void OnRadioEnglish();
  void OnRadioTraditional();
  // The address-book flows of the OK button, the Delete button and the
  // list's selection change.
  void SaveLoginAddress();
  void DeleteSelectedAddress();
  void ShowPortOfSelection();

 private:
  void ChooseLanguage(int nLang, CButton& first, CButton& second, CButton& chosen);
};
