#include "viewer/dvrocx.h"

#include "components/common/dvrocx_ids.h"

CDvrOcx::~CDvrOcx() { DestroyControl(); }

BOOL CDvrOcx::Create(const char* pszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
  if (m_hWnd || !pParentWnd || !pParentWnd->m_hWnd) return FALSE;
  COleControlSite* site = nullptr;
  if (FAILED(::CreateControl(CLSID_DvrOcx, pszWindowName, dwStyle, rect, pParentWnd->m_hWnd, nID, &site))) return FALSE;
  m_pOwnSite = site;
  SubclassWindow(site->GetControlWindow());
  return TRUE;
}

void CDvrOcx::DestroyControl() {
  if (!m_pOwnSite) return;
  COleControlSite* site = m_pOwnSite;
  m_pOwnSite = nullptr;
  // The control destroys its window; the binding goes with it.
  site->Destroy();
  if (m_hWnd) UnsubclassWindow();
}

long CDvrOcx::SetDeviceIPandPort(const char* deviceIP, short devicePort) {
  COleControlSite* site = GetControlSite();
  // Arguments go into DISPPARAMS last first.
  VARIANT args[2];
  ::VariantInit(&args[0]);
  ::VariantInit(&args[1]);
  args[0].vt = VT_I2;
  args[0].iVal = devicePort;
  args[1].vt = VT_BSTR;
  args[1].bstrVal = AfxAllocSysString(deviceIP);
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  ::VariantInit(&result);
  HRESULT hr = !site ? E_HANDLE
               : !args[1].bstrVal
                   ? E_OUTOFMEMORY
                   : site->InvokeHelper(DISPID_DVROCX_SETDEVICEIPANDPORT, DISPATCH_METHOD, &result, &params);
  ::VariantClear(&args[1]);
  if (SUCCEEDED(hr)) hr = ::VariantChangeType(&result, &result, 0, VT_I4);
  long ret = SUCCEEDED(hr) ? result.lVal : static_cast<long>(hr);
  ::VariantClear(&result);
  if (FAILED(hr)) ReportOleFailure(hr);
  return ret;
}

std::string CDvrOcx::GetdeviceIP() {
  std::string value;
  COleControlSite* site = GetControlSite();
  HRESULT hr = site ? site->GetProperty(DISPID_DVROCX_DEVICEIP, VT_BSTR, &value) : E_HANDLE;
  if (FAILED(hr)) ReportOleFailure(hr);
  return value;
}

long CDvrOcx::GetDevicePort() {
  long value = 0;
  COleControlSite* site = GetControlSite();
  HRESULT hr = site ? site->GetProperty(DISPID_DVROCX_DEVICEPORT, VT_I4, &value) : E_HANDLE;
  if (FAILED(hr)) ReportOleFailure(hr);
  return value;
}
