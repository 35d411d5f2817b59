// The viewer control (DvrOcx.ocx, registered by this test program) hosted
// through the container: in the viewer's template with its saved state, as
// CDvrOcx reaches it, and made from its class id alone.
#include "viewer/dvrocx.h"

#include <gtest/gtest.h>
#include <olectl.h>

#include <algorithm>
#include <chrono>

#include "occ_test_support.h"
#include "res/resource.h"
// After the OLE headers, which declare DISPID.
#include "components/common/dvrocx_ids.h"

namespace occtest {

// Set by main: the control's module as loaded for its registration.
extern HMODULE g_hDvrOcxModule;

namespace {

typedef HRESULT(STDAPICALLTYPE* DllEntryFn)();

HRESULT ModuleCanUnloadNow() {
  auto fn = reinterpret_cast<DllEntryFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(g_hDvrOcxModule, "DllCanUnloadNow")));
  return fn ? fn() : E_FAIL;
}

// The viewer's own template, with the bindings and exchanges the viewer makes.
class CHostDialog : public CScriptDialog {
 public:
  CHostDialog() : CScriptDialog(IDD_VELODVR_DIALOG) {
    exchange = [this](CDataExchange* pDX) {
      DDX_Control(pDX, IDC_DVROCX, m_dvrOcx);
      DDX_OCText(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEIP, m_strAddress);
      DDX_OCInt(pDX, IDC_DVROCX, DISPID_DVROCX_DEVICEPORT, m_nPort);
    };
  }
  CDvrOcx m_dvrOcx;
  std::string m_strAddress;
  int m_nPort = 0;
};

BOOL CALLBACK CollectCaption(HWND hWnd, LPARAM lParam) {
  char text[200] = "";
  GetWindowTextA(hWnd, text, sizeof(text));
  reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
  return TRUE;
}

class DvrOcxHosting : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(nullptr, g_hDvrOcxModule) << "DvrOcx.ocx was not loaded and registered";
    SetMessageBoxScript([this](const MessageBoxCall& c) {
      boxes.push_back(c.text);
      return IDOK;
    });
  }
  void TearDown() override { SetMessageBoxScript(nullptr); }
  std::vector<std::string> boxes;
};

TEST_F(DvrOcxHosting, ViewerTemplateHostsTheControlWithItsSavedState) {
  CHostDialog dlg;
  dlg.steps.push_back([this](CScriptDialog& d) {
    CHostDialog& host = static_cast<CHostDialog&>(d);
    // Bound to the control's window, which carries the item's id and rectangle.
    ASSERT_NE(nullptr, host.m_dvrOcx.m_hWnd);
    EXPECT_EQ(d.GetDlgItem(IDC_DVROCX), host.m_dvrOcx.m_hWnd);
    EXPECT_EQ(IDC_DVROCX, host.m_dvrOcx.GetDlgCtrlID());
    RECT expected = DialogUnitsRect(d.m_hWnd, 8, 7, 669, 417);
    RECT actual = RectInParent(host.m_dvrOcx.m_hWnd);
    EXPECT_TRUE(SameRect(expected, actual)) << Describe(expected) << " " << Describe(actual);
    EXPECT_TRUE(IsWindowVisible(host.m_dvrOcx.m_hWnd));

    // The state of the init record reached the control: its extent.
    COleControlSite* site = host.m_dvrOcx.GetControlSite();
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(site, FindControlSite(&d, IDC_DVROCX));
    IOleObject* object = nullptr;
    ASSERT_EQ(S_OK,
              site->GetControlUnknown()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)));
    SIZEL extent{};
    EXPECT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
    object->Release();
    EXPECT_EQ(26564, extent.cx);
    EXPECT_EQ(16563, extent.cy);

    // The opening exchange put the empty address and port 0.
    EXPECT_EQ("", host.m_dvrOcx.GetdeviceIP());
    EXPECT_EQ(0, host.m_dvrOcx.GetDevicePort());

    // Both properties round-trip through the data exchange.
    host.m_strAddress = "192.168.1.20";
    host.m_nPort = 40000;
    d.UpdateData(FALSE);
    EXPECT_EQ("192.168.1.20", host.m_dvrOcx.GetdeviceIP());
    EXPECT_EQ(40000, host.m_dvrOcx.GetDevicePort());
    host.m_dvrOcx.SetdeviceIP("10.0.0.5");
    host.m_dvrOcx.SetDevicePort(8000);
    d.UpdateData(TRUE);
    EXPECT_EQ("10.0.0.5", host.m_strAddress);
    EXPECT_EQ(8000, host.m_nPort);

    // The method's result comes back: 0 when an attempt starts, non-zero
    // for text that is no address.
    EXPECT_EQ(0, host.m_dvrOcx.SetDeviceIPandPort("127.0.0.1", 9));
    EXPECT_NE(0, host.m_dvrOcx.SetDeviceIPandPort("not an address", 80));

    // The control has no stock Enabled property: the put fails, the caller
    // sees why, and the control stays enabled.
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, site->SetProperty(DISPID_ENABLED, VT_BOOL, FALSE));
    EXPECT_TRUE(IsWindowEnabled(host.m_dvrOcx.m_hWnd));

    // The language windows are among the control's descendants, captioned
    // exactly (GBK bytes).
    std::vector<std::string> captions;
    EnumChildWindows(host.m_dvrOcx.m_hWnd, &CollectCaption, reinterpret_cast<LPARAM>(&captions));
    for (const char* name : {"ENGLISH", "简体中文", "繁体中文"})
      EXPECT_EQ(1, std::count(captions.begin(), captions.end(), std::string(name))) << name;
    EXPECT_TRUE(boxes.empty()) << boxes.front();
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  EXPECT_TRUE(dlg.initRan);
  EXPECT_EQ(nullptr, dlg.m_dvrOcx.m_hWnd);
  // Every object of the control is gone: nothing holds the module.
  EXPECT_EQ(S_OK, ModuleCanUnloadNow());
}

