// The settings file through the real profile and file functions, in a fresh
// temporary folder per test (the file's path is relative), with scripted
// message boxes and a real dialog holding the address list (1016, a sorted
// drop-down combo box), the port box (1007) and the Delete button (1018).
#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "framework/msgbox.h"
#include "settings/profile_text.h"
#include "settings/settings.h"
#include "tests/support/support.h"

using namespace settings;

namespace {

// ---- text helpers ---------------------------------------------------------

std::string Lines(std::initializer_list<std::string> lines, const std::string& eol = "\r\n") {
  std::string s;
  for (const std::string& l : lines) s += l + eol;
  return s;
}

// The default contents once the profile writer has rewritten them (it ends
// the last line with CR LF).
std::string Defaults() { return std::string(kDefaultContents) + "\r\n"; }

// The worked example's file F: defaults, then two OKs (192.168.1.10:5000,
// 10.0.0.7:34567).
std::string FileF() {
  return Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=192.168.1.10", "PORT00=5000", "INDEX=1",
                             "IP01=10.0.0.7", "PORT01=34567", "[LOGIN_ADDRESS]", "IP=10.0.0.7"});
}

std::string Visible(const std::string& s) {
  std::string o;
  for (char c : s) {
    if (c == '\r')
      o += "\\r";
    else if (c == '\n')
      o += "\\n\n";
    else if (c == '\0')
      o += "\\0";
    else
      o += c;
  }
  return o;
}

// ---- the file -------------------------------------------------------------

bool Exists() { return ::GetFileAttributesA(kFileName) != INVALID_FILE_ATTRIBUTES; }

std::string ReadAll() {
  HANDLE h = ::CreateFileA(kFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<no file>";
  std::string s(::GetFileSize(h, nullptr), '\0');
  DWORD n = 0;
  if (!s.empty()) ::ReadFile(h, &s[0], static_cast<DWORD>(s.size()), &n, nullptr);
  ::CloseHandle(h);
  s.resize(n);
  return s;
}

void WriteAll(const std::string& s) {
  HANDLE h = ::CreateFileA(kFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD n = 0;
  ::WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
  ::CloseHandle(h);
  ASSERT_EQ(s.size(), n);
}

// ---- the dialog -----------------------------------------------------------

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(0) {}
  void OnOK() override { ++m_nOk; }  // the flows end the dialog only here
  int m_nOk = 0;
};

INT_PTR CALLBACK PlainDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// An in-memory dialog template: the three controls the address book needs.
class TemplateWriter {
 public:
  void Word(WORD w) { m_bytes.push_back(LOBYTE(w)), m_bytes.push_back(HIBYTE(w)); }
  void Dword(DWORD d) { Word(LOWORD(d)), Word(HIWORD(d)); }
  void Align() {
    while (m_bytes.size() % 4) m_bytes.push_back(0);
  }
  void Dialog(WORD items) {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU);
    Dword(0);
    Word(items);
    Word(0), Word(0), Word(200), Word(80);
    Word(0), Word(0), Word(0);  // no menu, standard class, empty title
  }
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom) {
    Align();
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(x), Word(y), Word(cx), Word(cy), Word(id);
    Word(0xFFFF), Word(atom);
    Word(0);  // empty text
    Word(0);  // no creation data
  }
  const BYTE* Data() const { return m_bytes.data(); }

 private:
  std::vector<BYTE> m_bytes;
};

class DialogHost {
 public:
  DialogHost() {
    TemplateWriter t;
    t.Dialog(3);
    t.Item(CBS_DROPDOWN | CBS_SORT | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 10, 10, 100, 80, kIdAddressList,
           0x0085);
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 30, 60, 12, kIdPortBox, 0x0081);
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 10, 50, 50, 14, kIdDeleteButton, 0x0080);
    m_hWnd = ::CreateDialogIndirectParamA(::GetModuleHandleA(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEA>(t.Data()), nullptr, &PlainDlgProc, 0);
    if (m_hWnd) {
      dlg.Attach(m_hWnd);
      list.Attach(::GetDlgItem(m_hWnd, kIdAddressList));
    }
  }
  ~DialogHost() {
    list.Detach();
    dlg.Detach();
    if (m_hWnd) ::DestroyWindow(m_hWnd);
  }
  bool Created() const { return m_hWnd && list.m_hWnd; }

  void Type(const std::string& address, const std::string& port) {
    list.SetWindowText(address.c_str());
    dlg.SetDlgItemText(kIdPortBox, port.c_str());
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    for (int i = 0; i < list.GetCount(); ++i) v.push_back(list.GetLBText(i));
    return v;
  }
  std::string Port() const { return dlg.GetDlgItemText(kIdPortBox); }
  bool DeleteEnabled() const { return ::IsWindowEnabled(dlg.GetDlgItem(kIdDeleteButton)) != FALSE; }

  TestDialog dlg;
  CComboBox list;

 private:
  HWND m_hWnd = nullptr;
};

