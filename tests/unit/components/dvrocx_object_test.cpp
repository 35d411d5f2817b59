// The viewer control as a COM object, loaded from its file without any
// registration: dispatch members and type library, saved state, lifetime,
// and in-place activation in a container that offers no ambient properties.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "component_test_support.h"
#include "control_ids.h"
#include "dvrocx_ids.h"

using namespace velotest;

namespace {

// The record the program's dialog template holds for the control.
const BYTE kTemplateState[20] = {0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 0xC4, 0x67, 0, 0, 0xB3, 0x40, 0, 0, 0, 0, 0, 0};

std::vector<BYTE> State(DWORD w0, DWORD version, DWORD cx, DWORD cy, DWORD w4)
{
    std::vector<BYTE> bytes;
    for (DWORD word : {w0, version, cx, cy, w4})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<BYTE>(word >> (8 * i)));
    return bytes;
}

// A stream over bytes that remembers how much it was asked to read.
class CRecordingStream final : public IStream {
public:
    explicit CRecordingStream(std::vector<BYTE> bytes) : m_bytes(std::move(bytes)) {}
    ULONG m_nRequested = 0;
    ULONG m_nPosition = 0;
    std::vector<BYTE> m_bytes;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStream) ||
            IsEqualIID(iid, IID_ISequentialStream)) {
            *object = static_cast<IStream *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(void *buffer, ULONG count, ULONG *read) override
    {
        m_nRequested += count;
        const ULONG left = static_cast<ULONG>(m_bytes.size()) - m_nPosition;
        const ULONG n = count < left ? count : left;
        memcpy(buffer, m_bytes.data() + m_nPosition, n);
        m_nPosition += n;
        if (read != nullptr)
            *read = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void *data, ULONG count, ULONG *written) override
    {
        const BYTE *bytes = static_cast<const BYTE *>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + count);
        m_nPosition = static_cast<ULONG>(m_bytes.size());
        if (written != nullptr)
            *written = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream *, ULARGE_INTEGER, ULARGE_INTEGER *, ULARGE_INTEGER *) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG *, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream **) override { return E_NOTIMPL; }
};

class DvrOcxObject : public testing::Test {
protected:
    static void SetUpTestSuite() { s_module = new CControlModule(PayloadPath("DvrOcx.ocx")); }
    static void TearDownTestSuite()
    {
        delete s_module;
        s_module = nullptr;
    }
    void SetUp() override { ASSERT_NE(s_module->Handle(), nullptr) << PayloadPath("DvrOcx.ocx"); }
    void TearDown() override
    {
        // Every test leaves no object behind.
        EXPECT_EQ(s_module->CanUnloadNow(), S_OK);
    }

    template <typename T>
    T *Create(REFIID iid)
    {
        T *object = nullptr;
        EXPECT_EQ(s_module->Create(iid, reinterpret_cast<void **>(&object)), S_OK);
        return object;
    }

    static SIZEL Extent(IUnknown *object)
    {
        SIZEL size = {-1, -1};
        IOleObject *ole = nullptr;
        object->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&ole));
        ole->GetExtent(DVASPECT_CONTENT, &size);
        ole->Release();
        return size;
    }

    static CControlModule *s_module;
};
CControlModule *DvrOcxObject::s_module = nullptr;

// ---------------------------------------------------------------- dispatch

