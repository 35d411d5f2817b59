#include "component_test_support.h"

#include <cstdlib>

#include "dvrocx_ids.h"
#include "tests/support/support.h"

namespace velotest {

std::string PayloadDir()
{
    char path[MAX_PATH * 2] = "";
    DWORD n = GetEnvironmentVariableA("VELO_PAYLOAD_DIR", path, sizeof(path));
    std::string dir;
    if (n > 0 && n < sizeof(path)) {
        dir = path;
    } else {
        GetModuleFileNameA(nullptr, path, sizeof(path));
        dir = path;
        dir = dir.substr(0, dir.find_last_of("\\/") + 1) + VELO_PAYLOAD_REL;
    }
    char full[MAX_PATH * 2] = "";
    GetFullPathNameA(dir.c_str(), sizeof(full), full, nullptr);
    std::string result = full;
    if (!result.empty() && result.back() != '\\')
        result += '\\';
    return result;
}

std::string PayloadPath(const char *file) { return PayloadDir() + file; }

CTempFolder::CTempFolder()
{
    static int s_nCounter = 0;
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof(temp), temp);
    char name[64];
    wsprintfA(name, "velo_components_%lu_%d_%lu", GetCurrentProcessId(), ++s_nCounter, GetTickCount());
    m_path = std::string(temp) + name;
    CreateDirectoryA(m_path.c_str(), nullptr);
    m_path += '\\';
}

CTempFolder::~CTempFolder()
{
    vt::RemoveTree(m_path.substr(0, m_path.size() - 1));  // without its final backslash
}

std::string CTempFolder::CopyPayload(const char *file)
{
    const std::string target = m_path + file;
    CopyFileA(PayloadPath(file).c_str(), target.c_str(), FALSE);
    return target;
}

bool ClassesKeyExists(const std::string &key)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

std::optional<std::string> ClassesValue(const std::string &key, const char *name)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    char value[1024] = "";
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    LONG result = RegQueryValueExA(hKey, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return std::string(value);
}

void DeleteClassesTree(const std::string &key) { RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str()); }

