#include "ui/startup/initdlg.h"

#include "installer/installer.h"
#include "res/resource.h"
#include "settings/settings.h"

namespace {

const COLORREF kGrey = RGB(200, 200, 200);  // also the skin bitmaps' background
const COLORREF kSkinKey = 0xFF0000;         // pure blue: not in any skin bitmap

// The texts and images of one interface language.
struct LanguageSet {
  const char* labelAddress;
  const char* labelPort;
  const char* radioSimplified;
  const char* radioEnglish;
  const char* radioTraditional;
  UINT bmpDelete, bmpOk, bmpLeave, bmpRegister, bmpUnregister;
};

// Indexed by the stored language: 0 English, 1 Simplified, 2 Traditional.
const LanguageSet kLanguages[3] = {
    {"IP Address:", "Port:", "Simplified(简体中文)", "English(英语)", "Traditional(繁體中文)", 156, 159, 162, 165, 169},
    {"IP地址:", "端口:", "简体中文(Simplified)", "英语(English)", "繁体中文(Traditional)", 158, 160, 163, 168, 171},
    {"IP地址:", "端口:", "簡體中文(Simplified)", "英語(English)", "繁體中文(Traditional)", 157, 161, 164, 167, 170},
};

}  // namespace

CInitDlg::CInitDlg(CWnd* pParent) : CDialog(IDD_INIT, pParent) {}

CInitDlg::~CInitDlg() = default;

void CInitDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, {{IDC_ADDRESS_LIST, &m_comboAddress},
                    {IDC_UNREGISTER, &m_btnUnregister},
                    {IDC_REGISTER, &m_btnRegister},
                    {IDC_LEAVE, &m_btnLeave},
                    {IDC_OK, &m_btnOk},
                    {IDC_DELETE, &m_btnDelete},
                    {IDC_RADIO_TRADITIONAL, &m_radioTraditional},
                    {IDC_RADIO_ENGLISH, &m_radioEnglish},
                    {IDC_RADIO_SIMPLIFIED, &m_radioSimplified}});
}

BOOL CInitDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The operator may see the installer's questions before the dialog shows.
  if (!IsControlRegistered()) InstallComponents(m_hWnd);
  settings::EnsureSettingsFile();
  settings::LoadAddressList(m_comboAddress, GetDlgItem(IDC_PORT));
  m_hNullBrush = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
  // Flat push buttons become flat automatic radio buttons.
  m_radioSimplified.ModifyStyle(0, BS_AUTORADIOBUTTON);
  m_radioTraditional.ModifyStyle(0, BS_AUTORADIOBUTTON);
  m_radioEnglish.ModifyStyle(0, BS_AUTORADIOBUTTON);
  m_nLang = settings::ReadLanguage();
  switch (m_nLang) {
    case 0:
      m_radioEnglish.SetCheck(1);
      break;
    case 1:
      m_radioSimplified.SetCheck(1);
      break;
    case 2:
      m_radioTraditional.SetCheck(1);
      break;
    default:
      break;  // an unknown index checks nothing
  }
  m_btnDelete.ModifyStyle(0, BS_OWNERDRAW);
  m_btnOk.ModifyStyle(0, BS_OWNERDRAW);
  m_btnLeave.ModifyStyle(0, BS_OWNERDRAW);
  m_btnRegister.ModifyStyle(0, BS_OWNERDRAW);
  m_btnUnregister.ModifyStyle(0, BS_OWNERDRAW);
  ApplyLanguage(m_nLang);
  // The operator starts in the address list. The system would focus the
  // first tab stop, but checking a radio button gives it the tab-stop style,
  // which would put the focus on the checked language button instead.
  SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_comboAddress.m_hWnd), TRUE);
  return FALSE;
}

void CInitDlg::ApplyLanguage(int nLang) {
  if (nLang < 0 || nLang > 2) return;
  const LanguageSet& set = kLanguages[nLang];
  m_btnDelete.SetBitmap(set.bmpDelete, kSkinKey);
  m_btnOk.SetBitmap(set.bmpOk, kSkinKey);
  m_btnLeave.SetBitmap(set.bmpLeave, kSkinKey);
  m_btnRegister.SetBitmap(set.bmpRegister, kSkinKey);
  m_btnUnregister.SetBitmap(set.bmpUnregister, kSkinKey);
  SetDlgItemText(IDC_LABEL_ADDRESS, set.labelAddress);
  SetDlgItemText(IDC_LABEL_PORT, set.labelPort);
  m_radioSimplified.SetWindowText(set.radioSimplified);
  m_radioEnglish.SetWindowText(set.radioEnglish);
  m_radioTraditional.SetWindowText(set.radioTraditional);
}