// ---- the fixture ----------------------------------------------------------

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmp[MAX_PATH] = "", cwd[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, tmp);
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
    m_strOldDir = cwd;
    static int serial = 0;
    m_strDir = std::string(tmp) + "velo_settings_" + std::to_string(::GetCurrentProcessId()) + "_" +
               std::to_string(++serial);
    vt::RemoveTree(m_strDir);
    ASSERT_TRUE(::CreateDirectoryA(m_strDir.c_str(), nullptr));
    ASSERT_TRUE(::SetCurrentDirectoryA(m_strDir.c_str()));
    SetMessageBoxScript([this](const MessageBoxCall& call) {
      m_calls.push_back(call);
      if (m_answers.empty()) return IDOK;
      int answer = m_answers.front();
      m_answers.pop_front();
      return answer;
    });
  }
  void TearDown() override {
    m_pHost.reset();
    SetMessageBoxScript(nullptr);
    ::SetCurrentDirectoryA(m_strOldDir.c_str());
    vt::RemoveTree(m_strDir);
  }

  // Opens the start-up dialog's controls afresh on the file as it stands.
  DialogHost& Open() {
    m_pHost.reset();
    m_pHost = std::make_unique<DialogHost>();
    EXPECT_TRUE(m_pHost->Created());
    LoadAddressList(m_pHost->list, m_pHost->dlg.GetDlgItem(kIdPortBox));
    return *m_pHost;
  }

  // One OK on a freshly opened dialog; true when the dialog was ended.
  bool Ok(const std::string& address, const std::string& port) {
    DialogHost& d = Open();
    d.Type(address, port);
    SaveLoginAddress(d.dlg, d.list);
    EXPECT_LE(d.dlg.m_nOk, 1);
    return d.dlg.m_nOk == 1;
  }

  // The texts of the message boxes shown since the last call. Application
  // boxes have the OK button only.
  std::vector<std::string> Messages() {
    std::vector<std::string> texts;
    for (const MessageBoxCall& c : m_calls) {
      texts.push_back(c.text);
      if (c.text != "sure delete?") {
        EXPECT_EQ(static_cast<UINT>(MB_OK), c.type & MB_TYPEMASK) << c.text;
      }
    }
    m_calls.clear();
    return texts;
  }

  // Checking helpers: a failure names the line of the calling test.
  void CheckFile(int line, const std::string& expected) {
    std::string actual = ReadAll();
    if (actual != expected)
      ADD_FAILURE_AT(__FILE__, line) << "settings file is\n" << Visible(actual) << "\nexpected\n" << Visible(expected);
  }
  void CheckView(int line, const std::vector<std::string>& entries, int sel, const std::string& edit,
                 const std::string& port) {
    const DialogHost& d = *m_pHost;
    std::string actual, expected;
    for (const std::string& e : d.Entries()) actual += "[" + e + "]";
    for (const std::string& e : entries) expected += "[" + e + "]";
    actual += " sel " + std::to_string(d.list.GetCurSel()) + " edit '" + d.list.GetWindowText() + "' port '" +
              d.Port() + "'";
    expected += " sel " + std::to_string(sel) + " edit '" + edit + "' port '" + port + "'";
    if (actual != expected) ADD_FAILURE_AT(__FILE__, line) << "dialog shows " << actual << "\nexpected " << expected;
  }
  void CheckMessages(int line, const std::vector<std::string>& expected) {
    std::vector<std::string> actual = Messages();
    if (actual != expected) {
      std::string a, e;
      for (const std::string& s : actual) a += "'" + s + "' ";
      for (const std::string& s : expected) e += "'" + s + "' ";
      ADD_FAILURE_AT(__FILE__, line) << "messages " << a << "\nexpected " << e;
    }
  }

  std::string m_strDir, m_strOldDir;
  std::vector<MessageBoxCall> m_calls;
  std::deque<int> m_answers;
  std::unique_ptr<DialogHost> m_pHost;
};

// Variadic, so that braced lists with commas pass through.
#define CHECK_FILE(...) CheckFile(__LINE__, __VA_ARGS__)
#define CHECK_VIEW(...) CheckView(__LINE__, __VA_ARGS__)
#define CHECK_MESSAGES(...) CheckMessages(__LINE__, __VA_ARGS__)

using Strings = std::vector<std::string>;

}  // namespace

// ---- the worked example, byte for byte -------------------------------------

TEST_F(SettingsTest, WorkedExample) {
  EnsureSettingsFile();
  CHECK_MESSAGES({"CreateFile"});
  CHECK_FILE(kDefaultContents);
  Open();
  CHECK_VIEW({}, -1, "", "");
  EXPECT_EQ(0, ReadLanguage());

  EXPECT_TRUE(Ok("192.168.1.10", "5000"));
  CHECK_FILE(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP00=192.168.1.10", "PORT00=5000", "INDEX=0",
                                 "[LOGIN_ADDRESS]", "IP=192.168.1.10"}));
  EXPECT_TRUE(Ok("10.0.0.7", "34567"));
  CHECK_FILE(FileF());
  CHECK_MESSAGES({});

  // Opening on F: sorted list, the current entry (slot 1) selected.
  Open();
  CHECK_VIEW({"10.0.0.7", "192.168.1.10"}, 0, "10.0.0.7", "34567");
  m_pHost->list.SetCurSel(1);
  ShowPortOfSelection(m_pHost->dlg, m_pHost->list);
  CHECK_VIEW({"10.0.0.7", "192.168.1.10"}, 1, "192.168.1.10", "5000");

  // A new address on F takes slot 02.
  EXPECT_TRUE(Ok("172.16.0.5", "8000"));
  CHECK_FILE(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=3", "IP00=192.168.1.10", "PORT00=5000", "INDEX=2",
                                 "IP01=10.0.0.7", "PORT01=34567", "IP02=172.16.0.5", "PORT02=8000",
                                 "[LOGIN_ADDRESS]", "IP=172.16.0.5"}));

  // A known address on F: its own slot 00, COUNT untouched.
  WriteAll(FileF());
  EXPECT_TRUE(Ok("192.168.1.10", "6000"));
  CHECK_FILE(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=192.168.1.10", "PORT00=6000", "INDEX=0",
                                 "IP01=10.0.0.7", "PORT01=34567", "[LOGIN_ADDRESS]", "IP=192.168.1.10"}));

  // Delete on F, answered No: nothing happens.
  WriteAll(FileF());
  DialogHost& d = Open();
  d.list.SetCurSel(1);
  m_answers = {IDNO};
  DeleteSelectedAddress(d.dlg, d.list);
  ASSERT_EQ(1u, m_calls.size());
  EXPECT_EQ(d.dlg.m_hWnd, m_calls[0].hOwner);
  EXPECT_EQ("delete", m_calls[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), m_calls[0].type);  // no icon
  CHECK_MESSAGES({"sure delete?"});
  CHECK_FILE(FileF());
  CHECK_VIEW({"10.0.0.7", "192.168.1.10"}, 1, "192.168.1.10", "34567");

  // Answered Yes: the two lines go, 10.0.0.7 is selected with its port.
  m_answers = {IDYES};
  DeleteSelectedAddress(d.dlg, d.list);
  CHECK_MESSAGES({"sure delete?"});
  CHECK_FILE(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=1", "INDEX=1", "IP01=10.0.0.7", "PORT01=34567",
                                 "[LOGIN_ADDRESS]", "IP=10.0.0.7"}));
  CHECK_VIEW({"10.0.0.7"}, 0, "10.0.0.7", "34567");
  EXPECT_TRUE(d.DeleteEnabled());

  // The next new address fills the gap, slot 00, at the end of the section.
  EXPECT_TRUE(Ok("172.16.0.5", "8000"));
  CHECK_FILE(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "INDEX=0", "IP01=10.0.0.7", "PORT01=34567",
                                 "IP00=172.16.0.5", "PORT00=8000", "[LOGIN_ADDRESS]", "IP=172.16.0.5"}));
  Open();
  CHECK_VIEW({"10.0.0.7", "172.16.0.5"}, 1, "172.16.0.5", "8000");
  CHECK_MESSAGES({});
}

