#include "control.h"

#include <cwchar>

#include "dvrocx_ids.h"
#include "module.h"
#include "ocx_state.h"
#include "port.h"
#include "ui_strings.h"

namespace dvrocx {
namespace {

const char kLinkClass[] = "VeloDvrOcxLink";

// Results of SetDeviceIPandPort.
const LONG kStarted = 0;
const LONG kInvalidAddress = 1;
const LONG kInvalidPort = 2;
const LONG kCannotStart = 3;

struct MemberName {
    const wchar_t *name;
    DISPID id;
};
const MemberName kMembers[] = {
    {L"deviceIP", DISPID_DVROCX_DEVICEIP},
    {L"DevicePort", DISPID_DVROCX_DEVICEPORT},
    {L"SetDeviceIPandPort", DISPID_DVROCX_SETDEVICEIPANDPORT},
    {L"AboutBox", DISPID_DVROCX_ABOUTBOX},
};
// Parameter names of SetDeviceIPandPort, by position.
const wchar_t *const kSetParams[] = {L"deviceIP", L"DevicePort"};

std::string Narrow(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr,
                            nullptr);
    return out;
}

// Finds the argument for parameter `position` of a call with `count`
// parameters, named or positional. Returns its index in rgvarg, or -1.
int ArgumentIndex(const DISPPARAMS *params, UINT position)
{
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
        if (params->rgdispidNamedArgs[i] == static_cast<DISPID>(position))
            return static_cast<int>(i);
    }
    const UINT positional = params->cArgs - params->cNamedArgs;
    if (position < positional)
        return static_cast<int>(params->cArgs - 1 - position);
    return -1;
}

} // namespace

// ---------------------------------------------------------------- events

CEventPoint::~CEventPoint()
{
    for (IUnknown *&sink : m_sinks) {
        if (sink != nullptr)
            sink->Release();
        sink = nullptr;
    }
}

HRESULT STDMETHODCALLTYPE CEventPoint::QueryInterface(REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint *>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CEventPoint::AddRef() { return static_cast<IOleObject &>(m_control).AddRef(); }
ULONG STDMETHODCALLTYPE CEventPoint::Release() { return static_cast<IOleObject &>(m_control).Release(); }

HRESULT STDMETHODCALLTYPE CEventPoint::GetConnectionInterface(IID *iid)
{
    if (iid == nullptr)
        return E_POINTER;
    *iid = DIID__DDvrOcxEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventPoint::GetConnectionPointContainer(IConnectionPointContainer **container)
{
    if (container == nullptr)
        return E_POINTER;
    return m_control.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(container));
}

HRESULT STDMETHODCALLTYPE CEventPoint::Advise(IUnknown *sink, DWORD *cookie)
{
    if (sink == nullptr || cookie == nullptr)
        return E_POINTER;
    *cookie = 0;
    IUnknown *events = nullptr;
    if (FAILED(sink->QueryInterface(DIID__DDvrOcxEvents, reinterpret_cast<void **>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&events))))
        return CONNECT_E_CANNOTCONNECT;
    for (int i = 0; i < kMaxSinks; ++i) {
        if (m_sinks[i] == nullptr) {
            m_sinks[i] = events;
            *cookie = static_cast<DWORD>(i + 1);
            return S_OK;
        }
    }
    events->Release();
    return CONNECT_E_ADVISELIMIT;
}

