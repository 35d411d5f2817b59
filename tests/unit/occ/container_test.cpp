// The control container with the tests' own control: creation from dialog
// template items, the site's answers, calls by DISPID, keys, teardown and
// the failures that end a dialog's modal run.
#include <gtest/gtest.h>
#include <olectl.h>

#include "occ_test_support.h"
#include "test_control.h"

namespace occtest {
namespace {

const UINT kTemplate = 3000, kTemplateUnregistered = 3001, kTemplateBadState = 3002, kTemplateStorage = 3003;
const int kButtonA = 3101, kControl = 3102, kButtonB = 3103, kHiddenControl = 3104;

// Checks after every run: the container released each reference it took,
// so the controls are gone and the site reference a control kept is the
// last one.
void ExpectEverythingReleased() {
  EXPECT_EQ(0, g_testControl.live);
  ASSERT_NE(nullptr, g_testControl.heldSite);
  EXPECT_EQ(0u, g_testControl.heldSite->Release());
  g_testControl.heldSite = nullptr;
}

std::vector<std::string> LastCalls(const ControlLog& log, size_t n) {
  return std::vector<std::string>(
      log.calls.end() - static_cast<std::ptrdiff_t>(std::min(n, log.calls.size())), log.calls.end());
}

struct TemplateRun {
  std::vector<HWND> children;
  std::vector<int> childIds;
  RECT control{}, hidden{}, expectedControl{}, expectedHidden{};
  LONG_PTR controlStyle = 0, hiddenStyle = 0;
  bool controlAtInit = false;
  HWND hDlg = nullptr, controlWnd = nullptr, controlById = nullptr;
  LOGFONTW dialogFont{};
};

TemplateRun RunTemplate(DWORD miscStatus) {
  ResetTestControl(miscStatus);
  TemplateRun run;
  CScriptDialog dlg(kTemplate);
  dlg.onInit = [&](CScriptBase& d) { run.controlAtInit = d.GetDlgItem(kControl) != nullptr; };
  dlg.steps.push_back([&](CScriptDialog& d) {
    run.hDlg = d.m_hWnd;
    run.controlWnd = g_testControl.controls.at(0).hWnd;
    run.controlById = d.GetDlgItem(kControl);
    for (HWND h = ::GetWindow(d.m_hWnd, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
      run.children.push_back(h);
      run.childIds.push_back(::GetDlgCtrlID(h));
    }
    run.control = RectInParent(d.GetDlgItem(kControl));
    run.hidden = RectInParent(d.GetDlgItem(kHiddenControl));
    run.expectedControl = DialogUnitsRect(d.m_hWnd, 10, 25, 120, 80);
    run.expectedHidden = DialogUnitsRect(d.m_hWnd, 150, 25, 100, 60);
    run.controlStyle = ::GetWindowLongPtrA(d.GetDlgItem(kControl), GWL_STYLE);
    run.hiddenStyle = ::GetWindowLongPtrA(d.GetDlgItem(kHiddenControl), GWL_STYLE);
    ::GetObjectW(reinterpret_cast<HFONT>(d.SendMessage(WM_GETFONT)), sizeof(run.dialogFont), &run.dialogFont);
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  return run;
}

TEST(Container, CreatesTemplateItemsInPlaceWithTheirIdsRectanglesStylesAndOrder) {
  TemplateRun run = RunTemplate(0);
  EXPECT_TRUE(run.controlAtInit) << "controls exist before OnInitDialog runs";
  ASSERT_EQ(2u, g_testControl.controls.size());
  const ControlLog& withState = g_testControl.controls[0];
  const ControlLog& empty = g_testControl.controls[1];

  // The first control loads its record; it keeps its own extent. The
  // second has no record: initialised empty and sized to its item.
  EXPECT_EQ((std::vector<std::string>{"Load", "SetClientSite", "DoVerb"}),
            std::vector<std::string>(withState.calls.begin(), withState.calls.begin() + 3));
  EXPECT_EQ(std::vector<BYTE>({'a', 'b', 'c', 'd', 'e', 'f'}), withState.loaded);
  EXPECT_FALSE(withState.siteSetBeforeLoad);
  EXPECT_EQ(-1, withState.extentSet.cx);
  EXPECT_EQ((std::vector<std::string>{"InitNew", "SetClientSite", "SetExtent", "DoVerb"}),
            std::vector<std::string>(empty.calls.begin(), empty.calls.begin() + 4));
  SIZEL expected = Himetric(run.expectedHidden.right - run.expectedHidden.left,
                            run.expectedHidden.bottom - run.expectedHidden.top);
  EXPECT_EQ(expected.cx, empty.extentSet.cx);
  EXPECT_EQ(expected.cy, empty.extentSet.cy);

  // In place at the item's rectangle, in the dialog, with the item's id.
  EXPECT_EQ(run.hDlg, withState.siteWindow);
  EXPECT_EQ(run.hDlg, withState.frameWindow);
  EXPECT_TRUE(SameRect(run.expectedControl, withState.posRect)) << Describe(withState.posRect);
  EXPECT_TRUE(SameRect(run.expectedControl, run.control)) << Describe(run.control);
  EXPECT_TRUE(SameRect(run.expectedHidden, run.hidden)) << Describe(run.hidden);

  // Z and tab order follow the template: A, control, B, hidden control.
  EXPECT_EQ((std::vector<int>{kButtonA, kControl, kButtonB, kHiddenControl}), run.childIds);
  ASSERT_EQ(4u, run.children.size());
  EXPECT_EQ(run.controlWnd, run.children[1]);
  EXPECT_EQ(run.controlWnd, run.controlById);

  EXPECT_EQ(WS_TABSTOP | WS_VISIBLE, run.controlStyle & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));
  EXPECT_EQ(WS_GROUP, run.hiddenStyle & (WS_TABSTOP | WS_GROUP | WS_VISIBLE));

  // Teardown: deactivated, closed, unsited, released.
  for (const ControlLog& log : g_testControl.controls) {
    EXPECT_EQ((std::vector<std::string>{"InPlaceDeactivate", "Close", "SetClientSite(null)"}),
              LastCalls(log, 3));
    EXPECT_EQ(nullptr, log.hWnd);
  }
  ExpectEverythingReleased();
}

TEST(Container, GivesTheSiteFirstToControlsThatAskForIt) {
  RunTemplate(OLEMISC_SETCLIENTSITEFIRST);
  ASSERT_EQ(2u, g_testControl.controls.size());
  EXPECT_EQ((std::vector<std::string>{"SetClientSite", "Load", "DoVerb"}),
            std::vector<std::string>(g_testControl.controls[0].calls.begin(),
                                     g_testControl.controls[0].calls.begin() + 3));
  EXPECT_TRUE(g_testControl.controls[0].siteSetBeforeLoad);
  EXPECT_EQ("SetClientSite", g_testControl.controls[1].calls.at(0));
  EXPECT_EQ("InitNew", g_testControl.controls[1].calls.at(1));
  EXPECT_TRUE(g_testControl.controls[1].siteSetBeforeLoad);
  ExpectEverythingReleased();
}

TEST(Container, SiteAnswersAmbientProperties) {
  TemplateRun run = RunTemplate(0);
  ASSERT_EQ(2u, g_testControl.controls.size());
  const ControlLog& log = g_testControl.controls[0];
  EXPECT_EQ(S_OK, log.userModeHr);
  EXPECT_EQ(VARIANT_TRUE, log.userMode);
  EXPECT_EQ(static_cast<LONG>(GetUserDefaultLCID()), log.localeId);
  EXPECT_EQ(L"Cam", log.displayName);
  EXPECT_EQ(L"", g_testControl.controls[1].displayName);
  EXPECT_EQ(std::wstring(run.dialogFont.lfFaceName), log.fontName);
  EXPECT_FALSE(log.fontName.empty());
  EXPECT_EQ(static_cast<LONG>(GetSysColor(COLOR_BTNFACE)), log.backColor);
  EXPECT_EQ(static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT)), log.foreColor);
  EXPECT_EQ(VARIANT_FALSE, log.messageReflect);
  EXPECT_EQ(VARIANT_FALSE, log.showHatching);
  EXPECT_EQ(VARIANT_FALSE, log.uiDead);
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, log.unknownAmbientHr);
  ExpectEverythingReleased();
}

TEST(Container, PropertiesAndMethodsGoThroughTheSiteAndFailuresReachTheCaller) {
  ResetTestControl();
  std::vector<MessageBoxCall> boxes;
  SetMessageBoxScript([&](const MessageBoxCall& c) {
    boxes.push_back(c);
    return IDOK;
  });
  CScriptDialog dlg(kTemplate);
  std::string text;
  int number = 0;
  dlg.steps.push_back([&](CScriptDialog& d) {
    COleControlSite* site = FindControlSite(&d, kControl);
    ASSERT_NE(nullptr, site);
    EXPECT_EQ(site, COleControlSite::FromWindow(d.GetDlgItem(kControl)));
    EXPECT_EQ(nullptr, FindControlSite(&d, kButtonA));
    EXPECT_NE(nullptr, site->GetControlUnknown());

    EXPECT_EQ(S_OK, site->SetProperty(kDispText, VT_BSTR, "简体中文 cam"));
    std::string got;
    EXPECT_EQ(S_OK, site->GetProperty(kDispText, VT_BSTR, &got));
    EXPECT_EQ("简体中文 cam", got);
    EXPECT_EQ(S_OK, site->SetProperty(kDispNumber, VT_I4, -25536L));
    long n = 0;
    EXPECT_EQ(S_OK, site->GetProperty(kDispNumber, VT_I4, &n));
    EXPECT_EQ(-25536, n);
    short s = 0;
    EXPECT_EQ(S_OK, site->GetProperty(kDispNumber, VT_I2, &s));
    EXPECT_EQ(-25536, s);
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(S_OK, site->GetProperty(kDispText, VT_VARIANT, &v));
    EXPECT_EQ(VT_BSTR, v.vt);
    VariantClear(&v);

    // A method: arguments last first, the result comes back.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_I2;
    args[0].iVal = 21;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"cam");
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, site->InvokeHelper(kDispJoin, DISPATCH_METHOD, &result, &params));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(42, result.lVal);
    VariantClear(&args[1]);

    // Failures come back as they are; an exception gives its own code.
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, site->SetProperty(DISPID_ENABLED, VT_BOOL, FALSE));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, site->SetProperty(kDispNumber, VT_BSTR, "12"));
    EXPECT_EQ(E_ACCESSDENIED, site->InvokeHelper(kDispDenied, DISPATCH_METHOD, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, site->SetProperty(kDispNumber, VT_R8, 1.5));
    EXPECT_TRUE(boxes.empty()) << "the site itself reports nothing";

    // Data exchange, both ways.
    text = "地址 10.0.0.1";
    number = 40000;
    d.UpdateData(FALSE);
    EXPECT_EQ(S_OK, site->GetProperty(kDispText, VT_BSTR, &got));
    EXPECT_EQ("地址 10.0.0.1", got);
    EXPECT_EQ(S_OK, site->GetProperty(kDispNumber, VT_I4, &n));
    EXPECT_EQ(40000, n);
    site->SetProperty(kDispText, VT_BSTR, "");
    site->SetProperty(kDispNumber, VT_I4, -7L);
    d.UpdateData(TRUE);
    EXPECT_EQ("", text);
    EXPECT_EQ(-7, number);
    EXPECT_TRUE(boxes.empty());

    // A failing exchange is reported and returned.
    CDataExchange out(&d, TRUE);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, DDX_OCInt(&out, kControl, 99, number));
    EXPECT_EQ(-7, number);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), boxes[0].type);
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_TRUE(FAILED(DDX_OCText(&out, kButtonA, kDispText, text)));
    EXPECT_EQ(2u, boxes.size());
  });
  dlg.exchange = [&](CDataExchange* pDX) {
    DDX_OCText(pDX, kControl, kDispText, text);
    DDX_OCInt(pDX, kControl, kDispNumber, number);
  };
  EXPECT_EQ(IDOK, dlg.DoModal());
  SetMessageBoxScript(nullptr);
  ExpectEverythingReleased();
}

