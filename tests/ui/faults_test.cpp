// Faults the program must survive, driven from outside: a damaged or
// unusual settings file, an installation that cannot be completed, a
// control that is missing when the viewer starts, and address-book input at
// its edges. Each case ends in a clear message or in the silent path the
// program is meant to take, without a crash, without a wait of more than
// 2 s for any answer, and without losing what the operator stored.
//
// Every case is counted; the totals are printed at the end of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "res/resource.h"
#include "tests/ui/uidriver.h"

namespace {

const DWORD kFirstStartMs = 60000;  // a start that installs the components
const DWORD kStartMs = 5000;        // an ordinary start, under a loaded machine
const DWORD kStepMs = 2000;         // the longest the program may take to answer an action

const char kClassKey[] = "CLSID\\{9b479d7b-916a-45b0-b042-d42865a60e21}";
const char kServerKey[] = "CLSID\\{9b479d7b-916a-45b0-b042-d42865a60e21}\\InprocServer32";

const char* const kPayloadNames[13] = {"DvrOcx.ocx",       "DvrOcxChn.dll",           "DvrOcxChs.dll",
                                       "CovH264ToAvi.dll", "Ql_DvrNet.dll",           "Ql_DvrAVDecode.dll",
                                       "ChipDecoder.dll",  "AudioDecode.dll",         "Winpubf.dll",
                                       "Nvrfs.dll",        "lib_VoiceEngine_dll.dll", "hi_h264Dec_w.dll",
                                       "AmrDll.dll"};

const std::string kDefaults =
    "[Language]\r\nLang=0\r\n[WINDOW_COUNT]\r\nwnd_count=0\r\n[Path]\r\nVideopath=c:\\DVR\\backup\\\r\n"
    "Framepath=c:\\DVR\\capture\\\r\nFilepath=c:\\DVR\\\r\n[Delete]\r\nIsDelete=1033";
// Two entries; the current one is 10.0.0.7.
const std::string kBook = kDefaults +
                          "\r\n[VELO_KEYWORDS]\r\nCOUNT=2\r\nIP00=192.168.1.10\r\nPORT00=5000\r\nINDEX=1\r\n"
                          "IP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";

// ---------------------------------------------------------------------------
// The tally of fault cases.

struct Tally {
  std::vector<std::pair<std::string, bool>> cases;
};
Tally& TheTally() {
  static Tally t;
  return t;
}

int FailedParts() {
  const testing::TestResult* r = testing::UnitTest::GetInstance()->current_test_info()->result();
  int n = 0;
  for (int i = 0; i < r->total_part_count(); ++i) n += r->GetTestPartResult(i).failed() ? 1 : 0;
  return n;
}

// One fault case: every check inside its scope belongs to it; it survived
// when none of them failed.
class FaultCase {
 public:
  explicit FaultCase(const std::string& name)
      : m_name(name), m_trace(__FILE__, __LINE__, "fault case: " + name), m_failed(FailedParts()) {}
  ~FaultCase() { TheTally().cases.emplace_back(m_name, FailedParts() == m_failed); }

