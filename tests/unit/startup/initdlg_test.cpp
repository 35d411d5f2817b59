// The start-up dialog in this process, made from the program's own template,
// strips and strings: it runs modally, and each step of a test runs from
// inside its modal loop, after everything posted before it was handled.
// Message boxes are scripted; the settings file lives in a scratch folder
// that is the current folder; the control counts as registered through a
// class key of this process alone, so opening installs nothing.
#include "ui/startup/initdlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/msgbox.h"
#include "installer/installer.h"
#include "res/resource.h"
#include "tests/support/step_dialog.h"
#include "tests/support/support.h"

namespace {

// The dialog's steps are functions of it: [&](auto&) { ... }.
struct ScriptedDlg : TStepDialog<CInitDlg> {
  // A key pressed on the window with the focus; the modal loop gets it
  // before the next step.
  void Key(UINT vk) { ::PostMessageA(::GetFocus(), WM_KEYDOWN, vk, 0); }
  void Click(int id) { ::SendMessageA(::GetDlgItem(m_hWnd, id), BM_CLICK, 0, 0); }
  std::wstring Text(int id, std::wstring buf = std::wstring(128, L'\0')) {
    return buf.resize(::GetDlgItemTextW(m_hWnd, id, &buf[0], 128)), buf;
  }
  bool FocusInList() const { return ::GetParent(::GetFocus()) == m_comboAddress.m_hWnd; }
};

// What the button paints when asked (WM_PRINTCLIENT brings WM_DRAWITEM), or
// what frame 0 of strip id gives, on the same background.
std::vector<uint32_t> Face(HWND button, UINT id = 0) {
  vt::Canvas c(80, 24);
  CDC dc(c.dc());
  CBitmapStrip strip;
  if (button) ::SendMessageA(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.dc()), PRF_CLIENT);
  if (!button && strip.Load(id)) strip.Draw(&dc, 0, 0, 0, RGB(0, 0, 255));
  return c.Pixels();
}

const int kSkinButtons[5] = {IDC_DELETE, IDC_OK, IDC_LEAVE, IDC_REGISTER, IDC_UNREGISTER};

// What each stored language shows: the texts of the labels and the language
// buttons, the checked one (Simplified, English, Traditional: 0 to 2), and the
// strips of the five skin buttons. The last: an unknown language keeps the
// template's texts, checks nothing and gives the buttons no strip.
struct Language {
  const wchar_t* texts;
  int checked;
  UINT strips[5];
};
const Language kLanguages[] = {
    {L"IP Address:|Port:|Simplified(简体中文)|English(英语)|Traditional(繁體中文)", 1, {156, 159, 162, 165, 169}},
    {L"IP地址:|端口:|简体中文(Simplified)|英语(English)|繁体中文(Traditional)", 0, {158, 160, 163, 168, 171}},
    {L"IP地址:|端口:|簡體中文(Simplified)|英語(English)|繁體中文(Traditional)", 2, {157, 161, 164, 167, 170}},
    {L"IP Address:|Port:|简体中文|English|繁体中文", -1, {}}};
const int kLanguageIds[] = {0, 1, 2, 7};

void ExpectLanguage(ScriptedDlg& d, const Language& l) {
  SCOPED_TRACE(::testing::Message() << "language " << &l - kLanguages);
  const int radios[3] = {IDC_RADIO_SIMPLIFIED, IDC_RADIO_ENGLISH, IDC_RADIO_TRADITIONAL};
  std::wstring texts = d.Text(IDC_LABEL_ADDRESS) + L"|" + d.Text(IDC_LABEL_PORT);
  for (int i = 0; i < 3; ++i) {
    texts += L"|" + d.Text(radios[i]);
    EXPECT_EQ(i == l.checked, ::IsDlgButtonChecked(d.m_hWnd, radios[i]) == BST_CHECKED) << radios[i];
  }
  EXPECT_EQ(l.texts, texts);
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(Face(::GetDlgItem(d.m_hWnd, kSkinButtons[i])) == Face(nullptr, l.strips[i]))
        << "button " << kSkinButtons[i] << " strip " << l.strips[i];
}

class InitDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::GetCurrentDirectoryA(MAX_PATH, oldDir_);
    ASSERT_TRUE(::SetCurrentDirectoryA(dir_.path().c_str()));
    char exe[MAX_PATH];
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, kClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                               &classes_, nullptr));
    ::RegSetValueA(classes_, kControlServerKey, REG_SZ, exe, 0);
    ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_));
    ASSERT_EQ(1, IsControlRegistered());
    SetMessageBoxScript([this](const MessageBoxCall& call) {
      boxes.push_back(call.text);
      return asked = call, call.type == MB_YESNO ? IDYES : IDOK;
    });
  }
  void TearDown() override {
    SetMessageBoxScript(nullptr);
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    ::RegCloseKey(classes_);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kClasses);
    ::SetCurrentDirectoryA(oldDir_);
  }
  std::string Ini() const { return dir_ / "QlUserCfg.ini"; }
  void WriteLang(int lang) { vt::WriteFileBytes(Ini(), "[Language]\r\nLang=" + std::to_string(lang) + "\r\n"); }
  int Lang() const { return static_cast<int>(::GetPrivateProfileIntA("Language", "Lang", -1, Ini().c_str())); }
  INT_PTR Run(ScriptedDlg& d) { return boxes.clear(), d.DoModal(); }

  static constexpr const char* kClasses = "Software\\VeloInitDlgTest";
  vt::TempDir dir_{"initdlg"};
  char oldDir_[MAX_PATH] = "";
  HKEY classes_ = nullptr;
  std::vector<std::string> boxes;
  MessageBoxCall asked{};  // the last box
};

}  // namespace

// Opening: the stored language's texts and strips (a first start creates the
// settings file and shows English), the focus in the address list's edit
// field, the hidden buttons hidden; Escape ends the dialog.
TEST_F(InitDlgTest, OpensInTheStoredLanguageWithTheFocusInTheAddressList) {
  for (int row = -1; row < 4; ++row) {
    const Language& l = kLanguages[row < 0 ? 0 : row];
    SCOPED_TRACE(row);
    ScriptedDlg dlg;
    row < 0 ? (void)::DeleteFileA(Ini().c_str()) : WriteLang(kLanguageIds[row]);
    dlg.steps = {[&](auto&) {
                   ExpectLanguage(dlg, l);
                   EXPECT_TRUE(dlg.FocusInList());
                   for (int id : {IDC_REGISTER, IDC_UNREGISTER, IDC_TEST})
                     EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dlg.m_hWnd, id))) << id;
                   dlg.Key(VK_ESCAPE);
                 },
                 [](auto&) { ADD_FAILURE() << "Escape left the dialog open"; }};
    EXPECT_EQ(IDCANCEL, Run(dlg));
    EXPECT_EQ(row < 0 ? std::vector<std::string>{"CreateFile"} : std::vector<std::string>{}, boxes);
  }
}

// Choosing a language by click or arrow key stores it at once (even when the
// dialog shows it already) and switches texts and strips; the arrows move
// between neighbours in screen order, Simplified, English, Traditional, with
// no wrap-around.
TEST_F(InitDlgTest, LanguageChoicesAndArrowKeys) {
  WriteLang(0);
  ScriptedDlg dlg;
  // {the button with the focus (0: click the button of `to`), the key, the language chosen (-1: none)}
  using Row = std::tuple<int, UINT, int>;
  const int button[3] = {IDC_RADIO_ENGLISH, IDC_RADIO_SIMPLIFIED, IDC_RADIO_TRADITIONAL};
  int shown = 0;
  for (auto [focus, key, to] : {Row(0, 0, 2), Row(0, 0, 1), Row(0, 0, 1), Row(IDC_RADIO_SIMPLIFIED, VK_DOWN, 0),
                                Row(IDC_RADIO_ENGLISH, VK_RIGHT, 2), Row(IDC_RADIO_TRADITIONAL, VK_DOWN, -1),
                                Row(IDC_RADIO_TRADITIONAL, VK_UP, 0), Row(IDC_RADIO_ENGLISH, VK_LEFT, 1),
                                Row(IDC_RADIO_SIMPLIFIED, VK_UP, -1), Row(IDC_RADIO_SIMPLIFIED, VK_RIGHT, 0)}) {
    const int f = focus, k = key, t = to;  // (a lambda takes no structured binding)
    dlg.steps.push_back([&, f, k, t](auto&) {
      WriteLang(9);  // so that every write shows
      f ? (void)::SetFocus(::GetDlgItem(dlg.m_hWnd, f)), dlg.Key(k) : dlg.Click(button[t]);
    });
    dlg.steps.push_back([&, f, k, t](auto&) {
      SCOPED_TRACE(::testing::Message() << "from " << f << " key " << k << " to " << t);
      EXPECT_EQ(t < 0 ? 9 : t, Lang());
      ExpectLanguage(dlg, kLanguages[shown = t < 0 ? shown : t]);
    });
  }
  dlg.steps.push_back([&](auto&) { dlg.Click(IDC_LEAVE); });
  EXPECT_EQ(IDCANCEL, Run(dlg));
  EXPECT_TRUE(dlg.Done());
  EXPECT_TRUE(boxes.empty());
}

