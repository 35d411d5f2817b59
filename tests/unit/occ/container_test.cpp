// The control container: with a spy control that writes down what the
// container does to it, and with the real viewer control for calls by
// DISPID, the data exchange and the CDvrOcx wrapper. The entry at the end
// serves the viewer's tests too (viewer/viewer_test.cpp).
#include <gtest/gtest.h>
#include <olectl.h>

#include <map>

#include "components/common/dvrocx_ids.h"
#include "occ_test.h"
#include "res/resource.h"
#include "tests/support/support.h"
#include "viewer/dvrocx.h"

namespace {

// The templates of occ_test.rc name the spy {...4D11}; {...4D12} is registered nowhere.
const CLSID kSpy = {0x6f1c2b90, 0x6a52, 0x4c8e, {0x9d, 0x3b, 0x1e, 0x7a, 0x5c, 0x0f, 0x4d, 0x11}};
const UINT kTakenKey = VK_F2;  // the spy's TranslateAccelerator takes this key, no other

struct Log {
  std::vector<std::string> calls;
  std::string loaded;
  SIZEL extent{-1, -1};
  HWND hWnd = nullptr, hInner = nullptr, siteWnd = nullptr, frameWnd = nullptr;
  RECT pos{};
  std::map<DISPID, LONG> ambient;  // as VT_I4; absent when the site refused
  std::wstring name, font;
  std::vector<UINT> offered, inWindow;
};
std::vector<Log> g_logs;  // one per spy made
DWORD g_misc = 0;
int g_live = 0;

LRESULT CALLBACK SpyProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN) g_logs.at(static_cast<size_t>(GetWindowLongPtrA(h, GWLP_USERDATA))).inWindow.push_back(static_cast<UINT>(w));
  return m == WM_GETDLGCODE ? DLGC_WANTALLKEYS : DefWindowProcA(h, m, w, l);
}

#define NOTIMPL(sig) HRESULT STDMETHODCALLTYPE sig override { return E_NOTIMPL; }
#define SOK(sig) HRESULT STDMETHODCALLTYPE sig override { return S_OK; }
struct Spy final : IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject, IPersistStreamInit {
  size_t i = g_logs.size();
  LONG ref = 1;
  IOleClientSite* site = nullptr;
  IOleInPlaceSite* ip = nullptr;
  IOleInPlaceFrame* frame = nullptr;
  IOleInPlaceUIWindow* doc = nullptr;
  Spy() { g_logs.emplace_back(), ++g_live; }
  Log& log() { return g_logs[i]; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override {
    *p = r == IID_IUnknown || r == IID_IOleObject ? static_cast<void*>(static_cast<IOleObject*>(this))
         : r == IID_IOleWindow || r == IID_IOleInPlaceObject ? static_cast<IOleInPlaceObject*>(this)
         : r == IID_IOleInPlaceActiveObject ? static_cast<void*>(static_cast<IOleInPlaceActiveObject*>(this))
         : r == IID_IPersistStreamInit ? static_cast<IPersistStreamInit*>(this) : nullptr;
    return *p ? (AddRef(), S_OK) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++ref); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (--ref) return static_cast<ULONG>(ref);
    if (site) site->Release();
    --g_live;
    delete this;
    return 0;
  }
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* s) override {
    log().calls.push_back(s ? "SetClientSite" : "SetClientSite(null)");
    if (s) s->AddRef();
    if (site) site->Release();
    site = s;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override { return log().calls.push_back("Close"), S_OK; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite* s, LONG, HWND, LPCRECT) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* s) override { return log().calls.push_back("SetExtent"), log().extent = *s, S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* s) override { return *s = log().extent, S_OK; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* m) override { return *m = g_misc, S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* h) override { return (*h = log().hWnd) ? S_OK : E_FAIL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
    log().calls.push_back("InPlaceDeactivate");
    DestroyWindow(log().hWnd);
    log().hWnd = nullptr;
    if (frame) frame->Release();
    if (doc) doc->Release();
    if (ip) ip->OnInPlaceDeactivate(), ip->Release();
    frame = nullptr, doc = nullptr, ip = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG m) override {
    if (m->message == WM_KEYDOWN) log().offered.push_back(static_cast<UINT>(m->wParam));
    return m->wParam == kTakenKey ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM s) override {
    log().calls.push_back("Load");
    char buf[64];
    ULONG got = 0;
    s->Read(buf, sizeof(buf), &got);
    log().loaded.assign(buf, got);
    return log().loaded.compare(0, 3, "BAD") == 0 ? E_FAIL : S_OK;  // malformed state is refused
  }
  HRESULT STDMETHODCALLTYPE InitNew() override { return log().calls.push_back("InitNew"), S_OK; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  NOTIMPL(GetClientSite(IOleClientSite**)) NOTIMPL(SetMoniker(DWORD, IMoniker*))
  NOTIMPL(GetMoniker(DWORD, DWORD, IMoniker**)) NOTIMPL(InitFromData(IDataObject*, BOOL, DWORD))
  NOTIMPL(GetClipboardData(DWORD, IDataObject**)) NOTIMPL(EnumVerbs(IEnumOLEVERB**)) NOTIMPL(Update())
  NOTIMPL(IsUpToDate()) NOTIMPL(GetUserClassID(CLSID*)) NOTIMPL(GetUserType(DWORD, LPOLESTR*))
  NOTIMPL(Advise(IAdviseSink*, DWORD*)) NOTIMPL(Unadvise(DWORD)) NOTIMPL(EnumAdvise(IEnumSTATDATA**))
  NOTIMPL(SetColorScheme(LOGPALETTE*)) NOTIMPL(ContextSensitiveHelp(BOOL)) NOTIMPL(ReactivateAndUndo())
  NOTIMPL(GetClassID(CLSID*)) NOTIMPL(Save(LPSTREAM, BOOL)) NOTIMPL(GetSizeMax(ULARGE_INTEGER*))
  SOK(SetHostNames(LPCOLESTR, LPCOLESTR)) SOK(UIDeactivate()) SOK(SetObjectRects(LPCRECT, LPCRECT))
  SOK(OnFrameWindowActivate(BOOL)) SOK(OnDocWindowActivate(BOOL)) SOK(EnableModeless(BOOL))
  SOK(ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL))
};

