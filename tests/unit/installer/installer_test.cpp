// The component installer against the real system directory and registry of
// the test prefix. Every test starts from, and leaves behind, a machine
// without the thirteen files and without the control's registration.
#include "installer/installer.h"

#include <gtest/gtest.h>
#include <oaidl.h>
#include <objbase.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "components/common/dvrocx_ids.h"
#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "installer_support.h"

namespace {

using namespace installer_test;

// "文件已经存在，　覆盖吗" and the missing-control text, spelled as their code
// page 936 bytes so that a wrong character in the program's literal is caught.
const char kOverwriteQuestion[] =
    "\xce\xc4\xbc\xfe\xd2\xd1\xbe\xad\xb4\xe6\xd4\xda\xa3\xac\xa1\xa1\xb8\xb2\xb8\xc7\xc2\xf0";
const char kControlMissingText[] =
    "\xd5\xd2\xb2\xbb\xb5\xbd\xce\xc4\xbc\xfe\xa3\xac \xc7\xeb\xbd\xab"
    "Dvrocx.ocx\xce\xc4\xbc\xfe\xbf\xbd\xb1\xb4\xb5\xbd\xb5\xb1\xc7\xb0\xc4\xbf\xc2\xbc\xcf\xc2\xbb\xf2\xbf\xbd\xb1\xb4"
    "\xb5\xbd";

// The file dialog's filter as the system reads it: text and pattern pairs.
const std::vector<std::string> kFilter = {"(*.ocx)", "*.ocx", "(*.dll)", "*.dll", "all file", "*.*"};

std::vector<std::string> SplitSystemFilter(const std::string& filter) {
  std::vector<std::string> parts;
  for (const char* p = filter.c_str(); *p; p += strlen(p) + 1) parts.push_back(p);
  return parts;
}

std::string Question(const std::string& path) { return path + kOverwriteQuestion; }

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CleanSystemState();
    for (const char* name : kPayloadNames) ASSERT_FALSE(FileExists(SystemPath(name))) << name << " is left over";
    ASSERT_TRUE(RegistrationSnapshot().empty()) << "a registration is left over";
    // A message-only window: it owns the questions and needs no display.
    m_hOwner = CreateWindowExA(0, "STATIC", "Init", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, m_hOwner);
    // Records every box; questions get the scripted answer, the rest OK.
    SetMessageBoxScript([this](const MessageBoxCall& call) {
      m_calls.push_back(call);
      if ((call.type & MB_TYPEMASK) != MB_YESNO) return IDOK;
      return m_answerFn ? m_answerFn(call) : m_answer;
    });
  }

  void TearDown() override {
    SetMessageBoxScript(nullptr);
    SetFileDialogScript(nullptr);
    if (m_hOwner) DestroyWindow(m_hOwner);
    CleanSystemState();
    RemoveScratchDir();
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : m_calls) texts.push_back(call.text);
    return texts;
  }

  void ExpectPayloadInstalled(const char* name) {
    std::string expected = PayloadBytes(name);
    ASSERT_LT(2u, expected.size());
    ASSERT_EQ("MZ", expected.substr(0, 2));
    EXPECT_TRUE(expected == ReadBytes(SystemPath(name))) << name << " differs from its payload";
  }

  // What the start-up dialog does while it initialises.
  void StartUp() {
    if (!IsControlRegistered()) InstallComponents(m_hOwner);
  }

  void ExpectQuestion(const MessageBoxCall& call, const std::string& path) {
    EXPECT_EQ(Question(path), call.text);
    EXPECT_EQ("Stop", call.caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO), call.type);  // Yes and No, no icon
    EXPECT_EQ(m_hOwner, call.hOwner);
  }

  // Chooses pszPath in the next file dialog (or cancels it when null) and
  // checks the dialog is the one both buttons show.
  void ScriptFileDialog(const char* pszPath) {
    std::string chosen = pszPath ? pszPath : "";
    bool cancel = pszPath == nullptr;
    SetFileDialogScript([this, chosen, cancel](const CFileDialog& dlg, std::string* pPath) -> INT_PTR {
      ++m_nFileDialogs;
      EXPECT_EQ(kFilter, SplitSystemFilter(dlg.GetSystemFilter()));
      EXPECT_EQ("", *pPath);  // no initial file name
      if (cancel) return IDCANCEL;
      *pPath = chosen;
      return IDOK;
    });
  }

  HWND m_hOwner = nullptr;
  std::vector<MessageBoxCall> m_calls;
  int m_answer = IDNO;
  std::function<int(const MessageBoxCall&)> m_answerFn;
  int m_nFileDialogs = 0;
};

