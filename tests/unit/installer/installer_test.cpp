// The component installer against the real system directory and registry of
// the test prefix. Each test starts from, and leaves, a machine without the
// payload files and without the control's registration.
#include "installer/installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "framework/filedialog.h"
#include "framework/msgbox.h"
#include "tests/support/support.h"

namespace {

using Strings = std::vector<std::string>;

// "文件已经存在，　覆盖吗" and the missing-control text as code page 936 bytes.
const char kExists[] = "\xce\xc4\xbc\xfe\xd2\xd1\xbe\xad\xb4\xe6\xd4\xda\xa3\xac\xa1\xa1\xb8\xb2\xb8\xc7\xc2\xf0";
const char kMissing[] =
    "\xd5\xd2\xb2\xbb\xb5\xbd\xce\xc4\xbc\xfe\xa3\xac \xc7\xeb\xbd\xab"
    "Dvrocx.ocx\xce\xc4\xbc\xfe\xbf\xbd\xb1\xb4\xb5\xbd\xb5\xb1\xc7\xb0\xc4\xbf\xc2\xbc\xcf\xc2\xbb\xf2\xbf\xbd\xb1\xb4"
    "\xb5\xbd";

std::string SystemPath(const std::string& name = "") {
  char dir[MAX_PATH] = "";
  ::GetSystemDirectoryA(dir, MAX_PATH);
  return name.empty() ? dir : std::string(dir) + "\\" + name;
}

// A payload as the component build made it, through drive Z:.
std::string Built(const std::string& name) { return "Z:" VELO_PAYLOAD_DIR "/" + name; }

// The component build's libraries in the order of writing: by the id of the
// resource of this program that holds the same bytes.
Strings Payloads() {
  std::vector<std::pair<int, std::string>> found;
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA(Built("*.*").c_str(), &fd);
  for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(h, &fd)) {
    const std::string bytes = vt::ReadFileBytes(Built(fd.cFileName));
    for (int id = 1; id < 1000 && !bytes.empty(); ++id) {
      HRSRC r = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), "BIN");
      if (r && bytes == std::string(static_cast<const char*>(::LockResource(::LoadResource(nullptr, r))),
                                    ::SizeofResource(nullptr, r)))
        found.emplace_back(id, fd.cFileName);
    }
  }
  ::FindClose(h);
  std::sort(found.begin(), found.end());
  Strings names;
  for (const auto& f : found) names.push_back(f.second);
  return names;
}

// The server the registry names for the control ("" when it is not registered).
std::string RegisteredServer() {
  char value[1024] = "";
  DWORD cb = sizeof(value);
  ::RegGetValueA(HKEY_CLASSES_ROOT, kControlServerKey, nullptr, RRF_RT_REG_SZ, nullptr, value, &cb);
  return value;
}
void SetServer(DWORD type, const std::string& data) {
  ::RegSetKeyValueA(HKEY_CLASSES_ROOT, kControlServerKey, nullptr, type, data.data(), static_cast<DWORD>(data.size()));
}
bool SamePath(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

// An earlier file: no library, and longer than the payload so that a
// replacement has to cut it.
std::string Stale(const std::string& name) { return std::string(vt::ReadFileBytes(Built(name)).size() + 4096, 's'); }

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    ASSERT_EQ(13u, m_payloads.size());
    SetMessageBoxScript([this](const MessageBoxCall& call) {
      m_calls.push_back(call);
      return (call.type & MB_TYPEMASK) == MB_YESNO ? m_answer(m_calls.size()) : IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    SetFileDialogScript(nullptr);
    Clean();
  }
  // Unregisters through the control's own entry point and removes the files.
  void Clean() {
    HMODULE h = ::LoadLibraryA(Built("DvrOcx.ocx").c_str());
    if (auto unregister = vt::Proc<HRESULT(STDAPICALLTYPE*)()>(h, "DllUnregisterServer")) unregister();
    ::FreeLibrary(h);
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, std::string(kControlServerKey).substr(0, 44).c_str());
    for (const std::string& name : m_payloads) {
      ::SetFileAttributesA(SystemPath(name).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileA(SystemPath(name).c_str())) ::RemoveDirectoryA(SystemPath(name).c_str());
    }
  }
  Strings Texts() {
    Strings texts;
    for (const MessageBoxCall& call : m_calls) texts.push_back(call.text);
    m_calls.clear();
    return texts;
  }
  void StartUp() {
    if (!IsControlRegistered()) InstallComponents(m_owner);
  }
  bool Installed(const std::string& name) {
    return vt::ReadFileBytes(SystemPath(name)) == vt::ReadFileBytes(Built(name));
  }
  // The next file dialog chooses path ("" cancels it).
  void Choose(const std::string& path) {
    SetFileDialogScript([path](const CFileDialog& dlg, std::string* chosen) -> INT_PTR {
      std::string filter = dlg.GetSystemFilter();
      filter.resize(41);
      EXPECT_EQ(std::string("(*.ocx)\0*.ocx\0(*.dll)\0*.dll\0all file\0*.*\0", 41), filter);
      *chosen = path;
      return path.empty() ? IDCANCEL : IDOK;
    });
  }

  const Strings m_payloads = Payloads();
  HWND m_owner = ::GetDesktopWindow();
  std::vector<MessageBoxCall> m_calls;
  std::function<int(size_t)> m_answer = [](size_t) { return IDNO; };
  vt::TempDir m_dir{"velo_installer"};
};

}  // namespace