void CInitDlg::ChooseLanguage(int nLang, CButton& first, CButton& second, CButton& chosen) {
  first.SetCheck(0);
  second.SetCheck(0);
  chosen.SetCheck(1);
  // Stored at once, even when unchanged, so it holds after Leave too.
  settings::WriteLanguage(nLang);
  m_nLang = nLang;
  ApplyLanguage(nLang);
  Invalidate(TRUE);
}

void CInitDlg::OnRadioSimplified() { ChooseLanguage(1, m_radioEnglish, m_radioTraditional, m_radioSimplified); }

void CInitDlg::OnRadioEnglish() { ChooseLanguage(0, m_radioTraditional, m_radioSimplified, m_radioEnglish); }

void CInitDlg::OnRadioTraditional() { ChooseLanguage(2, m_radioSimplified, m_radioEnglish, m_radioTraditional); }

BOOL CInitDlg::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message != WM_KEYDOWN) return CDialog::PreTranslateMessage(pMsg);
  HWND hFocus = ::GetFocus();
  const bool onSimplified = hFocus == m_radioSimplified.m_hWnd;
  const bool onEnglish = hFocus == m_radioEnglish.m_hWnd;
  const bool onTraditional = hFocus == m_radioTraditional.m_hWnd;
  switch (pMsg->wParam) {
    case VK_RETURN:
      // Enter never reaches the dialog's default-button handling.
      if (onSimplified || onEnglish || onTraditional) {
        m_comboAddress.SetFocus();
      } else if (hFocus && hFocus == GetDlgItem(IDC_PORT)) {
        SaveLoginAddress();
      } else if (hFocus && ::GetParent(hFocus) == m_comboAddress.m_hWnd) {
        HWND hPort = GetDlgItem(IDC_PORT);
        ::SetFocus(hPort);
        ::SendMessageA(hPort, EM_SETSEL, 0, -1);
        ::SendMessageA(hPort, EM_SCROLLCARET, 0, 0);
      } else {
        SaveLoginAddress();
      }
      return TRUE;
    case VK_LEFT:
    case VK_UP:
      // The buttons stand Simplified, English, Traditional from the top.
      if (onEnglish)
        OnRadioSimplified();
      else if (onTraditional)
        OnRadioEnglish();
      break;
    case VK_RIGHT:
    case VK_DOWN:
      if (onEnglish)
        OnRadioTraditional();
      else if (onSimplified)
        OnRadioEnglish();
      break;
    default:
      break;
  }
  return CDialog::PreTranslateMessage(pMsg);
}

HBRUSH CInitDlg::OnCtlColor(HDC hdc, HWND, UINT nCtlColor) {
  HBRUSH hBase = reinterpret_cast<HBRUSH>(Default());
  // Labels, group boxes and radio buttons paint their text on the grey.
  ::SetBkMode(hdc, TRANSPARENT);
  return nCtlColor == CTLCOLOR_STATIC ? m_hNullBrush : hBase;
}

BOOL CInitDlg::OnEraseBkgnd(HDC hdc) {
  CDC dc(hdc);
  RECT rc;
  GetClientRect(&rc);
  dc.FillSolidRect(rc, kGrey);
  return TRUE;
}

void CInitDlg::OnButtonLeave() { OnCancel(); }

void CInitDlg::OnButtonTest() {
  if (m_nLang >= 0 && m_nLang <= 2) m_btnDelete.SetBitmap(kLanguages[m_nLang].bmpDelete, kSkinKey);
  Invalidate(TRUE);
}

void CInitDlg::OnButtonRegister() { ::OnButtonRegister(); }

void CInitDlg::OnButtonUnregister() { ::OnButtonUnregister(); }

void CInitDlg::SaveLoginAddress() {
  if (settings::SaveLoginAddress(m_comboAddress, GetDlgItem(IDC_PORT)) == settings::FlowEnd::kEndWithOk) OnOK();
}

void CInitDlg::DeleteSelectedAddress() {
  settings::DeleteSelectedAddress(m_hWnd, m_comboAddress, GetDlgItem(IDC_PORT), m_btnDelete.m_hWnd);
}

void CInitDlg::ShowPortOfSelection() { settings::ShowPortOfSelection(m_comboAddress, GetDlgItem(IDC_PORT)); }
