// The control container with the real viewer control: template items, keys,
// failures, calls by DISPID, the data exchange and the CDvrOcx wrapper. The
// entry at the end serves the viewer's tests too (viewer/viewer_test.cpp).
#include <gtest/gtest.h>
#include <olectl.h>

#include "components/common/dvrocx_ids.h"
#include "occ_test.h"
#include "res/resource.h"
#include "tests/support/support.h"
#include "viewer/dvrocx.h"

namespace {

struct Container : ::testing::Test {
  void SetUp() override {
    SetMessageBoxScript([this](const MessageBoxCall& c) { return boxes.push_back(c), IDOK; });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    EXPECT_EQ(S_OK, DvrOcxCanUnloadNow()) << "a control was not released";
  }
  std::vector<MessageBoxCall> boxes;
};
using StepDialog = TStepDialog<CDialog>;
// The control in window h, with a reference for the caller.
IOleObject* Ole(HWND h) {
  return vt::Query<IOleObject>(COleControlSite::FromWindow(h)->GetControlUnknown(), IID_IOleObject);
}
SIZEL Extent(HWND control, SIZEL size = {}) {
  IOleObject* ole = Ole(control);
  return ole->GetExtent(DVASPECT_CONTENT, &size), ole->Release(), size;
}

// Stands in for the control's active object and takes the key it is told to.
struct KeyTaker : IOleInPlaceActiveObject {
  WPARAM take = 0;
  std::vector<WPARAM> offered;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** p) override { return *p = nullptr, E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* m) override {
    return offered.push_back(m->wParam), m->wParam == take ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
};

// An ambient property of the site as text, or the failure's code.
std::wstring Ambient(IOleClientSite* site, DISPID id, WORD flags = DISPATCH_PROPERTYGET) {
  IDispatch* d = vt::Query<IDispatch>(site, IID_IDispatch);
  VARIANT r{};
  DISPPARAMS none{};
  HRESULT hr = d->Invoke(id, IID_NULL, 0, flags, &none, &r, nullptr, nullptr);
  if (SUCCEEDED(hr)) hr = VariantChangeType(&r, &r, 0, VT_BSTR);
  const std::wstring text = FAILED(hr) ? std::to_wstring(hr) : r.bstrVal;
  return d->Release(), VariantClear(&r), text;
}

TEST_F(Container, MakesTemplateItemsInPlaceWithTheirStateIdsAndOrderAndPassesDeclinedKeysOn) {
  // Escape in the control: not pressed, declined by the control, taken by it.
  for (WPARAM escape : {0, 1, 2}) {
    StepDialog dlg(3000);
    KeyTaker taker;
    IOleClientSite* site = nullptr;
    dlg.steps.push_back([&](StepDialog& d) {
      std::vector<int> ids;
      for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) ids.push_back(GetDlgCtrlID(h));
      EXPECT_EQ((std::vector<int>{3101, 3102, 3103, 3104}), ids);  // template order
      HWND saved = d.GetDlgItem(3102), fresh = d.GetDlgItem(3104);
      ASSERT_TRUE(COleControlSite::FromWindow(saved) && COleControlSite::FromWindow(fresh));
      RECT want = DialogUnits(d.m_hWnd, 10, 25, 240, 150), got = RectInParent(saved);
      EXPECT_TRUE(EqualRect(&want, &got));
      EXPECT_EQ(WS_TABSTOP | WS_VISIBLE, GetWindowLongPtrA(saved, GWL_STYLE) & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));
      EXPECT_EQ(WS_GROUP, GetWindowLongPtrA(fresh, GWL_STYLE) & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));
      // Saved state is loaded and keeps its extent; without, the item's size.
      EXPECT_TRUE(Extent(saved).cx == 10000 && Extent(saved).cy == 5000);
      RECT r = DialogUnits(d.m_hWnd, 260, 25, 100, 60);
      HDC dc = GetDC(nullptr);
      EXPECT_EQ(MulDiv(r.right - r.left, 2540, GetDeviceCaps(dc, LOGPIXELSX)), Extent(fresh).cx);
      EXPECT_EQ(MulDiv(r.bottom - r.top, 2540, GetDeviceCaps(dc, LOGPIXELSY)), Extent(fresh).cy);
      ReleaseDC(nullptr, dc);
      // The site answers the ambient properties; unknown ones and puts are refused.
      IOleObject* ole = Ole(saved);
      ASSERT_EQ(S_OK, (ole->GetClientSite(&site), ole->Release(), site ? S_OK : E_FAIL));
      using A = std::pair<DISPID, std::wstring>;
      for (const A& a :
           {A(DISPID_AMBIENT_USERMODE, L"-1"), A(DISPID_AMBIENT_UIDEAD, L"0"), A(DISPID_AMBIENT_SHOWHATCHING, L"0"),
            A(DISPID_AMBIENT_SHOWGRABHANDLES, L"0"), A(DISPID_AMBIENT_MESSAGEREFLECT, L"0"),
            A(DISPID_AMBIENT_SUPPORTSMNEMONICS, L"-1"),
            A(DISPID_AMBIENT_LOCALEID, std::to_wstring(GetUserDefaultLCID())), A(DISPID_AMBIENT_DISPLAYNAME, L"Cam"),
            A(DISPID_AMBIENT_FONT, L"宋体"), A(DISPID_AMBIENT_BACKCOLOR, std::to_wstring(GetSysColor(COLOR_BTNFACE))),
            A(DISPID_AMBIENT_FORECOLOR, std::to_wstring(GetSysColor(COLOR_WINDOWTEXT))),
            A(DISPID_AMBIENT_PALETTE, std::to_wstring(DISP_E_MEMBERNOTFOUND))})
        EXPECT_EQ(a.second, Ambient(site, a.first)) << a.first;
      EXPECT_EQ(std::to_wstring(DISP_E_MEMBERNOTFOUND), Ambient(site, DISPID_AMBIENT_USERMODE, DISPATCH_PROPERTYPUT));
      // Keys in the control go first to its active object; a declined key goes
      // on to the dialog (Escape ends it), a taken one stops there.
      IOleInPlaceSite* inPlace = vt::Query<IOleInPlaceSite>(site, IID_IOleInPlaceSite);
      IOleInPlaceFrame* frame = nullptr;
      IOleInPlaceUIWindow* doc = nullptr;
      RECT pos, clip;
      ASSERT_EQ(S_OK, inPlace->GetWindowContext(&frame, &doc, &pos, &clip, nullptr));
      frame->SetActiveObject(&taker, nullptr), frame->Release(), inPlace->Release();
      taker.take = escape == 2 ? VK_ESCAPE : 0;
      HWND inner = GetDlgItem(saved, 3002);
      if (escape) SetFocus(inner), PostMessageA(inner, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    EXPECT_EQ(escape == 1 ? IDCANCEL : IDOK, dlg.DoModal());
    EXPECT_EQ(escape ? std::vector<WPARAM>{VK_ESCAPE} : std::vector<WPARAM>{}, taker.offered);
    EXPECT_EQ(0u, site ? site->Release() : 1) << "the control kept a reference to its site";
  }
}

TEST_F(Container, AControlThatCannotBeMadeEndsTheDialogWithMinusOneAndNothingLeft) {
  // 3001: a class registered nowhere after a good control; 3002: state the
  // control refuses; 3003: a storage record, which is not offered.
  for (UINT id : {3001u, 3002u, 3003u}) {
    struct Probe : CDialog {
      using CDialog::CDialog;
      bool init = false;
      BOOL OnInitDialog() override { return init = true; }
    } dlg(id);
    EXPECT_EQ(-1, dlg.DoModal()) << id;
    EXPECT_TRUE(!dlg.init && !dlg.m_pCtrlCont && DvrOcxCanUnloadNow() == S_OK) << id;
  }
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

static HMODULE g_hDvrOcx = nullptr;
HRESULT DvrOcxCanUnloadNow() { return vt::Proc<HRESULT(STDAPICALLTYPE*)()>(g_hDvrOcx, "DllCanUnloadNow")(); }

// OLE and the container, the viewer control offered from its payload file,
// an empty current folder.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  OleInitialize(nullptr);
  AfxEnableControlContainer();
  g_hDvrOcx = vt::OfferClass(VELO_PAYLOADS "DvrOcx.ocx", CLSID_DvrOcx);
  return g_hDvrOcx ? vt::InScratchFolder("velo-occ", [] { return RUN_ALL_TESTS(); }) : 2;
}
