// The settings file through the real profile and file functions, each test in
// a fresh folder of its own (the file's path is relative), with scripted
// message boxes and the start-up dialog's template holding the address list,
// the port box and the Delete button (without the dialog's code).
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/dialog.h"
#include "framework/msgbox.h"
#include "res/resource.h"
#include "settings/profile_text.h"
#include "tests/support/support.h"

using namespace settings;
using Strings = std::vector<std::string>;

namespace {

const std::string kBook = "[VELO_KEYWORDS]\r\n";
// The default contents as the profile writer leaves them (a line end added).
const std::string kDefaults = std::string(kDefaultContents) + "\r\n";
// The file after two OKs: 192.168.1.10:5000, then 10.0.0.7:34567.
const std::string kTwo = kDefaults + kBook + "COUNT=2\r\nIP00=192.168.1.10\r\nPORT00=5000\r\nINDEX=1\r\n" +
                         "IP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";
// kTwo after the Delete of 192.168.1.10, before COUNT, INDEX and the login are written.
const std::string kCut = kDefaults + kBook + "COUNT=2\r\nINDEX=1\r\nIP01=10.0.0.7\r\nPORT01=34567\r\n" +
                         "[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";

INT_PTR CALLBACK PlainProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The start-up dialog's three controls, its list loaded from the file.
struct Dialog : CDialog {
  Dialog() : CDialog(0) {
    Attach(::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INIT), nullptr, PlainProc, 0));
    list.Attach(GetDlgItem(IDC_ADDRESS_LIST));
    LoadAddressList(list, GetDlgItem(IDC_PORT));
  }
  ~Dialog() override { list.Detach(), ::DestroyWindow(Detach()); }
  // OK on this dialog; true when it would end the dialog.
  bool Save() { return SaveLoginAddress(list, GetDlgItem(IDC_PORT)) == FlowEnd::kEndWithOk; }
  // "[entry][entry] <selection> '<edit field>' <port box>"
  std::string View() const {
    std::string s;
    for (int i = 0; i < list.GetCount(); ++i) s += "[" + list.GetLBText(i) + "]";
    return s + " " + std::to_string(list.GetCurSel()) + " '" + list.GetWindowText() + "' " + GetDlgItemText(IDC_PORT);
  }
  CComboBox list;
};

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    ::GetCurrentDirectoryA(MAX_PATH, m_old);
    ASSERT_TRUE(::SetCurrentDirectoryA(m_dir.path().c_str()));
    SetMessageBoxScript([this](const MessageBoxCall& call) {
      m_shown.push_back(call.text);
      return call.text == "sure delete?" ? m_answer : IDOK;
    });
  }
  void TearDown() override {
    m_dlg.reset();
    SetMessageBoxScript(nullptr);
    SetFailingStepsForTest(0);
    ::SetCurrentDirectoryA(m_old);
  }
  std::string File() const { return vt::ReadFileBytes(kFileName); }
  void Put(const std::string& text) { ASSERT_TRUE(vt::WriteFileBytes(kFileName, text)); }
  Strings Shown() { return std::exchange(m_shown, {}); }
  Dialog& Open() { return *(m_dlg = std::make_unique<Dialog>()); }
  // One OK on a freshly opened dialog; true when it ended the dialog.
  bool Ok(const std::string& address, const std::string& port) {
    Dialog& d = Open();
    d.list.SetWindowText(address.c_str());
    d.SetDlgItemText(IDC_PORT, port.c_str());
    return d.Save();
  }
  void Delete(Dialog& d, int answer = IDYES) {
    m_answer = answer;
    DeleteSelectedAddress(d.m_hWnd, d.list, d.GetDlgItem(IDC_PORT), d.GetDlgItem(IDC_DELETE));
    EXPECT_TRUE(::IsWindowEnabled(d.GetDlgItem(IDC_DELETE)));
  }

  vt::TempDir m_dir{"velo_settings"};
  char m_old[MAX_PATH] = "";
  Strings m_shown;
  int m_answer = IDYES;
  std::unique_ptr<Dialog> m_dlg;
};

}  // namespace