TEST_F(DvrOcxObject, NamesMembersWithTheirDispIdsAsTheTypeLibraryDoes)
{
    IDispatch *dispatch = Create<IDispatch>(IID_IDispatch);
    ASSERT_NE(dispatch, nullptr);
    ITypeInfo *typeInfo = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &typeInfo), S_OK);
    TYPEATTR *attr = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, DIID__DDvrOcx));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    typeInfo->ReleaseTypeAttr(attr);

    struct {
        const wchar_t *name;
        DISPID id;
    } const members[] = {{L"deviceIP", 1}, {L"DevicePort", 2}, {L"SetDeviceIPandPort", 3}, {L"AboutBox", -552},
                         {L"DEVICEIP", 1}};
    for (const auto &member : members) {
        LPOLESTR name = const_cast<LPOLESTR>(member.name);
        DISPID fromObject = 0;
        DISPID fromTypeInfo = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &fromObject), S_OK);
        EXPECT_EQ(typeInfo->GetIDsOfNames(&name, 1, &fromTypeInfo), S_OK);
        EXPECT_EQ(fromObject, member.id);
        EXPECT_EQ(fromTypeInfo, member.id);
    }
    // Parameter names of the method, and names the control does not have.
    LPOLESTR names[3] = {const_cast<LPOLESTR>(L"SetDeviceIPandPort"), const_cast<LPOLESTR>(L"DevicePort"),
                         const_cast<LPOLESTR>(L"deviceIP")};
    DISPID ids[3] = {};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 3);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Enabled");
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    ITypeLib *typeLib = nullptr;
    UINT index = 0;
    ASSERT_EQ(typeInfo->GetContainingTypeLib(&typeLib, &index), S_OK);
    TLIBATTR *libAttr = nullptr;
    ASSERT_EQ(typeLib->GetLibAttr(&libAttr), S_OK);
    EXPECT_TRUE(IsEqualGUID(libAttr->guid, LIBID_DvrOcxLib));
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    typeLib->ReleaseTLibAttr(libAttr);
    typeLib->Release();
    typeInfo->Release();
    dispatch->Release();
}

TEST_F(DvrOcxObject, ClassInfoNamesTheCoclassAndItsEventInterface)
{
    IProvideClassInfo2 *info = Create<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_NE(info, nullptr);
    GUID events = GUID_NULL;
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualGUID(events, DIID__DDvrOcxEvents));
    ITypeInfo *coclass = nullptr;
    ASSERT_EQ(info->GetClassInfo(&coclass), S_OK);
    TYPEATTR *attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_DvrOcx));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
    coclass->ReleaseTypeAttr(attr);
    coclass->Release();

    // The event point takes a sink and lets it go again.
    IConnectionPointContainer *container = nullptr;
    ASSERT_EQ(info->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container)), S_OK);
    IConnectionPoint *point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(DIID__DDvrOcxEvents, &point), S_OK);
    IConnectionPoint *none = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, &none), CONNECT_E_NOCONNECTION);
    IDispatch *sink = Create<IDispatch>(IID_IDispatch); // any IDispatch will do as a sink
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    sink->Release();
    point->Release();
    container->Release();
    info->Release();
}