HRESULT STDMETHODCALLTYPE Spy::DoVerb(LONG, LPMSG, IOleClientSite* s, LONG, HWND, LPCRECT) {
  log().calls.push_back("DoVerb");
  RECT clip;
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof(info);
  if (FAILED(s->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ip))) ||
      FAILED(ip->OnInPlaceActivate()) || FAILED(ip->GetWindow(&log().siteWnd)) ||
      FAILED(ip->GetWindowContext(&frame, &doc, &log().pos, &clip, &info)) || FAILED(frame->GetWindow(&log().frameWnd)))
    return E_FAIL;
  IDispatch* amb = nullptr;
  s->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&amb));
  for (DISPID id : {DISPID_AMBIENT_USERMODE, DISPID_AMBIENT_LOCALEID, DISPID_AMBIENT_BACKCOLOR, DISPID_AMBIENT_FORECOLOR,
                    DISPID_AMBIENT_MESSAGEREFLECT, DISPID_AMBIENT_SHOWHATCHING, DISPID_AMBIENT_UIDEAD,
                    DISPID_AMBIENT_PALETTE, DISPID_AMBIENT_DISPLAYNAME, DISPID_AMBIENT_FONT}) {
    VARIANT v{};
    DISPPARAMS none{};
    IFont* font = nullptr;
    BSTR name = nullptr;
    if (!amb || FAILED(amb->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr))) continue;
    if (v.vt == VT_BSTR) log().name = v.bstrVal;
    if (v.vt == VT_DISPATCH && SUCCEEDED(v.pdispVal->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font))))
      font->get_Name(&name), log().font = name, SysFreeString(name), font->Release();
    if (v.vt != VT_BSTR && v.vt != VT_DISPATCH && SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
      log().ambient[id] = v.lVal;
    VariantClear(&v);
  }
  if (amb) amb->Release();
  const RECT& r = log().pos;
  log().hWnd = CreateWindowExA(0, "VeloSpy", "", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                               r.bottom - r.top, log().siteWnd, nullptr, nullptr, nullptr);
  SetWindowLongPtrA(log().hWnd, GWLP_USERDATA, static_cast<LONG_PTR>(i));
  log().hInner = CreateWindowExA(0, "Button", "", WS_CHILD | WS_VISIBLE, 2, 2, 40, 16, log().hWnd, 0, 0, 0);
  frame->SetActiveObject(this, nullptr);  // the container must let it go again
  return S_OK;
}