TEST(Container, ModalLoopOffersKeysToTheControlThatHasTheFocus) {
  ResetTestControl();
  CScriptDialog dlg(kTemplate);
  dlg.steps.push_back([](CScriptDialog&) {
    const ControlLog& log = g_testControl.controls.at(0);
    SetFocus(log.hWnd);
    PostMessageA(log.hWnd, WM_KEYDOWN, kAcceleratorKey, 1);  // taken by the control
    PostMessageA(log.hWnd, WM_KEYDOWN, VK_F3, 1);            // declined: goes on to the window
  });
  dlg.steps.push_back([](CScriptDialog&) {
    const ControlLog& log = g_testControl.controls.at(0);
    SetFocus(log.hInner);
    PostMessageA(log.hInner, WM_KEYDOWN, VK_F4, 1);  // focus inside the control
  });
  dlg.steps.push_back([](CScriptDialog& d) {
    SetFocus(d.GetDlgItem(kButtonA));
    PostMessageA(d.GetDlgItem(kButtonA), WM_KEYDOWN, VK_F5, 1);  // not the control's
  });
  EXPECT_EQ(IDOK, dlg.DoModal());
  ASSERT_EQ(2u, g_testControl.controls.size());
  EXPECT_EQ((std::vector<UINT>{kAcceleratorKey, VK_F3, VK_F4}), g_testControl.controls[0].keysOffered);
  EXPECT_EQ((std::vector<UINT>{VK_F3}), g_testControl.controls[0].keysInWindow);
  EXPECT_TRUE(g_testControl.controls[1].keysOffered.empty());
  ExpectEverythingReleased();
}