 private:
  std::string m_name;
  testing::ScopedTrace m_trace;
  int m_failed;
};

class TallyReport : public testing::Environment {
 public:
  void TearDown() override {
    const auto& cases = TheTally().cases;
    if (cases.empty()) return;
    int survived = 0;
    for (const auto& c : cases) {
      std::printf("fault case: %-60s %s\n", c.first.c_str(), c.second ? "survived" : "FAILED");
      survived += c.second ? 1 : 0;
    }
    std::printf("fault cases: %d tried, %d survived\n", static_cast<int>(cases.size()), survived);
    std::fflush(stdout);
  }
};
[[maybe_unused]] testing::Environment* const g_tallyReport = testing::AddGlobalTestEnvironment(new TallyReport);

// ---------------------------------------------------------------------------
// Driving the start-up dialog.

const char kViewer[] = "<viewer>";
const char kEnded[] = "<program ended>";
const char kNoAnswer[] = "<no answer within 2 s>";

// What the program shows next, within 2 s: the text of a message box
// (answered with `answer`), kViewer (the viewer, closed again, and the
// program ended), kEnded, or kNoAnswer.
std::string NextAnswer(ui::InitSession& s, int answer = IDOK) {
  ui::MessageBoxInfo box;
  HWND viewer = nullptr;
  ui::WaitUntil(
      [&] {
        for (HWND h : s.program().Windows()) {
          if (ui::IsMessageBox(h)) {
            Sleep(50);  // let the box finish laying out its buttons
            box = ui::ReadMessageBox(h);
            return true;
          }
          if (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW) {
            viewer = h;
            return true;
          }
        }
        return !s.program().Running();
      },
      kStepMs);
  if (box.hwnd) {
    s.AnswerAndWait(box, answer);
    return box.text;
  }
  if (viewer) {
    EXPECT_TRUE(s.CloseViewer(viewer, kStepMs)) << "the program did not end after the viewer closed";
    return kViewer;
  }
  return s.program().Running() ? kNoAnswer : kEnded;
}

std::string PressOk(ui::InitSession& s, const std::string& address, const std::string& port) {
  s.Type(address, port);
  ui::Click(s.Item(IDC_OK));
  return NextAnswer(s);
}

// Delete of a list entry, answered Yes: "" when the entry went, else the
// failure message shown.
std::string DeleteEntry(ui::InitSession& s, const std::string& entry) {
  const int index = s.Find(entry);
  if (index < 0) return "<not listed>";
  const size_t before = s.Entries().size();
  s.Select(index);
  ui::MessageBoxInfo box;
  if (!s.ClickForBox(IDC_DELETE, &box, kStepMs)) return "<no question>";
  if (box.text != "sure delete?") return box.text;
  s.AnswerAndWait(box, IDYES);
  std::string failure;
  ui::WaitUntil(
      [&] {
        for (HWND h : s.program().Windows())
          if (ui::IsMessageBox(h)) {
            Sleep(50);
            ui::MessageBoxInfo b = ui::ReadMessageBox(h);
            failure = b.text;
            s.AnswerAndWait(b, IDOK);
            return true;
          }
        return s.Entries().size() == before - 1;
      },
      kStepMs);
  if (failure.empty() && s.Entries().size() != before - 1) return kNoAnswer;
  EXPECT_TRUE(ui::WaitUntil([&] { return IsWindowEnabled(s.Item(IDC_DELETE)) != FALSE; }, kStepMs))
      << "the Delete button stays disabled";
  return failure;
}

// The port box after selecting an entry.
std::string PortOf(ui::InitSession& s, const std::string& entry) {
  const int index = s.Find(entry);
  if (index < 0) return "<not listed>";
  s.Select(index);
  return ui::Text(s.Item(IDC_PORT));
}

void Leave(ui::InitSession& s) {
  ui::Click(s.Item(IDC_LEAVE));
  EXPECT_TRUE(s.program().WaitExit(kStepMs)) << "Leave did not end the program within 2 s";
}

std::string Ini(const std::string& dir) { return dir + "\\QlUserCfg.ini"; }

// A folder with a settings file of these bytes.
std::string FolderWith(const char* tag, const std::string& settings) {
  std::string dir = ui::MakeTempDir(tag);
  EXPECT_TRUE(ui::WriteFileBytes(Ini(dir), settings));
  return dir;
}

bool Writable(const std::string& file) {
  HANDLE h =
      CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool CanCreateIn(const std::string& dir) {
  std::string probe = dir + "\\velo-write-probe.tmp";
  HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// The Wine processes of these tests run as root, for whom neither the
// read-only attribute nor the file modes forbid a write. The file system's
// immutable flag does: set on a file or folder, nobody may change it, and
// Wine reports "access denied" as Windows does for a read-only file or a
// protected folder. Where the flag cannot be set (not root), taking away the
// write permission does the same. Both are undone when the guard goes.
class Immutable {
 public:
  Immutable(const std::string& path, bool folder) : m_unix(ui::UnixPath(path)), m_path(path), m_folder(folder) {
    if (m_unix.empty()) return;
    ui::RunUnix("chattr +i \"" + m_unix + "\"");
    m_set = ui::WaitUntil([&] { return !Usable(); }, 3000);
    if (!m_set) {
      ui::RunUnix("chmod a-w \"" + m_unix + "\"");
      m_set = ui::WaitUntil([&] { return !Usable(); }, 3000);
    }
  }
  ~Immutable() {
    if (m_unix.empty()) return;
    ui::RunUnix("chattr -i \"" + m_unix + "\"");
    ui::RunUnix("chmod u+w \"" + m_unix + "\"");
    ui::WaitUntil([&] { return Usable(); }, 5000);
  }
  bool set() const { return m_set; }

 private:
  bool Usable() const { return m_folder ? CanCreateIn(m_path) : Writable(m_path); }
  std::string m_unix, m_path;
  bool m_folder;
  bool m_set = false;
};

// ---------------------------------------------------------------------------
// The settings file. The control is installed first, so that a start says
// nothing about the installation.

void EnsureInstalled();

class SettingsFileFaults : public testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureInstalled(); }
};

TEST_F(SettingsFileFaults, ReadOnlyFile) {
  FaultCase fault("settings file read-only");
  std::string dir = FolderWith("ro", kBook);
  SetFileAttributesA(Ini(dir).c_str(), FILE_ATTRIBUTE_READONLY);
  Immutable guard(Ini(dir), false);
  ASSERT_TRUE(guard.set()) << "could not make the settings file unwritable";

  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  // It is there, so nothing is said and nothing created; reading works.
  EXPECT_TRUE(s.messages().empty());
  EXPECT_EQ((std::vector<std::string>{"10.0.0.7", "192.168.1.10"}), s.Entries());
  EXPECT_EQ("34567", ui::Text(s.Item(IDC_PORT)));
  // The entry's line is looked up in a file opened for reading and writing,
  // which fails: the port box shows 0, as for any file that cannot be opened.
  EXPECT_EQ("0", PortOf(s, "192.168.1.10"));
  // A language choice cannot be stored; the dialog still switches.
  ui::Click(s.Item(IDC_RADIO_TRADITIONAL));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::Text(s.Item(IDC_LABEL_PORT)) == u8"端口:"; }, kStepMs));
  // OK cannot store the address: said, and the dialog stays for another try.
  EXPECT_EQ("Open file fail", PressOk(s, "10.0.0.7", "8000"));
  EXPECT_EQ("Open file fail", PressOk(s, "172.16.0.5", "8000"));
  EXPECT_TRUE(s.Open());
  // Delete cannot rewrite it: said, the list keeps the entry.
  EXPECT_EQ("CreateFile fail", DeleteEntry(s, "192.168.1.10"));
  EXPECT_EQ(2u, s.Entries().size());
  Leave(s);
  EXPECT_EQ(kBook, ui::ReadFileBytes(Ini(dir)));
}

