// The control object: lifetime, its interfaces, IOleObject, in-place
// activation, IOleControl, drawing and the saved state. IDispatch, class
// info and the event source are in ole_dispatch.cpp.
#include "ole_control.h"

namespace dvrocx {
namespace {

// What a read or write of the state came to: the stream's failure, or
// `partial` when fewer than all its bytes went.
HRESULT WholeState(HRESULT hr, const ULONG& moved, HRESULT partial) {
  if (FAILED(hr)) return hr;
  return moved == kOcxStateSize ? S_OK : partial;
}

}  // namespace

COleControl::COleControl(const ControlClass& controlClass)
    : m_class(controlClass), m_eventPoint(*static_cast<IOleObject*>(this), controlClass.events) {}

STDMETHODIMP COleControl::QueryInterface(REFIID iid, void** object) {
  IUnknown *const ole = static_cast<IOleObject*>(this), *const dispatch = static_cast<IDispatch*>(this);
  IUnknown *const inPlace = static_cast<IOleInPlaceObject*>(this), *const view = static_cast<IViewObject2*>(this);
  IUnknown* const persist = static_cast<IPersistStreamInit*>(this);
  IUnknown* const classInfo = static_cast<IProvideClassInfo2*>(this);
  // One line for each interface, with the ones it extends. IPersistStream
  // is the first part of IPersistStreamInit, slot for slot.
  return FindInterface({{IID_IUnknown, ole},
                        {IID_IOleObject, ole},
                        {IID_IDispatch, dispatch},
                        {m_class.dispatch, dispatch},
                        {IID_IOleWindow, inPlace},
                        {IID_IOleInPlaceObject, inPlace},
                        {IID_IOleInPlaceActiveObject, static_cast<IOleInPlaceActiveObject*>(this)},
                        {IID_IOleControl, static_cast<IOleControl*>(this)},
                        {IID_IViewObject, view},
                        {IID_IViewObject2, view},
                        {IID_IPersist, persist},
                        {IID_IPersistStreamInit, persist},
                        {IID_IPersistStream, persist},
                        {IID_IProvideClassInfo, classInfo},
                        {IID_IProvideClassInfo2, classInfo},
                        {IID_IConnectionPointContainer, static_cast<IConnectionPointContainer*>(this)}},
                       iid, object);
}

STDMETHODIMP_(ULONG) COleControl::Release() {
  const LONG ref = InterlockedDecrement(&m_nRef);
  if (ref == 0) delete this;
  return static_cast<ULONG>(ref);
}

// ---------------------------------------------------------------- IOleObject

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site) {
  if (site == nullptr && m_bInPlaceActive) InPlaceDeactivate();
  m_pClientSite.Assign(site);
  return S_OK;
}

STDMETHODIMP COleControl::Close(DWORD saveOption) {
  AddRef();
  InPlaceDeactivate();
  OnClose();
  if (m_bDirty && saveOption == OLECLOSE_SAVEIFDIRTY && m_pClientSite != nullptr)
    TraceFailure(m_pClientSite->SaveObject(), "ocx: IOleClientSite::SaveObject");
  if (m_pOleAdviseHolder != nullptr)
    TraceFailure(m_pOleAdviseHolder->SendOnClose(), "ocx: IOleAdviseHolder::SendOnClose");
  Release();
  return S_OK;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT posRect) {
  switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_SHOW:
      return ActivateInPlace(site, parent, posRect, false);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site, parent, posRect, true);
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (FaceWindow() != nullptr) ShowWindow(FaceWindow(), SW_HIDE);
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    default:
      if (verb > 0) {
        // Unknown positive verbs do the primary verb.
        HRESULT hr = ActivateInPlace(site, parent, posRect, true);
        return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
      }
      return NotImplemented("COleControl::DoVerb of an unknown negative verb");
  }
}