TEST(Container, ControlThatCannotBeCreatedEndsTheModalRunWithMinusOne) {
  for (UINT id : {kTemplateUnregistered, kTemplateBadState, kTemplateStorage}) {
    SCOPED_TRACE(id);
    ResetTestControl(OLEMISC_SETCLIENTSITEFIRST);
    CScriptDialog dlg(id);
    EXPECT_EQ(-1, dlg.DoModal());
    EXPECT_FALSE(dlg.initRan);
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_EQ(nullptr, dlg.m_pCtrlCont);
    ASSERT_EQ(1u, g_testControl.controls.size());
    // What was made is taken down again.
    const ControlLog& log = g_testControl.controls[0];
    if (id == kTemplateUnregistered)
      EXPECT_EQ((std::vector<std::string>{"InPlaceDeactivate", "Close", "SetClientSite(null)"}),
                LastCalls(log, 3));
    else
      EXPECT_EQ("SetClientSite(null)", log.calls.back());
    ExpectEverythingReleased();
  }
}

TEST(Container, CreateControlMakesAControlWithNoSavedState) {
  ResetTestControl();
  HWND parent =
      CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, parent);
  COleControlSite* site = nullptr;
  RECT rc{10, 20, 110, 70};
  ASSERT_EQ(S_OK, CreateControl(CLSID_TestControl, "Named", WS_VISIBLE | WS_TABSTOP, rc, parent, 77, &site));
  ASSERT_NE(nullptr, site);
  const ControlLog& log = g_testControl.controls.at(0);
  EXPECT_EQ((std::vector<std::string>{"InitNew", "SetClientSite", "SetExtent", "DoVerb"}), log.calls);
  SIZEL expected = Himetric(100, 50);
  EXPECT_EQ(expected.cx, log.extentSet.cx);
  EXPECT_EQ(expected.cy, log.extentSet.cy);
  EXPECT_EQ(L"Named", log.displayName);
  EXPECT_EQ(site->GetControlWindow(), GetDlgItem(parent, 77));
  EXPECT_TRUE(SameRect(rc, RectInParent(site->GetControlWindow())));
  EXPECT_EQ(77, site->GetID());
  site->Destroy();
  EXPECT_EQ(nullptr, log.hWnd);
  ExpectEverythingReleased();

  // A class that is registered nowhere: nothing is made.
  const CLSID unknown = {0x6f1c2b90, 0x6a52, 0x4c8e, {0x9d, 0x3b, 0x1e, 0x7a, 0x5c, 0x0f, 0x4d, 0x12}};
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateControl(unknown, "", WS_VISIBLE, rc, parent, 78, &site));
  EXPECT_EQ(nullptr, site);
  EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));
  DestroyWindow(parent);
}

}  // namespace
}  // namespace occtest