TEST_F(SettingsFileFaults, FolderInPlaceOfTheFile) {
  FaultCase fault("a folder named QlUserCfg.ini");
  std::string dir = ui::MakeTempDir("folder");
  ASSERT_TRUE(CreateDirectoryA(Ini(dir).c_str(), nullptr));
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  // Something is there that cannot be opened: nothing is said or created,
  // and everything reads as its default.
  EXPECT_TRUE(s.messages().empty());
  EXPECT_TRUE(s.Entries().empty());
  EXPECT_EQ("IP Address:", ui::Text(s.Item(IDC_LABEL_ADDRESS)));
  EXPECT_EQ("Open file fail", PressOk(s, "10.0.0.1", "80"));
  EXPECT_TRUE(s.Open());
  ui::Click(s.Item(IDC_RADIO_SIMPLIFIED));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::Text(s.Item(IDC_LABEL_PORT)) == u8"端口:"; }, kStepMs));
  Leave(s);
  EXPECT_TRUE(GetFileAttributesA(Ini(dir).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(SettingsFileFaults, FileOfTwoMebibytes) {
  FaultCase fault("a settings file of 2 MiB");
  // The book stands behind 2 MiB of the control's own settings.
  std::string big = kDefaults + "\r\n[Padding]\r\n";
  for (int n = 0; big.size() < 2 * 1024 * 1024; ++n) {
    char line[96];
    std::snprintf(line, sizeof(line), "P%07d=%s\r\n", n, "0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
    big += line;
  }
  big += kBook.substr(kDefaults.size() + 2);
  std::string dir = FolderWith("big", big);

  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_TRUE(s.messages().empty());
  EXPECT_EQ((std::vector<std::string>{"10.0.0.7", "192.168.1.10"}), s.Entries());
  EXPECT_EQ("34567", ui::Text(s.Item(IDC_PORT)));
  // Too big to be edited as text: OK and Delete say so and change nothing.
  EXPECT_EQ("Open file fail", PressOk(s, "10.0.0.7", "8000"));
  EXPECT_EQ("CreateFile fail", DeleteEntry(s, "192.168.1.10"));
  EXPECT_EQ(big, ui::ReadFileBytes(Ini(dir)));
  // The language is stored like any profile value, the rest kept.
  ui::Click(s.Item(IDC_RADIO_TRADITIONAL));
  std::string expected = big;
  expected.replace(expected.find("Lang=0"), 6, "Lang=2");
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::ReadFileBytes(Ini(dir)) == expected; }, kStepMs))
      << "the 2 MiB file changed beyond its Lang line";
  Leave(s);
}

TEST_F(SettingsFileFaults, RandomBytes) {
  FaultCase fault("a settings file of random bytes");
  std::string noise(4096, '\0');
  unsigned x = 12345;
  for (char& c : noise) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  std::string dir = FolderWith("noise", noise);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_TRUE(s.messages().empty());
  EXPECT_TRUE(s.Entries().empty());
  // An address stored into it can be used from then on.
  EXPECT_EQ(kViewer, PressOk(s, "10.9.0.1", "9001"));
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ(std::vector<std::string>{"10.9.0.1"}, s.Entries());
  EXPECT_EQ("9001", PortOf(s, "10.9.0.1"));
  Leave(s);
  ui::AddressBook book = ui::ReadAddressBook(Ini(dir));
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
}

