// How long the viewer control takes from DoVerb to its window being visible
// in a shown dialog. The control is hosted through a thin wrapper of its
// IOleObject that notes when DoVerb is called; everything else is the
// control's own. Prints the median; checks only that the control came up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "occ_test_support.h"
// After the OLE headers, which declare DISPID.
#include "components/common/dvrocx_ids.h"

namespace occtest {

extern HMODULE g_hDvrOcxModule;

namespace {

// {6F1C2B90-6A52-4C8E-9D3B-1E7A5C0F4D13}: the wrapped control (dialog 3004).
const CLSID CLSID_TimedDvrOcx = {
    0x6f1c2b90, 0x6a52, 0x4c8e, {0x9d, 0x3b, 0x1e, 0x7a, 0x5c, 0x0f, 0x4d, 0x13}};

LARGE_INTEGER g_doVerbAt;

class CTimedObject final : public IOleObject {
 public:
  explicit CTimedObject(IOleObject* inner) : m_inner(inner) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IOleObject) {
      *ppv = static_cast<IOleObject*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRef; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --m_cRef;
    if (n == 0) {
      m_inner->Release();
      delete this;
    }
    return n;
  }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                                   LPCRECT rc) override {
    QueryPerformanceCounter(&g_doVerbAt);
    return m_inner->DoVerb(verb, msg, site, index, parent, rc);
  }
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* s) override { return m_inner->SetClientSite(s); }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** s) override { return m_inner->GetClientSite(s); }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR a, LPCOLESTR b) override {
    return m_inner->SetHostNames(a, b);
  }
  HRESULT STDMETHODCALLTYPE Close(DWORD o) override { return m_inner->Close(o); }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD w, IMoniker* m) override { return m_inner->SetMoniker(w, m); }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD a, DWORD w, IMoniker** m) override {
    return m_inner->GetMoniker(a, w, m);
  }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* d, BOOL c, DWORD r) override {
    return m_inner->InitFromData(d, c, r);
  }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD r, IDataObject** d) override {
    return m_inner->GetClipboardData(r, d);
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** e) override { return m_inner->EnumVerbs(e); }
  HRESULT STDMETHODCALLTYPE Update() override { return m_inner->Update(); }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return m_inner->IsUpToDate(); }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* c) override { return m_inner->GetUserClassID(c); }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD f, LPOLESTR* t) override { return m_inner->GetUserType(f, t); }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD a, SIZEL* s) override { return m_inner->SetExtent(a, s); }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD a, SIZEL* s) override { return m_inner->GetExtent(a, s); }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* s, DWORD* c) override { return m_inner->Advise(s, c); }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD c) override { return m_inner->Unadvise(c); }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** e) override { return m_inner->EnumAdvise(e); }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD a, DWORD* s) override { return m_inner->GetMiscStatus(a, s); }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* p) override { return m_inner->SetColorScheme(p); }

 private:
  ~CTimedObject() = default;
  ULONG m_cRef = 1;
  IOleObject* m_inner;
};

class CTimedFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = (riid == IID_IUnknown || riid == IID_IClassFactory) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IOleObject* inner = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DvrOcx, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&inner));
    if (FAILED(hr)) return hr;
    CTimedObject* timed = new CTimedObject(inner);
    hr = timed->QueryInterface(riid, ppv);
    timed->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST(ActivationTime, FromDoVerbToTheControlWindowVisible) {
  ASSERT_NE(nullptr, g_hDvrOcxModule);
  static CTimedFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_TimedDvrOcx, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie));
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  std::vector<double> ms;
  for (int run = 0; run < 9; ++run) {
    g_doVerbAt.QuadPart = 0;
    CScriptDialog dlg(3004);
    // The first posted message after OnInitDialog comes once the dialog
    // has been shown.
    dlg.steps.push_back([&](CScriptDialog& d) {
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      HWND control = d.GetDlgItem(1011);
      ASSERT_NE(nullptr, control);
      EXPECT_TRUE(IsWindowVisible(control));
      ASSERT_NE(0, g_doVerbAt.QuadPart);
      ms.push_back(1000.0 * static_cast<double>(now.QuadPart - g_doVerbAt.QuadPart) /
                   static_cast<double>(freq.QuadPart));
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
  }
  CoRevokeClassObject(cookie);
  ASSERT_EQ(9u, ms.size());
  std::sort(ms.begin(), ms.end());
  std::printf("DoVerb to control window visible: median %.2f ms (min %.2f, max %.2f, 9 runs)\n", ms[4], ms[0],
              ms[8]);
  RecordProperty("doverb_to_visible_median_ms", std::to_string(ms[4]));
}

}  // namespace
}  // namespace occtest
