// The dialog side of the control container: the controls of a dialog
// template made and ended with the dialog, key messages offered to the
// active control, and data exchange with the controls' properties.
#include <cstdio>
#include <vector>

#include "framework/dialog.h"
#include "framework/msgbox.h"
#include "framework/occsite.h"

// The controls of one dialog, in template order.
class COleControlContainer {
 public:
  std::vector<CControlSite*> sites;
};

namespace {

bool g_bEnabled = false;

class COccManagerImpl final : public COccManager {
 public:
  bool CreateDlgControls(CDialog* pDlg, const DialogTemplate& tmpl) override;
  void DestroyDlgControls(CDialog* pDlg) override;
  BOOL PreTranslateAccelerator(CDialog* pDlg, MSG* pMsg) override;
};

bool COccManagerImpl::CreateDlgControls(CDialog* pDlg, const DialogTemplate& tmpl) {
  DestroyDlgControls(pDlg);
  HWND hDlg = pDlg->m_hWnd;
  // The system created the other items in template order, each below the
  // one before: the dialog's children in Z order are those items. When the
  // count differs (an item failed), they are found by id instead.
  std::vector<HWND> children;
  for (HWND h = ::GetWindow(hDlg, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) children.push_back(h);
  size_t nPlain = 0;
  for (const DialogItem& it : tmpl.items) nPlain += it.IsOleControl() ? 0 : 1;
  std::vector<HWND> itemWnd(tmpl.items.size(), nullptr);
  for (size_t i = 0, k = 0; i < tmpl.items.size(); ++i) {
    if (tmpl.items[i].IsOleControl()) continue;
    itemWnd[i] = children.size() == nPlain ? children[k++] : ::GetDlgItem(hDlg, static_cast<int>(tmpl.items[i].id));
  }

  COleControlContainer* pCont = new COleControlContainer;
  pDlg->m_pCtrlCont = pCont;
  for (size_t i = 0; i < tmpl.items.size(); ++i) {
    const DialogItem& it = tmpl.items[i];
    if (!it.IsOleControl()) continue;
    ControlParams p;
    p.hParent = hDlg;
    p.nID = it.id;
    p.dwStyle = it.style;
    p.name = it.text;
    p.rc = RECT{it.x, it.y, it.x + it.cx, it.y + it.cy};
    ::MapDialogRect(hDlg, &p.rc);
    // Keep the template's order: after the nearest earlier item that has a window.
    p.hInsertAfter = HWND_TOP;
    for (size_t j = i; j-- > 0;)
      if (itemWnd[j]) {
        p.hInsertAfter = itemWnd[j];
        break;
      }
    if (!tmpl.FindInitRecord(static_cast<WORD>(it.id), &p.initMsg, &p.state)) p.initMsg = 0;
    CControlSite* site = new CControlSite;
    if (!it.GetClsid(&p.clsid) || FAILED(site->Start(p))) {
      site->End();
      DestroyDlgControls(pDlg);
      return false;
    }
    pCont->sites.push_back(site);
    itemWnd[i] = site->GetControlWindow();
  }
  return true;
}

void COccManagerImpl::DestroyDlgControls(CDialog* pDlg) {
  COleControlContainer* pCont = pDlg->m_pCtrlCont;
  if (!pCont) return;
  pDlg->m_pCtrlCont = nullptr;
  while (!pCont->sites.empty()) {
    CControlSite* site = pCont->sites.back();
    pCont->sites.pop_back();
    site->End();
  }
  delete pCont;
}

BOOL COccManagerImpl::PreTranslateAccelerator(CDialog* pDlg, MSG* pMsg) {
  if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST) return FALSE;
  CControlSite* site = CControlSite::Holding(::GetFocus());
  if (!site || !::IsChild(pDlg->m_hWnd, site->GetControlWindow())) return FALSE;
  CComPtr<IOleInPlaceActiveObject> active;
  site->GetActiveObject(active);
  return active && active->TranslateAccelerator(pMsg) == S_OK;
}

}  // namespace

void AfxEnableControlContainer() { g_bEnabled = true; }

COccManager* AfxGetOccManager() {
  static COccManagerImpl s_manager;
  return g_bEnabled ? &s_manager : nullptr;
}

COleControlSite* FindControlSite(CDialog* pDlg, int nID) {
  if (!pDlg) return nullptr;
  if (COleControlContainer* pCont = pDlg->m_pCtrlCont)
    for (CControlSite* site : pCont->sites)
      if (site->GetID() == nID) return site;
  // A control the dialog's code created itself.
  return pDlg->m_hWnd ? COleControlSite::FromWindow(::GetDlgItem(pDlg->m_hWnd, nID)) : nullptr;
}

void ReportOleFailure(HRESULT hr) {
  char* text = nullptr;
  DWORD n =
      ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (n && text) {
    message.assign(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  }
  if (text) ::LocalFree(text);
  if (message.empty()) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "Error 0x%08lX", static_cast<unsigned long>(hr));
    message = buf;
  }
  AfxMessageBox(message.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

namespace {
// A dialog control the data exchange cannot find.
const HRESULT kNoControl = HRESULT_FROM_WIN32(ERROR_CONTROL_ID_NOT_FOUND);
}  // namespace

HRESULT DDX_OCText(CDataExchange* pDX, int nIDC, DISPID dispid, std::string& value) {
  COleControlSite* site = FindControlSite(pDX->m_pDlgWnd, nIDC);
  HRESULT hr = !site                     ? kNoControl
               : pDX->m_bSaveAndValidate ? site->GetProperty(dispid, VT_BSTR, &value)
                                         : site->SetProperty(dispid, VT_BSTR, value.c_str());
  if (FAILED(hr)) ReportOleFailure(hr);
  return hr;
}

HRESULT DDX_OCInt(CDataExchange* pDX, int nIDC, DISPID dispid, int& value) {
  COleControlSite* site = FindControlSite(pDX->m_pDlgWnd, nIDC);
  HRESULT hr = kNoControl;
  if (site && pDX->m_bSaveAndValidate) {
    long n = 0;
    hr = site->GetProperty(dispid, VT_I4, &n);
    if (SUCCEEDED(hr)) value = static_cast<int>(n);
  } else if (site) {
    hr = site->SetProperty(dispid, VT_I4, static_cast<long>(value));
  }
  if (FAILED(hr)) ReportOleFailure(hr);
  return hr;
}