TEST_F(SettingsFileFaults, ZeroBytesInTheMiddle) {
  FaultCase fault("a settings file with NUL bytes in the middle");
  std::string file = kDefaults + "\r\n[VELO_KEYWORDS]\r\nCOUNT=3\r\nIP00=10.1.0.1\r\nPORT00=1001\r\n" +
                     std::string(4, '\0') +
                     "\r\nINDEX=2\r\nIP01=10.1.0.2\r\nPORT01=1002\r\nIP02=10.1.0.3\r\nPORT02=1003\r\n";
  std::string dir = FolderWith("nul", file);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ((std::vector<std::string>{"10.1.0.1", "10.1.0.2", "10.1.0.3"}), s.Entries());
  EXPECT_EQ("1003", ui::Text(s.Item(IDC_PORT)));
  // The entries behind the zero bytes are found in the text as well.
  EXPECT_EQ("1002", PortOf(s, "10.1.0.2"));
  EXPECT_EQ("1001", PortOf(s, "10.1.0.1"));
  // Deleting one behind them cuts its two lines and nothing else.
  EXPECT_EQ("", DeleteEntry(s, "10.1.0.2"));
  EXPECT_EQ((std::vector<std::string>{"10.1.0.1", "10.1.0.3"}), s.Entries());
  // A known address behind them is updated in its own slot.
  EXPECT_EQ(kViewer, PressOk(s, "10.1.0.3", "1303"));
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ((std::vector<std::string>{"10.1.0.1", "10.1.0.3"}), s.Entries());
  EXPECT_EQ("1303", PortOf(s, "10.1.0.3"));
  EXPECT_EQ("1001", PortOf(s, "10.1.0.1"));
  Leave(s);
  ui::AddressBook book = ui::ReadAddressBook(Ini(dir));
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
}

TEST_F(SettingsFileFaults, MixedLineEnds) {
  FaultCase fault("CRLF and LF-only line ends mixed");
  // Entry 00's lines end in LF alone; entry 01's address line in CR LF and
  // its port line in LF; entry 02 is all CR LF.
  std::string file = kDefaults +
                     "\r\n[VELO_KEYWORDS]\nCOUNT=3\r\nIP00=10.3.0.1\nPORT00=3001\nINDEX=1\r\nIP01=10.3.0.2\r\n"
                     "PORT01=3002\nIP02=10.3.0.3\r\nPORT02=3003\r\n";
  std::string dir = FolderWith("lf", file);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ((std::vector<std::string>{"10.3.0.1", "10.3.0.2", "10.3.0.3"}), s.Entries());
  EXPECT_EQ("3002", ui::Text(s.Item(IDC_PORT)));
  EXPECT_EQ("3003", PortOf(s, "10.3.0.3"));
  // An address line without its CR is not an entry line to the text
  // search: the port box shows 0 and Delete says it cannot find the entry,
  // which stays.
  EXPECT_EQ("0", PortOf(s, "10.3.0.1"));
  EXPECT_EQ("not find", DeleteEntry(s, "10.3.0.1"));
  // A CR LF address line with an LF port line: both lines go, nothing else.
  EXPECT_EQ("", DeleteEntry(s, "10.3.0.2"));
  ui::AddressBook book = ui::ReadAddressBook(Ini(dir));
  EXPECT_EQ((std::vector<std::string>{"10.3.0.1", "10.3.0.3"}), book.addresses);
  EXPECT_EQ("3001", book.Port("10.3.0.1"));
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
  // The profile writer has meanwhile rewritten the file with CR LF
  // throughout: from now on every entry is found.
  EXPECT_EQ(std::string::npos, ui::ReadFileBytes(Ini(dir)).find("0.1\nPORT"));
  EXPECT_EQ("3001", PortOf(s, "10.3.0.1"));
  EXPECT_EQ("", DeleteEntry(s, "10.3.0.1"));
  Leave(s);
  book = ui::ReadAddressBook(Ini(dir));
  EXPECT_EQ(std::vector<std::string>{"10.3.0.3"}, book.addresses);
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
}