TEST_F(DvrOcxObject, PropertiesRoundTripAndThereIsNoEnabledProperty)
{
    IDispatch *dispatch = Create<IDispatch>(IID_IDispatch);
    ASSERT_NE(dispatch, nullptr);
    EXPECT_EQ(GetDeviceIP(dispatch), L"");
    EXPECT_EQ(GetDevicePort(dispatch), 0);

    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"192.168.1.64");
    EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEIP, value), S_OK);
    VariantClear(&value);
    EXPECT_EQ(GetDeviceIP(dispatch), L"192.168.1.64");

    V_VT(&value) = VT_I4;
    V_I4(&value) = 34567;
    EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEPORT, value), S_OK);
    EXPECT_EQ(GetDevicePort(dispatch), 34567);
    // A text that reads as a number is taken for the port; one that does not is refused.
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"8000");
    EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEPORT, value), S_OK);
    VariantClear(&value);
    EXPECT_EQ(GetDevicePort(dispatch), 8000);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"port");
    EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEPORT, value), DISP_E_TYPEMISMATCH);
    VariantClear(&value);
    EXPECT_EQ(GetDevicePort(dispatch), 8000);

    // The container's request to disable the control fails, as it must.
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = VARIANT_FALSE;
    EXPECT_EQ(PutProperty(dispatch, DISPID_ENABLED, value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(GetProperty(dispatch, DISPID_ENABLED, &value), DISP_E_MEMBERNOTFOUND);

    // Wrong argument counts and a foreign interface id.
    DISPPARAMS empty = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &empty, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(dispatch->Invoke(1, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &empty, &value, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    dispatch->Release();
}

TEST_F(DvrOcxObject, SetDeviceIPandPortTakesNamedArgumentsAndRefusesBadOnesAtOnce)
{
    IDispatch *dispatch = Create<IDispatch>(IID_IDispatch);
    ASSERT_NE(dispatch, nullptr);
    LONG result = 0;
    const double start = NowMs();
    EXPECT_EQ(CallSetDeviceIPandPort(dispatch, L"300.1.2.3", 8000, &result), S_OK);
    EXPECT_NE(result, 0);
    EXPECT_EQ(CallSetDeviceIPandPort(dispatch, L"not an address!", 8000, &result), S_OK);
    EXPECT_NE(result, 0);
    for (const wchar_t *bad : {L"", L"1.2.3", L"1.2.3.4.5", L"01234.1.1.1", L"-host.example", L"a..b"}) {
        EXPECT_EQ(CallSetDeviceIPandPort(dispatch, bad, 8000, &result), S_OK);
        EXPECT_NE(result, 0) << static_cast<const void *>(bad);
    }
    EXPECT_LT(NowMs() - start, 1000.0);
    // A refused call changes nothing.
    EXPECT_EQ(GetDeviceIP(dispatch), L"");
    EXPECT_EQ(GetDevicePort(dispatch), 0);

    // Named arguments in any order; the port as a long in the unsigned range.
    VARIANT args[2];
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = SysAllocString(L"127.0.0.1");
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 50000;
    DISPID named[2] = {0, 1};
    DISPPARAMS params = {args, named, 2, 2};
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_VT(&out), VT_I4);
    EXPECT_EQ(V_I4(&out), 0);
    EXPECT_EQ(GetDeviceIP(dispatch), L"127.0.0.1");
    EXPECT_EQ(GetDevicePort(dispatch), 50000);
    V_I4(&args[1]) = 70000;
    UINT argError = 99;
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, &out, nullptr, &argError),
              DISP_E_OVERFLOW);
    EXPECT_EQ(argError, 1u);
    VariantClear(&args[0]);
    dispatch->Release();
}

// ---------------------------------------------------------------- saved state

TEST_F(DvrOcxObject, LoadsTheTwentyByteStateAndSavesTheSame)
{
    IPersistStreamInit *persist = Create<IPersistStreamInit>(IID_IPersistStreamInit);
    ASSERT_NE(persist, nullptr);
    ULARGE_INTEGER max = {};
    EXPECT_EQ(persist->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, 20u);

    // Another extent first, so the template's extent is seen arriving.
    CRecordingStream other(State(0, 0x00010000, 10000, 5000, 0));
    EXPECT_EQ(persist->Load(&other), S_OK);
    EXPECT_EQ(Extent(persist).cx, 10000);
    EXPECT_EQ(Extent(persist).cy, 5000);

    // The template record followed by bytes that belong to someone else.
    std::vector<BYTE> bytes(kTemplateState, kTemplateState + 20);
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    CRecordingStream stream(bytes);
    EXPECT_EQ(persist->Load(&stream), S_OK);
    EXPECT_EQ(Extent(persist).cx, 26564);
    EXPECT_EQ(Extent(persist).cy, 16563);
    EXPECT_EQ(stream.m_nRequested, 20u);
    EXPECT_EQ(stream.m_nPosition, 20u);
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    CRecordingStream saved({});
    EXPECT_EQ(persist->Save(&saved, TRUE), S_OK);
    ASSERT_EQ(saved.m_bytes.size(), 20u);
    EXPECT_EQ(memcmp(saved.m_bytes.data(), kTemplateState, 20), 0);

    IOleObject *ole = nullptr;
    ASSERT_EQ(persist->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&ole)), S_OK);
    SIZEL size = {12000, 9000};
    EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    CRecordingStream resaved({});
    EXPECT_EQ(persist->Save(&resaved, TRUE), S_OK);
    EXPECT_EQ(resaved.m_bytes, State(0, 0x00010000, 12000, 9000, 0));
    EXPECT_EQ(persist->IsDirty(), S_FALSE);

    // InitNew starts from the template's extent again.
    EXPECT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(Extent(persist).cx, 26564);
    EXPECT_EQ(Extent(persist).cy, 16563);
    ole->Release();
    persist->Release();
}