// ---- creating the file -----------------------------------------------------

TEST_F(SettingsTest, MissingEmptyAndExistingFile) {
  // Missing: exactly the 151 default bytes, no line end after the last line.
  ASSERT_FALSE(Exists());
  EnsureSettingsFile();
  CHECK_MESSAGES({"CreateFile"});
  EXPECT_EQ(151u, ReadAll().size());
  CHECK_FILE(kDefaultContents);

  // Existing, whatever it holds: left alone, no message.
  WriteAll("junk");
  EnsureSettingsFile();
  CHECK_MESSAGES({});
  CHECK_FILE("junk");

  // Empty: stays empty; nothing listed, language 0; the first OK creates
  // both sections through the profile writer.
  WriteAll("");
  EnsureSettingsFile();
  CHECK_MESSAGES({});
  CHECK_FILE("");
  Open();
  CHECK_VIEW({}, -1, "", "");
  EXPECT_EQ(0, ReadLanguage());
  EXPECT_TRUE(Ok("10.0.0.1", "80"));
  CHECK_FILE(Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP00=10.0.0.1", "PORT00=80", "INDEX=0", "[LOGIN_ADDRESS]",
                    "IP=10.0.0.1"}));
  CHECK_MESSAGES({});
}

TEST_F(SettingsTest, FileThatCannotBeCreated) {
  // Nothing can be created in /proc, not even by root: the open for an
  // existing file says "not found", the creating open fails.
  ASSERT_TRUE(::SetCurrentDirectoryA("Z:\\proc"));
  EnsureSettingsFile();
  CHECK_MESSAGES({"CreateFile", "Create File fail"});
  EXPECT_FALSE(Exists());
  EXPECT_EQ(0, ReadLanguage());
  EXPECT_EQ(-1, FindAddressIndex("10.0.0.1"));
}

TEST_F(SettingsTest, FolderInPlaceOfTheFile) {
  // The file exists but cannot be opened: start-up says nothing; each raw
  // operation takes its own failure path and nothing is written.
  ASSERT_TRUE(::CreateDirectoryA(kFileName, nullptr));
  EnsureSettingsFile();
  CHECK_MESSAGES({});
  EXPECT_EQ(-1, FindAddressIndex("10.0.0.1"));
  EXPECT_EQ(DeleteResult::kOpenFailed, DeleteAddressLines("10.0.0.1"));
  CHECK_MESSAGES({"CreateFile fail"});
  EXPECT_FALSE(Ok("10.0.0.1", "80"));
  CHECK_MESSAGES({"Open file fail"});
  EXPECT_TRUE(::GetFileAttributesA(kFileName) & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- the address book -----------------------------------------------------

TEST_F(SettingsTest, GapsAndTheFreeSlot) {
  const std::string head = Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=10.0.0.1", "PORT00=1", "IP02=10.0.0.3",
                                  "PORT02=3", "INDEX=2"});
  WriteAll(head);
  Open();
  CHECK_VIEW({"10.0.0.1", "10.0.0.3"}, 1, "10.0.0.3", "3");
  EXPECT_TRUE(Ok("10.0.0.2", "2"));
  CHECK_FILE(Lines({"[VELO_KEYWORDS]", "COUNT=3", "IP00=10.0.0.1", "PORT00=1", "IP02=10.0.0.3", "PORT02=3",
                    "INDEX=1", "IP01=10.0.0.2", "PORT01=2", "[LOGIN_ADDRESS]", "IP=10.0.0.2"}));

  // COUNT lower than the entries: slots 0..COUNT are all taken, so the
  // search goes on to the lowest free slot.
  WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP00=a", "PORT00=1", "IP01=b", "PORT01=2", "IP03=d", "PORT03=4"}));
  EXPECT_TRUE(Ok("c", "3"));
  EXPECT_EQ("c", ReadLastAddress().address);
  EXPECT_EQ(2, FindAddressIndex("c"));
  EXPECT_EQ(2, ::GetPrivateProfileIntA("VELO_KEYWORDS", "COUNT", 0, kFileName));
}