// Enter never reaches the default-button handling: on a language button it
// goes to the address list, in the list's edit field to the port box with
// its text selected, on Ok, Leave or Delete and in the port box it runs the
// OK flow. Refused input keeps the dialog open and the file as it was.
TEST_F(InitDlgTest, EnterKeysAndRefusedInput) {
  WriteLang(0);
  ScriptedDlg dlg;
  std::string file;
  auto expectStep = [&](int focus, UINT key, const char* address, const char* port, std::function<void()> check) {
    dlg.steps.push_back([=, &file, &dlg](auto&) {
      file = vt::ReadFileBytes(Ini());
      boxes.clear();
      ::SetWindowTextA(dlg.m_comboAddress.m_hWnd, address);
      ::SetDlgItemTextA(dlg.m_hWnd, IDC_PORT, port);
      if (focus == IDC_ADDRESS_LIST)
        ::SetFocus(::GetWindow(dlg.m_comboAddress.m_hWnd, GW_CHILD));
      else
        ::SetFocus(::GetDlgItem(dlg.m_hWnd, focus));
      if (key)
        dlg.Key(key);
      else
        dlg.Click(IDC_OK);
    });
    dlg.steps.push_back([check](auto&) { check(); });
  };
  auto refused = [&](const char* message) {
    return [&, message] {
      EXPECT_EQ(std::vector<std::string>{message}, boxes);
      EXPECT_EQ(file, vt::ReadFileBytes(Ini()));
    };
  };
  expectStep(IDC_RADIO_ENGLISH, VK_RETURN, "", "", [&] { EXPECT_TRUE(dlg.FocusInList()); });
  expectStep(IDC_ADDRESS_LIST, VK_RETURN, "", "8000", [&] {
    EXPECT_EQ(::GetDlgItem(dlg.m_hWnd, IDC_PORT), ::GetFocus());
    EXPECT_EQ(static_cast<LRESULT>(MAKELONG(0, 4)), ::SendDlgItemMessageA(dlg.m_hWnd, IDC_PORT, EM_GETSEL, 0, 0));
    EXPECT_TRUE(boxes.empty());
  });
  for (int id : {IDC_OK, IDC_LEAVE, IDC_DELETE}) expectStep(id, VK_RETURN, "", "80", refused("Invalid Address"));
  expectStep(IDC_PORT, VK_RETURN, "10.9.9.9", "", refused("Invalid Address"));
  expectStep(IDC_OK, 0, "10.9.9.9", "80x", refused("Invalid Port"));
  expectStep(IDC_PORT, VK_RETURN, "10.1.1.1", "81", [] { ADD_FAILURE() << "Enter in the port box did not end it"; });
  EXPECT_EQ(IDOK, Run(dlg));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(81, static_cast<int>(::GetPrivateProfileIntA("VELO_KEYWORDS", "PORT00", 0, Ini().c_str())));
}

// The list's selection change shows the chosen entry's port; the Delete
// button asks first (Yes and No, no icon, owned by the dialog) and takes
// the selected entry away.
TEST_F(InitDlgTest, SelectionShowsItsPortAndDeleteAsksFirst) {
  vt::WriteFileBytes(Ini(),
                     "[VELO_KEYWORDS]\r\nCOUNT=2\r\nIP00=10.0.0.1\r\nPORT00=8000\r\nIP01=10.0.0.2\r\nPORT01=90\r\n");
  ScriptedDlg dlg;
  dlg.steps = {[&](auto&) { ::SetFocus(::GetWindow(dlg.m_comboAddress.m_hWnd, GW_CHILD)), dlg.Key(VK_DOWN); },
               [&](auto&) {
                 EXPECT_EQ(L"10.0.0.2 90", dlg.Text(IDC_ADDRESS_LIST) + L" " + dlg.Text(IDC_PORT));
                 dlg.Click(IDC_DELETE);
               },
               [&](auto&) {
                 EXPECT_EQ("sure delete?|delete|4",
                           asked.text + "|" + asked.caption + "|" + std::to_string(asked.type));
                 EXPECT_EQ(dlg.m_hWnd, asked.hOwner);
                 EXPECT_EQ(L"10.0.0.1 8000 1", dlg.Text(IDC_ADDRESS_LIST) + L" " + dlg.Text(IDC_PORT) + L" " +
                                                   std::to_wstring(dlg.m_comboAddress.GetCount()));
                 dlg.Click(IDC_LEAVE);
               }};
  EXPECT_EQ(IDCANCEL, Run(dlg));
  EXPECT_TRUE(dlg.Done());
}