TEST_F(Settings, WorkedExample) {
  EnsureSettingsFile();
  EXPECT_EQ(Strings{"CreateFile"}, Shown());
  EXPECT_EQ(std::string(kDefaultContents, kDefaultContentsSize), File());
  EXPECT_EQ(" -1 '' ", Open().View());
  EXPECT_TRUE(Ok("192.168.1.10", "5000"));
  EXPECT_TRUE(Ok("10.0.0.7", "34567"));
  EXPECT_EQ(kTwo, File());
  WriteLanguage(2);  // in place, read back
  EXPECT_EQ(2, ReadLanguage());
  std::string lang2 = kTwo;
  EXPECT_EQ(lang2.replace(lang2.find("Lang=0"), 6, "Lang=2"), File());
  WriteLanguage(0);
  Dialog& d = Open();
  EXPECT_EQ("[10.0.0.7][192.168.1.10] 0 '10.0.0.7' 34567", d.View());
  d.list.SetCurSel(1);
  ShowPortOfSelection(d.list, d.GetDlgItem(IDC_PORT));
  EXPECT_EQ("[10.0.0.7][192.168.1.10] 1 '192.168.1.10' 5000", d.View());

  // Delete of the selected entry, answered No then Yes.
  Delete(d, IDNO);
  EXPECT_EQ(kTwo, File());
  Delete(d);
  EXPECT_EQ(Strings({"sure delete?", "sure delete?"}), Shown());
  EXPECT_EQ(File(), kDefaults + kBook + "COUNT=1\r\nINDEX=1\r\nIP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\n" +
                        "IP=10.0.0.7\r\n");
  EXPECT_EQ("[10.0.0.7] 0 '10.0.0.7' 34567", d.View());
  // The next new address fills the gap, at the end of the section.
  EXPECT_TRUE(Ok("172.16.0.5", "8000"));
  EXPECT_EQ(File(), kDefaults + kBook + "COUNT=2\r\nINDEX=0\r\nIP01=10.0.0.7\r\nPORT01=34567\r\nIP00=172.16.0.5\r\n" +
                        "PORT00=8000\r\n[LOGIN_ADDRESS]\r\nIP=172.16.0.5\r\n");
  EXPECT_EQ(Strings{}, Shown());
}

TEST_F(Settings, FilesThatAreThereOrCannotBe) {
  // An existing file is left alone whatever it holds; an empty one gets both
  // sections from the first OK.
  for (const char* text : {"junk", ""}) {
    Put(text);
    EnsureSettingsFile();
    EXPECT_EQ(text, File());
    EXPECT_EQ(" -1 '' ", Open().View());
    EXPECT_EQ(0, ReadLanguage());
  }
  EXPECT_TRUE(Ok("10.0.0.1", "80"));
  EXPECT_EQ(kBook + "COUNT=1\r\nIP00=10.0.0.1\r\nPORT00=80\r\nINDEX=0\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.1\r\n", File());
  EXPECT_EQ(Strings{}, Shown());

  // A folder in its place: start-up says nothing, each raw operation fails
  // its own way.
  ASSERT_TRUE(::DeleteFileA(kFileName) && ::CreateDirectoryA(kFileName, nullptr));
  EnsureSettingsFile();
  EXPECT_EQ(-1, FindAddressIndex("10.0.0.1"));
  EXPECT_EQ(DeleteResult::kOpenFailed, DeleteAddressLines("10.0.0.1"));
  EXPECT_FALSE(Ok("10.0.0.1", "80"));
  EXPECT_EQ(Strings({"CreateFile fail", "Open file fail"}), Shown());
  ASSERT_TRUE(::RemoveDirectoryA(kFileName));

  // The entry at the very end of a 1 MiB file is found; one byte more and the
  // file counts as unreadable: each operation's message, nothing written.
  std::string big = kBook + "COUNT=1\r\nIP05=10.1.1.1\r\nPORT05=80\r\nPad=";
  const std::string last = "\r\nIP07=10.9.9.9\r\n";
  big += std::string(kMaxFileSize - big.size() - last.size(), 'x') + last;
  ASSERT_EQ(kMaxFileSize, big.size());
  Put(big);
  EXPECT_EQ(5, FindAddressIndex("10.1.1.1"));
  EXPECT_EQ(7, FindAddressIndex("10.9.9.9"));
  big.insert(big.size() - last.size(), "x");
  Put(big);
  EXPECT_EQ(-1, FindAddressIndex("10.1.1.1"));
  EXPECT_EQ(DeleteResult::kOpenFailed, DeleteAddressLines("10.1.1.1"));
  EXPECT_FALSE(Ok("10.1.1.1", "81"));
  EXPECT_EQ(Strings({"CreateFile fail", "Open file fail"}), Shown());
  EXPECT_TRUE(File() == big);

  // Nothing can be created in /proc, not even by root.
  ASSERT_TRUE(::SetCurrentDirectoryA("Z:\\proc"));
  EnsureSettingsFile();
  EXPECT_EQ(Strings({"CreateFile", "Create File fail"}), Shown());
  EXPECT_FALSE(vt::FileExists(kFileName));
}

