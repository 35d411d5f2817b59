// A windowed ActiveX control as a container sees it: one COM object with the
// interfaces a container needs to create, load, site, in-place activate, draw
// and script it, working in a container that offers no ambient properties.
// A control derives from COleControl, names its class, dispinterface, event
// source and members (DISPID -> handler) in a ControlClass, and gives it a
// face: the window it shows while in-place active.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <initializer_list>
#include <string>

#include "handles.h"
#include "module.h"
#include "ocx_state.h"
#include "trace.h"

namespace dvrocx {

// One interface of an object: QueryInterface for iid hands out object.
struct InterfaceEntry {
  const IID& iid;
  IUnknown* object;
};
// Answers QueryInterface from the entries: the first whose iid matches, with
// a reference added; E_NOINTERFACE (and *object null) when none does.
HRESULT FindInterface(std::initializer_list<InterfaceEntry> entries, REFIID iid, void** object);

// An out-parameter set to value; E_POINTER when there is none.
template <class T>
HRESULT SetOut(T* out, const T& value) {
  if (out == nullptr) return E_POINTER;
  *out = value;
  return S_OK;
}

// An out-parameter for an object that is not given: null, and the answer hr.
template <class T>
HRESULT NullOut(T** out, HRESULT hr) {
  if (out != nullptr) *out = nullptr;
  return hr;
}

// One call of IDispatch::Invoke as a member's handler sees it: params and
// argError are never null, result may be.
struct DispCall {
  WORD flags;
  DISPPARAMS* params;
  VARIANT* result;
  UINT* argError;

  // A method call with `count` parameters: where each one is in rgvarg
  // (index[0..count)), named or positional.
  HRESULT Method(UINT count, int* index) const;
  // A property put: exactly one value, named DISPID_PROPERTYPUT if named.
  HRESULT CheckPut() const;
  // Argument `index` of rgvarg as text or as a long; one that does not
  // convert sets *argError = index and answers DISP_E_TYPEMISMATCH.
  HRESULT Read(UINT index, std::wstring& text) const;
  HRESULT Read(UINT index, LONG& number) const;
  // The result, where the caller asked for one.
  HRESULT Return(const std::wstring& text) const;
  HRESULT Return(LONG number) const;

 private:
  HRESULT Read(UINT index, VARTYPE type, VARIANT& value) const;
};

// The event source. It fires nothing but accepts sinks, as containers
// connect to a control's default source. Lives inside the control and
// shares its reference count.
class CEventPoint final : public IConnectionPoint {
 public:
  CEventPoint(IUnknown& control, const IID& events) : m_control(control), m_events(events) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    return FindInterface({{IID_IUnknown, this}, {IID_IConnectionPoint, this}}, iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_control.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_control.Release(); }
  STDMETHODIMP GetConnectionInterface(IID* iid) override { return SetOut(iid, m_events); }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
    return m_control.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container));
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
    return NullOut(connections, NotImplemented("CEventPoint::EnumConnections"));
  }

 private:
  static constexpr int kMaxSinks = 8;
  IUnknown& m_control;
  const IID& m_events;
  CComPtr<IUnknown> m_sinks[kMaxSinks];
};