TEST_F(SettingsTest, PortThatReadsZeroMarksAFreeSlot) {
  // The platform's integer read behaves as the free-slot rule expects.
  for (const char* v : {"5000", "5000x", "0", "abc", "x5000", ""}) {
    ::WritePrivateProfileStringA("T", "k", v, kFileName);
    EXPECT_EQ(ProfileInt(v), static_cast<int>(::GetPrivateProfileIntA("T", "k", 0, kFileName))) << v;
  }
  // Files written earlier with such ports: the slot counts as free and the
  // next new address takes it, while COUNT still grows.
  for (const char* port : {"0", "abc"}) {
    SCOPED_TRACE(port);
    WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=2", std::string("IP00=old"), std::string("PORT00=") + port,
                    "IP01=b", "PORT01=2", "INDEX=1"}));
    Open();
    CHECK_VIEW({"b", "old"}, 0, "b", "2");
    EXPECT_TRUE(Ok("new", "9"));
    CHECK_FILE(Lines({"[VELO_KEYWORDS]", "COUNT=3", "IP00=new", "PORT00=9", "IP01=b", "PORT01=2", "INDEX=0",
                      "[LOGIN_ADDRESS]", "IP=new"}));
  }
}

TEST_F(SettingsTest, PrefixAddressesInBothOrders) {
  for (bool shortFirst : {true, false}) {
    SCOPED_TRACE(shortFirst ? "10.0.0.1 stored first" : "10.0.0.12 stored first");
    WriteAll(Defaults());
    const std::string a = shortFirst ? "10.0.0.1" : "10.0.0.12";
    const std::string b = shortFirst ? "10.0.0.12" : "10.0.0.1";
    ASSERT_TRUE(Ok(a, "100"));
    // The new address that a stored one begins with (or that begins the
    // stored one) is new, not an update of the other.
    ASSERT_TRUE(Ok(b, "200"));
    EXPECT_EQ(0, FindAddressIndex(a));
    EXPECT_EQ(1, FindAddressIndex(b));
    EXPECT_EQ(100, ReadPortForIndex(0));
    EXPECT_EQ(200, ReadPortForIndex(1));

    // Updating either changes only its own slot.
    ASSERT_TRUE(Ok(a, "111"));
    EXPECT_EQ(111, ReadPortForIndex(0));
    EXPECT_EQ(200, ReadPortForIndex(1));
    EXPECT_EQ(a, ReadLastAddress().address);
    EXPECT_EQ(111, ReadLastAddress().port);
    ASSERT_TRUE(Ok(b, "222"));
    EXPECT_EQ(111, ReadPortForIndex(0));
    EXPECT_EQ(222, ReadPortForIndex(1));
    EXPECT_EQ(b, ReadLastAddress().address);

    const std::string book = ReadAll();
    const std::string lineA = "IP00=" + a + "\r\nPORT00=111\r\n";
    const std::string lineB = "IP01=" + b + "\r\nPORT01=222\r\n";
    ASSERT_NE(std::string::npos, book.find(lineA));
    ASSERT_NE(std::string::npos, book.find(lineB));

    // Delete of either cuts only its own two lines.
    for (const std::string& victim : {a, b}) {
      WriteAll(book);
      ASSERT_EQ(DeleteResult::kDeleted, DeleteAddressLines(victim));
      std::string expected = book;
      const std::string& gone = victim == a ? lineA : lineB;
      expected.erase(expected.find(gone), gone.size());
      CHECK_FILE(expected);
    }
    CHECK_MESSAGES({});
  }
}

TEST_F(SettingsTest, OpeningSelectsTheCurrentEntryItselfNotOneItBegins) {
  // 10.0.0.12 sorts after 10.0.0.1 and begins with it: the list must still
  // show the current 10.0.0.1 next to its own port, so that a plain OK keeps
  // both entries as they are.
  WriteAll(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=10.0.0.1", "PORT00=100", "INDEX=0",
                               "IP01=10.0.0.12", "PORT01=200"}));
  DialogHost& d = Open();
  CHECK_VIEW({"10.0.0.1", "10.0.0.12"}, 0, "10.0.0.1", "100");
  SaveLoginAddress(d.dlg, d.list);
  EXPECT_EQ(100, ReadPortForIndex(0));
  EXPECT_EQ(200, ReadPortForIndex(1));
  CHECK_MESSAGES({});
}

TEST_F(SettingsTest, DuplicateKeyNeverOverwritesTheEntryOnShow) {
  // Slot 01 stands twice; the profile reader (and the list) see 10.5.0.2.
  WriteAll(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "INDEX=0", "IP00=10.5.0.1", "PORT00=5001",
                               "IP01=10.5.0.2", "PORT01=5002", "IP01=10.5.0.9", "PORT01=5009"}));
  // The hidden line's address is found nowhere, and OK with it adds it anew.
  EXPECT_EQ(-1, FindAddressIndex("10.5.0.9"));
  EXPECT_TRUE(Ok("10.5.0.9", "5109"));
  EXPECT_EQ(1, FindAddressIndex("10.5.0.2"));
  EXPECT_EQ(5002, ReadPortForIndex(1));
  EXPECT_EQ(2, FindAddressIndex("10.5.0.9"));
  EXPECT_EQ(5109, ReadPortForIndex(2));
  CHECK_MESSAGES({});
}

TEST_F(SettingsTest, AddressesTheBookCouldNotGiveBack) {
  WriteAll(Defaults());
  // Blanks at the ends go: the profile reader would drop them on reading.
  EXPECT_TRUE(Ok("  10.7.0.1 ", "81"));
  EXPECT_EQ(0, FindAddressIndex("10.7.0.1"));
  EXPECT_EQ("10.7.0.1", ReadLastAddress().address);
  // 200 characters and more would come back cut to 199.
  const std::string keep = ReadAll();
  EXPECT_FALSE(Ok(std::string(200, 'a'), "82"));
  CHECK_MESSAGES({"Invalid Address"});
  CHECK_FILE(keep);
  EXPECT_TRUE(Ok(std::string(199, 'a'), "83"));
  EXPECT_EQ(1, FindAddressIndex(std::string(199, 'a')));
  CHECK_MESSAGES({});
}

