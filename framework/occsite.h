// The site of one hosted control, shared by the two halves of the control
// container: occsite.cpp (the site the control talks to) and occ.cpp (the
// dialog side, which makes and ends the sites).
#pragma once

#include <ocidl.h>

#include <string>
#include <vector>

#include "framework/occ.h"
#include "framework/trace.h"

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
  CControlSite() : m_frame(this) {}

  HRESULT Start(const ControlParams& p);
  void Teardown();
  void End() {
    Teardown();
    Release();
  }

  // The site whose control window is hWnd or holds it as a child, or null.
  static CControlSite* Holding(HWND hWnd);
  // The control's IOleInPlaceActiveObject: the one it announced, or asked for.
  void GetActiveObject(CComPtr<IOleInPlaceActiveObject>& p) {
    if (m_pActiveObject)
      p.Assign(m_pActiveObject);
    else
      p.QueryFrom(m_pObject, IID_IOleInPlaceActiveObject);
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
  HRESULT STDMETHODCALLTYPE SaveObject() override { return NotImplemented("CControlSite::SaveObject"); }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
    if (ppmk) *ppmk = nullptr;
    return NotImplemented("CControlSite::GetMoniker");
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override {
    if (ppContainer) *ppContainer = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override {
    return NotImplemented("CControlSite::RequestNewObjectLayout");
  }

  // IOleWindow
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hParent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
    return NotImplemented("CControlSite::ContextSensitiveHelp");
  }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                             LPRECT lprcPosRect, LPRECT lprcClipRect,
                                             LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return NotImplemented("CControlSite::Scroll"); }
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
    return NotImplemented("CControlSite::GetExtendedControl");
  }
  HRESULT STDMETHODCALLTYPE TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer, DWORD dwFlags) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return NotImplemented("CControlSite::ShowPropertyFrame"); }

  // IDispatch: the ambient properties.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return NotImplemented("CControlSite::GetTypeInfo");
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) override {
    for (UINT i = 0; rgDispId && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult,
                                   EXCEPINFO*, UINT*) override;

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
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override {
      return NotImplemented("CFrame::ContextSensitiveHelp");
    }
    // No toolbars, menus or status line to share.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
      SiteFromFrame(this)->m_pActiveObject.Assign(pActiveObject);
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
      return NotImplemented("CFrame::InsertMenus");
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return NotImplemented("CFrame::RemoveMenus"); }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

   private:
    friend class CControlSite;
    CControlSite* const m_pSite;
  };
  static CControlSite* SiteFromFrame(CFrame* pFrame) { return pFrame->m_pSite; }

  ~CControlSite() = default;
  HRESULT LoadState(const ControlParams& p, bool* pbLoaded);
  IFontDisp* AmbientFont();

  LONG m_cRef = 1;
  CFrame m_frame;
  HWND m_hParent = nullptr;
  RECT m_rcPos{};
  std::wstring m_strName;
  CComPtr<IOleInPlaceObject> m_pInPlaceObject;
  CComPtr<IOleInPlaceActiveObject> m_pActiveObject;
  CComPtr<IFontDisp> m_pFont;
};