class COleControl : public IDispatch,
                    public IOleObject,
                    public IOleInPlaceObject,
                    public IOleInPlaceActiveObject,
                    public IOleControl,
                    public IViewObject2,
                    public IPersistStreamInit,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer {
 public:
  // A member of the dispinterface: its handler, and the names of its
  // parameters (DISPIDs 0, 1, ..., up to a null) if it has any.
  using Handler = HRESULT (COleControl::*)(const DispCall& call);
  struct Member {
    const wchar_t* name;
    DISPID id;
    Handler invoke;
    const wchar_t* const* params = nullptr;
  };
  // A handler of the derived control, for its member table.
  template <class Control>
  static Handler On(HRESULT (Control::*handler)(const DispCall&)) {
    return static_cast<Handler>(handler);
  }

  // What tells one control from another.
  struct ControlClass {
    const CLSID& clsid;
    const IID& dispatch;  // the default dispinterface, served by members
    const IID& events;    // the default source
    DWORD miscStatus;
    const Member* members;
    size_t memberCount;
  };

  explicit COleControl(const ControlClass& controlClass);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return SetOut(count, 1u); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo) override {
    if (index != 0 && typeInfo != nullptr) return NullOut(typeInfo, DISP_E_BADINDEX);
    return LoadOwnTypeInfo(m_class.dispatch, typeInfo);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override { return m_pClientSite.CopyTo(site); }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return NotImplemented("COleControl::SetMoniker"); }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    return NullOut(moniker, NotImplemented("COleControl::GetMoniker"));
  }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return NotImplemented("COleControl::InitFromData"); }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** data) override {
    return NullOut(data, NotImplemented("COleControl::GetClipboardData"));
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent, LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) override { return GetClassID(clsid); }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* userType) override { return NullOut(userType, OLE_S_USEREG); }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
  STDMETHODIMP Unadvise(DWORD connection) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override { return SetOut(status, m_class.miscStatus); }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return NotImplemented("COleControl::SetColorScheme"); }

  // IOleWindow (IOleInPlaceObject, IOleInPlaceActiveObject)
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return NotImplemented("COleControl::ContextSensitiveHelp"); }
  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  STDMETHODIMP ReactivateAndUndo() override { return NotImplemented("COleControl::ReactivateAndUndo"); }
  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG) override { return S_FALSE; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override { return NotImplemented("COleControl::OnMnemonic"); }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device, HDC targetDev, HDC drawDC,
                    LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colorSet) override {
    return NullOut(colorSet, S_FALSE);
  }
  STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override { return NotImplemented("COleControl::Freeze"); }
  STDMETHODIMP Unfreeze(DWORD) override { return NotImplemented("COleControl::Unfreeze"); }
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) override { return GetExtent(aspect, size); }

  // IPersist, IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override { return SetOut(clsid, m_class.clsid); }
  STDMETHODIMP IsDirty() override { return m_bDirty ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** typeInfo) override { return LoadOwnTypeInfo(m_class.clsid, typeInfo); }
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override {
    // Only the default source is known; any other kind gets GUID_NULL.
    const bool source = kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID;
    const HRESULT hr = SetOut(guid, source ? m_class.events : GUID_NULL);
    return SUCCEEDED(hr) && !source ? E_INVALIDARG : hr;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    return NullOut(points, NotImplemented("COleControl::EnumConnectionPoints"));
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (point == nullptr) return E_POINTER;
    if (!IsEqualIID(iid, m_class.events)) return NullOut(point, CONNECT_E_NOCONNECTION);
    return m_eventPoint.QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point));
  }

 protected:
  virtual ~COleControl() = default;

  // The face: a child window of the container, made on in-place
  // activation and destroyed on deactivation; and its picture in any DC.
  virtual HWND FaceWindow() const = 0;
  virtual bool CreateFace(HWND parent, const RECT& rect) = 0;
  virtual void DestroyFace() = 0;
  virtual void DrawFace(HDC dc, const RECT& rect) = 0;
  // Close has deactivated the control; it lets go of what it runs.
  virtual void OnClose() {}

  // The operator clicked into the face: an in-place active control
  // becomes UI active.
  void OnFaceClicked();

  // Get or put of a property kept in value; a put makes the control dirty.
  template <class T>
  HRESULT Property(const DispCall& call, T& value) {
    if (call.flags & DISPATCH_PROPERTYGET) return call.params->cArgs != 0 ? DISP_E_BADPARAMCOUNT : call.Return(value);
    if (!(call.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) return DISP_E_MEMBERNOTFOUND;
    HRESULT hr = call.CheckPut();
    if (SUCCEEDED(hr) && SUCCEEDED(hr = call.Read(0, value))) m_bDirty = true;
    return hr;
  }

 private:
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect, bool uiActivate);

  // Held first and let go last: the module stays while any part of the
  // object is still being torn down.
  struct ModuleLock {
    ModuleLock() { LockModule(); }
    ~ModuleLock() { UnlockModule(); }
  } m_moduleLock;
  const ControlClass& m_class;
  LONG m_nRef = 1;
  CEventPoint m_eventPoint;

  CComPtr<IOleClientSite> m_pClientSite;
  CComPtr<IOleAdviseHolder> m_pOleAdviseHolder;
  CComPtr<IAdviseSink> m_pViewAdviseSink;
  DWORD m_dwViewAdviseAspects = 0;
  DWORD m_dwViewAdviseFlags = 0;

  // In-place state: the site and frame are held only while active.
  CComPtr<IOleInPlaceSite> m_pInPlaceSite;
  CComPtr<IOleInPlaceUIWindow> m_pUIWindow;
  CComPtr<IOleInPlaceFrame> m_pFrame;
  bool m_bInPlaceActive = false;
  bool m_bUIActive = false;

  SIZEL m_extent = {kDefaultExtentX, kDefaultExtentY};
  bool m_bDirty = false;
};

}  // namespace dvrocx
