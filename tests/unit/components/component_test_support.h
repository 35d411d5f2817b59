// Shared helpers of the component tests: where the built payloads are, a
// throwaway folder with copies of them, registry and message-pump helpers,
// the control loaded straight from its file, and a minimal container site
// that offers no ambient properties.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velotest {

// Folder of the payloads built next to this test (VELO_PAYLOAD_DIR in the
// environment overrides it), with a trailing '\'.
std::string PayloadDir();
std::string PayloadPath(const char *file);

// A fresh folder under %TEMP%, removed with its files when destroyed.
class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder &) = delete;
    CTempFolder &operator=(const CTempFolder &) = delete;
    const std::string &Path() const { return m_path; } // with trailing '\'
    // Copies a payload here; returns the full path of the copy.
    std::string CopyPayload(const char *file);

private:
    std::string m_path;
};

// Entry points are cast once, to a type that names their calling convention.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
typedef HRESULT(STDAPICALLTYPE *DllGetClassObjectFn)(REFCLSID, REFIID, void **);
typedef HRESULT(STDAPICALLTYPE *DllEntryFn)();

// HKEY_CLASSES_ROOT helpers; a missing key or value gives nullopt / false.
bool ClassesKeyExists(const std::string &key);
std::optional<std::string> ClassesValue(const std::string &key, const char *name = nullptr);
// Deletes a key with everything below it (test clean-up only).
void DeleteClassesTree(const std::string &key);

// Runs the message loop until done() holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs);
void PumpFor(DWORD ms);

double NowMs();

// DvrOcx.ocx loaded from a file, used without any registration.
class CControlModule {
public:
    explicit CControlModule(const std::string &path);
    ~CControlModule();
    HMODULE Handle() const { return m_hModule; }
    HRESULT Create(REFIID iid, void **object) const;
    HRESULT CanUnloadNow() const;
    HRESULT Call(const char *entry) const; // DllRegisterServer and friends

private:
    HMODULE m_hModule = nullptr;
};

// A container site with a window of its own: IOleClientSite and
// IOleInPlaceSite only, no frame, no ambient properties. It counts what the
// control asks of it.
class CTestSite final : public IOleClientSite, public IOleInPlaceSite {
public:
    CTestSite(int width, int height);
    ~CTestSite();

    HWND Window() const { return m_hWnd; }
    RECT m_rcPos = {};
    LONG RefCount() const { return m_nRef; }
    int m_nCanInPlaceActivate = 0, m_nInPlaceActivate = 0, m_nInPlaceDeactivate = 0;
    int m_nUIActivate = 0, m_nUIDeactivate = 0, m_nShowObject = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker **moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer **container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow, IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND *window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame **frame, IOleInPlaceUIWindow **doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

private:
    LONG m_nRef = 1;
    HWND m_hWnd = nullptr;
};

// A control created from a CControlModule, sited in a CTestSite and, after
// Activate, in-place active in the site's window. The destructor closes and
// releases everything in the order a container does.
class CHostedControl {
public:
    CHostedControl(const CControlModule &module, int width = 1000, int height = 640);
    ~CHostedControl();
    bool Activate(LONG verb = OLEIVERB_INPLACEACTIVATE);
    void Close();

    CTestSite *m_pSite = nullptr;
    IOleObject *m_pObject = nullptr;
    IDispatch *m_pDispatch = nullptr;
    HWND ControlWindow() const;
    std::string StatusText() const;
    // Clicks the language button with this caption (GBK).
    bool ClickButton(const char *caption) const;
};

// All descendant windows of parent, with their captions (GBK) and ids.
struct ChildWindow {
    HWND hwnd;
    std::string caption;
    int id;
};
std::vector<ChildWindow> Descendants(HWND parent);

// IDispatch calls by DISPID.
HRESULT PutProperty(IDispatch *dispatch, DISPID id, VARIANT value);
HRESULT GetProperty(IDispatch *dispatch, DISPID id, VARIANT *value);
HRESULT CallSetDeviceIPandPort(IDispatch *dispatch, const wchar_t *address, short port, LONG *result);
std::wstring GetDeviceIP(IDispatch *dispatch);
LONG GetDevicePort(IDispatch *dispatch);

// A TCP listener on 127.0.0.1 (port 0 picks a free one).
class CListener {
public:
    explicit CListener(USHORT port = 0, int backlog = 4);
    ~CListener();
    bool IsOpen() const { return m_socket != INVALID_SOCKET; }
    int BindError() const { return m_nBindError; }
    USHORT Port() const { return m_nPort; }
    // Accepts one connection, pumping messages meanwhile; INVALID_SOCKET on timeout.
    SOCKET Accept(DWORD timeoutMs);
    // Accepts a connection that is already waiting, or gives INVALID_SOCKET.
    SOCKET TryAccept() const { return accept(m_socket, nullptr, nullptr); }

private:
    SOCKET m_socket = INVALID_SOCKET;
    USHORT m_nPort = 0;
    int m_nBindError = 0;
};
// Waits (pumping messages) until the peer of s closes; true when it did.
bool WaitForPeerClose(SOCKET s, DWORD timeoutMs);

} // namespace velotest