TEST_F(Settings, FreeSlotsAndAFullBook) {
  // Slots 00 to 98 taken: the next address takes 99, the one after that finds
  // the book full and nothing is written; a known address is still updated.
  std::string text = kBook + "COUNT=99\r\nINDEX=98\r\n";
  for (int n = 0; n < 99; ++n) text += IpKey(n) + "=10.0.1." + std::to_string(n) + "\r\n" + PortKey(n) + "=1\r\n";
  Put(text);
  EXPECT_TRUE(Ok("10.0.2.99", "99"));
  EXPECT_EQ(99, FindAddressIndex("10.0.2.99"));
  EXPECT_EQ(100, Open().list.GetCount());
  text = File();
  EXPECT_FALSE(Ok("10.0.2.100", "80"));
  EXPECT_EQ(Strings{"Address book full"}, Shown());
  EXPECT_EQ(text, File());
  EXPECT_TRUE(Ok("10.0.1.42", "4242"));
  EXPECT_EQ(4242, ReadPortForIndex(42));

  // A port that reads as 0 and a gap are free slots; COUNT still grows. A
  // COUNT above the entries lists what there is; COUNT 0 lists nothing.
  Put(kBook + "COUNT=2\r\nIP00=a\r\nPORT00=abc\r\nIP02=c\r\nPORT02=3\r\nINDEX=2\r\n");
  EXPECT_TRUE(Ok("x", "1"));
  EXPECT_TRUE(Ok("y", "2"));
  EXPECT_EQ(File(), kBook + "COUNT=4\r\nIP00=x\r\nPORT00=1\r\nIP02=c\r\nPORT02=3\r\nINDEX=1\r\nIP01=y\r\nPORT01=2\r\n" +
                        "[LOGIN_ADDRESS]\r\nIP=y\r\n");
  Put(kBook + "COUNT=9\r\nIP98=e\r\nPORT98=98\r\nINDEX=98\r\n");
  EXPECT_EQ("[e] 0 'e' 98", Open().View());
  Put(kBook + "COUNT=0\r\nIP00=a\r\nPORT00=1\r\n");
  EXPECT_EQ(" -1 '' ", Open().View());
}

