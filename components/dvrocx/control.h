// The viewer control object: one COM object with the interfaces a container
// needs to create, load, site, in-place activate, draw and script a windowed
// control. It works in a container that offers no ambient properties.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "device_link.h"
#include "viewer_window.h"

namespace dvrocx {

class CDvrOcxControl;

// The event source _DDvrOcxEvents. It fires nothing but accepts sinks, as
// containers connect to a control's default source. Lives inside the control
// and shares its reference count.
class CEventPoint final : public IConnectionPoint {
public:
    explicit CEventPoint(CDvrOcxControl &control) : m_control(control) {}
    ~CEventPoint();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer **container) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown *sink, DWORD *cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **connections) override;

private:
    static constexpr int kMaxSinks = 8;
    CDvrOcxControl &m_control;
    IUnknown *m_sinks[kMaxSinks] = {};
};

class CDvrOcxControl final : public IDispatch,
                             public IOleObject,
                             public IOleInPlaceObject,
                             public IOleInPlaceActiveObject,
                             public IOleControl,
                             public IViewObject2,
                             public IPersistStreamInit,
                             public IProvideClassInfo2,
                             public IConnectionPointContainer,
                             private IViewerOwner {
public:
    CDvrOcxControl();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo **typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID lcid,
                                            DISPID *ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *argError) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite *site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite **site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker *moniker) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker **moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject *data, BOOL creation, DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject **data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite *site, LONG index, HWND parent,
                                     LPCRECT posRect) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB **verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID *clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR *userType) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL *size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL *size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink *sink, DWORD *connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA **advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD *status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE *palette) override;

    // IOleWindow (IOleInPlaceObject, IOleInPlaceActiveObject)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND *window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow *window, BOOL frame) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

    // IOleControl
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO *info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG *msg) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // IViewObject2
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void *aspectInfo, DVTARGETDEVICE *device,
                                   HDC targetDev, HDC drawDC, LPCRECTL bounds, LPCRECTL wBounds,
                                   BOOL(STDMETHODCALLTYPE *cont)(ULONG_PTR), ULONG_PTR contArg) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void *aspectInfo, DVTARGETDEVICE *device,
                                          HDC targetDev, LOGPALETTE **colorSet) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void *aspectInfo, DWORD *freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink *sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD *aspects, DWORD *flags, IAdviseSink **sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE *device, LPSIZEL size) override;

    // IPersist, IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER *size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // IProvideClassInfo2
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo **typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID *guid) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint **point) override;

private:
    ~CDvrOcxControl();
    CDvrOcxControl(const CDvrOcxControl &) = delete;
    CDvrOcxControl &operator=(const CDvrOcxControl &) = delete;

    void OnViewerClicked() override;

    HRESULT ActivateInPlace(IOleClientSite *site, HWND parent, LPCRECT posRect, bool uiActivate);
    void ReleaseInPlaceSite();

    // The members of _DDvrOcx.
    HRESULT InvokeDeviceIP(WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argError);
    HRESULT InvokeDevicePort(WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argError);
    HRESULT InvokeSetDeviceIPandPort(WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argError);
    HRESULT InvokeAboutBox(WORD flags, DISPPARAMS *params, VARIANT *result);
    LONG SetDeviceIPandPort(const std::wstring &address, USHORT port);
    void AboutBox();

    // Connection news from the worker thread arrives in a message-only
    // window, so it works also while the control has no face.
    static LRESULT CALLBACK LinkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnLinkMessage(UINT message, WPARAM attempt, LPARAM error);
    void ShowStatus(StatusLine::Kind kind, int error);

    LONG m_nRef = 1;
    bool m_bWinsock = false;

    IOleClientSite *m_pClientSite = nullptr;
    IOleAdviseHolder *m_pOleAdviseHolder = nullptr;
    IAdviseSink *m_pViewAdviseSink = nullptr;
    DWORD m_dwViewAdviseAspects = 0;
    DWORD m_dwViewAdviseFlags = 0;

    // In-place state: the site and frame are held only while active.
    IOleInPlaceSite *m_pInPlaceSite = nullptr;
    IOleInPlaceFrame *m_pFrame = nullptr;
    IOleInPlaceUIWindow *m_pUIWindow = nullptr;
    bool m_bInPlaceActive = false;
    bool m_bUIActive = false;

    SIZEL m_extent;
    bool m_bDirty = false;

    std::wstring m_strDeviceIP;
    LONG m_nDevicePort = 0;

    CViewerWindow m_view;
    CEventPoint m_eventPoint;
    CDeviceLink m_link;
    HWND m_hLinkWnd = nullptr;
    WPARAM m_nAttempt = 0;    // number of the current connection attempt
    std::string m_strLinkHost; // the address as given, for the status line
    USHORT m_nLinkPort = 0;
};

} // namespace dvrocx