TEST_F(SettingsTest, AddressEqualToAnotherKeysValue) {
  // Lang=0, IsDelete=1033, COUNT=1 and INDEX=0 hold these texts; none of them
  // is an entry.
  WriteAll(Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP00=10.0.0.1", "PORT00=80", "INDEX=0"}));
  for (const char* other : {"0", "1033", "1", "c:\\DVR\\"}) {
    EXPECT_EQ(-1, FindAddressIndex(other)) << other;
    EXPECT_EQ(DeleteResult::kNotFound, DeleteAddressLines(other)) << other;
  }
  CHECK_MESSAGES({"not find", "not find", "not find", "not find"});

  // OK with them adds entries instead of overwriting slot 00.
  EXPECT_TRUE(Ok("0", "81"));
  EXPECT_TRUE(Ok("1033", "82"));
  EXPECT_TRUE(Ok("1", "83"));
  EXPECT_EQ(80, ReadPortForIndex(0));
  EXPECT_EQ(1, FindAddressIndex("0"));
  EXPECT_EQ(2, FindAddressIndex("1033"));
  EXPECT_EQ(3, FindAddressIndex("1"));
  EXPECT_EQ(4, ::GetPrivateProfileIntA("VELO_KEYWORDS", "COUNT", 0, kFileName));
  // And an update of one of them finds its own line.
  EXPECT_TRUE(Ok("1", "84"));
  EXPECT_EQ(84, ReadPortForIndex(3));
  EXPECT_EQ(4, ::GetPrivateProfileIntA("VELO_KEYWORDS", "COUNT", 0, kFileName));
  EXPECT_EQ(0, ::GetPrivateProfileIntA("Language", "Lang", 9, kFileName));
  CHECK_MESSAGES({});
}

TEST_F(SettingsTest, LetterCase) {
  WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP00=DVR.local", "PORT00=80", "INDEX=0"}));
  EXPECT_EQ(-1, FindAddressIndex("dvr.local"));
  EXPECT_EQ(DeleteResult::kNotFound, DeleteAddressLines("dvr.local"));
  CHECK_MESSAGES({"not find"});
  // Only an exact match is known: the other spelling is a new entry and the
  // stored one keeps its port.
  EXPECT_TRUE(Ok("dvr.local", "90"));
  EXPECT_EQ(0, FindAddressIndex("DVR.local"));
  EXPECT_EQ(1, FindAddressIndex("dvr.local"));
  EXPECT_EQ(80, ReadPortForIndex(0));
  EXPECT_EQ(90, ReadPortForIndex(1));
  // The profile functions ignore key case: "Port%02d" reads PORT00.
  WriteAll(Lines({"[velo_keywords]", "count=1", "ip00=DVR.local", "port00=80", "index=0"}));
  Open();
  CHECK_VIEW({"DVR.local"}, 0, "DVR.local", "80");
}

TEST_F(SettingsTest, LastLineWithoutLineEnd) {
  // An address line without its CR LF is not found by the raw search.
  const std::string text = "[VELO_KEYWORDS]\r\nCOUNT=1\r\nINDEX=0\r\nPORT00=80\r\nIP00=10.0.0.1";
  WriteAll(text);
  DialogHost& d = Open();
  CHECK_VIEW({"10.0.0.1"}, 0, "10.0.0.1", "80");
  EXPECT_EQ(-1, FindAddressIndex("10.0.0.1"));
  ShowPortOfSelection(d.dlg, d.list);
  CHECK_VIEW({"10.0.0.1"}, 0, "10.0.0.1", "0");
  m_answers = {IDYES};
  DeleteSelectedAddress(d.dlg, d.list);
  CHECK_MESSAGES({"sure delete?", "not find"});
  CHECK_FILE(text);
  CHECK_VIEW({"10.0.0.1"}, 0, "10.0.0.1", "0");
  // The Delete button comes back after a failed delete as well.
  EXPECT_TRUE(d.DeleteEnabled());

  // A port line at the very end is cut to the end of the text.
  WriteAll("[VELO_KEYWORDS]\r\nCOUNT=1\r\nIP00=10.0.0.1\r\nPORT00=80");
  EXPECT_EQ(DeleteResult::kDeleted, DeleteAddressLines("10.0.0.1"));
  CHECK_FILE("[VELO_KEYWORDS]\r\nCOUNT=1\r\n");

  // The profile writer starts what it appends on a new line.
  WriteAll("[A]\r\nk=1");
  EXPECT_TRUE(Ok("10.0.0.1", "80"));
  CHECK_FILE(Lines({"[A]", "k=1", "[VELO_KEYWORDS]", "COUNT=1", "IP00=10.0.0.1", "PORT00=80", "INDEX=0",
                    "[LOGIN_ADDRESS]", "IP=10.0.0.1"}));
}

TEST_F(SettingsTest, LineEnds) {
  // The profile reads see the same book whatever the line ends; the raw
  // search needs CR LF after the address, so LF-only files give -1 and
  // "not find", and nothing is lost.
  for (const std::string eol : {"\r\n", "\n"}) {
    SCOPED_TRACE(eol == "\n" ? "LF" : "CR LF");
    const std::string text = Lines({"[Language]", "Lang=2", "[VELO_KEYWORDS]", "COUNT=2", "IP00=10.0.0.7",
                                    "PORT00=7000", "IP01=10.0.0.8", "PORT01=8000", "INDEX=1"},
                                   eol);
    WriteAll(text);
    EXPECT_EQ(2, ReadLanguage());
    Open();
    CHECK_VIEW({"10.0.0.7", "10.0.0.8"}, 1, "10.0.0.8", "8000");
    LastAddress last = ReadLastAddress();
    EXPECT_EQ("10.0.0.8", last.address);
    EXPECT_EQ(8000, last.port);
    EXPECT_EQ(7000, ReadPortForIndex(0));
    const bool crlf = eol == "\r\n";
    EXPECT_EQ(crlf ? 0 : -1, FindAddressIndex("10.0.0.7"));
    EXPECT_EQ(crlf ? DeleteResult::kDeleted : DeleteResult::kNotFound, DeleteAddressLines("10.0.0.7"));
    CHECK_MESSAGES(crlf ? Strings{} : Strings{"not find"});
    CHECK_FILE(crlf ? Lines({"[Language]", "Lang=2", "[VELO_KEYWORDS]", "COUNT=2", "IP01=10.0.0.8", "PORT01=8000",
                             "INDEX=1"})
                    : text);
  }
}

TEST_F(SettingsTest, SixKilobyteFileDeleteChangesOnlyTheEntry) {
  // The book stands after byte 5000; the raw operations read the whole file.
  std::string pad = "[Pad]\r\n";
  for (int i = 0; pad.size() < 5100; ++i) pad += "Key" + std::to_string(i) + "=a value of some length\r\n";
  const std::string book = Lines({"[VELO_KEYWORDS]", "COUNT=3", "IP00=10.0.0.1", "PORT00=100", "IP01=10.0.0.2",
                                  "PORT01=200", "INDEX=1", "IP02=10.0.0.3", "PORT02=300", "[LOGIN_ADDRESS]",
                                  "IP=10.0.0.2"});
  std::string tail;
  for (int i = 0; tail.size() < 900; ++i) tail += "[Tail" + std::to_string(i) + "]\r\nk=v\r\n";
  const std::string text = Defaults() + pad + book + tail;
  ASSERT_GT(text.size(), 6000u);
  ASSERT_GT(text.find("IP01=10.0.0.2"), 5000u);
  WriteAll(text);
  EXPECT_EQ(2, FindAddressIndex("10.0.0.3"));

  // The raw cut: exactly the two lines, every other byte in place.
  ASSERT_EQ(DeleteResult::kDeleted, DeleteAddressLines("10.0.0.2"));
  std::string expected = text;
  const std::string gone = "IP01=10.0.0.2\r\nPORT01=200\r\n";
  expected.erase(expected.find(gone), gone.size());
  CHECK_FILE(expected);

  // The whole flow also writes COUNT, INDEX and the login address, each in
  // place.
  WriteAll(text);
  DialogHost& d = Open();
  CHECK_VIEW({"10.0.0.1", "10.0.0.2", "10.0.0.3"}, 1, "10.0.0.2", "200");
  m_answers = {IDYES};
  DeleteSelectedAddress(d.dlg, d.list);
  CHECK_MESSAGES({"sure delete?"});
  CHECK_VIEW({"10.0.0.1", "10.0.0.3"}, 0, "10.0.0.1", "100");
  std::string flow = expected;
  auto replace = [&flow](const std::string& from, const std::string& to) {
    size_t at = flow.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    flow.replace(at, from.size(), to);
  };
  replace("COUNT=3\r\n", "COUNT=2\r\n");
  replace("INDEX=1\r\n", "INDEX=0\r\n");
  replace("[LOGIN_ADDRESS]\r\nIP=10.0.0.2\r\n", "[LOGIN_ADDRESS]\r\nIP=10.0.0.1\r\n");
  CHECK_FILE(flow);
}

TEST_F(SettingsTest, FileSizes) {
  // Exactly 5000 bytes, the entry at its very end: found, nothing read
  // beyond the file.
  const std::string entry = "IP07=10.9.9.9\r\n";
  std::string text = "[VELO_KEYWORDS]\r\n";
  while (text.size() < 5000 - entry.size() - 2) text += "x";
  text += "\r\n" + entry;
  ASSERT_EQ(5000u, text.size());
  WriteAll(text);
  EXPECT_EQ(7, FindAddressIndex("10.9.9.9"));

  // Up to 1 MiB the file is read whole.
  std::string big = Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP05=10.1.1.1", "PORT05=80", "[Pad]"});
  big += std::string(kMaxFileSize - big.size() - entry.size() - 2, 'x');
  big += "\r\n" + entry;
  ASSERT_EQ(kMaxFileSize, big.size());
  WriteAll(big);
  EXPECT_EQ(5, FindAddressIndex("10.1.1.1"));
  EXPECT_EQ(7, FindAddressIndex("10.9.9.9"));

  // One byte more counts as a file that cannot be opened: each operation's
  // own failure, nothing written.
  big += "x";
  WriteAll(big);
  EXPECT_EQ(-1, FindAddressIndex("10.1.1.1"));
  EXPECT_EQ(DeleteResult::kOpenFailed, DeleteAddressLines("10.1.1.1"));
  CHECK_MESSAGES({"CreateFile fail"});
  EXPECT_FALSE(Ok("10.1.1.1", "81"));
  CHECK_MESSAGES({"Open file fail"});
  EXPECT_TRUE(ReadAll() == big) << "the large file changed";
}

TEST_F(SettingsTest, HundredEntriesAndOneMore) {
  std::string text = "[VELO_KEYWORDS]\r\nCOUNT=100\r\nINDEX=99\r\n";
  for (int n = 0; n < 100; ++n)
    text += IpKey(n) + "=10.0.1." + std::to_string(n) + "\r\n" + PortKey(n) + "=" + std::to_string(1000 + n) + "\r\n";
  WriteAll(text);
  Open();
  EXPECT_EQ(100, m_pHost->list.GetCount());
  EXPECT_EQ("1099", m_pHost->Port());

  // A new address with all 100 slots taken: the dialog stays open and
  // nothing is written.
  EXPECT_FALSE(Ok("10.0.2.1", "80"));
  CHECK_MESSAGES({"Address book full"});
  CHECK_FILE(text);
  // A known address is still updated.
  EXPECT_TRUE(Ok("10.0.1.42", "4242"));
  EXPECT_EQ(4242, ReadPortForIndex(42));
  CHECK_MESSAGES({});

  // After a Delete the freed slot is used again.
  DialogHost& d = Open();
  d.list.SetCurSel(d.list.FindString(-1, "10.0.1.37"));
  ASSERT_EQ("10.0.1.37", d.list.GetWindowText());
  m_answers = {IDYES};
  DeleteSelectedAddress(d.dlg, d.list);
  CHECK_MESSAGES({"sure delete?"});
  EXPECT_EQ(99, ::GetPrivateProfileIntA("VELO_KEYWORDS", "COUNT", 0, kFileName));
  EXPECT_TRUE(Ok("10.0.2.1", "80"));
  EXPECT_EQ(37, FindAddressIndex("10.0.2.1"));
  EXPECT_EQ(100, ::GetPrivateProfileIntA("VELO_KEYWORDS", "COUNT", 0, kFileName));
}

TEST_F(SettingsTest, CountLargerThanTheEntries) {
  // The listing ends after slot 99 and leaves COUNT as it is.
  const std::string text = Lines({"[VELO_KEYWORDS]", "COUNT=5", "IP03=10.0.0.3", "PORT03=3", "IP98=10.0.0.98",
                                  "PORT98=98", "INDEX=98"});
  WriteAll(text);
  Open();
  CHECK_VIEW({"10.0.0.3", "10.0.0.98"}, 1, "10.0.0.98", "98");
  CHECK_FILE(text);
  // COUNT missing or 0 while entries exist: nothing is listed.
  WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=0", "IP00=10.0.0.1", "PORT00=1"}));
  Open();
  CHECK_VIEW({}, -1, "", "");
}

TEST_F(SettingsTest, CurrentEntryMissing) {
  // INDEX names an empty slot: no current address, nothing selected, the
  // slot's port (none) shows as 0.
  WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=10.0.0.1", "PORT00=1", "IP01=10.0.0.2", "PORT01=2",
                  "INDEX=5"}));
  DialogHost& d = Open();
  CHECK_VIEW({"10.0.0.1", "10.0.0.2"}, -1, "", "0");
  // Delete with nothing selected: "not find", the button comes back.
  m_answers = {IDYES};
  DeleteSelectedAddress(d.dlg, d.list);
  CHECK_MESSAGES({"sure delete?", "not find"});
  EXPECT_TRUE(d.DeleteEnabled());
  EXPECT_EQ(2, d.list.GetCount());
}