TEST_F(InstallerTest, PayloadTableNamesTheShippedFilesInOrder) {
  for (int i = 0; i < kPayloadCount; ++i) {
    EXPECT_EQ(172 + i, g_aPayloads[i].nId);
    EXPECT_STREQ(kPayloadNames[i], g_aPayloads[i].pszFileName);
    // Each resource is the library the component build made, whole.
    std::string payload = PayloadBytes(kPayloadNames[i]);
    EXPECT_EQ("MZ", payload.substr(0, 2)) << kPayloadNames[i];
    EXPECT_TRUE(payload == ResourceBytes(172 + i)) << kPayloadNames[i];
  }
  EXPECT_STREQ("CLSID\\{9b479d7b-916a-45b0-b042-d42865a60e21}\\InprocServer32", kControlServerKey);
}

TEST_F(InstallerTest, FirstStartInstallsEverythingAndTheNextStartNothing) {
  ASSERT_EQ(0, IsControlRegistered());
  StartUp();

  // No question, one message.
  ASSERT_EQ(1u, m_calls.size());
  EXPECT_EQ("Register finish", m_calls[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK), m_calls[0].type & MB_TYPEMASK);
  for (const char* name : kPayloadNames) ExpectPayloadInstalled(name);

  std::string registered = RegisteredServerPath();
  EXPECT_EQ(Lower(SystemPath("DvrOcx.ocx")), Lower(registered));
  EXPECT_TRUE(FileExists(registered));
  EXPECT_EQ(1, IsControlRegistered());

  std::vector<FILETIME> times;
  for (const char* name : kPayloadNames) times.push_back(WriteTime(SystemPath(name)));
  m_calls.clear();
  StartUp();
  EXPECT_TRUE(m_calls.empty());
  for (int i = 0; i < kPayloadCount; ++i) {
    FILETIME now = WriteTime(SystemPath(kPayloadNames[i]));
    EXPECT_EQ(0, CompareFileTime(&times[i], &now)) << kPayloadNames[i];
  }
}

TEST_F(InstallerTest, KeyWhoseFileIsGoneRunsTheFullInstallation) {
  InstallComponents(m_hOwner);
  ASSERT_EQ(1, IsControlRegistered());
  ASSERT_TRUE(DeleteFileA(SystemPath("DvrOcx.ocx").c_str()));
  // The other twelve are stale copies: accepting the question must bring the
  // payloads back.
  for (int i = 1; i < kPayloadCount; ++i) WriteBytes(SystemPath(kPayloadNames[i]), OldContent(i));
  m_calls.clear();
  m_answer = IDYES;

  ASSERT_EQ(0, IsControlRegistered());
  StartUp();

  ASSERT_EQ(13u, m_calls.size());  // twelve questions, then the registration
  for (int i = 1; i < kPayloadCount; ++i) ExpectQuestion(m_calls[i - 1], SystemPath(kPayloadNames[i]));
  EXPECT_EQ("Register finish", m_calls[12].text);
  for (const char* name : kPayloadNames) ExpectPayloadInstalled(name);
  EXPECT_EQ(1, IsControlRegistered());
}

TEST_F(InstallerTest, ExistingFilesAreAskedAboutInTableOrder) {
  // Stale files longer than the payloads, so a replacement must also cut them.
  for (int i = 0; i < kPayloadCount; ++i) WriteBytes(SystemPath(kPayloadNames[i]), OldContent(i));
  int nAsked = 0;
  m_answerFn = [&nAsked](const MessageBoxCall&) { return nAsked++ % 2 == 0 ? IDYES : IDNO; };

  StartUp();

  ASSERT_EQ(14u, m_calls.size());
  for (int i = 0; i < kPayloadCount; ++i) ExpectQuestion(m_calls[i], SystemPath(kPayloadNames[i]));
  // The control itself (the first) was replaced, so it registers.
  EXPECT_EQ("Register finish", m_calls[13].text);
  for (int i = 0; i < kPayloadCount; ++i) {
    if (i % 2 == 0)
      ExpectPayloadInstalled(kPayloadNames[i]);
    else
      EXPECT_TRUE(OldContent(i) == ReadBytes(SystemPath(kPayloadNames[i]))) << kPayloadNames[i] << " changed";
  }
}