TEST_F(DvrOcxObject, RefusesShortOrMalformedStateWithoutReadingPastIt)
{
    IPersistStreamInit *persist = Create<IPersistStreamInit>(IID_IPersistStreamInit);
    ASSERT_NE(persist, nullptr);
    CRecordingStream good(State(0, 0x00010000, 10000, 5000, 0));
    ASSERT_EQ(persist->Load(&good), S_OK);

    CRecordingStream shortStream(std::vector<BYTE>(kTemplateState, kTemplateState + 12));
    EXPECT_TRUE(FAILED(persist->Load(&shortStream)));
    EXPECT_LE(shortStream.m_nRequested, 20u);
    CRecordingStream emptyStream({});
    EXPECT_TRUE(FAILED(persist->Load(&emptyStream)));

    const std::vector<BYTE> malformed[] = {
        State(0, 0x00020000, 26564, 16563, 0), // unknown version
        State(0, 0, 26564, 16563, 0),
        State(7, 0x00010000, 26564, 16563, 0), // reserved words set
        State(0, 0x00010000, 26564, 16563, 1),
        State(0, 0x00010000, 0, 16563, 0), // no extent
        State(0, 0x00010000, static_cast<DWORD>(-26564), 16563, 0),
        State(0, 0x00010000, 26564, 0x7FFFFFFF, 0),
    };
    for (const std::vector<BYTE> &bytes : malformed) {
        CRecordingStream stream(bytes);
        EXPECT_TRUE(FAILED(persist->Load(&stream)));
        EXPECT_EQ(stream.m_nRequested, 20u);
    }
    // The state loaded before is untouched by every refusal.
    EXPECT_EQ(Extent(persist).cx, 10000);
    EXPECT_EQ(Extent(persist).cy, 5000);
    EXPECT_EQ(persist->Load(nullptr), E_POINTER);
    persist->Release();
}

// ---------------------------------------------------------------- lifetime

TEST_F(DvrOcxObject, TheModuleIsHeldExactlyWhileObjectsOrLocksLive)
{
    IUnknown *first = Create<IUnknown>(IID_IUnknown);
    IOleObject *second = Create<IOleObject>(IID_IOleObject);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(s_module->CanUnloadNow(), S_FALSE);
    // Every interface of one object counts on the same reference.
    IViewObject2 *view = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_IViewObject2, reinterpret_cast<void **>(&view)), S_OK);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(s_module->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(view->Release(), 0u);
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(s_module->CanUnloadNow(), S_OK);

    auto getClassObject = ProcAddress<DllGetClassObjectFn>(s_module->Handle(), "DllGetClassObject");
    IClassFactory *factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_DvrOcx, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(s_module->CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(s_module->CanUnloadNow(), S_OK);
    IUnknown *aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(first, IID_IUnknown, reinterpret_cast<void **>(&aggregated)),
              CLASS_E_NOAGGREGATION);
    factory->Release();
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
}

// ---------------------------------------------------------------- in place