TEST_F(SettingsTest, DeleteEdges) {
  // An empty list: no question, nothing happens.
  WriteAll(Defaults());
  DialogHost& d0 = Open();
  DeleteSelectedAddress(d0.dlg, d0.list);
  CHECK_MESSAGES({});
  CHECK_FILE(Defaults());

  // The last entry: list and edit field emptied, port box keeps its text,
  // COUNT 1 -> 0, INDEX and the login address kept.
  const std::string one = Lines({"[VELO_KEYWORDS]", "COUNT=1", "IP04=10.0.0.4", "PORT04=44", "INDEX=4",
                                 "[LOGIN_ADDRESS]", "IP=10.0.0.4"});
  WriteAll(one);
  DialogHost& d1 = Open();
  CHECK_VIEW({"10.0.0.4"}, 0, "10.0.0.4", "44");
  m_answers = {IDYES};
  DeleteSelectedAddress(d1.dlg, d1.list);
  CHECK_MESSAGES({"sure delete?"});
  CHECK_VIEW({}, -1, "", "44");
  CHECK_FILE(Lines({"[VELO_KEYWORDS]", "COUNT=0", "INDEX=4", "[LOGIN_ADDRESS]", "IP=10.0.0.4"}));

  // The new first entry has no line the raw search can find (a key written
  // in lower case): its port shows 0 and INDEX becomes -1, which the viewer
  // then reads as no address.
  WriteAll(Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=10.0.0.9", "PORT00=9", "ip05=10.0.0.1", "PORT05=5",
                  "INDEX=0"}));
  DialogHost& d2 = Open();
  CHECK_VIEW({"10.0.0.1", "10.0.0.9"}, 1, "10.0.0.9", "9");
  m_answers = {IDYES};
  DeleteSelectedAddress(d2.dlg, d2.list);
  CHECK_MESSAGES({"sure delete?"});
  CHECK_VIEW({"10.0.0.1"}, 0, "10.0.0.1", "0");
  CHECK_FILE(Lines({"[VELO_KEYWORDS]", "COUNT=1", "ip05=10.0.0.1", "PORT05=5", "INDEX=-1", "[LOGIN_ADDRESS]",
                    "IP=10.0.0.1"}));
  LastAddress last = ReadLastAddress();
  EXPECT_EQ("", last.address);
  EXPECT_EQ(0, last.port);
}

