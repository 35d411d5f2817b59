// The control site: the object a hosted control talks back to, and the
// calls the program makes through it (see occ.h).
#include "framework/occsite.h"

#include <olectl.h>

#include <cmath>
#include <cstdarg>

namespace {

// Records of a template's init data: how a control gets its saved state.
const WORD kInitLoadFromStream = 0x0376;
const WORD kInitNew = 0x0378;

std::wstring Widen(const char* s) {
  if (!s || !*s) return std::wstring();
  int n = ::MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s, -1, &w[0], n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

std::string Narrow(const wchar_t* w, UINT len) {
  if (!w || len == 0) return std::string();
  int n = ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(len), &s[0], n, nullptr, nullptr);
  return s;
}

// Controls need OLE on the thread that hosts them; it stays initialised
// for the rest of the thread's life, as an application's would.
HRESULT EnsureOleInitialized() {
  static thread_local bool s_bDone = false;
  if (s_bDone) return S_OK;
  HRESULT hr = ::OleInitialize(nullptr);
  if (FAILED(hr)) return hr;
  s_bDone = true;
  return S_OK;
}

int PixelsPerInch(bool bVertical) {
  HDC hdc = ::GetDC(nullptr);
  int n = ::GetDeviceCaps(hdc, bVertical ? LOGPIXELSY : LOGPIXELSX);
  ::ReleaseDC(nullptr, hdc);
  return n > 0 ? n : 96;
}

// HIMETRIC is 0.01 mm: 2540 to the inch.
SIZEL PixelsToHimetric(LONG cx, LONG cy) {
  return SIZEL{::MulDiv(cx, 2540, PixelsPerInch(false)), ::MulDiv(cy, 2540, PixelsPerInch(true))};
}

// A control's window leads to its site through this window property.
const char kSiteProp[] = "VeloOccSite";

}  // namespace

CControlSite* CControlSite::Holding(HWND hWnd) {
  for (HWND h = hWnd; h; h = (::GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h) : nullptr)
    if (COleControlSite* site = COleControlSite::FromWindow(h)) return static_cast<CControlSite*>(site);
  return nullptr;
}