struct SpyFactory final : IClassFactory {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** p) override { return *p = this, S_OK; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID r, void** p) override {
    Spy* s = new Spy;
    HRESULT hr = s->QueryInterface(r, p);
    s->Release();
    return hr;
  }
  SOK(LockServer(BOOL))
};

struct Container : ::testing::Test {
  static void SetUpTestSuite() {
    static SpyFactory factory;
    WNDCLASSA wc{};
    wc.lpfnWndProc = SpyProc;
    wc.lpszClassName = "VeloSpy";
    RegisterClassA(&wc);
    DWORD cookie;
    CoRegisterClassObject(kSpy, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
  }
  void SetUp() override {
    g_logs.clear(), g_misc = 0;
    SetMessageBoxScript([this](const MessageBoxCall& c) { return boxes.push_back(c), IDOK; });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    EXPECT_EQ(0, g_live) << "a control was not released";
  }
  std::vector<MessageBoxCall> boxes;
};
using StepDialog = TStepDialog<CDialog>;
using Calls = std::vector<std::string>;
Calls Part(const Calls& v, size_t from, size_t n) { return Calls(v.begin() + std::min(from, v.size()), v.begin() + std::min(from + n, v.size())); }
void Key(HWND h, UINT vk) { SetFocus(h), PostMessageA(h, WM_KEYDOWN, vk, 1); }

TEST_F(Container, MakesTemplateItemsWithStateIdsPlacesAmbientsAndKeysAndTearsThemDown) {
  for (DWORD misc : {DWORD{0}, DWORD{OLEMISC_SETCLIENTSITEFIRST}}) {
    g_logs.clear(), g_misc = misc;
    StepDialog dlg(3000);
    dlg.steps.push_back([&](StepDialog& d) {
      ASSERT_EQ(2u, g_logs.size());
      const Log &saved = g_logs[0], &fresh = g_logs[1];
      std::vector<int> ids;
      for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) ids.push_back(GetDlgCtrlID(h));
      EXPECT_EQ((std::vector<int>{3101, 3102, 3103, 3104}), ids);  // template order
      EXPECT_EQ(saved.hWnd, d.GetDlgItem(3102));
      RECT want = DialogUnits(d.m_hWnd, 10, 25, 120, 80), got = RectInParent(saved.hWnd);
      EXPECT_TRUE(EqualRect(&want, &got) && EqualRect(&want, &saved.pos));
      EXPECT_EQ(WS_TABSTOP | WS_VISIBLE, GetWindowLongPtrA(saved.hWnd, GWL_STYLE) & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));
      EXPECT_EQ(WS_GROUP, GetWindowLongPtrA(fresh.hWnd, GWL_STYLE) & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));
      EXPECT_TRUE(d.m_hWnd == saved.siteWnd && d.m_hWnd == saved.frameWnd);
      // Saved state is loaded and keeps its extent; without, InitNew and the item's size.
      EXPECT_TRUE(saved.loaded == "abcdef" && saved.extent.cx == -1);
      RECT r = DialogUnits(d.m_hWnd, 150, 25, 100, 60);
      HDC dc = GetDC(nullptr);
      EXPECT_EQ(MulDiv(r.right - r.left, 2540, GetDeviceCaps(dc, LOGPIXELSX)), fresh.extent.cx);
      EXPECT_EQ(MulDiv(r.bottom - r.top, 2540, GetDeviceCaps(dc, LOGPIXELSY)), fresh.extent.cy);
      ReleaseDC(nullptr, dc);
      EXPECT_EQ((misc ? Calls{"SetClientSite", "Load", "DoVerb"} : Calls{"Load", "SetClientSite", "DoVerb"}),
                Part(saved.calls, 0, 3));
      EXPECT_EQ((misc ? Calls{"SetClientSite", "InitNew", "SetExtent"} : Calls{"InitNew", "SetClientSite", "SetExtent"}),
                Part(fresh.calls, 0, 3));
      LOGFONTW lf{};
      GetObjectW(reinterpret_cast<HFONT>(d.SendMessage(WM_GETFONT)), sizeof(lf), &lf);
      EXPECT_TRUE(saved.font == lf.lfFaceName && saved.name == L"Cam" && fresh.name.empty());
      const std::map<DISPID, LONG> ambient{
          {DISPID_AMBIENT_USERMODE, -1}, {DISPID_AMBIENT_LOCALEID, static_cast<LONG>(GetUserDefaultLCID())},
          {DISPID_AMBIENT_BACKCOLOR, static_cast<LONG>(GetSysColor(COLOR_BTNFACE))},
          {DISPID_AMBIENT_FORECOLOR, static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT))},
          {DISPID_AMBIENT_MESSAGEREFLECT, 0}, {DISPID_AMBIENT_SHOWHATCHING, 0}, {DISPID_AMBIENT_UIDEAD, 0}};
      EXPECT_EQ(ambient, saved.ambient);
      Key(saved.hWnd, kTakenKey), Key(saved.hWnd, VK_F3);  // F3 is declined: on to its window
    });
    dlg.steps.push_back([](StepDialog&) { Key(g_logs[0].hInner, VK_F4); });  // focus inside the control
    dlg.steps.push_back([](StepDialog& d) { Key(d.GetDlgItem(3101), VK_F5); });  // not a control's
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ((std::vector<UINT>{kTakenKey, VK_F3, VK_F4}), g_logs.at(0).offered);
    EXPECT_EQ((std::vector<UINT>{VK_F3}), g_logs[0].inWindow);
    for (const Log& log : g_logs)
      EXPECT_EQ((Calls{"InPlaceDeactivate", "Close", "SetClientSite(null)"}), Part(log.calls, log.calls.size() - 3, 3));
  }
}