TEST_F(SettingsFileFaults, LowerCaseSectionHeader) {
  FaultCase fault("a section header in lower case");
  std::string file = kDefaults +
                     "\r\n[velo_keywords]\r\nCOUNT=2\r\nIP00=10.4.0.1\r\nPORT00=4001\r\nINDEX=0\r\n"
                     "IP01=10.4.0.2\r\nPORT01=4002\r\n";
  std::string dir = FolderWith("lower", file);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ((std::vector<std::string>{"10.4.0.1", "10.4.0.2"}), s.Entries());
  EXPECT_EQ("4002", PortOf(s, "10.4.0.2"));
  // A known address is updated where it stands, not added again.
  EXPECT_EQ(kViewer, PressOk(s, "10.4.0.2", "4102"));
  ui::AddressBook book = ui::ReadAddressBook(Ini(dir));
  EXPECT_EQ((std::vector<std::string>{"10.4.0.1", "10.4.0.2"}), book.addresses);
  EXPECT_EQ("4102", book.Port("10.4.0.2"));
  // A new one joins the same section.
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ(kViewer, PressOk(s, "10.4.0.3", "4003"));
  const std::string text = ui::ReadFileBytes(Ini(dir));
  std::string upper = text;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  EXPECT_EQ(upper.find("[VELO_KEYWORDS]"), upper.rfind("[VELO_KEYWORDS]")) << "a second address-book section:\n"
                                                                           << text;
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ("", DeleteEntry(s, "10.4.0.1"));
  Leave(s);
  book = ui::ReadAddressBook(Ini(dir));
  EXPECT_EQ((std::vector<std::string>{"10.4.0.2", "10.4.0.3"}), book.addresses);
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
}

TEST_F(SettingsFileFaults, DuplicateNumberedKeys) {
  FaultCase fault("duplicate numbered keys");
  // Slot 01 stands twice, with different entries. The profile functions,
  // and so the list, see the first one only.
  std::string file = kDefaults +
                     "\r\n[VELO_KEYWORDS]\r\nCOUNT=2\r\nINDEX=0\r\nIP00=10.5.0.1\r\nPORT00=5001\r\n"
                     "IP01=10.5.0.2\r\nPORT01=5002\r\nIP01=10.5.0.9\r\nPORT01=5009\r\n";
  std::string dir = FolderWith("dup", file);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ((std::vector<std::string>{"10.5.0.1", "10.5.0.2"}), s.Entries());
  EXPECT_EQ("5002", PortOf(s, "10.5.0.2"));
  // The hidden duplicate's address typed at OK must not overwrite the entry
  // the operator sees in that slot: 10.5.0.2 keeps its port, and 10.5.0.9
  // with its new port can be used from now on.
  EXPECT_EQ(kViewer, PressOk(s, "10.5.0.9", "5109"));
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  std::vector<std::string> entries = s.Entries();
  EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), "10.5.0.2")) << "10.5.0.2 was overwritten";
  EXPECT_EQ("5002", PortOf(s, "10.5.0.2"));
  EXPECT_EQ("5109", PortOf(s, "10.5.0.9"));
  EXPECT_EQ("5001", PortOf(s, "10.5.0.1"));
  Leave(s);
}

// ---------------------------------------------------------------------------
// The installation and the control.

std::string Payload(int id) {
  std::string bytes;
  HMODULE m = LoadLibraryExA(ui::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC r = m ? FindResourceA(m, MAKEINTRESOURCEA(id), "BIN") : nullptr;
  if (r) bytes.assign(static_cast<const char*>(LockResource(LoadResource(m, r))), SizeofResource(m, r));
  if (m) FreeLibrary(m);
  return bytes;
}

std::string SystemFile(const char* name) { return ui::SystemDir() + "\\" + name; }

void Uninstall() {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
  for (const char* name : kPayloadNames) DeleteFileA(SystemFile(name).c_str());
}

// A fresh installation by the program itself, the way a first start does it.
void Install() {
  Uninstall();
  ui::InitSession s(ui::MakeTempDir("install"), kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());
  ASSERT_FALSE(s.messages().empty());
  ASSERT_EQ("Register finish", s.messages().front());
  Leave(s);
}

std::string RegisteredServer() {
  std::string path;
  ui::ReadRegString(HKEY_CLASSES_ROOT, kServerKey, nullptr, &path);
  return path;
}

void EnsureInstalled() {
  if (GetFileAttributesA(RegisteredServer().c_str()) == INVALID_FILE_ATTRIBUTES) Install();
}

// Answers the message boxes of a starting program until its start-up dialog
// shows: No to each overwrite question, OK to the rest. Each box must follow
// the previous answer within 2 s (the first may take a start's time). The
// texts go to *texts; returns the dialog, or null when it did not come.
HWND DeclineOverwrites(const ui::Program& p, std::vector<std::string>* texts) {
  HWND init = nullptr;
  for (int n = 0; n < 30 && !init; ++n) {
    ui::MessageBoxInfo box;
    bool got = ui::WaitUntil(
        [&] {
          for (HWND h : p.Windows()) {
            if (ui::IsMessageBox(h)) {
              Sleep(50);
              box = ui::ReadMessageBox(h);
              return true;
            }
            if (ui::Text(h) == "Init") init = h;
          }
          return init != nullptr || !p.Running();
        },
        n == 0 ? kFirstStartMs : kStepMs);
    if (!got || !box.hwnd) break;
    texts->push_back(box.text);
    ui::Answer(box, box.buttons.size() == 2 ? IDNO : IDOK);
    ui::WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 3000);
  }
  return init;
}