HRESULT STDMETHODCALLTYPE CControlSite::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IOleClientSite)
    *ppv = static_cast<IOleClientSite*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite || riid == IID_IOleInPlaceSiteEx)
    *ppv = static_cast<IOleInPlaceSiteEx*>(this);
  else if (riid == IID_IOleControlSite)
    *ppv = static_cast<IOleControlSite*>(this);
  else if (riid == IID_IDispatch)
    *ppv = static_cast<IDispatch*>(this);
  else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                                         LPRECT lprcPosRect, LPRECT lprcClipRect,
                                                         LPOLEINPLACEFRAMEINFO lpFrameInfo) {
  if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect) return E_POINTER;
  *ppFrame = &m_frame;
  m_frame.AddRef();
  *ppDoc = nullptr;  // a dialog has no document window apart from its frame
  *lprcPosRect = m_rcPos;
  ::GetClientRect(m_hParent, lprcClipRect);
  if (lpFrameInfo) {
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = ::GetAncestor(m_hParent, GA_ROOT);
    lpFrameInfo->haccel = nullptr;
    lpFrameInfo->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CControlSite::OnPosRectChange(LPCRECT lprcPosRect) {
  if (!lprcPosRect) return E_POINTER;
  m_rcPos = *lprcPosRect;
  if (m_pInPlaceObject) {
    RECT clip;
    ::GetClientRect(m_hParent, &clip);
    m_pInPlaceObject->SetObjectRects(&m_rcPos, &clip);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CControlSite::TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) {
  if (!pPtlHimetric || !pPtfContainer) return E_POINTER;
  const float dx = static_cast<float>(PixelsPerInch(false)), dy = static_cast<float>(PixelsPerInch(true));
  if (dwFlags & XFORMCOORDS_HIMETRICTOCONTAINER) {
    pPtfContainer->x = static_cast<float>(pPtlHimetric->x) * dx / 2540.0f;
    pPtfContainer->y = static_cast<float>(pPtlHimetric->y) * dy / 2540.0f;
  } else if (dwFlags & XFORMCOORDS_CONTAINERTOHIMETRIC) {
    pPtlHimetric->x = std::lround(pPtfContainer->x * 2540.0f / dx);
    pPtlHimetric->y = std::lround(pPtfContainer->y * 2540.0f / dy);
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

IFontDisp* CControlSite::AmbientFont() {
  if (m_pFont) return m_pFont;
  HFONT hFont = reinterpret_cast<HFONT>(::SendMessageA(m_hParent, WM_GETFONT, 0, 0));
  if (!hFont) hFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW lf{};
  if (!::GetObjectW(hFont, sizeof(lf), &lf)) return nullptr;
  FONTDESC fd{};
  fd.cbSizeofstruct = sizeof(fd);
  fd.lpstrName = lf.lfFaceName;
  // Points in currency units (1/10000): pixels * 72 / dpi.
  LONGLONG px = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
  fd.cySize.int64 = px * 72 * 10000 / PixelsPerInch(true);
  fd.sWeight = static_cast<SHORT>(lf.lfWeight);
  fd.sCharset = lf.lfCharSet;
  fd.fItalic = lf.lfItalic != 0;
  fd.fUnderline = lf.lfUnderline != 0;
  fd.fStrikethrough = lf.lfStrikeOut != 0;
  if (HRESULT hr = ::OleCreateFontIndirect(&fd, IID_IFontDisp, m_pFont.ppv()); FAILED(hr)) {
    Trace("occ: no ambient font (0x%08lX)\n", static_cast<unsigned long>(hr));
    m_pFont.Release();
  }
  return m_pFont;
}

HRESULT STDMETHODCALLTYPE CControlSite::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*,
                                               VARIANT* pVarResult, EXCEPINFO*, UINT*) {
  if (!(wFlags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!pVarResult) return E_POINTER;
  ::VariantInit(pVarResult);
  switch (dispIdMember) {
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT: {
      const bool on = dispIdMember == DISPID_AMBIENT_USERMODE || dispIdMember == DISPID_AMBIENT_SUPPORTSMNEMONICS;
      pVarResult->vt = VT_BOOL;
      pVarResult->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case DISPID_AMBIENT_LOCALEID:
      pVarResult->vt = VT_I4;
      pVarResult->lVal = static_cast<LONG>(::GetUserDefaultLCID());
      return S_OK;
    case DISPID_AMBIENT_DISPLAYNAME:
      pVarResult->vt = VT_BSTR;
      pVarResult->bstrVal = ::SysAllocString(m_strName.c_str());
      return pVarResult->bstrVal ? S_OK : E_OUTOFMEMORY;
    case DISPID_AMBIENT_FONT:
      if (IFontDisp* font = AmbientFont()) {
        font->AddRef();
        pVarResult->vt = VT_DISPATCH;
        pVarResult->pdispVal = font;
        return S_OK;
      }
      return DISP_E_MEMBERNOTFOUND;
    case DISPID_AMBIENT_BACKCOLOR:
      pVarResult->vt = VT_I4;
      pVarResult->lVal = static_cast<LONG>(::GetSysColor(COLOR_BTNFACE));
      return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
      pVarResult->vt = VT_I4;
      pVarResult->lVal = static_cast<LONG>(::GetSysColor(COLOR_WINDOWTEXT));
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT CControlSite::LoadState(const ControlParams& p, bool* pbLoaded) {
  *pbLoaded = false;
  CComPtr<IPersistStreamInit> psi;
  if (p.initMsg == 0 || p.initMsg == kInitNew) {
    // A control without IPersistStreamInit needs no initialisation.
    return FAILED(psi.QueryFrom(m_pObject, IID_IPersistStreamInit)) ? S_OK : psi->InitNew();
  }
  // Storage records (IPersistStorage) are not offered: the control cannot
  // be loaded.
  if (p.initMsg != kInitLoadFromStream) return NotImplemented("loading a control from a storage record");

  CComPtr<IStream> stream;
  HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(p.state.data(), static_cast<ULONG>(p.state.size()), &written);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) {
    CComPtr<IPersistStream> ps;
    if (SUCCEEDED(psi.QueryFrom(m_pObject, IID_IPersistStreamInit)))
      hr = psi->Load(stream);
    else if (SUCCEEDED(ps.QueryFrom(m_pObject, IID_IPersistStream)))
      hr = ps->Load(stream);
    else
      hr = E_NOINTERFACE;
  }
  *pbLoaded = SUCCEEDED(hr);
  return hr;
}

HRESULT CControlSite::Start(const ControlParams& p) {
  m_hParent = p.hParent;
  m_rcPos = p.rc;
  m_nID = static_cast<int>(p.nID);
  m_strName = p.name;

  HRESULT hr = EnsureOleInitialized();
  if (SUCCEEDED(hr)) hr = ::CoCreateInstance(p.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, m_pObject.ppv());
  if (FAILED(hr)) return hr;

  // Some controls read ambient properties while they load: they ask for
  // their site first.
  DWORD misc = 0;
  if (HRESULT hr = m_pObject->GetMiscStatus(DVASPECT_CONTENT, &misc); FAILED(hr)) {
    Trace("occ: no misc status (0x%08lX)\n", static_cast<unsigned long>(hr));
    misc = 0;
  }
  const bool bSiteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (bSiteFirst && FAILED(hr = m_pObject->SetClientSite(this))) return hr;
  bool bLoaded = false;
  if (FAILED(hr = LoadState(p, &bLoaded))) return hr;
  if (!bSiteFirst && FAILED(hr = m_pObject->SetClientSite(this))) return hr;

  // A control that loaded its state keeps the extent it saved; a new one
  // gets the size of its rectangle.
  if (!bLoaded) {
    SIZEL size = PixelsToHimetric(p.rc.right - p.rc.left, p.rc.bottom - p.rc.top);
    if (HRESULT hr = m_pObject->SetExtent(DVASPECT_CONTENT, &size); FAILED(hr))
      Trace("occ: the control kept its extent (0x%08lX)\n", static_cast<unsigned long>(hr));
  }
  m_pDispatch.QueryFrom(m_pObject, IID_IDispatch);

  RECT rc = p.rc;
  hr = m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hParent, &rc);
  if (FAILED(hr)) return hr;
  // Only windowed controls are hosted: the dialog places and finds them by window.
  hr = m_pInPlaceObject.QueryFrom(m_pObject, IID_IOleInPlaceObject);
  if (FAILED(hr)) return hr;
  if (FAILED(m_pInPlaceObject->GetWindow(&m_hWnd)) || !m_hWnd) {
    m_hWnd = nullptr;
    return E_FAIL;
  }
  ::SetPropA(m_hWnd, kSiteProp, static_cast<COleControlSite*>(this));

  ::SetWindowLongPtrA(m_hWnd, GWLP_ID, static_cast<LONG_PTR>(p.nID));
  LONG_PTR style = ::GetWindowLongPtrA(m_hWnd, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(WS_TABSTOP | WS_GROUP)) |
          static_cast<LONG_PTR>(p.dwStyle & (WS_TABSTOP | WS_GROUP));
  ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, style);
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  if (!p.hInsertAfter) flags |= SWP_NOZORDER;
  if (!(p.dwStyle & WS_VISIBLE))
    flags |= SWP_HIDEWINDOW;
  else if (!(style & WS_VISIBLE))
    flags |= SWP_SHOWWINDOW;
  ::SetWindowPos(m_hWnd, p.hInsertAfter, 0, 0, 0, 0, flags);
  if (p.dwStyle & WS_DISABLED) ::EnableWindow(m_hWnd, FALSE);
  return S_OK;
}

// Teardown, in this order:
//  1. in-place deactivate: the control destroys its window and gives back
//     the in-place site and frame while its site can still answer;
//  2. Close(OLECLOSE_NOSAVE): the running object stops; its state lives in
//     the template, so there is nothing to save, and Close may still call
//     the client site;
//  3. SetClientSite(NULL): the control drops its references to the site,
//     which breaks the cycle site -> control -> site;
//  4. our own references to the control go, and with the last one the
//     object; then the ambient font. The site itself goes with its last
//     reference (the container's, in End()).
// The references are released here, at this point of the teardown, rather
// than with the site.
void CControlSite::Teardown() {
  if (m_hWnd) ::RemovePropA(m_hWnd, kSiteProp);
  m_hWnd = nullptr;
  if (m_pInPlaceObject) m_pInPlaceObject->InPlaceDeactivate();
  if (m_pObject) {
    m_pObject->Close(OLECLOSE_NOSAVE);
    m_pObject->SetClientSite(nullptr);
  }
  m_pActiveObject.Release();
  m_pInPlaceObject.Release();
  m_pDispatch.Release();
  m_pObject.Release();
  m_pFont.Release();
}

COleControlSite* COleControlSite::FromWindow(HWND hWnd) {
  return hWnd ? static_cast<COleControlSite*>(::GetPropA(hWnd, kSiteProp)) : nullptr;
}

void COleControlSite::Destroy() { static_cast<CControlSite*>(this)->End(); }

HRESULT COleControlSite::InvokeHelper(DISPID dispid, WORD wFlags, VARIANT* pvarResult, DISPPARAMS* pParams) {
  if (!m_pDispatch) return E_NOINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr = m_pDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, pParams ? pParams : &none, pvarResult,
                                   &excep, &argErr);
  if (hr == DISP_E_EXCEPTION) {
    // The control's own error code is the one the caller can act on.
    if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
    hr = excep.scode ? excep.scode : E_FAIL;
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
  }
  return hr;
}

HRESULT COleControlSite::GetProperty(DISPID dispid, VARTYPE vt, void* pvProp) {
  if (!pvProp) return E_POINTER;
  if (vt != VT_BSTR && vt != VT_I4 && vt != VT_I2 && vt != VT_BOOL) return E_INVALIDARG;
  VARIANT v;
  ::VariantInit(&v);
  HRESULT hr = InvokeHelper(dispid, DISPATCH_PROPERTYGET, &v, nullptr);
  if (FAILED(hr)) return hr;
  VARIANT c;
  ::VariantInit(&c);
  hr = ::VariantChangeType(&c, &v, 0, vt);
  ::VariantClear(&v);
  if (FAILED(hr)) return hr;
  switch (vt) {
    case VT_BSTR:
      *static_cast<std::string*>(pvProp) = Narrow(c.bstrVal, ::SysStringLen(c.bstrVal));
      break;
    case VT_I4:
      *static_cast<long*>(pvProp) = c.lVal;
      break;
    case VT_I2:
      *static_cast<short*>(pvProp) = c.iVal;
      break;
    default:  // VT_BOOL
      *static_cast<BOOL*>(pvProp) = c.boolVal != VARIANT_FALSE;
      break;
  }
  ::VariantClear(&c);
  return S_OK;
}

HRESULT COleControlSite::SetProperty(DISPID dispid, VARTYPE vt, ...) {
  VARIANT v;
  ::VariantInit(&v);
  HRESULT hr = S_OK;
  va_list args;
  va_start(args, vt);
  v.vt = vt;
  switch (vt) {
    case VT_BSTR:
      v.bstrVal = AfxAllocSysString(va_arg(args, const char*));
      if (!v.bstrVal) hr = E_OUTOFMEMORY;
      break;
    case VT_I4:
      v.lVal = va_arg(args, long);
      break;
    case VT_I2:
      v.iVal = static_cast<SHORT>(va_arg(args, int));
      break;
    case VT_BOOL:
      v.boolVal = va_arg(args, int) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      v.vt = VT_EMPTY;
      hr = E_INVALIDARG;
      break;
  }
  va_end(args);
  if (SUCCEEDED(hr)) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS dp{&v, &named, 1, 1};
    hr = InvokeHelper(dispid, DISPATCH_PROPERTYPUT, nullptr, &dp);
  }
  ::VariantClear(&v);
  return hr;
}

HRESULT CreateControl(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rc, HWND hParent, UINT nID,
                      COleControlSite** ppSite) {
  if (!ppSite) return E_POINTER;
  *ppSite = nullptr;
  if (!hParent) return E_INVALIDARG;
  ControlParams p;
  p.clsid = clsid;
  p.hParent = hParent;
  p.rc = rc;
  p.nID = nID;
  p.dwStyle = dwStyle;
  p.name = Widen(pszWindowName);
  CControlSite* site = new CControlSite;
  HRESULT hr = site->Start(p);
  if (FAILED(hr)) {
    site->End();
    return hr;
  }
  *ppSite = site;
  return S_OK;
}

BSTR AfxAllocSysString(const char* text) {
  std::wstring w = Widen(text);
  return ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}