TEST_F(Installer, FirstStartInstallsAndRegistersTheNextStartNothing) {
  StartUp();
  EXPECT_EQ(Strings{"Register finish"}, Texts());
  for (const std::string& name : m_payloads) EXPECT_TRUE(Installed(name)) << name;
  EXPECT_TRUE(SamePath(SystemPath("DvrOcx.ocx"), RegisteredServer())) << RegisteredServer();

  StartUp();  // nothing to do: no question, no message
  EXPECT_EQ(Strings{}, Texts());

  // The registered file gone: everything again, asking about each file that
  // is there, in the order of writing.
  ASSERT_TRUE(::DeleteFileA(SystemPath("DvrOcx.ocx").c_str()));
  for (size_t i = 1; i < m_payloads.size(); ++i) vt::WriteFileBytes(SystemPath(m_payloads[i]), Stale(m_payloads[i]));
  m_answer = [](size_t n) { return n % 2 ? IDYES : IDNO; };
  StartUp();
  ASSERT_EQ(13u, m_calls.size());
  for (size_t i = 1; i < m_payloads.size(); ++i) {
    const MessageBoxCall& q = m_calls[i - 1];  // Yes and No, no icon, owned by the dialog
    EXPECT_EQ(SystemPath(m_payloads[i]) + kExists + "|Stop|4", q.text + "|" + q.caption + "|" + std::to_string(q.type));
    EXPECT_EQ(m_owner, q.hOwner);
    const std::string want = i % 2 ? vt::ReadFileBytes(Built(m_payloads[i])) : Stale(m_payloads[i]);
    EXPECT_TRUE(vt::ReadFileBytes(SystemPath(m_payloads[i])) == want) << m_payloads[i];
  }
  EXPECT_EQ("Register finish", Texts().back());
  EXPECT_TRUE(Installed("DvrOcx.ocx"));

  // Every question declined: the registration is still tried, with the
  // stale control.
  vt::WriteFileBytes(SystemPath("DvrOcx.ocx"), Stale("DvrOcx.ocx"));
  m_answer = [](size_t) { return IDNO; };
  InstallComponents(m_owner);
  EXPECT_EQ("LoadLibrary fail: 193", Texts().back());
}