TEST_F(Container, AControlThatCannotBeMadeEndsTheDialogWithMinusOneAndNothingLeft) {
  // 3001: a class registered nowhere after a good control; 3002: state the
  // control refuses; 3003: a storage record, which is not offered.
  for (UINT id : {3001u, 3002u, 3003u}) {
    g_logs.clear(), g_misc = OLEMISC_SETCLIENTSITEFIRST;
    struct Probe : CDialog {
      using CDialog::CDialog;
      bool init = false;
      BOOL OnInitDialog() override { return init = true; }
    } dlg(id);
    EXPECT_EQ(-1, dlg.DoModal()) << id;
    EXPECT_TRUE(!dlg.init && !dlg.m_pCtrlCont && g_logs.size() == 1 && !g_logs[0].hWnd);
    EXPECT_EQ("SetClientSite(null)", g_logs.at(0).calls.back());
  }
  HWND parent = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 300, 200, 0, 0, 0, 0);
  COleControlSite* site = nullptr;
  CLSID unknown = kSpy;
  unknown.Data4[7] = 0x12;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateControl(unknown, "", WS_VISIBLE, RECT{10, 20, 110, 70}, parent, 78, &site));
  EXPECT_TRUE(site == nullptr && GetWindow(parent, GW_CHILD) == nullptr);
  DestroyWindow(parent);
  EXPECT_TRUE(boxes.empty());
}

