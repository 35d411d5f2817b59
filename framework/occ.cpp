// The ActiveX control container: one site object per control, and the
// dialog side (creation from template items, key translation, teardown).
#include "framework/occ.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "framework/dialog.h"
#include "framework/msgbox.h"

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

template <class T>
void ReleaseAndClear(T*& p) {
  if (p) {
    T* q = p;
    p = nullptr;
    q->Release();
  }
}

// What a site needs to create its control.
struct ControlParams {
  CLSID clsid{};
  HWND hParent = nullptr;
  RECT rc{};  // pixels, parent's client coordinates
  UINT nID = 0;
  DWORD dwStyle = 0;            // WS_VISIBLE, WS_DISABLED, WS_TABSTOP, WS_GROUP
  HWND hInsertAfter = nullptr;  // place in the Z order; null: where the control put it
  std::wstring name;            // the ambient display name
  WORD initMsg = 0;             // 0: no saved state (InitNew)
  std::vector<BYTE> state;
};

class CControlSite;

// Every site alive on this thread, so that a control's window leads to its site.
thread_local std::vector<CControlSite*> t_liveSites;

// One site object per control. The control sees it as its client site,
// in-place site, control site and ambient-property dispatch (one object,
// one identity); the frame it asks for in GetWindowContext is a part of the
// same object that shares its reference count and reaches it through
// SiteFromFrame. The container holds one reference from creation to
// Destroy(); the control holds the others it takes.
class CControlSite final : public COleControlSite,
                           public IOleClientSite,
                           public IOleInPlaceSiteEx,
                           public IOleControlSite,
                           public IDispatch {
 public:
  CControlSite() : m_frame(this) { t_liveSites.push_back(this); }

  HRESULT Start(const ControlParams& p);
  void Teardown();
  void End() {
    Teardown();
    Release();
  }

  static CControlSite* FromWindow(HWND hWnd) {
    if (!hWnd) return nullptr;
    for (CControlSite* s : t_liveSites)
      if (s->m_hWnd == hWnd) return s;
    return nullptr;
  }
  // The site whose control window holds the focus window, or null.
  static CControlSite* HoldingFocus(HWND hFocus) {
    if (!hFocus) return nullptr;
    for (CControlSite* s : t_liveSites)
      if (s->m_hWnd && (s->m_hWnd == hFocus || ::IsChild(s->m_hWnd, hFocus))) return s;
    return nullptr;
  }
  // The control's IOleInPlaceActiveObject, with a reference.
  IOleInPlaceActiveObject* ActiveObject() {
    IOleInPlaceActiveObject* p = m_pActiveObject;
    if (p)
      p->AddRef();
    else if (m_pObject)
      m_pObject->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&p));
    return p;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_cRef)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = ::InterlockedDecrement(&m_cRef);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hParent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                             LPRECT lprcPosRect, LPRECT lprcClipRect,
                                             LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT lprcPosRect) override;

  // IOleInPlaceSiteEx
  HRESULT STDMETHODCALLTYPE OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD) override {
    if (pfNoRedraw) *pfNoRedraw = FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivateEx(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestUIActivate() override { return S_OK; }

  // IOleControlSite
  HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** ppDisp) override {
    if (ppDisp) *ppDisp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer,
                                            DWORD dwFlags) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
    for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*,
                                   VARIANT* pVarResult, EXCEPINFO*, UINT*) override;

 private:
  // The parent window as the control's in-place frame.
  class CFrame final : public IOleInPlaceFrame {
   public:
    explicit CFrame(CControlSite* pSite) : m_pSite(pSite) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      if (!ppv) return E_POINTER;
      if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
          riid == IID_IOleInPlaceFrame) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
      }
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return SiteFromFrame(this)->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return SiteFromFrame(this)->Release(); }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
      if (!phwnd) return E_POINTER;
      *phwnd = ::GetAncestor(SiteFromFrame(this)->m_hParent, GA_ROOT);
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // No toolbars, menus or status line to share.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
      CControlSite* site = SiteFromFrame(this);
      if (pActiveObject) pActiveObject->AddRef();
      ReleaseAndClear(site->m_pActiveObject);
      site->m_pActiveObject = pActiveObject;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    friend class CControlSite;
    CControlSite* const m_pSite;
  };
  static CControlSite* SiteFromFrame(CFrame* pFrame) { return pFrame->m_pSite; }

  ~CControlSite() {
    auto it = std::find(t_liveSites.begin(), t_liveSites.end(), this);
    if (it != t_liveSites.end()) t_liveSites.erase(it);
  }
  HRESULT LoadState(const ControlParams& p, bool* pbLoaded);
  IFontDisp* AmbientFont();

  LONG m_cRef = 1;
  CFrame m_frame;
  HWND m_hParent = nullptr;
  RECT m_rcPos{};
  std::wstring m_strName;
  IOleInPlaceObject* m_pInPlaceObject = nullptr;
  IOleInPlaceActiveObject* m_pActiveObject = nullptr;
  IFontDisp* m_pFont = nullptr;
};

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