TEST_F(SettingsTest, PortRuleAtOk) {
  WriteAll(Defaults());
  struct Case {
    const char* address;
    const char* port;
    const char* message;
  };
  for (const Case& c : {Case{"", "80", "Invalid Address"}, Case{"10.0.0.1", "", "Invalid Address"},
                        Case{"", "", "Invalid Address"}, Case{"10.0.0.1", "0", "Invalid Port"},
                        Case{"10.0.0.1", "65536", "Invalid Port"}, Case{"10.0.0.1", "70000", "Invalid Port"},
                        Case{"10.0.0.1", "80a", "Invalid Port"}, Case{"10.0.0.1", "abc", "Invalid Port"},
                        Case{"10.0.0.1", " 80", "Invalid Port"}, Case{"10.0.0.1", "+80", "Invalid Port"},
                        Case{"10.0.0.1", "-1", "Invalid Port"}, Case{"10.0.0.1", "00000000080", "Invalid Port"}}) {
    SCOPED_TRACE(std::string("'") + c.address + "' '" + c.port + "'");
    EXPECT_FALSE(Ok(c.address, c.port));
    CHECK_MESSAGES({c.message});
    CHECK_FILE(Defaults());
  }
  EXPECT_TRUE(Ok("10.0.0.1", "65535"));
  EXPECT_TRUE(Ok("10.0.0.2", "1"));
  EXPECT_TRUE(Ok("10.0.0.3", "08000"));
  CHECK_MESSAGES({});
  EXPECT_EQ(65535, ReadPortForIndex(0));
  EXPECT_EQ(1, ReadPortForIndex(1));
  char stored[200] = "";
  ::GetPrivateProfileStringA("VELO_KEYWORDS", "PORT02", "", stored, sizeof(stored), kFileName);
  EXPECT_STREQ("08000", stored);  // stored as typed
  EXPECT_EQ(8000, ReadLastAddress().port);
}