// The viewer control in the viewer's template: calls through its site, the
// data exchange, and a CDvrOcx of the test's own making beside it.
TEST_F(Container, CallsByDispIdConvertTheExchangeGoesBothWaysAndFailuresAreReported) {
  struct Host : CDialog {
    Host() : CDialog(IDD_VELODVR_DIALOG) {}
    std::string text = "地址 10.0.0.1";
    int number = -25536;
    void DoDataExchange(CDataExchange* pDX) override {
      DDX_OCText(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEIP, text);
      DDX_OCInt(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEPORT, number);
    }
  };
  TStepDialog<Host> dlg;
  dlg.steps.push_back([&](TStepDialog<Host>& d) {
    COleControlSite* site = FindControlSite(&d, IDC_DVROCX);
    ASSERT_TRUE(site && site == COleControlSite::FromWindow(d.GetDlgItem(IDC_DVROCX)));
    std::string got;
    short port = 0;
    EXPECT_EQ(S_OK, site->GetProperty(DISPID_DVROCX_DEVICEIP, VT_BSTR, &got));
    EXPECT_EQ(S_OK, site->GetProperty(DISPID_DVROCX_DEVICEPORT, VT_I2, &port));
    EXPECT_TRUE(got == "地址 10.0.0.1" && port == -25536) << "put by the opening exchange";
    EXPECT_EQ(DISP_E_TYPEMISMATCH, site->GetProperty(DISPID_DVROCX_DEVICEIP, VT_I2, &port));
    EXPECT_EQ(E_INVALIDARG, site->SetProperty(DISPID_DVROCX_DEVICEPORT, VT_R8, 1.5));
    EXPECT_EQ(S_OK, site->SetProperty(DISPID_DVROCX_DEVICEIP, VT_BSTR, ""));
    EXPECT_EQ(S_OK, site->SetProperty(DISPID_DVROCX_DEVICEPORT, VT_I2, -7));
    EXPECT_TRUE(boxes.empty()) << "the site itself reports nothing";
    d.UpdateData(TRUE);
    EXPECT_TRUE(d.text.empty() && d.number == -7);
    CDataExchange out(&d, TRUE);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, DDX_OCInt(&out, IDC_DVROCX, 99, d.number));
    EXPECT_TRUE(FAILED(DDX_OCText(&out, 4242, DISPID_DVROCX_DEVICEIP, d.text)) && d.number == -7);
    EXPECT_EQ(2u, boxes.size());
    CDvrOcx ocx;
    ASSERT_TRUE(ocx.Create("", WS_CHILD | WS_VISIBLE, RECT{4, 6, 204, 106}, &d, 4243));
    EXPECT_FALSE(ocx.Create("", WS_CHILD, RECT{4, 6, 204, 106}, &d, 4243)) << "one control per wrapper";
    EXPECT_EQ(ocx.m_hWnd, d.GetDlgItem(4243));
    EXPECT_EQ(1, ocx.SetDeviceIPandPort("300.1.2.3", 80));  // its result comes back
    ocx.DestroyControl();
    EXPECT_EQ(nullptr, d.GetDlgItem(4243));
    EXPECT_NE(0, ocx.SetDeviceIPandPort("127.0.0.1", 80));  // bound to nothing: reported, not called
    EXPECT_EQ(3u, boxes.size());
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_EQ(S_OK, DvrOcxCanUnloadNow());
}

}  // namespace

HMODULE g_hDvrOcx = nullptr;
typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* EntryFn)();
template <typename Fn>
Fn Proc(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(g_hDvrOcx, name)));
}
HRESULT DvrOcxCanUnloadNow() { return Proc<EntryFn>("DllCanUnloadNow")(); }

// OLE and the container, the viewer control offered from its payload file,
// an empty current folder.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  OleInitialize(nullptr);
  AfxEnableControlContainer();
  char exe[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string path(exe);
  g_hDvrOcx = LoadLibraryA((path.substr(0, path.find_last_of("\\/") + 1) + VELO_OCC_PAYLOAD_REL "/DvrOcx.ocx").c_str());
  IUnknown* factory = nullptr;
  DWORD cookie = 0;
  if (!g_hDvrOcx || FAILED(Proc<GetClassObjectFn>("DllGetClassObject")(CLSID_DvrOcx, IID_IClassFactory,
                                                                        reinterpret_cast<void**>(&factory))) ||
      FAILED(CoRegisterClassObject(CLSID_DvrOcx, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    return 2;
  vt::TempDir cwd("velo-occ");
  SetCurrentDirectoryA(cwd.path().c_str());
  const int result = RUN_ALL_TESTS();
  SetCurrentDirectoryA("\\");
  CoRevokeClassObject(cookie);
  factory->Release();
  return result;
}