TEST_F(InstallerTest, DecliningEveryQuestionStillAttemptsTheRegistration) {
  for (int i = 0; i < kPayloadCount; ++i) WriteBytes(SystemPath(kPayloadNames[i]), OldContent(i));
  m_answer = IDNO;

  InstallComponents(m_hOwner);

  ASSERT_EQ(14u, m_calls.size());
  for (int i = 0; i < kPayloadCount; ++i) ExpectQuestion(m_calls[i], SystemPath(kPayloadNames[i]));
  // The kept DvrOcx.ocx is no library at all.
  EXPECT_EQ("LoadLibrary fail: 193", m_calls[13].text);
  for (int i = 0; i < kPayloadCount; ++i)
    EXPECT_TRUE(OldContent(i) == ReadBytes(SystemPath(kPayloadNames[i]))) << kPayloadNames[i] << " changed";
  EXPECT_EQ(0, IsControlRegistered());
}

TEST_F(InstallerTest, UnwritableTargetsAreReportedAndTheOthersWritten) {
  const std::string dirPath = SystemPath("DvrOcxChn.dll");  // a folder of that name
  ASSERT_TRUE(CreateDirectoryA(dirPath.c_str(), nullptr));
  const std::string busyPath = SystemPath("Nvrfs.dll");  // in use, shared with nobody
  HANDLE hBusy = CreateFileA(busyPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, hBusy);
  // A read-only file: Windows refuses to open it for writing; Wine running as
  // root may not. Expect what the system does with it.
  const std::string roPath = SystemPath("AmrDll.dll");
  WriteBytes(roPath, OldContent(12));
  ASSERT_TRUE(SetFileAttributesA(roPath.c_str(), FILE_ATTRIBUTE_READONLY));
  DWORD dwReadOnlyError = OpenForWritingError(roPath);
  m_answer = IDYES;

  InstallComponents(m_hOwner);
  CloseHandle(hBusy);

  std::vector<std::string> expected = {"CreateFile fail " + dirPath + ", error: 5",
                                       "CreateFile fail " + busyPath + ", error: 32"};
  if (dwReadOnlyError != 0)
    expected.push_back("CreateFile fail " + roPath + ", error: " + std::to_string(dwReadOnlyError));
  else
    expected.push_back(Question(roPath));
  expected.push_back("Register finish");
  EXPECT_EQ(expected, Texts());
  for (int i = 0; i < kPayloadCount; ++i) {
    const std::string name = kPayloadNames[i];
    if (name == "DvrOcxChn.dll" || name == "Nvrfs.dll") continue;
    if (name == "AmrDll.dll" && dwReadOnlyError != 0) {
      EXPECT_TRUE(OldContent(12) == ReadBytes(roPath)) << "the read-only file changed";
      continue;
    }
    ExpectPayloadInstalled(kPayloadNames[i]);
  }
  EXPECT_NE(0u, GetFileAttributesA(dirPath.c_str()) & FILE_ATTRIBUTE_DIRECTORY) << "the folder stays";
  EXPECT_EQ("", ReadBytes(busyPath));
}

TEST_F(InstallerTest, RegistrationMessages) {
  // Nothing in the system directory.
  RegisterControl();
  // A library of that name without the entry point.
  CopyFileA(PayloadPath("AmrDll.dll").c_str(), SystemPath("DvrOcx.ocx").c_str(), FALSE);
  RegisterControl();
  // A folder where the control should be: it cannot be loaded.
  RemoveTarget(SystemPath("DvrOcx.ocx"));
  CreateDirectoryA(SystemPath("DvrOcx.ocx").c_str(), nullptr);
  RegisterControl();

  std::vector<std::string> expected = {kControlMissingText + SystemDir(), "GetProcAddress fail", "LoadLibrary fail: 5"};
  EXPECT_EQ(expected, Texts());
  for (const MessageBoxCall& call : m_calls) EXPECT_EQ(static_cast<UINT>(MB_OK), call.type & MB_TYPEMASK);
  EXPECT_FALSE(KeyExists(kControlServerKey));
}