TEST_F(Settings, WhatOkStores) {
  Put(kDefaults);
  using R = std::tuple<std::string, const char*, const char*>;
  for (auto [address, port, message] :
       {R("", "80", "Invalid Address"), R("10.0.0.1", "", "Invalid Address"), R(" \t", "80", "Invalid Address"),
        R(std::string(200, 'a'), "80", "Invalid Address"), R("10.0.0.1", "65536", "Invalid Port"),
        R("10.0.0.1", "80a", "Invalid Port")}) {
    EXPECT_FALSE(Ok(address, port)) << address << ":" << port;
    EXPECT_EQ(Strings{message}, Shown());
  }
  EXPECT_EQ(kDefaults, File());
  // Blanks at the ends go, so the same address typed again is known; 199
  // characters fit; the port is stored as typed.
  EXPECT_TRUE(Ok("10.7.0.1", "1"));
  EXPECT_TRUE(Ok("  10.7.0.1 ", "08000"));
  EXPECT_TRUE(Ok(std::string(199, 'a'), "65535"));
  EXPECT_EQ(File(), kDefaults + kBook +
                        "COUNT=2\r\nIP00=10.7.0.1\r\nPORT00=08000\r\nINDEX=1\r\nIP01=" + std::string(199, 'a') +
                        "\r\nPORT01=65535\r\n[LOGIN_ADDRESS]\r\nIP=" + std::string(199, 'a') + "\r\n");
  EXPECT_EQ(Strings{}, Shown());
}

TEST_F(Settings, OnlyTheExactEntryOfTheBookIsKnown) {
  // Twins: whichever is current, the list selects it with its own port, and
  // a plain OK keeps both ports.
  for (const char* index : {"0", "1"}) {
    Put(kBook + "COUNT=2\r\nIP00=DVR.local\r\nPORT00=80\r\nIP01=dvr.local\r\nPORT01=90\r\nINDEX=" + index + "\r\n");
    Dialog& d = Open();
    EXPECT_EQ(*index == '0' ? "DVR.local" : "dvr.local", d.list.GetLBText(d.list.GetCurSel())) << index;
    EXPECT_EQ(*index == '0' ? "80" : "90", d.GetDlgItemText(IDC_PORT)) << index;
    d.Save();
    EXPECT_EQ(80, ReadPortForIndex(0));
    EXPECT_EQ(90, ReadPortForIndex(1));
  }

  // A hidden duplicate of slot 01 is no entry; the profile functions ignore
  // the letter case of keys ("Port%02d" reads PORT01).
  Put(kBook + "COUNT=2\r\nINDEX=1\r\nIP00=a\r\nPORT00=1\r\nip01=b\r\nport01=2\r\nIP01=h\r\nPORT01=9\r\n");
  EXPECT_EQ("[a][b] 1 'b' 2", Open().View());
  EXPECT_EQ(-1, FindAddressIndex("h"));
  EXPECT_EQ(-1, FindAddressIndex("b"));
  EXPECT_TRUE(Ok("h", "5"));
  EXPECT_EQ(2, FindAddressIndex("h"));
  EXPECT_EQ(2, ReadPortForIndex(1));

  // Numbered lines of another section (the control's own) are never
  // updated, found or cut.
  const std::string other = "[DvrOcx]\r\nIP00=10.0.0.9\r\nPORT00=1\r\n";
  Put(other + kBook + "COUNT=1\r\nIP03=10.0.0.3\r\nPORT03=3\r\nINDEX=3\r\n");
  EXPECT_EQ(DeleteResult::kNotFound, DeleteAddressLines("10.0.0.9"));
  EXPECT_TRUE(Ok("10.0.0.9", "2"));
  EXPECT_EQ(File(), other + kBook + "COUNT=2\r\nIP03=10.0.0.3\r\nPORT03=3\r\nINDEX=0\r\nIP00=10.0.0.9\r\nPORT00=2\r\n" +
                        "[LOGIN_ADDRESS]\r\nIP=10.0.0.9\r\n");
}

