// Self-registration of DvrOcx.ocx in the test prefix's registry, checked
// through our entry points, Wine's regsvr32, COM creation and Wine's own
// ActiveX host (atl.dll). Each test registers a copy of the control in a
// folder of its own and unregisters it again; a registration that was
// there before the run is put back at the end.
#include <gtest/gtest.h>

#include "component_test_support.h"
#include "dvrocx_ids.h"

using namespace velotest;

namespace {

const std::string kClassKey = std::string("CLSID\\") + kDvrOcxClsidText;
const std::string kTypeLibKey = "TypeLib\\{89E04B22-0358-4FB2-B48F-0B18133543A4}";
const std::string kInterfaceKey = "Interface\\{057BE205-FDF3-469C-8328-237A548FEF1A}";
#ifdef _WIN64
const char kTypeLibPlatform[] = "win64";
#else
const char kTypeLibPlatform[] = "win32";
#endif

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH * 2] = "";
    GetModuleFileNameA(module, path, sizeof(path));
    return path;
}

bool SamePath(const std::string &a, const std::string &b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// Runs a program and returns its exit code (or -1 when it did not end in time).
DWORD RunProgram(const std::string &commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<DWORD>(-2);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string Regsvr32()
{
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof(system));
    return std::string(system) + "\\regsvr32.exe";
}

class DvrOcxRegistration : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (auto path = ClassesValue(kClassKey + "\\InprocServer32"))
            s_previous = *path;
    }
    static void TearDownTestSuite()
    {
        if (!s_previous.empty() && GetFileAttributesA(s_previous.c_str()) != INVALID_FILE_ATTRIBUTES) {
            CControlModule previous(s_previous);
            previous.Call("DllRegisterServer");
        }
    }
    void SetUp() override
    {
        m_path = m_folder.CopyPayload("DvrOcx.ocx");
        m_folder.CopyPayload("DvrOcxChs.dll");
        m_folder.CopyPayload("DvrOcxChn.dll");
        // Whatever was registered before is out of the way for the test.
        if (ClassesKeyExists(kClassKey)) {
            CControlModule copy(m_path);
            copy.Call("DllUnregisterServer");
        }
    }
    void TearDown() override
    {
        CControlModule copy(m_path);
        copy.Call("DllUnregisterServer");
        CoFreeUnusedLibraries();
    }

    static void ExpectRegisteredAt(const std::string &path)
    {
        EXPECT_EQ(ClassesValue(kClassKey), "DvrOcx Control");
        auto server = ClassesValue(kClassKey + "\\InprocServer32");
        ASSERT_TRUE(server.has_value());
        EXPECT_TRUE(SamePath(*server, path)) << *server;
        EXPECT_EQ(ClassesValue(kClassKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
        EXPECT_TRUE(ClassesKeyExists(kClassKey + "\\Control"));
        EXPECT_EQ(ClassesValue(kClassKey + "\\ProgID"), kDvrOcxProgId);
        EXPECT_EQ(ClassesValue(kClassKey + "\\TypeLib"), "{89E04B22-0358-4FB2-B48F-0B18133543A4}");
        EXPECT_EQ(ClassesValue(kClassKey + "\\Version"), "1.0");
        EXPECT_EQ(ClassesValue(kClassKey + "\\MiscStatus"), "0");
        EXPECT_EQ(ClassesValue(kClassKey + "\\MiscStatus\\1"), "131473");
        EXPECT_EQ(ClassesValue(kDvrOcxProgId), "DvrOcx Control");
        EXPECT_EQ(ClassesValue(std::string(kDvrOcxProgId) + "\\CLSID"), kDvrOcxClsidText);
        auto typeLib = ClassesValue(kTypeLibKey + "\\1.0\\0\\" + kTypeLibPlatform);
        ASSERT_TRUE(typeLib.has_value());
        EXPECT_TRUE(SamePath(*typeLib, path)) << *typeLib;
        EXPECT_TRUE(ClassesKeyExists(kInterfaceKey));
    }
    static void ExpectNothingRegistered()
    {
        EXPECT_FALSE(ClassesKeyExists(kClassKey));
        EXPECT_FALSE(ClassesKeyExists(kDvrOcxProgId));
        EXPECT_FALSE(ClassesKeyExists(kTypeLibKey));
        EXPECT_FALSE(ClassesKeyExists(kInterfaceKey));
    }

    static std::string s_previous;
    CTempFolder m_folder;
    std::string m_path;
};
std::string DvrOcxRegistration::s_previous;

TEST_F(DvrOcxRegistration, EntryPointsWriteTheKeysAndRemoveExactlyThem)
{
    ExpectNothingRegistered();
    {
        CControlModule copy(m_path);
        ASSERT_EQ(copy.Call("DllRegisterServer"), S_OK);
        ExpectRegisteredAt(ModulePath(copy.Handle()));
        // Registering again changes nothing.
        ASSERT_EQ(copy.Call("DllRegisterServer"), S_OK);
        ExpectRegisteredAt(ModulePath(copy.Handle()));

        // Something of someone else's under the class key survives.
        HKEY foreign = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, (kClassKey + "\\Implemented Categories").c_str(), &foreign),
                  ERROR_SUCCESS);
        RegCloseKey(foreign);
        EXPECT_EQ(copy.Call("DllUnregisterServer"), S_OK);
        EXPECT_TRUE(ClassesKeyExists(kClassKey + "\\Implemented Categories"));
        EXPECT_FALSE(ClassesKeyExists(kClassKey + "\\InprocServer32"));
        EXPECT_FALSE(ClassesKeyExists(kClassKey + "\\MiscStatus"));
        DeleteClassesTree(kClassKey);

        // Unregistering what is not registered is no error.
        EXPECT_EQ(copy.Call("DllUnregisterServer"), S_OK);
    }
    ExpectNothingRegistered();
}