TEST_F(InstallerTest, ASameNamedLibraryInTheCurrentFolderIsNeverLoaded) {
  // The planted DvrOcx.ocx is a companion library: it has no DllRegisterServer,
  // so loading it would show "GetProcAddress fail".
  ScopedPlant plant(PayloadPath("AmrDll.dll"));
  HMODULE hPlanted = LoadLibraryA("DvrOcx.ocx");
  ASSERT_NE(nullptr, hPlanted) << "the search order finds the planted copy";
  EXPECT_EQ(nullptr, GetProcAddress(hPlanted, "DllRegisterServer"));
  FreeLibrary(hPlanted);

  RegisterControl();  // no control in the system directory
  StartUp();
  EXPECT_EQ((std::vector<std::string>{kControlMissingText + SystemDir(), "Register finish"}), Texts());
  EXPECT_EQ(Lower(SystemPath("DvrOcx.ocx")), Lower(RegisteredServerPath()));

  // The buttons load the chosen file, not the planted one of the same name,
  // also when the system directory has no copy to find first.
  const std::string chosen = CopyToScratch(PayloadPath("DvrOcx.ocx"), "DvrOcx.ocx");
  m_calls.clear();
  ScriptFileDialog(chosen.c_str());
  OnButtonUnregister();
  EXPECT_EQ(std::vector<std::string>{"UnRegister finish"}, Texts());
  EXPECT_FALSE(KeyExists(kControlServerKey));
  RemoveTarget(SystemPath("DvrOcx.ocx"));
  m_calls.clear();
  OnButtonRegister();
  EXPECT_TRUE(m_calls.empty());
  EXPECT_EQ(Lower(chosen), Lower(RegisteredServerPath()));
}

TEST_F(InstallerTest, RegisterAndUnregisterButtons) {
  const std::string chosen = CopyToScratch(PayloadPath("DvrOcx.ocx"), "DvrOcx.ocx");

  // Cancelled dialogs do nothing.
  ScriptFileDialog(nullptr);
  OnButtonRegister();
  OnButtonUnregister();
  EXPECT_EQ(2, m_nFileDialogs);
  EXPECT_TRUE(m_calls.empty());
  EXPECT_TRUE(RegistrationSnapshot().empty());

  // Register shows nothing and registers the chosen file where it is.
  ScriptFileDialog(chosen.c_str());
  OnButtonRegister();
  EXPECT_TRUE(m_calls.empty());
  EXPECT_EQ(Lower(chosen), Lower(RegisteredServerPath()));
  EXPECT_EQ(1, IsControlRegistered());
  std::map<std::string, std::string> keys = RegistrationSnapshot();
  EXPECT_LT(0, CountUnder(keys, "TypeLib\\"));
  EXPECT_LT(0, CountUnder(keys, "Interface\\"));

  // Unregister removes every key the registration wrote.
  OnButtonUnregister();
  EXPECT_EQ(std::vector<std::string>{"UnRegister finish"}, Texts());
  EXPECT_TRUE(RegistrationSnapshot().empty());
  EXPECT_EQ(0, IsControlRegistered());

  // A library without the entry points; a file that is not there.
  m_calls.clear();
  ScriptFileDialog(PayloadPath("Winpubf.dll").c_str());
  OnButtonRegister();
  OnButtonUnregister();
  ScriptFileDialog((ScratchDir() + "\\NoSuch.ocx").c_str());
  OnButtonRegister();
  OnButtonUnregister();
  EXPECT_EQ(
      (std::vector<std::string>{"GetProcAddress fail", "GetProcAddress fail", "LoadLibrary fail", "LoadLibrary fail"}),
      Texts());
  for (const MessageBoxCall& call : m_calls) EXPECT_EQ(static_cast<UINT>(MB_OK), call.type & MB_TYPEMASK);
}

