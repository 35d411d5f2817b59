// The control container with the real viewer control: template items, keys,
// failures, calls by DISPID, the data exchange and the CDvrOcx wrapper. The
// entry at the end serves the viewer's tests too (viewer/viewer_test.cpp).
#include <gtest/gtest.h>

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
SIZEL Extent(HWND control) {
  IOleObject* ole = nullptr;
  SIZEL size{};
  COleControlSite::FromWindow(control)->GetControlUnknown()->QueryInterface(IID_IOleObject,
                                                                            reinterpret_cast<void**>(&ole));
  return ole->GetExtent(DVASPECT_CONTENT, &size), ole->Release(), size;
}

TEST_F(Container, MakesTemplateItemsInPlaceWithTheirStateIdsAndOrderAndPassesDeclinedKeysOn) {
  for (bool escape : {false, true}) {
    StepDialog dlg(3000);
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
      // A key the control declines goes on to the dialog: Escape in the control ends it.
      HWND inner = GetDlgItem(saved, 3002);
      if (escape) SetFocus(inner), PostMessageA(inner, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    EXPECT_EQ(escape ? IDCANCEL : IDOK, dlg.DoModal());
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
template <typename Fn>
static Fn Proc(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(g_hDvrOcx, name)));
}
HRESULT DvrOcxCanUnloadNow() { return Proc<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }

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
  auto get = Proc<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
  IUnknown* factory = nullptr;
  DWORD cookie = 0;
  if (!get || FAILED(get(CLSID_DvrOcx, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
      FAILED(CoRegisterClassObject(CLSID_DvrOcx, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    return 2;
  vt::TempDir cwd("velo-occ");
  SetCurrentDirectoryA(cwd.path().c_str());
  const int result = RUN_ALL_TESTS();
  SetCurrentDirectoryA("\\");
  return CoRevokeClassObject(cookie), factory->Release(), result;
}