TEST_F(Installer, FilesThatCannotBeWrittenAreNamed) {
  const std::string folder = SystemPath(m_payloads[1]), busy = SystemPath(m_payloads[9]);
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  HANDLE h = ::CreateFileA(busy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  InstallComponents(m_owner);
  ::CloseHandle(h);
  EXPECT_EQ(Texts(), Strings({"CreateFile fail " + folder + ", error: 5", "CreateFile fail " + busy + ", error: 32",
                              "Register finish"}));
  for (const std::string& name : m_payloads)
    EXPECT_EQ(name != m_payloads[1] && name != m_payloads[9], Installed(name)) << name;
}

TEST_F(Installer, RegistrationLoadsOnlyTheSystemCopyOrTheChosenFileAndSaysWhatHappened) {
  // A same-named library without the entry point in the current folder is
  // never loaded; then the system copy without the entry point, with a failing
  // one, as a folder, and at last the control itself.
  ::CopyFileA(Built("AmrDll.dll").c_str(), (m_dir / "DvrOcx.ocx").c_str(), FALSE);
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  ::SetCurrentDirectoryA(m_dir.path().c_str());
  const std::string control = SystemPath("DvrOcx.ocx");
  RegisterControl();
  ::CopyFileA(Built("AmrDll.dll").c_str(), control.c_str(), FALSE);
  RegisterControl();
  ::CopyFileA(VELO_FAILREG, control.c_str(), FALSE);
  RegisterControl();
  EXPECT_EQ("", RegisteredServer());
  ::DeleteFileA(control.c_str());
  ::CreateDirectoryA(control.c_str(), nullptr);
  RegisterControl();
  ::RemoveDirectoryA(control.c_str());
  StartUp();
  EXPECT_EQ(Texts(), Strings({kMissing + SystemPath(), "GetProcAddress fail", "Register fail: 0x80040201",
                              "LoadLibrary fail: 5", "Register finish"}));

  // The buttons: Register shows nothing on success; cancelled, nothing; each
  // failure is named.
  const std::string chosen = m_dir / "sub.ocx";
  ::CopyFileA(Built("DvrOcx.ocx").c_str(), chosen.c_str(), FALSE);
  Choose(chosen);
  OnButtonUnregister();
  EXPECT_EQ("", RegisteredServer());
  OnButtonRegister();
  EXPECT_TRUE(SamePath(chosen, RegisteredServer())) << RegisteredServer();
  for (const std::string& path : {std::string(), Built("Winpubf.dll"), m_dir / "none.ocx", std::string(VELO_FAILREG)}) {
    Choose(path);
    OnButtonRegister();
    OnButtonUnregister();
  }
  ::SetCurrentDirectoryA(old);
  EXPECT_EQ(Texts(), Strings({"UnRegister finish", "GetProcAddress fail", "GetProcAddress fail", "LoadLibrary fail",
                              "LoadLibrary fail", "Register fail: 0x80040201", "UnRegister fail: 0x80070005"}));
  EXPECT_TRUE(SamePath(chosen, RegisteredServer())) << RegisteredServer();
}

TEST_F(Installer, ProbeAcceptsOnlyAStringNamingAnExistingFile) {
  EXPECT_EQ(0, IsControlRegistered());
  std::string file = m_dir / "x.ocx";
  file += std::string(259 - file.size(), 'n');
  vt::WriteFileBytes(file, "MZ");
  // {type, value, registered}: 259 characters and the terminator fill the buffer.
  using R = std::tuple<DWORD, std::string, int>;  // a folder is no file
  for (auto [type, value, registered] :
       {R(REG_SZ, file + '\0', 1), R(REG_EXPAND_SZ, file + '\0', 1), R(REG_SZ, m_dir / "gone.ocx" + '\0', 0),
        R(REG_SZ, m_dir.path() + '\0', 0), R(REG_BINARY, file + '\0', 0), R(REG_DWORD, std::string(4, '\1'), 0),
        R(REG_SZ, std::string(1, '\0'), 0), R(REG_SZ, file + "n", 0),
        R(REG_SZ, file + std::string(40, 'x') + '\0', 0)}) {
    SetServer(type, value);
    EXPECT_EQ(registered, IsControlRegistered()) << value;
  }
  // A key naming a file elsewhere that is gone: installed into the system
  // directory, the other place untouched.
  SetServer(REG_SZ, m_dir / "DvrOcx.ocx");
  StartUp();
  EXPECT_EQ(Strings{"Register finish"}, Texts());
  EXPECT_FALSE(vt::FileExists(m_dir / "DvrOcx.ocx"));
  EXPECT_TRUE(SamePath(SystemPath("DvrOcx.ocx"), RegisteredServer())) << RegisteredServer();
}