HRESULT STDMETHODCALLTYPE CEventPoint::Unadvise(DWORD cookie)
{
    if (cookie == 0 || cookie > kMaxSinks || m_sinks[cookie - 1] == nullptr)
        return CONNECT_E_NOCONNECTION;
    IUnknown *sink = m_sinks[cookie - 1];
    m_sinks[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CEventPoint::EnumConnections(IEnumConnections **connections)
{
    if (connections != nullptr)
        *connections = nullptr;
    return E_NOTIMPL;
}

// ---------------------------------------------------------------- lifetime

CDvrOcxControl::CDvrOcxControl() : m_view(*this), m_eventPoint(*this)
{
    LockModule();
    m_extent.cx = kDefaultExtentX;
    m_extent.cy = kDefaultExtentY;
    WSADATA data;
    m_bWinsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CDvrOcxControl::~CDvrOcxControl()
{
    m_link.Stop();
    if (m_hLinkWnd != nullptr)
        DestroyWindow(m_hLinkWnd);
    m_view.Destroy();
    ReleaseInPlaceSite();
    if (m_pViewAdviseSink != nullptr)
        m_pViewAdviseSink->Release();
    if (m_pOleAdviseHolder != nullptr)
        m_pOleAdviseHolder->Release();
    if (m_pClientSite != nullptr)
        m_pClientSite->Release();
    if (m_bWinsock)
        WSACleanup();
    UnlockModule();
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::QueryInterface(REFIID iid, void **object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject))
        *object = static_cast<IOleObject *>(this);
    else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID__DDvrOcx))
        *object = static_cast<IDispatch *>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
        *object = static_cast<IOleInPlaceObject *>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        *object = static_cast<IOleInPlaceActiveObject *>(this);
    else if (IsEqualIID(iid, IID_IOleControl))
        *object = static_cast<IOleControl *>(this);
    else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
        *object = static_cast<IViewObject2 *>(this);
    // IPersistStream is the first part of IPersistStreamInit, slot for slot.
    else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit) ||
             IsEqualIID(iid, IID_IPersistStream))
        *object = static_cast<IPersistStreamInit *>(this);
    else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
        *object = static_cast<IProvideClassInfo2 *>(this);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
        *object = static_cast<IConnectionPointContainer *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CDvrOcxControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }

ULONG STDMETHODCALLTYPE CDvrOcxControl::Release()
{
    const LONG ref = InterlockedDecrement(&m_nRef);
    if (ref == 0)
        delete this;
    return static_cast<ULONG>(ref);
}