HRESULT STDMETHODCALLTYPE CControlSite::GetWindowContext(IOleInPlaceFrame** ppFrame,
                                                         IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                                         LPRECT lprcClipRect,
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

HRESULT STDMETHODCALLTYPE CControlSite::TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer,
                                                        DWORD dwFlags) {
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
  if (FAILED(::OleCreateFontIndirect(&fd, IID_IFontDisp, reinterpret_cast<void**>(&m_pFont))))
    m_pFont = nullptr;
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
      pVarResult->vt = VT_BOOL;
      pVarResult->boolVal = VARIANT_TRUE;
      return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT:
      pVarResult->vt = VT_BOOL;
      pVarResult->boolVal = VARIANT_FALSE;
      return S_OK;
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
  if (p.initMsg == 0 || p.initMsg == kInitNew) {
    IPersistStreamInit* psi = nullptr;
    // A control without IPersistStreamInit needs no initialisation.
    if (FAILED(m_pObject->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&psi))))
      return S_OK;
    HRESULT hr = psi->InitNew();
    psi->Release();
    return hr;
  }
  // Storage records (IPersistStorage) are not offered: the control cannot
  // be loaded.
  if (p.initMsg != kInitLoadFromStream) return E_NOTIMPL;

  IStream* stream = nullptr;
  HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  if (FAILED(hr)) return hr;
  ULONG written = 0;
  hr = stream->Write(p.state.data(), static_cast<ULONG>(p.state.size()), &written);
  LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  if (SUCCEEDED(hr)) {
    IPersistStreamInit* psi = nullptr;
    IPersistStream* ps = nullptr;
    if (SUCCEEDED(m_pObject->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&psi)))) {
      hr = psi->Load(stream);
      psi->Release();
    } else if (SUCCEEDED(m_pObject->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&ps)))) {
      hr = ps->Load(stream);
      ps->Release();
    } else {
      hr = E_NOINTERFACE;
    }
  }
  stream->Release();
  *pbLoaded = SUCCEEDED(hr);
  return hr;
}

HRESULT CControlSite::Start(const ControlParams& p) {
  m_hParent = p.hParent;
  m_rcPos = p.rc;
  m_nID = static_cast<int>(p.nID);
  m_strName = p.name;

  HRESULT hr = EnsureOleInitialized();
  if (SUCCEEDED(hr))
    hr = ::CoCreateInstance(p.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                            reinterpret_cast<void**>(&m_pObject));
  if (FAILED(hr)) return hr;

  // Some controls read ambient properties while they load: they ask for
  // their site first.
  DWORD misc = 0;
  if (FAILED(m_pObject->GetMiscStatus(DVASPECT_CONTENT, &misc))) misc = 0;
  const bool bSiteFirst = (misc & OLEMISC_SETCLIENTSITEFIRST) != 0;
  if (bSiteFirst && FAILED(hr = m_pObject->SetClientSite(this))) return hr;
  bool bLoaded = false;
  if (FAILED(hr = LoadState(p, &bLoaded))) return hr;
  if (!bSiteFirst && FAILED(hr = m_pObject->SetClientSite(this))) return hr;

  // A control that loaded its state keeps the extent it saved; a new one
  // gets the size of its rectangle.
  if (!bLoaded) {
    SIZEL size = PixelsToHimetric(p.rc.right - p.rc.left, p.rc.bottom - p.rc.top);
    m_pObject->SetExtent(DVASPECT_CONTENT, &size);
  }
  if (FAILED(m_pObject->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&m_pDispatch))))
    m_pDispatch = nullptr;

  RECT rc = p.rc;
  hr = m_pObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, m_hParent, &rc);
  if (FAILED(hr)) return hr;
  // Only windowed controls are hosted: the dialog places and finds them by window.
  hr = m_pObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_pInPlaceObject));
  if (FAILED(hr)) return hr;
  if (FAILED(m_pInPlaceObject->GetWindow(&m_hWnd)) || !m_hWnd) {
    m_hWnd = nullptr;
    return E_FAIL;
  }

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
void CControlSite::Teardown() {
  m_hWnd = nullptr;
  if (m_pInPlaceObject) m_pInPlaceObject->InPlaceDeactivate();
  if (m_pObject) {
    m_pObject->Close(OLECLOSE_NOSAVE);
    m_pObject->SetClientSite(nullptr);
  }
  ReleaseAndClear(m_pActiveObject);
  ReleaseAndClear(m_pInPlaceObject);
  ReleaseAndClear(m_pDispatch);
  ReleaseAndClear(m_pObject);
  ReleaseAndClear(m_pFont);
}