const std::string kOverwrite = u8"文件已经存在，　覆盖吗";

bool IsOverwriteQuestion(const std::string& text, const char* name) { return text == SystemFile(name) + kOverwrite; }

// OK when the viewer cannot be made: the program must end within 2 s
// without showing any window or message (watched by a hook, so a window
// shown only for a moment counts too). The address is stored all the same.
void ExpectEndsQuietly(ui::InitSession& s, const std::string& address) {
  ui::ShowWatch watch(s.program());
  ASSERT_TRUE(watch.active());
  s.Type(address, "80");
  ui::Click(s.Item(IDC_OK));
  EXPECT_TRUE(s.program().WaitExit(kStepMs)) << "still running 2 s after OK";
  const std::vector<std::string> shown = watch.shown();
  EXPECT_TRUE(shown.empty()) << "shown before the end: " << shown.front();
  EXPECT_EQ(address, ui::IniValue(s.Ini(), "VELO_KEYWORDS", "IP00"));
}

TEST(InstallerFaults, PayloadTargetLockedByAnotherProcess) {
  FaultCase fault("a payload target locked by another process");
  Uninstall();
  const std::string locked = SystemFile("Ql_DvrNet.dll");
  HANDLE lock = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  std::string dir = ui::MakeTempDir("locked");
  ui::InitSession s(dir, kFirstStartMs);
  CloseHandle(lock);
  ASSERT_NE(nullptr, s.dialog());
  // That one file is named with the reason; the others are written and the
  // control registered.
  EXPECT_EQ((std::vector<std::string>{"CreateFile fail " + locked + ", error: 32", "Register finish", "CreateFile"}),
            s.messages());
  for (int i = 0; i < 13; ++i) {
    if (SystemFile(kPayloadNames[i]) == locked) continue;
    EXPECT_TRUE(ui::ReadFileBytes(SystemFile(kPayloadNames[i])) == Payload(172 + i)) << kPayloadNames[i];
  }
  EXPECT_EQ(0u, ui::ReadFileBytes(locked).size()) << "the locked file was written";
  EXPECT_EQ(0, lstrcmpiA(SystemFile("DvrOcx.ocx").c_str(), RegisteredServer().c_str()));
  Leave(s);
}

TEST(InstallerFaults, SystemDirectoryCannotBeWritten) {
  FaultCase fault("a system directory that cannot be written");
  Uninstall();
  Immutable guard(ui::SystemDir(), true);
  ASSERT_TRUE(guard.set()) << "could not make the system directory unwritable";
  std::string dir = ui::MakeTempDir("sysdir");
  ui::InitSession s(dir, kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());
  // Each payload named with the reason, then the registration that finds no
  // control, then the settings file; the dialog opens all the same.
  const std::vector<std::string>& m = s.messages();
  ASSERT_EQ(15u, m.size());
  for (size_t i = 0; i < 13; ++i) {
    const std::string head = "CreateFile fail " + SystemFile(kPayloadNames[i]) + ", error: ";
    const std::string& text = m[i];
    EXPECT_EQ(head, text.substr(0, head.size()));
    EXPECT_NE(0, std::atoi(text.c_str() + std::min(head.size(), text.size()))) << text;
  }
  EXPECT_EQ(u8"找不到文件， 请将Dvrocx.ocx文件拷贝到当前目录下或拷贝到" + ui::SystemDir(), m[13]);
  EXPECT_EQ("CreateFile", m[14]);
  // OK: the viewer cannot be created without its control; the program ends
  // quietly.
  ExpectEndsQuietly(s, "10.0.0.1");
}

struct BadServerValue {
  const char* name;
  DWORD type;
  std::string data;
};