TEST_F(DvrOcxRegistration, WineRegsvr32AgreesWithTheEntryPoints)
{
    EXPECT_EQ(RunProgram("\"" + Regsvr32() + "\" /s \"" + m_path + "\""), 0u);
    ExpectRegisteredAt(m_path);
    EXPECT_EQ(RunProgram("\"" + Regsvr32() + "\" /u /s \"" + m_path + "\""), 0u);
    ExpectNothingRegistered();
}

TEST_F(DvrOcxRegistration, CreatedThroughTheRegistryItAnswersByDispatch)
{
    {
        CControlModule copy(m_path);
        ASSERT_EQ(copy.Call("DllRegisterServer"), S_OK);
    }
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"DVROCX.DvrOcxCtrl.1", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_DvrOcx));

    IDispatch *dispatch = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DvrOcx, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void **>(&dispatch)),
              S_OK);
    // The class was served by the registered copy.
    EXPECT_NE(GetModuleHandleA(m_path.c_str()), nullptr);

    const wchar_t *names[] = {L"deviceIP", L"DevicePort", L"SetDeviceIPandPort"};
    for (DISPID expected = 1; expected <= 3; ++expected) {
        LPOLESTR name = const_cast<LPOLESTR>(names[expected - 1]);
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, expected);
    }
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"10.0.0.8");
    EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEIP, value), S_OK);
    VariantClear(&value);
    EXPECT_EQ(GetDeviceIP(dispatch), L"10.0.0.8");
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = VARIANT_FALSE;
    EXPECT_EQ(PutProperty(dispatch, DISPID_ENABLED, value), DISP_E_MEMBERNOTFOUND);
    dispatch->Release();

    // The registered type library is the embedded one.
    ITypeLib *typeLib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_DvrOcxLib, 1, 0, LOCALE_NEUTRAL, &typeLib), S_OK);
    TLIBATTR *attr = nullptr;
    ASSERT_EQ(typeLib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_DvrOcxLib));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    typeLib->ReleaseTLibAttr(attr);
    typeLib->Release();
}

typedef BOOL(WINAPI *AtlAxWinInitFn)();
typedef HRESULT(WINAPI *AtlAxGetControlFn)(HWND window, IUnknown **control);

// Wine's own ActiveX host creates the control from a window text, without
// ambient properties or saved state.
TEST_F(DvrOcxRegistration, HostedByWineAtl)
{
    {
        CControlModule copy(m_path);
        ASSERT_EQ(copy.Call("DllRegisterServer"), S_OK);
    }
    HMODULE atl = LoadLibraryA("atl.dll");
    ASSERT_NE(atl, nullptr);
    auto axWinInit = ProcAddress<AtlAxWinInitFn>(atl, "AtlAxWinInit");
    auto axGetControl = ProcAddress<AtlAxGetControlFn>(atl, "AtlAxGetControl");
    ASSERT_NE(axWinInit, nullptr);
    ASSERT_NE(axGetControl, nullptr);
    ASSERT_TRUE(axWinInit());

    for (const char *name : {kDvrOcxProgId, kDvrOcxClsidText}) {
        SCOPED_TRACE(name);
        HWND frame = CreateWindowExA(0, "STATIC", "AtlAxWin host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000,
                                     640, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(frame, nullptr);
        HWND host = CreateWindowExA(0, "AtlAxWin", name, WS_CHILD | WS_VISIBLE, 0, 0, 980, 600, frame, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        PumpFor(50);

        HWND control = GetWindow(host, GW_CHILD);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(IsWindowVisible(control));
        RECT rect;
        GetClientRect(control, &rect);
        EXPECT_EQ(rect.right, 980);
        EXPECT_EQ(rect.bottom, 600);
        int languages = 0;
        for (const ChildWindow &child : Descendants(host)) {
            languages += child.caption == "ENGLISH";
            languages += child.caption == "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4"; // 简体中文
            languages += child.caption == "\xB7\xB1\xCC\xE5\xD6\xD0\xCE\xC4"; // 繁体中文
        }
        EXPECT_EQ(languages, 3);

        IUnknown *unknown = nullptr;
        ASSERT_EQ(axGetControl(host, &unknown), S_OK);
        IDispatch *dispatch = nullptr;
        ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch)), S_OK);
        unknown->Release();
        VARIANT value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = 6036;
        EXPECT_EQ(PutProperty(dispatch, DISPID_DVROCX_DEVICEPORT, value), S_OK);
        EXPECT_EQ(GetDevicePort(dispatch), 6036);
        dispatch->Release();

        // Destroying the host closes the control and lets it go.
        DestroyWindow(frame);
        EXPECT_FALSE(IsWindow(control));
        HMODULE served = GetModuleHandleA(m_path.c_str());
        ASSERT_NE(served, nullptr);
        EXPECT_EQ(ProcAddress<DllEntryFn>(served, "DllCanUnloadNow")(), S_OK);
    }
    FreeLibrary(atl);
}

} // namespace