TEST_F(DvrOcxObject, ActivatesInPlaceAsAWindowedChildAtTheSiteRectangle)
{
    {
        CHostedControl host(*s_module, 800, 600);
        ASSERT_NE(host.m_pObject, nullptr);
        DWORD misc = 0;
        EXPECT_EQ(host.m_pObject->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
        EXPECT_EQ(misc, 131473u);
        EXPECT_EQ(host.ControlWindow(), nullptr);

        host.m_pSite->m_rcPos = {10, 20, 610, 420};
        ASSERT_TRUE(host.Activate(OLEIVERB_INPLACEACTIVATE));
        HWND window = host.ControlWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(GetParent(window), host.m_pSite->Window());
        EXPECT_TRUE(GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD);
        EXPECT_TRUE(IsWindowVisible(window));
        RECT rect;
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, host.m_pSite->Window(), reinterpret_cast<POINT *>(&rect), 2);
        EXPECT_EQ(rect.left, 10);
        EXPECT_EQ(rect.top, 20);
        EXPECT_EQ(rect.right, 610);
        EXPECT_EQ(rect.bottom, 420);
        EXPECT_EQ(host.m_pSite->m_nCanInPlaceActivate, 1);
        EXPECT_EQ(host.m_pSite->m_nInPlaceActivate, 1);
        EXPECT_EQ(host.m_pSite->m_nUIActivate, 0);

        // A second activation reuses the window; UI activation tells the site.
        EXPECT_TRUE(host.Activate(OLEIVERB_UIACTIVATE));
        EXPECT_EQ(host.ControlWindow(), window);
        EXPECT_EQ(host.m_pSite->m_nInPlaceActivate, 1);
        EXPECT_EQ(host.m_pSite->m_nUIActivate, 1);

        IOleInPlaceObject *inPlace = nullptr;
        ASSERT_EQ(host.m_pObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void **>(&inPlace)), S_OK);
        const RECT moved = {5, 6, 505, 306};
        EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
        GetWindowRect(window, &rect);
        MapWindowPoints(nullptr, host.m_pSite->Window(), reinterpret_cast<POINT *>(&rect), 2);
        EXPECT_TRUE(EqualRect(&rect, &moved));
        EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
        EXPECT_EQ(host.m_pSite->m_nUIDeactivate, 1);
        inPlace->Release();

        // Closing takes the window away and gives every site reference back.
        const LONG siteRefs = host.m_pSite->RefCount();
        EXPECT_GT(siteRefs, 1);
        EXPECT_EQ(host.m_pObject->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(host.m_pSite->m_nInPlaceDeactivate, 1);
        EXPECT_EQ(host.m_pObject->SetClientSite(nullptr), S_OK);
        EXPECT_EQ(host.m_pSite->RefCount(), 1);
    }
}

TEST_F(DvrOcxObject, ShowsPanesStatusAndThreeLanguageButtonsThatSwitchItsTexts)
{
    CHostedControl host(*s_module);
    ASSERT_TRUE(host.Activate());
    const std::vector<ChildWindow> children = Descendants(host.ControlWindow());
    int english = 0, simplified = 0, traditional = 0;
    for (const ChildWindow &child : children) {
        english += child.caption == "ENGLISH";
        simplified += child.caption == "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4";  // 简体中文 in GBK
        traditional += child.caption == "\xB7\xB1\xCC\xE5\xD6\xD0\xCE\xC4"; // 繁体中文 in GBK
        // Inner ids keep clear of the host dialog's ids.
        EXPECT_TRUE(child.id < 1001 || child.id > 1027) << child.id;
    }
    EXPECT_EQ(english, 1);
    EXPECT_EQ(simplified, 1);
    EXPECT_EQ(traditional, 1);

    EXPECT_EQ(host.StatusText(), "Not connected. Waiting for a recorder address.");
    ASSERT_TRUE(host.ClickButton("简体中文"));
    EXPECT_EQ(host.StatusText(), "未连接，等待录像机地址。");
    ASSERT_TRUE(host.ClickButton("繁体中文"));
    EXPECT_EQ(host.StatusText(), "未連線，等待錄影機位址。");
    // A status line worded in one language is worded again in the next.
    LONG result = -1;
    EXPECT_EQ(CallSetDeviceIPandPort(host.m_pDispatch, L"300.1.2.3", 8000, &result), S_OK);
    EXPECT_EQ(host.StatusText(), "無效的錄影機位址：300.1.2.3");
    ASSERT_TRUE(host.ClickButton("ENGLISH"));
    EXPECT_EQ(host.StatusText(), "Invalid recorder address: 300.1.2.3");
}