TEST(InstallerFaults, ClassKeyValueUnusable) {
  std::string longPath = ui::SystemDir() + "\\";
  longPath += std::string(299 - longPath.size() - 4, 'x') + ".ocx";  // 300 bytes with its terminator
  const DWORD one = 1;
  const BadServerValue cases[] = {
      {"a class key whose value is not a string", REG_DWORD, std::string(reinterpret_cast<const char*>(&one), 4)},
      {"a class key whose value names a folder", REG_SZ, ui::SystemDir() + std::string(1, '\0')},
      {"a class key whose value is 300 bytes long", REG_SZ, longPath + std::string(1, '\0')},
  };
  for (const BadServerValue& c : cases) {
    FaultCase fault(c.name);
    ASSERT_NO_FATAL_FAILURE(Install());
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_SET_VALUE, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                                            static_cast<DWORD>(c.data.size())));
    RegCloseKey(key);
    // Not usable, so not installed: the installation runs again, asking
    // about each file already there, and registers the control afresh.
    ui::InitSession s(ui::MakeTempDir("badkey"), kFirstStartMs);
    ASSERT_NE(nullptr, s.dialog());
    const std::vector<std::string>& m = s.messages();
    ASSERT_EQ(15u, m.size());
    for (int i = 0; i < 13; ++i)
      EXPECT_TRUE(IsOverwriteQuestion(m[static_cast<size_t>(i)], kPayloadNames[i])) << m[static_cast<size_t>(i)];
    EXPECT_EQ("Register finish", m[13]);
    EXPECT_EQ("CreateFile", m[14]);
    EXPECT_EQ(0, lstrcmpiA(SystemFile("DvrOcx.ocx").c_str(), RegisteredServer().c_str())) << RegisteredServer();
    Leave(s);
  }
}

TEST(InstallerFaults, ControlFileIsNotALibrary) {
  {
    FaultCase fault("DvrOcx.ocx not a library, control not registered");
    ASSERT_NO_FATAL_FAILURE(Install());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
    const std::string junk = "this is not a library\r\n";
    ASSERT_TRUE(ui::WriteFileBytes(SystemFile("DvrOcx.ocx"), junk));
    // Every overwrite declined: the registration meets the junk and says so.
    ui::Program p(ui::MakeTempDir("junk"));
    std::vector<std::string> texts;
    HWND init = DeclineOverwrites(p, &texts);
    ASSERT_NE(nullptr, init) << "no start-up dialog";
    ASSERT_EQ(15u, texts.size());
    EXPECT_EQ("LoadLibrary fail: 193", texts[13]);
    EXPECT_EQ("CreateFile", texts[14]);
    EXPECT_EQ(junk, ui::ReadFileBytes(SystemFile("DvrOcx.ocx")));
    PostMessageW(GetDlgItem(init, IDC_LEAVE), BM_CLICK, 0, 0);
    EXPECT_TRUE(p.WaitExit(kStepMs));
  }
  {
    FaultCase fault("DvrOcx.ocx not a library, control registered");
    ASSERT_NO_FATAL_FAILURE(Install());
    ASSERT_TRUE(ui::WriteFileBytes(SystemFile("DvrOcx.ocx"), "MZ but no library\r\n"));
    std::string dir = FolderWith("junk2", kDefaults);
    ui::InitSession s(dir, kStartMs);
    ASSERT_NE(nullptr, s.dialog());
    // The file is there, so nothing is installed; the viewer cannot be made
    // and the program ends quietly.
    EXPECT_TRUE(s.messages().empty());
    ExpectEndsQuietly(s, "10.0.0.2");
  }
}

TEST(InstallerFaults, ControlMissingAtViewerStart) {
  FaultCase fault("the control missing at viewer start");
  ASSERT_NO_FATAL_FAILURE(Install());
  std::string dir = FolderWith("missing", kDefaults);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_TRUE(s.messages().empty());
  // Unregistered behind the program's back while the dialog is open.
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey));
  ExpectEndsQuietly(s, "10.0.0.3");
}

// ---------------------------------------------------------------------------
// Address-book input at its edges.

class AddressInput : public testing::Test {
 protected:
  static void SetUpTestSuite() { EnsureInstalled(); }
};