// ---------------------------------------------------------------- IDispatch

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetTypeInfoCount(UINT *count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetTypeInfo(UINT index, LCID, ITypeInfo **typeInfo)
{
    if (typeInfo == nullptr)
        return E_POINTER;
    *typeInfo = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return LoadOwnTypeInfo(DIID__DDvrOcx, typeInfo);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID,
                                                        DISPID *ids)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (names == nullptr || ids == nullptr)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;

    HRESULT hr = DISP_E_UNKNOWNNAME;
    for (const MemberName &member : kMembers) {
        if (names[0] != nullptr && _wcsicmp(names[0], member.name) == 0) {
            ids[0] = member.id;
            hr = S_OK;
        }
    }
    // Further names are parameter names; only SetDeviceIPandPort has any.
    for (UINT i = 1; i < count; ++i) {
        bool found = false;
        if (ids[0] == DISPID_DVROCX_SETDEVICEIPANDPORT && names[i] != nullptr) {
            for (DISPID p = 0; p < 2; ++p) {
                if (_wcsicmp(names[i], kSetParams[p]) == 0) {
                    ids[i] = p;
                    found = true;
                }
            }
        }
        if (!found)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// A plain switch on the DISPID: ITypeInfo::Invoke cannot call a pure
// dispinterface. There is no stock Enabled (or any other stock) property.
HRESULT STDMETHODCALLTYPE CDvrOcxControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params,
                                                 VARIANT *result, EXCEPINFO *, UINT *argError)
{
    if (!IsEqualIID(iid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (params == nullptr)
        params = &none;
    UINT ignored = 0;
    if (argError == nullptr)
        argError = &ignored;
    // The object may be released by a call it makes (a message box pumps
    // messages); keep it alive until Invoke returns.
    AddRef();
    HRESULT hr;
    switch (id) {
    case DISPID_DVROCX_DEVICEIP:
        hr = InvokeDeviceIP(flags, params, result, argError);
        break;
    case DISPID_DVROCX_DEVICEPORT:
        hr = InvokeDevicePort(flags, params, result, argError);
        break;
    case DISPID_DVROCX_SETDEVICEIPANDPORT:
        hr = InvokeSetDeviceIPandPort(flags, params, result, argError);
        break;
    case DISPID_DVROCX_ABOUTBOX:
        hr = InvokeAboutBox(flags, params, result);
        break;
    default:
        hr = DISP_E_MEMBERNOTFOUND;
        break;
    }
    Release();
    return hr;
}

namespace {

// Checks the argument list of a property put: exactly one value, named
// DISPID_PROPERTYPUT if named at all.
HRESULT CheckPut(const DISPPARAMS *params)
{
    if (params->cArgs != 1)
        return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_PARAMNOTFOUND;
    return S_OK;
}

} // namespace

HRESULT CDvrOcxControl::InvokeDeviceIP(WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argError)
{
    if (flags & DISPATCH_PROPERTYGET) {
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (result != nullptr) {
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocStringLen(m_strDeviceIP.c_str(), static_cast<UINT>(m_strDeviceIP.size()));
            if (V_BSTR(result) == nullptr)
                return E_OUTOFMEMORY;
        }
        return S_OK;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        HRESULT hr = CheckPut(params);
        if (FAILED(hr))
            return hr;
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, &params->rgvarg[0], 0, VT_BSTR))) {
            *argError = 0;
            return DISP_E_TYPEMISMATCH;
        }
        m_strDeviceIP.assign(V_BSTR(&value) != nullptr ? V_BSTR(&value) : L"", SysStringLen(V_BSTR(&value)));
        VariantClear(&value);
        m_bDirty = true;
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CDvrOcxControl::InvokeDevicePort(WORD flags, DISPPARAMS *params, VARIANT *result, UINT *argError)
{
    if (flags & DISPATCH_PROPERTYGET) {
        if (params->cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (result != nullptr) {
            VariantInit(result);
            V_VT(result) = VT_I4;
            V_I4(result) = m_nDevicePort;
        }
        return S_OK;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        HRESULT hr = CheckPut(params);
        if (FAILED(hr))
            return hr;
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantChangeType(&value, &params->rgvarg[0], 0, VT_I4))) {
            *argError = 0;
            return DISP_E_TYPEMISMATCH;
        }
        m_nDevicePort = V_I4(&value);
        m_bDirty = true;
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CDvrOcxControl::InvokeSetDeviceIPandPort(WORD flags, DISPPARAMS *params, VARIANT *result,
                                                 UINT *argError)
{
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 2)
        return DISP_E_BADPARAMCOUNT;
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
        if (params->rgdispidNamedArgs[i] < 0 || params->rgdispidNamedArgs[i] > 1) {
            *argError = i;
            return DISP_E_PARAMNOTFOUND;
        }
    }
    const int addressArg = ArgumentIndex(params, 0);
    const int portArg = ArgumentIndex(params, 1);
    if (addressArg < 0 || portArg < 0 || addressArg == portArg)
        return DISP_E_PARAMNOTOPTIONAL;

    VARIANT address;
    VariantInit(&address);
    if (FAILED(VariantChangeType(&address, &params->rgvarg[addressArg], 0, VT_BSTR))) {
        *argError = static_cast<UINT>(addressArg);
        return DISP_E_TYPEMISMATCH;
    }
    // The port comes in the 16-bit form of port.h.
    VARIANT port;
    VariantInit(&port);
    if (FAILED(VariantChangeType(&port, &params->rgvarg[portArg], 0, VT_I4))) {
        VariantClear(&address);
        *argError = static_cast<UINT>(portArg);
        return DISP_E_TYPEMISMATCH;
    }
    if (!IsControlPort(V_I4(&port))) {
        VariantClear(&address);
        *argError = static_cast<UINT>(portArg);
        return DISP_E_OVERFLOW;
    }
    const std::wstring text(V_BSTR(&address) != nullptr ? V_BSTR(&address) : L"", SysStringLen(V_BSTR(&address)));
    VariantClear(&address);

    const LONG outcome = SetDeviceIPandPort(text, PortFromControl(V_I4(&port)));
    if (result != nullptr) {
        VariantInit(result);
        V_VT(result) = VT_I4;
        V_I4(result) = outcome;
    }
    return S_OK;
}

HRESULT CDvrOcxControl::InvokeAboutBox(WORD flags, DISPPARAMS *params, VARIANT *result)
{
    if (!(flags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 0)
        return DISP_E_BADPARAMCOUNT;
    if (result != nullptr)
        VariantInit(result);
    AboutBox();
    return S_OK;
}

void CDvrOcxControl::AboutBox()
{
    HWND owner = m_view.Handle() != nullptr ? GetAncestor(m_view.Handle(), GA_ROOT) : GetActiveWindow();
    MessageBoxA(owner, m_view.Text(IDS_ABOUT_TEXT).c_str(), m_view.Text(IDS_ABOUT_CAPTION).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

// ---------------------------------------------------------------- network

LONG CDvrOcxControl::SetDeviceIPandPort(const std::wstring &address, USHORT port)
{
    const std::string host = Narrow(address);
    in_addr resolved = {};
    if (!m_bWinsock || !ResolveDeviceAddress(host, resolved)) {
        // The running connection, if any, stays; the operator sees why
        // nothing happened.
        StatusLine status;
        status.kind = StatusLine::kInvalid;
        status.host = host;
        status.port = port;
        m_view.SetStatus(status);
        return kInvalidAddress;
    }
    if (port == 0)
        return kInvalidPort;

    if (m_hLinkWnd == nullptr) {
        if (EnsureWindowClass(kLinkClass, &CDvrOcxControl::LinkWindowProc, 0))
            CreateWindowExA(0, kLinkClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleInstance(), this);
        if (m_hLinkWnd == nullptr)
            return kCannotStart;
    }

    m_strDeviceIP = address;
    m_nDevicePort = port;
    m_strLinkHost = host;
    m_nLinkPort = port;
    ++m_nAttempt; // news of the replaced connection is dropped from now on
    int error = 0;
    if (!m_link.Start(resolved, port, m_hLinkWnd, m_nAttempt, &error)) {
        ShowStatus(StatusLine::kFailed, error);
        return kCannotStart;
    }
    ShowStatus(StatusLine::kConnecting, 0);
    return kStarted;
}

void CDvrOcxControl::ShowStatus(StatusLine::Kind kind, int error)
{
    StatusLine status;
    status.kind = kind;
    status.host = m_strLinkHost;
    status.port = m_nLinkPort;
    status.error = error;
    m_view.SetStatus(status);
}

LRESULT CALLBACK CDvrOcxControl::LinkWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *self = static_cast<CDvrOcxControl *>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams);
        self->m_hLinkWnd = hWnd;
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<CDvrOcxControl *>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self != nullptr) {
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        self->m_hLinkWnd = nullptr;
    } else if (self != nullptr &&
               (message == kMsgLinkConnected || message == kMsgLinkFailed || message == kMsgLinkClosed)) {
        self->OnLinkMessage(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void CDvrOcxControl::OnLinkMessage(UINT message, WPARAM attempt, LPARAM error)
{
    if (attempt != m_nAttempt)
        return;
    if (message == kMsgLinkConnected) {
        ShowStatus(StatusLine::kConnected, 0);
        return;
    }
    // The worker has ended; collect it and close the socket.
    m_link.Stop();
    ShowStatus(message == kMsgLinkFailed ? StatusLine::kFailed : StatusLine::kClosed, static_cast<int>(error));
}

// ---------------------------------------------------------------- IOleObject

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetClientSite(IOleClientSite *site)
{
    if (site == nullptr && m_bInPlaceActive)
        InPlaceDeactivate();
    if (site != nullptr)
        site->AddRef();
    if (m_pClientSite != nullptr)
        m_pClientSite->Release();
    m_pClientSite = site;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetClientSite(IOleClientSite **site)
{
    if (site == nullptr)
        return E_POINTER;
    *site = m_pClientSite;
    if (m_pClientSite != nullptr)
        m_pClientSite->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Close(DWORD saveOption)
{
    AddRef();
    InPlaceDeactivate();
    // A closed control holds no connection.
    m_link.Stop();
    ++m_nAttempt;
    if (m_bDirty && saveOption == OLECLOSE_SAVEIFDIRTY && m_pClientSite != nullptr)
        m_pClientSite->SaveObject();
    if (m_pOleAdviseHolder != nullptr)
        m_pOleAdviseHolder->SendOnClose();
    Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetMoniker(DWORD, IMoniker *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetMoniker(DWORD, DWORD, IMoniker **moniker)
{
    if (moniker != nullptr)
        *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::InitFromData(IDataObject *, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetClipboardData(DWORD, IDataObject **data)
{
    if (data != nullptr)
        *data = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::DoVerb(LONG verb, LPMSG, IOleClientSite *site, LONG, HWND parent,
                                                 LPCRECT posRect)
{
    switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_SHOW:
        return ActivateInPlace(site, parent, posRect, false);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(site, parent, posRect, true);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (m_view.Handle() != nullptr)
            ShowWindow(m_view.Handle(), SW_HIDE);
        return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
        return S_OK;
    default:
        if (verb > 0) {
            // Unknown positive verbs do the primary verb.
            HRESULT hr = ActivateInPlace(site, parent, posRect, true);
            return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
        }
        return E_NOTIMPL;
    }
}

HRESULT CDvrOcxControl::ActivateInPlace(IOleClientSite *site, HWND parent, LPCRECT posRect, bool uiActivate)
{
    if (site == nullptr)
        site = m_pClientSite;
    if (site == nullptr)
        return E_UNEXPECTED;
    AddRef();
    HRESULT hr = S_OK;
    if (!m_bInPlaceActive) {
        IOleInPlaceSite *inPlaceSite = nullptr;
        hr = site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void **>(&inPlaceSite));
        if (SUCCEEDED(hr) && inPlaceSite->CanInPlaceActivate() != S_OK) {
            inPlaceSite->Release();
            hr = E_FAIL;
        }
        if (SUCCEEDED(hr))
            hr = inPlaceSite->OnInPlaceActivate();
        if (FAILED(hr)) {
            Release();
            return hr;
        }
        m_pInPlaceSite = inPlaceSite;
        m_bInPlaceActive = true;

        HWND siteWindow = nullptr;
        if (FAILED(m_pInPlaceSite->GetWindow(&siteWindow)) || siteWindow == nullptr)
            siteWindow = parent;
        RECT pos = {0, 0, 0, 0};
        RECT clip = {0, 0, 0, 0};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        IOleInPlaceFrame *frame = nullptr;
        IOleInPlaceUIWindow *uiWindow = nullptr;
        if (SUCCEEDED(m_pInPlaceSite->GetWindowContext(&frame, &uiWindow, &pos, &clip, &frameInfo))) {
            m_pFrame = frame;
            m_pUIWindow = uiWindow;
        } else if (posRect != nullptr) {
            pos = *posRect;
        }
        if (IsRectEmpty(&pos) && posRect != nullptr)
            pos = *posRect;

        if (siteWindow == nullptr || !m_view.Create(siteWindow, pos)) {
            InPlaceDeactivate();
            Release();
            return E_FAIL;
        }
        if (m_pClientSite != nullptr)
            m_pClientSite->ShowObject();
    } else if (m_view.Handle() != nullptr && !IsWindowVisible(m_view.Handle())) {
        ShowWindow(m_view.Handle(), SW_SHOW);
    }

    if (uiActivate && !m_bUIActive) {
        m_bUIActive = true;
        m_pInPlaceSite->OnUIActivate();
        if (m_view.Handle() != nullptr && !IsChild(m_view.Handle(), GetFocus()))
            SetFocus(m_view.Handle());
        IOleInPlaceActiveObject *active = static_cast<IOleInPlaceActiveObject *>(this);
        if (m_pFrame != nullptr) {
            m_pFrame->SetActiveObject(active, nullptr);
            m_pFrame->SetBorderSpace(nullptr);
        }
        if (m_pUIWindow != nullptr) {
            m_pUIWindow->SetActiveObject(active, nullptr);
            m_pUIWindow->SetBorderSpace(nullptr);
        }
    }
    Release();
    return S_OK;
}

void CDvrOcxControl::ReleaseInPlaceSite()
{
    if (m_pFrame != nullptr)
        m_pFrame->Release();
    m_pFrame = nullptr;
    if (m_pUIWindow != nullptr)
        m_pUIWindow->Release();
    m_pUIWindow = nullptr;
    if (m_pInPlaceSite != nullptr)
        m_pInPlaceSite->Release();
    m_pInPlaceSite = nullptr;
}

void CDvrOcxControl::OnViewerClicked()
{
    if (m_bInPlaceActive && !m_bUIActive)
        ActivateInPlace(nullptr, nullptr, nullptr, true);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::EnumVerbs(IEnumOLEVERB **verbs)
{
    if (verbs == nullptr)
        return E_POINTER;
    *verbs = nullptr;
    return OleRegEnumVerbs(CLSID_DvrOcx, verbs);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Update() { return S_OK; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::IsUpToDate() { return S_OK; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetUserClassID(CLSID *clsid)
{
    if (clsid == nullptr)
        return E_POINTER;
    *clsid = CLSID_DvrOcx;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetUserType(DWORD, LPOLESTR *userType)
{
    if (userType != nullptr)
        *userType = nullptr;
    return OLE_S_USEREG;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetExtent(DWORD aspect, SIZEL *size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (size == nullptr)
        return E_INVALIDARG;
    if (size->cx != m_extent.cx || size->cy != m_extent.cy)
        m_bDirty = true;
    m_extent = *size;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetExtent(DWORD aspect, SIZEL *size)
{
    if (size == nullptr)
        return E_INVALIDARG;
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Advise(IAdviseSink *sink, DWORD *connection)
{
    if (m_pOleAdviseHolder == nullptr) {
        HRESULT hr = CreateOleAdviseHolder(&m_pOleAdviseHolder);
        if (FAILED(hr))
            return hr;
    }
    return m_pOleAdviseHolder->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Unadvise(DWORD connection)
{
    if (m_pOleAdviseHolder == nullptr)
        return OLE_E_NOCONNECTION;
    return m_pOleAdviseHolder->Unadvise(connection);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::EnumAdvise(IEnumSTATDATA **advise)
{
    if (advise == nullptr)
        return E_POINTER;
    *advise = nullptr;
    if (m_pOleAdviseHolder == nullptr)
        return E_FAIL;
    return m_pOleAdviseHolder->EnumAdvise(advise);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetMiscStatus(DWORD, DWORD *status)
{
    if (status == nullptr)
        return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetColorScheme(LOGPALETTE *) { return E_NOTIMPL; }

// ---------------------------------------------------------------- in place

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetWindow(HWND *window)
{
    if (window == nullptr)
        return E_POINTER;
    *window = m_view.Handle();
    return *window != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::InPlaceDeactivate()
{
    if (!m_bInPlaceActive)
        return S_OK;
    AddRef();
    UIDeactivate();
    m_bInPlaceActive = false;
    m_view.Destroy();
    IOleInPlaceSite *site = m_pInPlaceSite;
    m_pInPlaceSite = nullptr;
    ReleaseInPlaceSite();
    if (site != nullptr) {
        site->OnInPlaceDeactivate();
        site->Release();
    }
    Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::UIDeactivate()
{
    if (!m_bUIActive)
        return S_OK;
    m_bUIActive = false;
    if (m_pUIWindow != nullptr)
        m_pUIWindow->SetActiveObject(nullptr, nullptr);
    if (m_pFrame != nullptr)
        m_pFrame->SetActiveObject(nullptr, nullptr);
    if (m_pInPlaceSite != nullptr)
        m_pInPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetObjectRects(LPCRECT posRect, LPCRECT clipRect)
{
    if (posRect == nullptr)
        return E_INVALIDARG;
    HWND window = m_view.Handle();
    if (window == nullptr)
        return S_OK;
    m_view.Move(*posRect);
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

HRESULT STDMETHODCALLTYPE CDvrOcxControl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow *, BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------- IOleControl

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetControlInfo(CONTROLINFO *info)
{
    if (info == nullptr)
        return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::OnMnemonic(MSG *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::FreezeEvents(BOOL) { return S_OK; }

// ---------------------------------------------------------------- IViewObject2

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Draw(DWORD aspect, LONG, void *, DVTARGETDEVICE *, HDC, HDC drawDC,
                                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE *)(ULONG_PTR),
                                               ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (drawDC == nullptr)
        return E_INVALIDARG;
    RECT rect;
    if (bounds != nullptr) {
        SetRect(&rect, bounds->left, bounds->top, bounds->right, bounds->bottom);
    } else if (m_view.Handle() != nullptr) {
        GetClientRect(m_view.Handle(), &rect);
    } else {
        return E_INVALIDARG;
    }
    m_view.Draw(drawDC, rect, true);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetColorSet(DWORD, LONG, void *, DVTARGETDEVICE *, HDC,
                                                      LOGPALETTE **colorSet)
{
    if (colorSet != nullptr)
        *colorSet = nullptr;
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Freeze(DWORD, LONG, void *, DWORD *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CDvrOcxControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CDvrOcxControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink *sink)
{
    if (sink != nullptr)
        sink->AddRef();
    if (m_pViewAdviseSink != nullptr)
        m_pViewAdviseSink->Release();
    m_pViewAdviseSink = sink;
    m_dwViewAdviseAspects = aspects;
    m_dwViewAdviseFlags = flags;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetAdvise(DWORD *aspects, DWORD *flags, IAdviseSink **sink)
{
    if (aspects != nullptr)
        *aspects = m_dwViewAdviseAspects;
    if (flags != nullptr)
        *flags = m_dwViewAdviseFlags;
    if (sink != nullptr) {
        *sink = m_pViewAdviseSink;
        if (m_pViewAdviseSink != nullptr)
            m_pViewAdviseSink->AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE *, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

// ---------------------------------------------------------------- persistence

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetClassID(CLSID *clsid)
{
    if (clsid == nullptr)
        return E_POINTER;
    *clsid = CLSID_DvrOcx;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::IsDirty() { return m_bDirty ? S_OK : S_FALSE; }

// Reads exactly the 20 bytes of the state, never more, so whatever follows
// in the container's stream stays where it is.
HRESULT STDMETHODCALLTYPE CDvrOcxControl::Load(LPSTREAM stream)
{
    if (stream == nullptr)
        return E_POINTER;
    BYTE state[kOcxStateSize];
    ULONG read = 0;
    HRESULT hr = stream->Read(state, kOcxStateSize, &read);
    if (FAILED(hr))
        return hr;
    if (read != kOcxStateSize)
        return STG_E_READFAULT;
    SIZEL extent;
    if (!ParseOcxState(state, extent))
        return STG_E_INVALIDHEADER;
    m_extent = extent;
    m_bDirty = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::Save(LPSTREAM stream, BOOL clearDirty)
{
    if (stream == nullptr)
        return E_POINTER;
    BYTE state[kOcxStateSize];
    FormatOcxState(m_extent, state);
    ULONG written = 0;
    HRESULT hr = stream->Write(state, kOcxStateSize, &written);
    if (FAILED(hr))
        return hr;
    if (written != kOcxStateSize)
        return STG_E_WRITEFAULT;
    if (clearDirty)
        m_bDirty = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetSizeMax(ULARGE_INTEGER *size)
{
    if (size == nullptr)
        return E_POINTER;
    size->QuadPart = kOcxStateSize;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::InitNew()
{
    m_extent.cx = kDefaultExtentX;
    m_extent.cy = kDefaultExtentY;
    m_bDirty = false;
    return S_OK;
}

// ---------------------------------------------------------------- class info, events

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetClassInfo(ITypeInfo **typeInfo)
{
    return LoadOwnTypeInfo(CLSID_DvrOcx, typeInfo);
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::GetGUID(DWORD kind, GUID *guid)
{
    if (guid == nullptr)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID__DDvrOcxEvents;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::EnumConnectionPoints(IEnumConnectionPoints **points)
{
    if (points != nullptr)
        *points = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CDvrOcxControl::FindConnectionPoint(REFIID iid, IConnectionPoint **point)
{
    if (point == nullptr)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, DIID__DDvrOcxEvents))
        return CONNECT_E_NOCONNECTION;
    *point = &m_eventPoint;
    m_eventPoint.AddRef();
    return S_OK;
}

} // namespace dvrocx
