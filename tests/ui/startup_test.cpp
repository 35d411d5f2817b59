// The start-up dialog as the operator meets it, driven from outside.
#include <gtest/gtest.h>

#include <set>

#include "tests/ui/uidriver.h"

namespace {

const DWORD kStartMs = 60000;  // a first start in a fresh prefix installs the components
const char kIni[] = "QlUserCfg.ini";
const std::string kDefaults =
    "[Language]\r\nLang=0\r\n[WINDOW_COUNT]\r\nwnd_count=0\r\n[Path]\r\nVideopath=c:\\DVR\\backup\\\r\n"
    "Framepath=c:\\DVR\\capture\\\r\nFilepath=c:\\DVR\\\r\n[Delete]\r\nIsDelete=1033";

enum { kList = 1016, kPort = 1007, kOk = 1022, kLeave = 1023, kDelete = 1018, kSimplified = 1019,
       kEnglish = 1020, kTraditional = 1021, kRegister = 1024, kUnregister = 1025, kTest = 1027,
       kLabelAddress = 1014, kLabelPort = 1006 };

// One start of the program in a folder of its own.
struct Session {
  explicit Session(const std::string& settings = "", const char* tag = "init") : dir(ui::MakeTempDir(tag)) {
    if (!settings.empty()) ui::WriteFileBytes(Ini(), settings);
    p = std::make_unique<ui::Program>(dir);
    init = p->AnswerBoxesUntil("Init", kStartMs, &firstMessages);
  }
  // Starts the program again in the same folder.
  void Restart() {
    p.reset();
    firstMessages.clear();
    p = std::make_unique<ui::Program>(dir);
    init = p->AnswerBoxesUntil("Init", kStartMs, &firstMessages);
  }
  std::string Ini() const { return dir + "\\" + kIni; }
  std::string File() const { return ui::ReadFileBytes(Ini()); }
  HWND Item(int id) const { return ui::Child(init, id); }
  std::string Lang() const { return ui::IniValue(Ini(), "Language", "Lang"); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> v;
    HWND list = Item(kList);
    LRESULT n = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      wchar_t buf[512] = L"";
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
      v.push_back(ui::Utf8(buf));
    }
    return v;
  }
  int Selection() const { return static_cast<int>(SendMessageW(Item(kList), CB_GETCURSEL, 0, 0)); }
  void Type(const std::string& address, const std::string& port) {
    ui::SetText(Item(kList), address);
    ui::SetText(Item(kPort), port);
  }
  // Selects an entry of the list as the operator would (the dialog hears of it).
  void Select(int index) {
    SendMessageW(Item(kList), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(init, WM_COMMAND, MAKEWPARAM(kList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(kList)));
  }
  // Clicks a button and returns the message box it brings up, if any.
  bool ClickForBox(int id, ui::MessageBoxInfo* box) {
    ui::Click(Item(id));
    return p->WaitMessageBox(3000, box);
  }
  bool DialogOpen() const { return IsWindow(init) && IsWindowVisible(init); }
  // After a confirmed OK the viewer opens; closing it ends the program.
  bool CloseViewer() {
    HWND viewer = p->WaitViewer(20000);
    if (viewer) PostMessageW(viewer, WM_CLOSE, 0, 0);
    return viewer && p->WaitExit(10000);
  }
  void ClickRadio(int id) {
    ui::Click(Item(id));
    ui::WaitUntil([&] { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 3000);
    Sleep(100);
  }

  std::string dir;
  std::unique_ptr<ui::Program> p;
  HWND init = nullptr;
  std::vector<std::string> firstMessages;
};

std::string WithLang(int lang) {
  std::string s = kDefaults;
  s.replace(s.find("Lang=0"), 6, "Lang=" + std::to_string(lang));
  return s;
}

struct LanguageView {
  std::string address, port, simplified, english, traditional;
  int checked;  // id of the checked language button, 0 for none
  std::vector<UINT> bitmaps;  // Delete, Ok, Leave, Register, Unregister
};

const LanguageView kViews[4] = {
    {u8"IP Address:", u8"Port:", u8"Simplified(简体中文)", u8"English(英语)", u8"Traditional(繁體中文)", kEnglish,
     {156, 159, 162, 165, 169}},
    {u8"IP地址:", u8"端口:", u8"简体中文(Simplified)", u8"英语(English)", u8"繁体中文(Traditional)", kSimplified,
     {158, 160, 163, 168, 171}},
    {u8"IP地址:", u8"端口:", u8"簡體中文(Simplified)", u8"英語(English)", u8"繁體中文(Traditional)", kTraditional,
     {157, 161, 164, 167, 170}},
    // An unknown language keeps the template's texts.
    {u8"IP Address:", u8"Port:", u8"简体中文", u8"English", u8"繁体中文", 0, {}},
};

void ExpectLanguage(const Session& s, const LanguageView& v) {
  EXPECT_EQ(v.address, ui::Text(s.Item(kLabelAddress)));
  EXPECT_EQ(v.port, ui::Text(s.Item(kLabelPort)));
  EXPECT_EQ(v.simplified, ui::Text(s.Item(kSimplified)));
  EXPECT_EQ(v.english, ui::Text(s.Item(kEnglish)));
  EXPECT_EQ(v.traditional, ui::Text(s.Item(kTraditional)));
  for (int id : {kSimplified, kEnglish, kTraditional})
    EXPECT_EQ(id == v.checked ? BST_CHECKED : BST_UNCHECKED, SendMessageW(s.Item(id), BM_GETCHECK, 0, 0)) << id;
}

// The visible skin buttons show frame 0 of their bitmap, pixel for pixel.
void ExpectSkinFaces(const Session& s, const std::vector<UINT>& bitmaps) {
  const int ids[3] = {kDelete, kOk, kLeave};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("button " + std::to_string(ids[i]) + " bitmap " + std::to_string(bitmaps[static_cast<size_t>(i)]));
    int w = 0, h = 0;
    std::vector<DWORD> want = ui::BitmapFrame(ui::ProgramPath(), bitmaps[static_cast<size_t>(i)], 0, &w, &h);
    ASSERT_EQ(80, w);
    RECT rc;
    GetWindowRect(s.Item(ids[i]), &rc);
    ASSERT_EQ(80, rc.right - rc.left);
    ASSERT_EQ(24, rc.bottom - rc.top);
    std::vector<DWORD> got;
    // The screen may lag the last paint by a moment.
    ui::WaitUntil([&] { return (got = ui::CaptureScreenRect(rc)) == want; }, 3000);
    size_t diff = 0;
    for (size_t k = 0; k < got.size() && k < want.size(); ++k) diff += got[k] != want[k];
    EXPECT_EQ(0u, diff) << "pixels differing from the bitmap's first frame";
  }
}

TEST(StartupDialog, FirstRunOnAFreshMachine) {
  Session s("", "first");
  ASSERT_NE(nullptr, s.init);
  // The installer speaks first, then the settings file is created.
  ASSERT_FALSE(s.firstMessages.empty());
  EXPECT_EQ("CreateFile", s.firstMessages.back());
  EXPECT_EQ(kDefaults, s.File());
  ExpectLanguage(s, kViews[0]);
  EXPECT_TRUE(s.Entries().empty());
  EXPECT_EQ("", ui::Text(s.Item(kList)));
  EXPECT_EQ("", ui::Text(s.Item(kPort)));
  HWND focus = s.p->Focus();
  EXPECT_TRUE(focus == s.Item(kList) || GetParent(focus) == s.Item(kList));
  // The five skin buttons are one frame big, at their template corners.
  for (int id : {kDelete, kOk, kLeave, kRegister, kUnregister}) {
    RECT want = ui::TemplateItemRect(ui::ProgramPath(), 154, id);
    RECT rc;
    GetWindowRect(s.Item(id), &rc);
    MapWindowPoints(nullptr, s.init, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(want.left, rc.left) << id;
    EXPECT_EQ(want.top, rc.top) << id;
    EXPECT_EQ(80, rc.right - rc.left) << id;
    EXPECT_EQ(24, rc.bottom - rc.top) << id;
  }
  for (int id : {kRegister, kUnregister, kTest}) EXPECT_FALSE(IsWindowVisible(s.Item(id))) << id;
  ExpectSkinFaces(s, kViews[0].bitmaps);
}

TEST(StartupDialog, StoredLanguageOpensWithItsTextsAndImages) {
  for (int lang = 0; lang <= 3; ++lang) {
    SCOPED_TRACE("Lang=" + std::to_string(lang));
    Session s(WithLang(lang), "lang");
    ASSERT_NE(nullptr, s.init);
    ExpectLanguage(s, kViews[lang]);
    if (lang <= 2) ExpectSkinFaces(s, kViews[lang].bitmaps);
    if (lang == 3) {
      // Unpainted skin buttons still click: Leave ends the program.
      ui::Click(s.Item(kLeave));
      EXPECT_TRUE(s.p->WaitExit(10000));
    }
  }
}

TEST(StartupDialog, LanguageChoicesAreWrittenAtOnceEvenWhenUnchanged) {
  Session s(WithLang(0), "choose");
  ASSERT_NE(nullptr, s.init);
  s.ClickRadio(kTraditional);
  EXPECT_EQ("2", s.Lang());
  ExpectLanguage(s, kViews[2]);
  s.ClickRadio(kSimplified);
  EXPECT_EQ("1", s.Lang());
  ExpectLanguage(s, kViews[1]);
  // The file changed behind the dialog's back: choosing the language the
  // dialog already shows writes it again.
  std::string file = s.File();
  file.replace(file.find("Lang=1"), 6, "Lang=2");
  ui::WriteFileBytes(s.Ini(), file);
  s.ClickRadio(kSimplified);
  EXPECT_EQ("1", s.Lang());

  // The arrow keys move between neighbours in screen order, no wrap-around.
  struct Move {
    UINT key;
    int from, to;
  } moves[] = {{VK_DOWN, kSimplified, kEnglish}, {VK_DOWN, kEnglish, kTraditional}, {VK_RIGHT, kTraditional, kTraditional},
               {VK_UP, kTraditional, kEnglish},  {VK_LEFT, kEnglish, kSimplified},   {VK_UP, kSimplified, kSimplified}};
  const char* langOf[1100] = {};
  langOf[kSimplified] = "1";
  langOf[kEnglish] = "0";
  langOf[kTraditional] = "2";
  for (const Move& m : moves) {
    SCOPED_TRACE("key " + std::to_string(m.key) + " from " + std::to_string(m.from));
    s.ClickRadio(m.from);
    ASSERT_TRUE(s.p->WaitFocus(s.Item(m.from), 3000));
    // Spoil the stored value so that the write shows.
    file = s.File();
    size_t at = file.find("Lang=");
    file.replace(at, 6, "Lang=9");
    ui::WriteFileBytes(s.Ini(), file);
    ui::PostKey(s.Item(m.from), m.key);
    ui::WaitUntil([&] { return s.Lang() != "9"; }, 2000);
    if (m.from == m.to)
      EXPECT_EQ("9", s.Lang());  // nothing to move to: nothing written
    else
      EXPECT_EQ(langOf[m.to], s.Lang());
  }

  // Leave after a change keeps it for the next start.
  s.ClickRadio(kTraditional);
  ui::Click(s.Item(kLeave));
  ASSERT_TRUE(s.p->WaitExit(10000));
  s.Restart();
  ASSERT_NE(nullptr, s.init);
  ExpectLanguage(s, kViews[2]);
}

TEST(StartupDialog, EnterKeyTable) {
  Session s(kDefaults, "enter");
  ASSERT_NE(nullptr, s.init);
  // On a language button: to the address list.
  s.ClickRadio(kEnglish);
  ASSERT_TRUE(s.p->WaitFocus(s.Item(kEnglish), 3000));
  ui::PostKey(s.Item(kEnglish), VK_RETURN);
  EXPECT_TRUE(ui::WaitUntil([&] { return GetParent(s.p->Focus()) == s.Item(kList); }, 3000));
  // In the list's edit field: to the port box, its whole text selected.
  ui::SetText(s.Item(kPort), "8000");
  ui::PostKey(s.p->Focus(), VK_RETURN);
  ASSERT_TRUE(s.p->WaitFocus(s.Item(kPort), 3000));
  DWORD sel = static_cast<DWORD>(SendMessageW(s.Item(kPort), EM_GETSEL, 0, 0));
  EXPECT_EQ(0u, LOWORD(sel));
  EXPECT_EQ(4u, HIWORD(sel));
  // On Ok, Leave or Delete: the OK flow (here: no address yet), never Leave or Delete.
  for (int id : {kOk, kLeave, kDelete}) {
    SCOPED_TRACE(id);
    // Tab from the port box: Ok, Leave, Delete.
    HWND target = s.Item(id);
    for (int i = 0; i < 4 && s.p->Focus() != target; ++i) {
      ui::PostKey(s.p->Focus(), VK_TAB);
      ui::WaitUntil([&] { return s.p->Focus() == target; }, 500);
    }
    ASSERT_EQ(target, s.p->Focus());
    ui::PostKey(target, VK_RETURN);
    ui::MessageBoxInfo box;
    ASSERT_TRUE(s.p->WaitMessageBox(3000, &box));
    EXPECT_EQ("Invalid Address", box.text);
    ui::Answer(box, IDOK);
    EXPECT_TRUE(s.DialogOpen());
    ui::WaitUntil([&] { return !IsWindow(box.hwnd); }, 3000);
    ui::PostKey(s.p->Focus(), VK_TAB);  // back round to the port box
    ui::WaitUntil([&] { return s.p->Focus() != target; }, 500);
  }
  // In the port box with an address: the OK flow ends the dialog.
  s.Type("10.1.1.1", "81");
  for (int i = 0; i < 8 && s.p->Focus() != s.Item(kPort); ++i) {
    HWND f = s.p->Focus();
    ui::PostKey(f, VK_TAB);
    ui::WaitUntil([&] { return s.p->Focus() != f; }, 500);
  }
  ASSERT_EQ(s.Item(kPort), s.p->Focus());
  ui::PostKey(s.Item(kPort), VK_RETURN);
  EXPECT_TRUE(s.CloseViewer());
  EXPECT_EQ("10.1.1.1", ui::IniValue(s.Ini(), "VELO_KEYWORDS", "IP00"));
}

TEST(StartupDialog, RejectedInputKeepsTheDialogOpen) {
  // 100 entries: the book is full.
  std::string full = kDefaults + "\r\n[VELO_KEYWORDS]\r\nCOUNT=100\r\nINDEX=0\r\n";
  for (int n = 0; n < 100; ++n) {
    char line[64];
    snprintf(line, sizeof(line), "IP%02d=10.0.%d.1\r\nPORT%02d=%d\r\n", n, n, n, 1000 + n);
    full += line;
  }
  Session s(full, "reject");
  ASSERT_NE(nullptr, s.init);
  struct Case {
    const char* address;
    const char* port;
    const char* message;
  } cases[] = {{"", "80", "Invalid Address"},
               {"10.9.9.9", "", "Invalid Address"},
               {"10.9.9.9", "80x", "Invalid Port"},
               {"10.9.9.9", "70000", "Invalid Port"},
               {"10.9.9.9", "80", "Address book full"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.address) + " / " + c.port);
    std::string before = s.File();
    s.Type(c.address, c.port);
    ui::MessageBoxInfo box;
    ASSERT_TRUE(s.ClickForBox(kOk, &box));
    EXPECT_EQ(c.message, box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    ui::Answer(box, IDOK);
    ui::WaitUntil([&] { return !IsWindow(box.hwnd); }, 3000);
    EXPECT_TRUE(s.DialogOpen());
    EXPECT_EQ(before, s.File());
  }
}

TEST(StartupDialog, WorkedExampleThroughTheDialog) {
  Session s(kDefaults, "worked");
  ASSERT_NE(nullptr, s.init);
  s.Type("192.168.1.10", "5000");
  ui::Click(s.Item(kOk));
  ASSERT_TRUE(s.CloseViewer());
  s.Restart();
  s.Type("10.0.0.7", "34567");
  ui::Click(s.Item(kOk));
  ASSERT_TRUE(s.CloseViewer());
  const std::string fileF = kDefaults +
                            "\r\n[VELO_KEYWORDS]\r\nCOUNT=2\r\nIP00=192.168.1.10\r\nPORT00=5000\r\nINDEX=1\r\n"
                            "IP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";
  EXPECT_EQ(fileF, s.File());

  // Reopening shows the book sorted, the current entry selected with its port.
  s.Restart();
  ASSERT_NE(nullptr, s.init);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.7", "192.168.1.10"}), s.Entries());
  EXPECT_EQ(0, s.Selection());
  EXPECT_EQ("10.0.0.7", ui::Text(s.Item(kList)));
  EXPECT_EQ("34567", ui::Text(s.Item(kPort)));
  // Selecting shows the entry's own port.
  s.Select(1);
  EXPECT_EQ("5000", ui::Text(s.Item(kPort)));

  // Delete answered No changes nothing.
  ui::MessageBoxInfo box;
  ASSERT_TRUE(s.ClickForBox(kDelete, &box));
  EXPECT_EQ("sure delete?", box.text);
  EXPECT_EQ("delete", box.caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
  EXPECT_FALSE(box.hasIcon);
  ui::Answer(box, IDNO);
  ui::WaitUntil([&] { return !IsWindow(box.hwnd); }, 3000);
  EXPECT_EQ(fileF, s.File());
  EXPECT_EQ(2u, s.Entries().size());

  // Yes cuts the entry's two lines and moves to the first remaining entry.
  ASSERT_TRUE(s.ClickForBox(kDelete, &box));
  ui::Answer(box, IDYES);
  ui::WaitUntil([&] { return s.Entries().size() == 1; }, 3000);
  EXPECT_EQ((std::vector<std::string>{"10.0.0.7"}), s.Entries());
  EXPECT_EQ(0, s.Selection());
  EXPECT_EQ("34567", ui::Text(s.Item(kPort)));
  EXPECT_TRUE(IsWindowEnabled(s.Item(kDelete)));
  const std::string afterDelete = kDefaults +
                                  "\r\n[VELO_KEYWORDS]\r\nCOUNT=1\r\nINDEX=1\r\n"
                                  "IP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";
  EXPECT_EQ(afterDelete, s.File());
}

}  // namespace