// The whole life of one entry: OK stores it and opens the viewer; the next
// start lists it exactly as typed, selecting it shows its port, and Delete
// removes it. Where the book cannot keep what was typed as it was typed
// (Refusal::kAllowed), OK may instead refuse it with a message, writing nothing and
// keeping the dialog open.
enum class Refusal { kWrong, kAllowed };
// `kept` is what the book keeps when that is not the typed text itself.
void EntryLifeCycle(const std::string& name, const std::string& typed, const std::string& port,
                    const std::string& shownPort, Refusal refusal = Refusal::kWrong, const std::string& kept = "") {
  const std::string address = kept.empty() ? typed : kept;
  FaultCase fault(name);
  std::string dir = FolderWith("entry", kDefaults);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  const std::string answer = PressOk(s, typed, port);
  if (answer != kViewer) {
    EXPECT_TRUE(refusal == Refusal::kAllowed) << "OK refused it: " << answer;
    EXPECT_TRUE(s.Open()) << "OK gave " << answer;
    EXPECT_EQ(kDefaults, ui::ReadFileBytes(Ini(dir))) << "refused, but written";
    Leave(s);
    return;
  }
  ui::AddressBook book = ui::ReadAddressBook(Ini(dir));
  EXPECT_EQ(std::vector<std::string>{address}, book.addresses) << "stored differently from what was typed";
  EXPECT_EQ(port, book.Port(address));
  s.Restart(kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  EXPECT_EQ(std::vector<std::string>{address}, s.Entries());
  EXPECT_EQ(shownPort, ui::Text(s.Item(IDC_PORT)));
  EXPECT_EQ(shownPort, PortOf(s, address));
  EXPECT_EQ("", DeleteEntry(s, address));
  Leave(s);
  book = ui::ReadAddressBook(Ini(dir));
  EXPECT_TRUE(book.addresses.empty());
  EXPECT_TRUE(book.problems.empty()) << book.problems.front();
}

std::string OfLength(size_t n) {
  std::string s = "cam.";
  while (s.size() < n - 8) s += "abcdefgh"[s.size() % 8];
  return s + ".example";
}

TEST_F(AddressInput, AddressesThatTheBookKeeps) {
  EntryLifeCycle("address of 199 characters", OfLength(199), "8001", "8001");
  EntryLifeCycle("address with '='", "rec=01", "8002", "8002");
  EntryLifeCycle("address with '['", "[rec02", "8003", "8003");
  EntryLifeCycle("address with ']'", "rec03]", "8004", "8004");
  EntryLifeCycle("address with ';'", ";rec04", "8005", "8005");
  EntryLifeCycle("address of GBK characters", u8"监控室一号", "8006", "8006");
  // Their second bytes are '[', ']' and '\' in code page 936.
  EntryLifeCycle("address of GBK characters with ASCII trail bytes", u8"录像乕乚乗", "8007", "8007");
}

TEST_F(AddressInput, AddressOf200Characters) {
  // Values are read back into 200-character buffers (199 characters and the
  // terminator).
  EntryLifeCycle("address of 200 characters", OfLength(200), "8010", "8010", Refusal::kAllowed);
}

TEST_F(AddressInput, AddressesWithBlanksAtTheEnds) {
  // The profile functions drop the blanks around a value when they read it,
  // so OK drops them before storing: the entry is kept without them.
  EntryLifeCycle("address with a leading blank", " 10.8.0.1", "8011", "8011", Refusal::kWrong, "10.8.0.1");
  EntryLifeCycle("address with a trailing blank", "10.8.0.2 ", "8012", "8012", Refusal::kWrong, "10.8.0.2");
}

TEST_F(AddressInput, PortsThatAreRefused) {
  std::string dir = FolderWith("ports", kBook);
  ui::InitSession s(dir, kStartMs);
  ASSERT_NE(nullptr, s.dialog());
  const char* const ports[] = {" 80", "80 ", "+80", "-80", "8 0", "0", "65536", "00000"};
  for (const char* port : ports) {
    FaultCase fault(std::string("port '") + port + "'");
    EXPECT_EQ("Invalid Port", PressOk(s, "10.0.0.7", port));
    EXPECT_TRUE(s.Open());
    EXPECT_EQ(kBook, ui::ReadFileBytes(Ini(dir)));
  }
  Leave(s);
}

// A port is a whole decimal number from 1 to 65535 written in digits only;
// leading zeros do not change the number.
TEST_F(AddressInput, PortsWithLeadingZerosAndTheLargest) {
  EntryLifeCycle("port with leading zeros '0080'", "10.8.1.1", "0080", "80");
  EntryLifeCycle("port with leading zeros '000080'", "10.8.1.2", "000080", "80");
  EntryLifeCycle("port 65535", "10.8.1.3", "65535", "65535");
}

}  // namespace

namespace {

// The watch used above sees what the program shows: here the message box of
// an OK without an address.
TEST(Measurement, ShowWatchSeesWhatTheProgramShows) {
  ui::InitSession s(ui::MakeTempDir("watch"), kFirstStartMs);
  ASSERT_NE(nullptr, s.dialog());
  ui::ShowWatch watch(s.program());
  ASSERT_TRUE(watch.active());
  EXPECT_TRUE(watch.shown().empty());
  EXPECT_EQ("Invalid Address", PressOk(s, "", "80"));
  const std::vector<std::string> shown = watch.shown();
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ("#32770 '", shown[0].substr(0, 8)) << shown[0];
  Leave(s);
}

}  // namespace