HRESULT COleControl::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect, bool uiActivate) {
  if (site == nullptr) site = m_pClientSite;
  if (site == nullptr) return E_UNEXPECTED;
  AddRef();
  HRESULT hr = S_OK;
  if (!m_bInPlaceActive) {
    hr = m_pInPlaceSite.QueryFrom(site, IID_IOleInPlaceSite);
    if (SUCCEEDED(hr) && m_pInPlaceSite->CanInPlaceActivate() != S_OK) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = m_pInPlaceSite->OnInPlaceActivate();
    if (FAILED(hr)) {
      m_pInPlaceSite.Release();
      Release();
      return hr;
    }
    m_bInPlaceActive = true;

    HWND siteWindow = nullptr;
    if (FAILED(hr = m_pInPlaceSite->GetWindow(&siteWindow)) || siteWindow == nullptr) {
      TraceFailure(hr, "ocx: IOleInPlaceSite::GetWindow");
      siteWindow = parent;
    }
    RECT pos = {0, 0, 0, 0};
    RECT clip = {0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* uiWindow = nullptr;
    if (SUCCEEDED(hr = m_pInPlaceSite->GetWindowContext(&frame, &uiWindow, &pos, &clip, &frameInfo))) {
      m_pFrame.p = frame;
      m_pUIWindow.p = uiWindow;
    } else {
      TraceFailure(hr, "ocx: IOleInPlaceSite::GetWindowContext");
      if (posRect != nullptr) pos = *posRect;
    }
    if (IsRectEmpty(&pos) && posRect != nullptr) pos = *posRect;

    if (siteWindow == nullptr || !CreateFace(siteWindow, pos)) {
      InPlaceDeactivate();
      Release();
      return E_FAIL;
    }
    if (m_pClientSite != nullptr) TraceFailure(m_pClientSite->ShowObject(), "ocx: IOleClientSite::ShowObject");
  } else if (FaceWindow() != nullptr && !IsWindowVisible(FaceWindow())) {
    ShowWindow(FaceWindow(), SW_SHOW);
  }

  if (uiActivate && !m_bUIActive) {
    m_bUIActive = true;
    TraceFailure(m_pInPlaceSite->OnUIActivate(), "ocx: IOleInPlaceSite::OnUIActivate");
    if (FaceWindow() != nullptr && !IsChild(FaceWindow(), GetFocus())) SetFocus(FaceWindow());
    IOleInPlaceActiveObject* active = static_cast<IOleInPlaceActiveObject*>(this);
    if (m_pFrame != nullptr) {
      TraceFailure(m_pFrame->SetActiveObject(active, nullptr), "ocx: IOleInPlaceFrame::SetActiveObject");
      TraceFailure(m_pFrame->SetBorderSpace(nullptr), "ocx: IOleInPlaceFrame::SetBorderSpace");
    }
    if (m_pUIWindow != nullptr) {
      TraceFailure(m_pUIWindow->SetActiveObject(active, nullptr), "ocx: IOleInPlaceUIWindow::SetActiveObject");
      TraceFailure(m_pUIWindow->SetBorderSpace(nullptr), "ocx: IOleInPlaceUIWindow::SetBorderSpace");
    }
  }
  Release();
  return S_OK;
}

void COleControl::OnFaceClicked() {
  if (m_bInPlaceActive && !m_bUIActive)
    TraceFailure(ActivateInPlace(nullptr, nullptr, nullptr, true), "ocx: UI activation on a click");
}

STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs == nullptr) return E_POINTER;
  *verbs = nullptr;
  return OleRegEnumVerbs(m_class.clsid, verbs);
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_INVALIDARG;
  if (size->cx != m_extent.cx || size->cy != m_extent.cy) m_bDirty = true;
  m_extent = *size;
  return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_INVALIDARG;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = m_extent;
  return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (m_pOleAdviseHolder == nullptr) {
    HRESULT hr = CreateOleAdviseHolder(&m_pOleAdviseHolder);
    if (FAILED(hr)) return hr;
  }
  return m_pOleAdviseHolder->Advise(sink, connection);
}

STDMETHODIMP COleControl::Unadvise(DWORD connection) {
  if (m_pOleAdviseHolder == nullptr) return OLE_E_NOCONNECTION;
  return m_pOleAdviseHolder->Unadvise(connection);
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  if (m_pOleAdviseHolder == nullptr) return E_FAIL;
  return m_pOleAdviseHolder->EnumAdvise(advise);
}

// ---------------------------------------------------------------- in place