TEST_F(DvrOcxObject, StartsInTheLanguageOfTheSharedSettingsFile)
{
    // The test runs in an empty folder of its own; the file is the program's.
    WritePrivateProfileStringA("Language", "Lang", "1", ".\\QlUserCfg.ini");
    {
        CHostedControl host(*s_module);
        ASSERT_TRUE(host.Activate());
        EXPECT_EQ(host.StatusText(), "未连接，等待录像机地址。");
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ".\\QlUserCfg.ini");
    DeleteFileA(".\\QlUserCfg.ini");
}

TEST_F(DvrOcxObject, TakesItsChineseTextsFromItsOwnFolderOnly)
{
    // A library of the same name in the current folder is never used: here
    // it holds the Traditional texts under the Simplified file name.
    ASSERT_TRUE(CopyFileA(PayloadPath("DvrOcxChn.dll").c_str(), ".\\DvrOcxChs.dll", FALSE));
    {
        CHostedControl host(*s_module);
        ASSERT_TRUE(host.Activate());
        ASSERT_TRUE(host.ClickButton("简体中文"));
        EXPECT_EQ(host.StatusText(), "未连接，等待录像机地址。");
    }
    // A control whose folder lacks its language libraries stays in English.
    {
        CTempFolder folder;
        const std::string lonely = folder.CopyPayload("DvrOcx.ocx");
        CControlModule module(lonely);
        ASSERT_NE(module.Handle(), nullptr);
        {
            CHostedControl host(module);
            ASSERT_TRUE(host.Activate());
            ASSERT_TRUE(host.ClickButton("简体中文"));
            EXPECT_EQ(host.StatusText(), "Not connected. Waiting for a recorder address.");
        }
        EXPECT_EQ(module.CanUnloadNow(), S_OK);
    }
    EXPECT_TRUE(DeleteFileA(".\\DvrOcxChs.dll"));
}

// What the about box showed, read from inside its own modal loop.
struct AboutBoxSeen {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
} g_aboutBox;

BOOL CALLBACK AnswerMessageBox(HWND window, LPARAM)
{
    char name[32] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    char text[256] = "";
    GetWindowTextA(window, text, sizeof(text));
    g_aboutBox.caption = text;
    GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    g_aboutBox.text = text;
    g_aboutBox.owner = GetWindow(window, GW_OWNER);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK LookForMessageBox(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), AnswerMessageBox, 0);
}

// The about box is a message box owned by the control's top-level window.
TEST_F(DvrOcxObject, AboutBoxShowsTheControlsNameInItsLanguage)
{
    CHostedControl host(*s_module);
    ASSERT_TRUE(host.Activate());
    g_aboutBox = AboutBoxSeen();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, LookForMessageBox);
    ASSERT_TRUE(host.ClickButton("简体中文"));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(host.m_pDispatch->Invoke(DISPID_DVROCX_ABOUTBOX, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                       nullptr, nullptr),
              S_OK);
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_aboutBox.caption, "关于 DvrOcx");
    EXPECT_NE(g_aboutBox.text.find("DvrOcx"), std::string::npos) << g_aboutBox.text;
    EXPECT_EQ(g_aboutBox.owner, host.m_pSite->Window());
}

TEST_F(DvrOcxObject, DrawsItsFaceIntoAContainerDeviceContext)
{
    IViewObject2 *view = Create<IViewObject2>(IID_IViewObject2);
    ASSERT_NE(view, nullptr);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 300);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT white = {0, 0, 400, 300};
    FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const RECTL bounds = {0, 0, 400, 300};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    // Dark panes, a lighter bar at the bottom, and drawn labels somewhere.
    const COLORREF pane = GetPixel(dc, 100, 100);
    EXPECT_LT(GetRValue(pane) + GetGValue(pane) + GetBValue(pane), 60);
    const COLORREF bar = GetPixel(dc, 5, 295);
    EXPECT_NE(bar, pane);
    EXPECT_NE(bar, RGB(255, 255, 255));
    int bright = 0;
    for (int x = 0; x < 200; ++x)
        for (int y = 0; y < 40; ++y) {
            const COLORREF c = GetPixel(dc, x, y);
            bright += GetRValue(c) > 150;
        }
    EXPECT_GT(bright, 10); // the "CH1" label
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    view->Release();
}

} // namespace