TEST_F(DvrOcxHosting, CreateMakesTheControlFromItsClassIdAlone) {
  HWND hParent = CreateWindowExA(0, "Static", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr, nullptr,
                                 nullptr, nullptr);
  ASSERT_NE(nullptr, hParent);
  CWnd parent;
  parent.Attach(hParent);
  {
    CDvrOcx ocx;
    RECT rc{4, 6, 604, 406};
    ASSERT_TRUE(ocx.Create("", WS_CHILD | WS_VISIBLE | WS_TABSTOP, rc, &parent, IDC_DVROCX));
    EXPECT_EQ(GetDlgItem(hParent, IDC_DVROCX), ocx.m_hWnd);
    EXPECT_TRUE(SameRect(rc, RectInParent(ocx.m_hWnd)));
    IOleObject* object = nullptr;
    ASSERT_EQ(S_OK, ocx.GetControlSite()->GetControlUnknown()->QueryInterface(
                        IID_IOleObject, reinterpret_cast<void**>(&object)));
    SIZEL extent{};
    object->GetExtent(DVASPECT_CONTENT, &extent);
    object->Release();
    SIZEL expected = Himetric(600, 400);
    EXPECT_EQ(expected.cx, extent.cx);
    EXPECT_EQ(expected.cy, extent.cy);
    EXPECT_EQ("", ocx.GetdeviceIP());
    // -25536 is port 40000 to the control.
    EXPECT_EQ(0, ocx.SetDeviceIPandPort("127.0.0.1", -25536));
    EXPECT_FALSE(ocx.Create("", WS_CHILD, rc, &parent, IDC_DVROCX)) << "one control per wrapper";
    ocx.DestroyControl();
    EXPECT_EQ(nullptr, ocx.m_hWnd);
    EXPECT_EQ(nullptr, GetDlgItem(hParent, IDC_DVROCX));
    EXPECT_EQ(S_OK, ModuleCanUnloadNow());
    // A wrapper bound to nothing reports instead of calling.
    EXPECT_NE(0, ocx.SetDeviceIPandPort("127.0.0.1", 80));
    EXPECT_EQ(1u, boxes.size());
  }
  parent.Detach();
  DestroyWindow(hParent);
}

}  // namespace
}  // namespace occtest