STDMETHODIMP COleControl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = FaceWindow();
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::InPlaceDeactivate() {
  if (!m_bInPlaceActive) return S_OK;
  AddRef();
  UIDeactivate();
  m_bInPlaceActive = false;
  DestroyFace();
  // Neither the site nor its frame and window are held while the site hears
  // of the deactivation.
  CComPtr<IOleInPlaceSite> site;
  site.p = m_pInPlaceSite.Detach();
  m_pFrame.Release();
  m_pUIWindow.Release();
  if (site != nullptr) TraceFailure(site->OnInPlaceDeactivate(), "ocx: IOleInPlaceSite::OnInPlaceDeactivate");
  site.Release();  // before our own reference, which may be the last one
  Release();
  return S_OK;
}

STDMETHODIMP COleControl::UIDeactivate() {
  if (!m_bUIActive) return S_OK;
  m_bUIActive = false;
  if (m_pUIWindow != nullptr)
    TraceFailure(m_pUIWindow->SetActiveObject(nullptr, nullptr), "ocx: IOleInPlaceUIWindow::SetActiveObject");
  if (m_pFrame != nullptr)
    TraceFailure(m_pFrame->SetActiveObject(nullptr, nullptr), "ocx: IOleInPlaceFrame::SetActiveObject");
  if (m_pInPlaceSite != nullptr)
    TraceFailure(m_pInPlaceSite->OnUIDeactivate(FALSE), "ocx: IOleInPlaceSite::OnUIDeactivate");
  return S_OK;
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT posRect, LPCRECT clipRect) {
  if (posRect == nullptr) return E_INVALIDARG;
  HWND window = FaceWindow();
  if (window == nullptr) return S_OK;
  MoveWindow(window, posRect->left, posRect->top, posRect->right - posRect->left, posRect->bottom - posRect->top, TRUE);
  // Show only the part inside the clip rectangle.
  RECT visible;
  if (clipRect != nullptr && IntersectRect(&visible, posRect, clipRect) && !EqualRect(&visible, posRect)) {
    OffsetRect(&visible, -posRect->left, -posRect->top);
    SetWindowRgn(window, CreateRectRgnIndirect(&visible), TRUE);
  } else {
    SetWindowRgn(window, nullptr, TRUE);
  }
  return S_OK;
}

// ---------------------------------------------------------------- IOleControl

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

// ---------------------------------------------------------------- IViewObject2

STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDC, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (drawDC == nullptr) return E_INVALIDARG;
  RECT rect;
  if (bounds != nullptr) {
    SetRect(&rect, bounds->left, bounds->top, bounds->right, bounds->bottom);
  } else if (FaceWindow() != nullptr) {
    GetClientRect(FaceWindow(), &rect);
  } else {
    return E_INVALIDARG;
  }
  DrawFace(drawDC, rect);
  return S_OK;
}

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  m_pViewAdviseSink.Assign(sink);
  m_dwViewAdviseAspects = aspects;
  m_dwViewAdviseFlags = flags;
  return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = m_dwViewAdviseAspects;
  if (flags != nullptr) *flags = m_dwViewAdviseFlags;
  if (sink != nullptr) m_pViewAdviseSink.CopyTo(sink);
  return S_OK;
}

// ---------------------------------------------------------------- persistence

// Reads exactly the 20 bytes of the state, never more, so whatever follows
// in the container's stream stays where it is.
STDMETHODIMP COleControl::Load(LPSTREAM stream) {
  if (stream == nullptr) return E_POINTER;
  BYTE state[kOcxStateSize];
  ULONG read = 0;
  const HRESULT hr = WholeState(stream->Read(state, kOcxStateSize, &read), read, STG_E_READFAULT);
  if (FAILED(hr)) return hr;
  SIZEL extent;
  if (!ParseOcxState(state, extent)) return STG_E_INVALIDHEADER;
  m_extent = extent;
  m_bDirty = false;
  return S_OK;
}

STDMETHODIMP COleControl::Save(LPSTREAM stream, BOOL clearDirty) {
  if (stream == nullptr) return E_POINTER;
  BYTE state[kOcxStateSize];
  FormatOcxState(m_extent, state);
  ULONG written = 0;
  const HRESULT hr = WholeState(stream->Write(state, kOcxStateSize, &written), written, STG_E_WRITEFAULT);
  if (FAILED(hr)) return hr;
  if (clearDirty) m_bDirty = false;
  return S_OK;
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = kOcxStateSize;
  return S_OK;
}

STDMETHODIMP COleControl::InitNew() {
  m_extent = {kDefaultExtentX, kDefaultExtentY};
  m_bDirty = false;
  return S_OK;
}

}  // namespace dvrocx