TEST_F(InstallerTest, WinesRegsvr32AgreesWithOurRegistration) {
  InstallComponents(m_hOwner);
  ASSERT_EQ(std::vector<std::string>{"Register finish"}, Texts());
  std::map<std::string, std::string> ours = RegistrationSnapshot();
  ASSERT_FALSE(ours.empty());

  const std::string control = SystemPath("DvrOcx.ocx");
  ASSERT_EQ(0u, RunRegsvr32("/u /s \"" + control + "\""));
  EXPECT_TRUE(RegistrationSnapshot().empty());
  ASSERT_EQ(0u, RunRegsvr32("/s \"" + control + "\""));
  EXPECT_EQ(ours, RegistrationSnapshot());

  // And regsvr32's registration is undone by the Unregister button.
  m_calls.clear();
  ScriptFileDialog(control.c_str());
  OnButtonUnregister();
  EXPECT_EQ(std::vector<std::string>{"UnRegister finish"}, Texts());
  EXPECT_TRUE(RegistrationSnapshot().empty());
}

TEST_F(InstallerTest, RegisteredControlAnswersItsDispatchMembers) {
  InstallComponents(m_hOwner);
  ASSERT_EQ(std::vector<std::string>{"Register finish"}, Texts());

  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  IDispatch* pDispatch = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_DvrOcx, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&pDispatch));
  ASSERT_EQ(S_OK, hr);
  const wchar_t* names[] = {L"deviceIP", L"DevicePort", L"SetDeviceIPandPort"};
  for (int i = 0; i < 3; ++i) {
    LPOLESTR name = const_cast<LPOLESTR>(names[i]);
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(S_OK, pDispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(i + 1, id);
  }
  pDispatch->Release();
  CoUninitialize();
}

// The probe on its own, with hand-written registrations.
TEST_F(InstallerTest, ProbeAcceptsOnlyAStringNamingAnExistingFile) {
  EXPECT_EQ(0, IsControlRegistered());  // no key

  // A file elsewhere counts; the installer does not care where it is.
  const std::string elsewhere = CopyToScratch(PayloadPath("DvrOcx.ocx"), "Elsewhere.ocx");
  SetServerValue(REG_SZ, elsewhere + '\0');
  EXPECT_EQ(1, IsControlRegistered());
  SetServerValue(REG_EXPAND_SZ, elsewhere + '\0');
  EXPECT_EQ(1, IsControlRegistered());
  SetServerValue(REG_SZ, elsewhere + ".gone" + '\0');
  EXPECT_EQ(0, IsControlRegistered());

  // Not a string.
  SetServerValue(REG_BINARY, elsewhere + '\0');
  EXPECT_EQ(0, IsControlRegistered());
  SetServerValue(REG_DWORD, std::string(4, '\x01'));
  EXPECT_EQ(0, IsControlRegistered());
  // Empty, or no default value at all.
  SetServerValue(REG_SZ, std::string(1, '\0'));
  EXPECT_EQ(0, IsControlRegistered());
  DeleteServerValue();
  EXPECT_EQ(0, IsControlRegistered());

  // 259 characters fit the buffer with the terminator; a 300-byte value whose
  // first 259 characters name an existing file does not.
  const std::string longPath = MakeFileWithPathLength(259);
  SetServerValue(REG_SZ, longPath + '\0');
  EXPECT_EQ(1, IsControlRegistered());
  SetServerValue(REG_SZ, longPath + std::string(40, 'x') + '\0');
  EXPECT_EQ(0, IsControlRegistered());
}

TEST_F(InstallerTest, AKeyNamingAMissingFileElsewhereInstallsIntoTheSystemDirectory) {
  const std::string elsewhere = ScratchDir() + "\\DvrOcx.ocx";
  SetServerValue(REG_SZ, elsewhere + '\0');

  StartUp();

  EXPECT_EQ(std::vector<std::string>{"Register finish"}, Texts());
  for (const char* name : kPayloadNames) ExpectPayloadInstalled(name);
  EXPECT_FALSE(FileExists(elsewhere));
  EXPECT_EQ(Lower(SystemPath("DvrOcx.ocx")), Lower(RegisteredServerPath()));
}

}  // namespace