CControlSite* AsImpl(COleControlSite* p) { return static_cast<CControlSite*>(p); }

// The controls of one dialog, in template order.
struct CDialogControls {
  std::vector<CControlSite*> sites;
};

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
    itemWnd[i] =
        children.size() == nPlain ? children[k++] : ::GetDlgItem(hDlg, static_cast<int>(tmpl.items[i].id));
  }

  CDialogControls* pCont = new CDialogControls;
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
  CDialogControls* pCont = static_cast<CDialogControls*>(pDlg->m_pCtrlCont);
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
  CControlSite* site = CControlSite::HoldingFocus(::GetFocus());
  if (!site || !::IsChild(pDlg->m_hWnd, site->GetControlWindow())) return FALSE;
  IOleInPlaceActiveObject* active = site->ActiveObject();
  if (!active) return FALSE;
  HRESULT hr = active->TranslateAccelerator(pMsg);
  active->Release();
  return hr == S_OK;
}

}  // namespace

COccManager* DefaultOccManager() {
  static COccManagerImpl s_manager;
  return &s_manager;
}

COleControlSite* COleControlSite::FromWindow(HWND hWnd) { return CControlSite::FromWindow(hWnd); }

void COleControlSite::Destroy() { AsImpl(this)->End(); }

HRESULT COleControlSite::InvokeHelper(DISPID dispid, WORD wFlags, VARIANT* pvarResult, DISPPARAMS* pParams) {
  if (!m_pDispatch) return E_NOINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr = m_pDispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, wFlags, pParams ? pParams : &none,
                                   pvarResult, &excep, &argErr);
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
  if (vt != VT_BSTR && vt != VT_I4 && vt != VT_I2 && vt != VT_BOOL && vt != VT_VARIANT) return E_INVALIDARG;
  VARIANT v;
  ::VariantInit(&v);
  HRESULT hr = InvokeHelper(dispid, DISPATCH_PROPERTYGET, &v, nullptr);
  if (FAILED(hr)) return hr;
  if (vt == VT_VARIANT) {
    VARIANT* out = static_cast<VARIANT*>(pvProp);
    ::VariantClear(out);
    *out = v;
    return S_OK;
  }
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
  switch (vt) {
    case VT_BSTR:
      v.vt = VT_BSTR;
      v.bstrVal = AfxAllocSysString(va_arg(args, const char*));
      if (!v.bstrVal) hr = E_OUTOFMEMORY;
      break;
    case VT_I4:
      v.vt = VT_I4;
      v.lVal = va_arg(args, long);
      break;
    case VT_I2:
      v.vt = VT_I2;
      v.iVal = static_cast<SHORT>(va_arg(args, int));
      break;
    case VT_BOOL:
      v.vt = VT_BOOL;
      v.boolVal = va_arg(args, int) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_VARIANT: {
      const VARIANT* src = va_arg(args, const VARIANT*);
      hr = src ? ::VariantCopy(&v, const_cast<VARIANT*>(src)) : E_POINTER;
      break;
    }
    default:
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

COleControlSite* FindControlSite(CDialog* pDlg, int nID) {
  if (!pDlg) return nullptr;
  if (CDialogControls* pCont = static_cast<CDialogControls*>(pDlg->m_pCtrlCont))
    for (CControlSite* site : pCont->sites)
      if (site->GetID() == nID) return site;
  // A control the dialog's code created itself.
  return pDlg->m_hWnd ? COleControlSite::FromWindow(::GetDlgItem(pDlg->m_hWnd, nID)) : nullptr;
}

HRESULT CreateControl(REFCLSID clsid, const char* pszWindowName, DWORD dwStyle, const RECT& rc, HWND hParent,
                      UINT nID, COleControlSite** ppSite) {
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

void ReportOleFailure(HRESULT hr) {
  char* text = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&text), 0, nullptr);
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