// ---- language and the viewer ----------------------------------------------

TEST_F(SettingsTest, Language) {
  EXPECT_EQ(0, ReadLanguage());  // no file
  WriteAll(kDefaultContents);
  EXPECT_EQ(0, ReadLanguage());
  WriteLanguage(2);
  std::string expected = Defaults();
  expected.replace(expected.find("Lang=0"), 6, "Lang=2");
  CHECK_FILE(expected);
  EXPECT_EQ(2, ReadLanguage());
  WriteLanguage(1);
  EXPECT_EQ(1, ReadLanguage());
  WriteLanguage(0);
  CHECK_FILE(Defaults());
}

TEST_F(SettingsTest, ViewerReads) {
  struct Case {
    const char* name;
    std::string book;
    const char* address;
    int port;
  };
  const Case cases[] = {
      {"missing INDEX reads slot 0", Lines({"IP00=10.0.0.1", "PORT00=80", "IP01=10.0.0.2", "PORT01=81"}), "10.0.0.1",
       80},
      {"the slot INDEX names", Lines({"IP00=10.0.0.1", "PORT00=80", "IP01=10.0.0.2", "PORT01=81", "INDEX=1"}),
       "10.0.0.2", 81},
      {"address without port", Lines({"IP00=10.0.0.1", "INDEX=0"}), "10.0.0.1", 0},
      {"port without address", Lines({"PORT00=80", "INDEX=0"}), "", 80},
      {"40000", Lines({"IP00=10.0.0.1", "PORT00=40000"}), "10.0.0.1", 40000},
      {"65535", Lines({"IP00=10.0.0.1", "PORT00=65535"}), "10.0.0.1", 65535},
      {"70000 is no port", Lines({"IP00=10.0.0.1", "PORT00=70000"}), "10.0.0.1", 0},
      {"0 is no port", Lines({"IP00=10.0.0.1", "PORT00=0"}), "10.0.0.1", 0},
      {"INDEX -1", Lines({"IP00=10.0.0.1", "PORT00=80", "INDEX=-1"}), "", 0},
      {"the viewer's own keys are not read", Lines({"IP=10.0.0.5", "PORT=90"}), "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll("[VELO_KEYWORDS]\r\n" + c.book);
    LastAddress last = ReadLastAddress();
    EXPECT_EQ(c.address, last.address);
    EXPECT_EQ(c.port, last.port);
  }
  // Values are cut to 199 characters.
  WriteAll("[VELO_KEYWORDS]\r\nIP00=" + std::string(250, 'a') + "\r\n");
  EXPECT_EQ(std::string(199, 'a'), ReadLastAddress().address);
}

TEST_F(SettingsTest, ViewerWrites) {
  WriteAll(FileF());
  EXPECT_FALSE(WriteViewerAddress("", "80"));
  EXPECT_FALSE(WriteViewerAddress("10.0.0.9", ""));
  CHECK_FILE(FileF());

  // "IP" then "PORT", appended to the section; entries, COUNT and INDEX
  // untouched.
  EXPECT_TRUE(WriteViewerAddress("10.0.0.7", "70000x"));
  const std::string written =
      Defaults() + Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=192.168.1.10", "PORT00=5000", "INDEX=1",
                          "IP01=10.0.0.7", "PORT01=34567", "IP=10.0.0.7", "PORT=70000x", "[LOGIN_ADDRESS]",
                          "IP=10.0.0.7"});
  CHECK_FILE(written);
  // The start-up dialog lists and selects as before; the unnumbered line
  // is no entry for the raw search.
  Open();
  CHECK_VIEW({"10.0.0.7", "192.168.1.10"}, 0, "10.0.0.7", "34567");
  EXPECT_EQ(1, FindAddressIndex("10.0.0.7"));
  LastAddress last = ReadLastAddress();
  EXPECT_EQ("10.0.0.7", last.address);
  EXPECT_EQ(34567, last.port);
  // A second write replaces the values in place.
  EXPECT_TRUE(WriteViewerAddress("10.0.0.8", "81"));
  std::string again = written;
  again.replace(again.find("IP=10.0.0.7\r\nPORT=70000x"), 24, "IP=10.0.0.8\r\nPORT=81");
  CHECK_FILE(again);
}
