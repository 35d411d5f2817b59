#include "test_control.h"

#include <ocidl.h>
#include <olectl.h>

namespace occtest {

TestControlState g_testControl;

namespace {

const char kWindowClass[] = "VeloOccTestControl";

LRESULT CALLBACK ControlWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  if (uMsg == WM_KEYDOWN) {
    auto* log = reinterpret_cast<ControlLog*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (log) log->keysInWindow.push_back(static_cast<UINT>(wParam));
    return 0;
  }
  if (uMsg == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
  return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Reads one ambient property from the site's IDispatch.
HRESULT Ambient(IOleClientSite* site, DISPID id, VARIANT* v) {
  IDispatch* disp = nullptr;
  HRESULT hr = site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp));
  if (FAILED(hr)) return hr;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ::VariantInit(v);
  hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, v, nullptr, nullptr);
  disp->Release();
  return hr;
}

class CTestControl final : public IOleObject,
                           public IOleInPlaceObject,
                           public IOleInPlaceActiveObject,
                           public IPersistStreamInit,
                           public IDispatch {
 public:
  CTestControl() : m_log(g_testControl.controls.emplace_back()) { ++g_testControl.live; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleObject)
      *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
      *ppv = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleInPlaceActiveObject)
      *ppv = static_cast<IOleInPlaceActiveObject*>(this);
    else if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
      *ppv = static_cast<IPersistStreamInit*>(this);
    else if (riid == IID_IDispatch)
      *ppv = static_cast<IDispatch*>(this);
    else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRef; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --m_cRef;
    if (n == 0) {
      --g_testControl.live;
      delete this;
    }
    return n;
  }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
    m_log.calls.push_back(site ? "SetClientSite" : "SetClientSite(null)");
    if (site) {
      site->AddRef();
      if (!g_testControl.heldSite) {
        site->AddRef();
        g_testControl.heldSite = site;
      }
    }
    if (m_site) m_site->Release();
    m_site = site;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    *site = m_site;
    if (m_site) m_site->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override {
    m_log.calls.push_back("Close");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override {
    *clsid = CLSID_TestControl;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override {
    m_log.calls.push_back("SetExtent");
    m_log.extentSet = *size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override {
    *size = m_log.extentSet;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    *status = g_testControl.miscStatus;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
    *phwnd = m_log.hWnd;
    return m_log.hWnd ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT, LPCRECT) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
  // IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override {
    if (msg->message == WM_KEYDOWN) m_log.keysOffered.push_back(static_cast<UINT>(msg->wParam));
    return msg->wParam == kAcceleratorKey ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    *clsid = CLSID_TestControl;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override {
    m_log.calls.push_back("Load");
    m_log.siteSetBeforeLoad = m_site != nullptr;
    BYTE buf[256];
    ULONG got = 0;
    stream->Read(buf, sizeof(buf), &got);
    m_log.loaded.assign(buf, buf + got);
    // State that starts with "BAD" is refused, as a control refuses malformed state.
    if (got >= 3 && buf[0] == 'B' && buf[1] == 'A' && buf[2] == 'D') return E_FAIL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitNew() override {
    m_log.calls.push_back("InitNew");
    m_log.siteSetBeforeLoad = m_site != nullptr;
    return S_OK;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* excep, UINT*) override;

 private:
  ~CTestControl() {
    if (m_site) m_site->Release();
  }
  ULONG m_cRef = 1;
  ControlLog& m_log;
  IOleClientSite* m_site = nullptr;
  IOleInPlaceSite* m_ipSite = nullptr;
  IOleInPlaceFrame* m_frame = nullptr;
  IOleInPlaceUIWindow* m_doc = nullptr;
  std::wstring m_text;
  LONG m_number = 0;
};

HRESULT STDMETHODCALLTYPE CTestControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) {
  m_log.calls.push_back("DoVerb");
  if (verb != OLEIVERB_INPLACEACTIVATE || !site) return E_NOTIMPL;
  if (m_log.hWnd) return S_OK;
  HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&m_ipSite));
  if (FAILED(hr)) return hr;
  if (m_ipSite->CanInPlaceActivate() != S_OK) return E_FAIL;
  m_ipSite->OnInPlaceActivate();
  m_ipSite->GetWindow(&m_log.siteWindow);
  RECT clip;
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof(info);
  hr = m_ipSite->GetWindowContext(&m_frame, &m_doc, &m_log.posRect, &clip, &info);
  if (FAILED(hr)) return hr;
  if (m_frame) m_frame->GetWindow(&m_log.frameWindow);

  VARIANT v;
  m_log.userModeHr = Ambient(site, DISPID_AMBIENT_USERMODE, &v);
  m_log.userMode = v.boolVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_LOCALEID, &v))) m_log.localeId = v.lVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_DISPLAYNAME, &v)) && v.vt == VT_BSTR)
    m_log.displayName.assign(v.bstrVal, ::SysStringLen(v.bstrVal));
  ::VariantClear(&v);
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_FONT, &v)) && v.vt == VT_DISPATCH) {
    IFont* font = nullptr;
    if (SUCCEEDED(v.pdispVal->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font)))) {
      BSTR name = nullptr;
      if (SUCCEEDED(font->get_Name(&name))) m_log.fontName.assign(name, ::SysStringLen(name));
      ::SysFreeString(name);
      font->Release();
    }
  }
  ::VariantClear(&v);
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_BACKCOLOR, &v))) m_log.backColor = v.lVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_FORECOLOR, &v))) m_log.foreColor = v.lVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_MESSAGEREFLECT, &v))) m_log.messageReflect = v.boolVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_SHOWHATCHING, &v))) m_log.showHatching = v.boolVal;
  if (SUCCEEDED(Ambient(site, DISPID_AMBIENT_UIDEAD, &v))) m_log.uiDead = v.boolVal;
  m_log.unknownAmbientHr = Ambient(site, DISPID_AMBIENT_PALETTE, &v);
  ::VariantClear(&v);

  const RECT& r = m_log.posRect;
  m_log.hWnd = ::CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, r.left, r.top,
                                 r.right - r.left, r.bottom - r.top, m_log.siteWindow, nullptr,
                                 ::GetModuleHandleA(nullptr), nullptr);
  if (!m_log.hWnd) return E_FAIL;
  ::SetWindowLongPtrA(m_log.hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_log));
  m_log.hInner = ::CreateWindowExA(0, "Button", "inner", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 2, 2, 40, 16,
                                   m_log.hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(42)),
                                   ::GetModuleHandleA(nullptr), nullptr);
  // The frame keeps the active object; the container must let it go.
  if (m_frame) m_frame->SetActiveObject(this, nullptr);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestControl::InPlaceDeactivate() {
  m_log.calls.push_back("InPlaceDeactivate");
  if (m_log.hWnd) ::DestroyWindow(m_log.hWnd);
  m_log.hWnd = nullptr;
  if (m_frame) m_frame->Release();
  if (m_doc) m_doc->Release();
  m_frame = nullptr;
  m_doc = nullptr;
  if (m_ipSite) {
    m_ipSite->OnInPlaceDeactivate();
    m_ipSite->Release();
    m_ipSite = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                               VARIANT* result, EXCEPINFO* excep, UINT*) {
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  switch (id) {
    case kDispText:
      if (put) {
        if (params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        m_text.assign(params->rgvarg[0].bstrVal, ::SysStringLen(params->rgvarg[0].bstrVal));
        return S_OK;
      }
      result->vt = VT_BSTR;
      result->bstrVal = ::SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
      return S_OK;
    case kDispNumber:
      if (put) {
        if (params->cArgs != 1 || params->rgvarg[0].vt != VT_I4) return DISP_E_TYPEMISMATCH;
        m_number = params->rgvarg[0].lVal;
        return S_OK;
      }
      result->vt = VT_I4;
      result->lVal = m_number;
      return S_OK;
    case kDispJoin:
      if (!(flags & DISPATCH_METHOD) || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
      if (params->rgvarg[1].vt != VT_BSTR || params->rgvarg[0].vt != VT_I2) return DISP_E_TYPEMISMATCH;
      m_log.joinText.assign(params->rgvarg[1].bstrVal, ::SysStringLen(params->rgvarg[1].bstrVal));
      m_log.joinNumber = params->rgvarg[0].iVal;
      if (result) {
        result->vt = VT_I4;
        result->lVal = m_log.joinNumber * 2;
      }
      return S_OK;
    case kDispDenied:
      if (excep) {
        *excep = EXCEPINFO{};
        excep->scode = E_ACCESSDENIED;
        excep->bstrDescription = ::SysAllocString(L"denied");
      }
      return DISP_E_EXCEPTION;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

class CTestFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    CTestControl* c = new CTestControl;
    HRESULT hr = c->QueryInterface(riid, ppv);
    c->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

void ResetTestControl(DWORD miscStatus) {
  static CTestFactory s_factory;
  static bool s_registered = false;
  if (!s_registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &ControlWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    ::RegisterClassA(&wc);
    DWORD cookie = 0;
    ::CoRegisterClassObject(CLSID_TestControl, &s_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    s_registered = true;
  }
  if (g_testControl.heldSite) g_testControl.heldSite->Release();
  g_testControl.heldSite = nullptr;
  g_testControl.controls.clear();
  g_testControl.miscStatus = miscStatus;
}

}  // namespace occtest