double NowMs()
{
    static LARGE_INTEGER s_frequency = {};
    if (s_frequency.QuadPart == 0)
        QueryPerformanceFrequency(&s_frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(s_frequency.QuadPart);
}

bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs)
{
    const double deadline = NowMs() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (NowMs() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

// ---------------------------------------------------------------- module

CControlModule::CControlModule(const std::string &path) { m_hModule = LoadLibraryA(path.c_str()); }

CControlModule::~CControlModule()
{
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
}

HRESULT CControlModule::Create(REFIID iid, void **object) const
{
    *object = nullptr;
    auto getClassObject = ProcAddress<DllGetClassObjectFn>(m_hModule, "DllGetClassObject");
    if (getClassObject == nullptr)
        return E_NOINTERFACE;
    IClassFactory *factory = nullptr;
    HRESULT hr = getClassObject(CLSID_DvrOcx, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    return hr;
}

HRESULT CControlModule::CanUnloadNow() const { return Call("DllCanUnloadNow"); }

HRESULT CControlModule::Call(const char *entry) const
{
    auto function = ProcAddress<DllEntryFn>(m_hModule, entry);
    return function != nullptr ? function() : E_NOINTERFACE;
}

// ---------------------------------------------------------------- site

CTestSite::CTestSite(int width, int height)
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VeloTestSite";
    RegisterClassExA(&wc);
    RECT frame = {0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    m_hWnd = CreateWindowExA(0, "VeloTestSite", "DvrOcx test container",
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    m_rcPos = {0, 0, width, height};
}

CTestSite::~CTestSite()
{
    if (m_hWnd != nullptr)
        DestroyWindow(m_hWnd);
}

HRESULT STDMETHODCALLTYPE CTestSite::QueryInterface(REFIID iid, void **object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite *>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite *>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE CTestSite::AddRef() { return static_cast<ULONG>(++m_nRef); }

ULONG STDMETHODCALLTYPE CTestSite::Release()
{
    const LONG ref = --m_nRef;
    if (ref == 0)
        delete this;
    return static_cast<ULONG>(ref);
}

HRESULT STDMETHODCALLTYPE CTestSite::GetMoniker(DWORD, DWORD, IMoniker **moniker)
{
    *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CTestSite::GetContainer(IOleContainer **container)
{
    *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE CTestSite::ShowObject()
{
    ++m_nShowObject;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::GetWindow(HWND *window)
{
    *window = m_hWnd;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::CanInPlaceActivate()
{
    ++m_nCanInPlaceActivate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::OnInPlaceActivate()
{
    ++m_nInPlaceActivate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::OnUIActivate()
{
    ++m_nUIActivate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::GetWindowContext(IOleInPlaceFrame **frame, IOleInPlaceUIWindow **doc,
                                                      LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    *frame = nullptr;
    *doc = nullptr;
    *pos = m_rcPos;
    *clip = m_rcPos;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_hWnd;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::OnUIDeactivate(BOOL)
{
    ++m_nUIDeactivate;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTestSite::OnInPlaceDeactivate()
{
    ++m_nInPlaceDeactivate;
    return S_OK;
}

// ---------------------------------------------------------------- hosted control

CHostedControl::CHostedControl(const CControlModule &module, int width, int height)
{
    m_pSite = new CTestSite(width, height);
    if (FAILED(module.Create(IID_IOleObject, reinterpret_cast<void **>(&m_pObject))))
        return;
    m_pObject->SetClientSite(m_pSite);
    IPersistStreamInit *persist = nullptr;
    if (SUCCEEDED(m_pObject->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void **>(&persist)))) {
        persist->InitNew();
        persist->Release();
    }
    m_pObject->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&m_pDispatch));
}

CHostedControl::~CHostedControl()
{
    Close();
    m_pSite->Release();
}

bool CHostedControl::Activate(LONG verb)
{
    return m_pObject != nullptr &&
           m_pObject->DoVerb(verb, nullptr, m_pSite, 0, m_pSite->Window(), &m_pSite->m_rcPos) == S_OK;
}

// The order a container tears a control down in: close (which deactivates
// it), take its site away, drop the references.
void CHostedControl::Close()
{
    if (m_pObject != nullptr) {
        m_pObject->Close(OLECLOSE_NOSAVE);
        m_pObject->SetClientSite(nullptr);
    }
    if (m_pDispatch != nullptr)
        m_pDispatch->Release();
    m_pDispatch = nullptr;
    if (m_pObject != nullptr)
        m_pObject->Release();
    m_pObject = nullptr;
}

HWND CHostedControl::ControlWindow() const
{
    HWND window = nullptr;
    IOleInPlaceObject *inPlace = nullptr;
    if (m_pObject != nullptr &&
        SUCCEEDED(m_pObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void **>(&inPlace)))) {
        inPlace->GetWindow(&window);
        inPlace->Release();
    }
    return window;
}

std::string CHostedControl::StatusText() const
{
    char text[1024] = "";
    HWND status = GetDlgItem(ControlWindow(), 3010);
    if (status != nullptr)
        GetWindowTextA(status, text, sizeof(text));
    return text;
}

bool CHostedControl::ClickButton(const char *caption) const
{
    for (const ChildWindow &child : Descendants(ControlWindow())) {
        char className[32] = "";
        GetClassNameA(child.hwnd, className, sizeof(className));
        if (child.caption == caption && lstrcmpiA(className, "Button") == 0) {
            SendMessageA(child.hwnd, BM_CLICK, 0, 0);
            return true;
        }
    }
    return false;
}

namespace {
BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param)
{
    char caption[256] = "";
    GetWindowTextA(hwnd, caption, sizeof(caption));
    reinterpret_cast<std::vector<ChildWindow> *>(param)->push_back({hwnd, caption, GetDlgCtrlID(hwnd)});
    return TRUE;
}
} // namespace

std::vector<ChildWindow> Descendants(HWND parent)
{
    std::vector<ChildWindow> children;
    if (parent != nullptr)
        EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// ---------------------------------------------------------------- dispatch

HRESULT PutProperty(IDispatch *dispatch, DISPID id, VARIANT value)
{
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &named, 1, 1};
    return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
}

HRESULT GetProperty(IDispatch *dispatch, DISPID id, VARIANT *value)
{
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    VariantInit(value);
    return dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, value, nullptr, nullptr);
}

HRESULT CallSetDeviceIPandPort(IDispatch *dispatch, const wchar_t *address, short port, LONG *result)
{
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    // Arguments go in reverse order: the last parameter first.
    V_VT(&args[0]) = VT_I2;
    V_I2(&args[0]) = port;
    V_VT(&args[1]) = VT_BSTR;
    V_BSTR(&args[1]) = SysAllocString(address);
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr);
    VariantClear(&args[1]);
    if (result != nullptr)
        *result = V_VT(&out) == VT_I4 ? V_I4(&out) : -12345;
    VariantClear(&out);
    return hr;
}

std::wstring GetDeviceIP(IDispatch *dispatch)
{
    VARIANT value;
    if (FAILED(GetProperty(dispatch, 1, &value)) || V_VT(&value) != VT_BSTR)
        return L"<failed>";
    std::wstring text(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    VariantClear(&value);
    return text;
}

LONG GetDevicePort(IDispatch *dispatch)
{
    VARIANT value;
    if (FAILED(GetProperty(dispatch, 2, &value)) || V_VT(&value) != VT_I4)
        return -1;
    return V_I4(&value);
}

// ---------------------------------------------------------------- sockets

CListener::CListener(USHORT port, int backlog)
{
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        listen(m_socket, backlog) != 0) {
        m_nBindError = WSAGetLastError();
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
        return;
    }
    int size = sizeof(address);
    getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &size);
    m_nPort = ntohs(address.sin_port);
    u_long nonBlocking = 1;
    ioctlsocket(m_socket, FIONBIO, &nonBlocking);
}

CListener::~CListener()
{
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
}

SOCKET CListener::Accept(DWORD timeoutMs)
{
    SOCKET accepted = INVALID_SOCKET;
    PumpUntil(
        [&] {
            accepted = TryAccept();
            return accepted != INVALID_SOCKET;
        },
        timeoutMs);
    return accepted;
}

bool WaitForPeerClose(SOCKET s, DWORD timeoutMs)
{
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return PumpUntil(
        [&] {
            char buffer[256];
            const int n = recv(s, buffer, sizeof(buffer), 0);
            if (n == 0)
                return true;
            return n < 0 && WSAGetLastError() != WSAEWOULDBLOCK;
        },
        timeoutMs);
}

} // namespace velotest