TEST_F(Settings, DeleteEdges) {
  // An empty list: no question.
  Put(kDefaults);
  Delete(Open());
  EXPECT_EQ(Strings{}, Shown());
  // The last entry: list and edit field emptied, the port box kept, COUNT 0,
  // INDEX and the login address kept.
  Put(kBook + "COUNT=1\r\nIP04=10.0.0.4\r\nPORT04=44\r\nINDEX=4\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.4\r\n");
  Dialog& d = Open();
  Delete(d);
  EXPECT_EQ(" -1 '' 44", d.View());
  EXPECT_EQ(kBook + "COUNT=0\r\nINDEX=4\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.4\r\n", File());
  // Nothing selected, or a line the raw search cannot read (no CR LF): "not
  // find", nothing changed, the button back.
  for (const std::string& text :
       {kBook + "COUNT=1\r\nINDEX=7\r\nIP00=a\r\nPORT00=1\r\n", kBook + "COUNT=1\r\nINDEX=0\r\nPORT00=1\r\nIP00=a",
        std::string("[VELO_KEYWORDS]\nCOUNT=1\nIP00=a\n")}) {
    Put(text);
    Dialog& f = Open();
    const std::string view = f.View();
    Delete(f);
    EXPECT_EQ(view, f.View());
    EXPECT_EQ(text, File());
  }
  EXPECT_EQ(Shown(), Strings({"sure delete?", "sure delete?", "not find", "sure delete?", "not find", "sure delete?",
                              "not find"}));
}

// ---- a Delete never loses the book -----------------------------------------

namespace {

// The names in the current folder: no temporary file may stay.
Strings Files() {
  WIN32_FIND_DATAA fd;
  HANDLE h = ::FindFirstFileA("*", &fd);
  Strings names;
  for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(h, &fd))
    if (fd.cFileName[0] != '.') names.push_back(fd.cFileName);
  ::FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

// Whether a new file can be made in the current folder (it goes again).
bool CanMakeFile() {
  HANDLE h = ::CreateFileA("probe", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  return h != INVALID_HANDLE_VALUE && ::CloseHandle(h);
}

// C:\x\y as $WINEPREFIX/drive_c/x/y ("" without a prefix).
std::string UnixPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  const char* prefix = std::getenv("WINEPREFIX");
  return prefix ? prefix + ("/drive_c" + path.substr(2)) : "";
}

// Runs a Unix program as this process (root in these tests) and waits until
// done() holds: Wine gives no handle to wait on for a Unix program.
bool RunUnix(const std::string& tool, const std::string& args, const std::function<bool()>& done) {
  vt::Process p;
  p.Start("Z:\\usr\\bin\\" + tool, args);
  return vt::PumpUntil(done, 30000);  // a loaded machine can take seconds to start it
}

// Undoes a change to the system, however the test ends.
struct Finally {
  std::function<void()> undo;
  ~Finally() { undo(); }
};

}  // namespace

TEST_F(Settings, DeleteKeepsTheWholeOldOrTheWholeNewText) {
  // {failing steps, result, message}; without a temporary file it is rewritten in place.
  using R = std::tuple<unsigned, DeleteResult, const char*>;
  const DeleteResult kDone = DeleteResult::kDeleted, kOpen = DeleteResult::kOpenFailed,
                     kWrite = DeleteResult::kRewriteFailed;
  for (auto [steps, result, message] :
       {R(kFailRead, kOpen, "CreateFile fail"), R(kFailCreateTemp, kDone, ""),
        R(kFailCreateTemp | kFailWriteInPlace, kWrite, "CreateaFile fail"),
        R(kFailWriteTemp, kWrite, "CreateaFile fail"), R(kFailFlushTemp, kWrite, "CreateaFile fail"),
        R(kFailReplace, kWrite, "CreateaFile fail"), R(0, kDone, "")}) {
    Put(kTwo);
    SetFailingStepsForTest(steps);
    EXPECT_EQ(result, DeleteAddressLines("192.168.1.10")) << steps;
    SetFailingStepsForTest(0);
    EXPECT_EQ(result == DeleteResult::kDeleted ? kCut : kTwo, File()) << steps;
    EXPECT_EQ(*message ? Strings{message} : Strings{}, Shown()) << steps;
    EXPECT_EQ(Strings{"QlUserCfg.ini"}, Files()) << steps;
  }
  // A short read fails the update and the lookup as well.
  SetFailingStepsForTest(kFailRead);
  EXPECT_FALSE(Ok("10.0.0.7", "1"));
  EXPECT_EQ(-1, FindAddressIndex("10.0.0.7"));
  SetFailingStepsForTest(0);
  EXPECT_EQ(Strings{"Open file fail"}, Shown());
  EXPECT_EQ(kCut, File());
}

TEST_F(Settings, DeleteWhereTheFileSystemRefuses) {
  // A folder that takes no new file (immutable, even to root): rewritten in
  // place, with the same bytes.
  const std::string dir = UnixPath(m_dir.path());
  Put(kTwo);
  {
    // A probe made just before the flag came stays until the flag goes. Wine's
    // DeleteFile can say yes where the folder kept the file, so only a new
    // probe shows that the flag is gone.
    Finally undo{
        [&] { RunUnix("chattr", "-i \"" + dir + "\"", [] { return ::DeleteFileA("probe"), CanMakeFile(); }); }};
    if (!RunUnix("chattr", "+i \"" + dir + "\"", [] { return !CanMakeFile(); }))
      GTEST_SKIP() << "chattr +i had no effect: this test needs root";
    EXPECT_EQ(DeleteResult::kDeleted, DeleteAddressLines("192.168.1.10"));
    EXPECT_EQ(kCut, File());
  }
  // A file nobody may write: the message, the file unchanged.
  Put(kTwo);
  {
    const std::string file = UnixPath(m_dir / kFileName);
    auto writable = [] {  // opened for writing, its bytes left alone
      HANDLE h = ::CreateFileA(kFileName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      return h != INVALID_HANDLE_VALUE && ::CloseHandle(h);
    };
    Finally undo{[&] { RunUnix("chattr", "-i \"" + file + "\"", writable); }};
    ASSERT_TRUE(RunUnix("chattr", "+i \"" + file + "\"", [&] { return !writable(); }));
    EXPECT_EQ(DeleteResult::kOpenFailed, DeleteAddressLines("192.168.1.10"));
    EXPECT_EQ(kTwo, File());
  }
  EXPECT_EQ(Strings{"CreateFile fail"}, Shown());
  EXPECT_EQ(Strings{"QlUserCfg.ini"}, Files());

  // The disk fills up: a 16 KiB tmpfs holding the file, filled to the brim,
  // mounted in the test's own folder and reached through drive Z:.
  const std::string mount = UnixPath(m_dir / "full"), mountDir = "Z:" + mount, marker = mountDir + "/not-mounted";
  ASSERT_TRUE(::CreateDirectoryA(mountDir.c_str(), nullptr) && vt::WriteFileBytes(marker, ""));
  Finally unmount{[&] {
    ::SetCurrentDirectoryA(m_dir.path().c_str());
    RunUnix("umount", "-l \"" + mount + "\"", [&] { return vt::FileExists(marker); });
  }};
  if (!RunUnix("mount", "-t tmpfs -o size=16k tmpfs \"" + mount + "\"", [&] { return !vt::FileExists(marker); }))
    GTEST_SKIP() << "no tmpfs could be mounted: this case needs root";
  ASSERT_TRUE(::SetCurrentDirectoryA(mountDir.c_str()));
  const std::string big = kTwo + "[Pad]\r\nk=" + std::string(6000, 'x') + "\r\n";
  Put(big);
  vt::WriteFileBytes("filler", std::string(16384, 'f'));  // as much as fits
  EXPECT_EQ(DeleteResult::kRewriteFailed, DeleteAddressLines("192.168.1.10"));
  EXPECT_EQ(Strings{"CreateaFile fail"}, Shown());
  EXPECT_TRUE(File() == big);
  EXPECT_EQ((Strings{"QlUserCfg.ini", "filler"}), Files());
}
