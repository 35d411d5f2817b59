// The resources of the built program, read back from VELODvr.exe and
// compared with the layout the dialogs and the start-up sequence rely on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dlgtemplate.h"
#include "res/resource.h"

namespace {

enum : WORD { kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kCombo = 0x85 };

const wchar_t* AtomName(WORD atom) {
  switch (atom) {
    case kButton: return L"BUTTON";
    case kEdit: return L"EDIT";
    case kStatic: return L"STATIC";
    case kCombo: return L"COMBOBOX";
    default: return L"?";
  }
}

// The predefined classes may be stored as atoms or by name.
std::wstring ClassOf(const DialogItem& it) {
  if (it.classAtom) return AtomName(it.classAtom);
  if (it.IsOleControl()) return it.className;
  std::wstring upper = it.className;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  return upper;
}

struct Item {
  int id;
  WORD atom;  // 0: the class name below
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
};

class Module : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    h = LoadLibraryExA(VELO_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, h) << VELO_EXE;
  }
  static void TearDownTestSuite() { FreeLibrary(h); }
  static HMODULE h;

  static void ExpectItems(const DialogTemplate& t, const std::vector<Item>& want) {
    ASSERT_EQ(want.size(), t.items.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const DialogItem& got = t.items[i];
      const Item& w = want[i];
      SCOPED_TRACE("item " + std::to_string(i) + " id " + std::to_string(w.id));
      EXPECT_EQ(static_cast<DWORD>(w.id) & 0xFFFF, got.id & 0xFFFF);
      EXPECT_EQ(w.atom ? std::wstring(AtomName(w.atom)) : std::wstring(w.cls), ClassOf(got));
      EXPECT_EQ(std::wstring(w.text), got.text);
      EXPECT_EQ(w.style, got.style) << std::hex << got.style;
      EXPECT_EQ(w.exStyle, got.exStyle);
      EXPECT_EQ(w.x, got.x);
      EXPECT_EQ(w.y, got.y);
      EXPECT_EQ(w.cx, got.cx);
      EXPECT_EQ(w.cy, got.cy);
    }
  }
  static LANGID LangOf(LPCSTR type, UINT id) {
    struct Enum {
      static BOOL CALLBACK Proc(HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR p) {
        *reinterpret_cast<LANGID*>(p) = lang;
        return FALSE;
      }
    };
    LANGID found = 0;
    EnumResourceLanguagesA(h, type, MAKEINTRESOURCEA(id), &Enum::Proc, reinterpret_cast<LONG_PTR>(&found));
    return found;
  }
};
HMODULE Module::h = nullptr;

const DWORD C = WS_CHILD, V = WS_VISIBLE, T = WS_TABSTOP, G = WS_GROUP;

TEST_F(Module, StartupTemplate) {
  DialogTemplate t;
  ASSERT_TRUE(t.Load(h, IDD_INIT));
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), t.style);
  EXPECT_EQ(0, t.x);
  EXPECT_EQ(0, t.y);
  EXPECT_EQ(285, t.cx);
  EXPECT_EQ(255, t.cy);
  EXPECT_EQ(L"Init", t.title);
  EXPECT_EQ(10, t.pointSize);
  EXPECT_EQ(L"System", t.typeface);
  const DWORD flat = BS_PUSHBUTTON | BS_FLAT | C | V;
  const DWORD push = BS_PUSHBUTTON | T | C | V;
  ExpectItems(t, {
      {-1, kButton, nullptr, L"", BS_GROUPBOX | C | V, 0, 13, 10, 199, 73},
      {1019, kButton, nullptr, L"简体中文", flat, 0, 19, 18, 115, 14},
      {1020, kButton, nullptr, L"English", flat, 0, 19, 39, 115, 14},
      {1021, kButton, nullptr, L"繁体中文", flat, 0, 19, 61, 115, 14},
      {1016, kCombo, nullptr, L"", CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | T | C | V, 0, 85, 107, 80, 80},
      {1007, kEdit, nullptr, L"", WS_BORDER | ES_AUTOHSCROLL | T | C | V, 0, 83, 132, 40, 14},
      {1022, kButton, nullptr, L"Ok", push, 0, 18, 169, 50, 14},
      {1023, kButton, nullptr, L"Leave", push, 0, 89, 169, 50, 14},
      {1014, kStatic, nullptr, L"IP Address:", SS_LEFT | G | C | V, 0, 26, 107, 51, 8},
      {1006, kStatic, nullptr, L"Port:", SS_LEFT | G | C | V, 0, 26, 132, 32, 8},
      {1018, kButton, nullptr, L"Delete", push, 0, 180, 106, 50, 14},
      {-1, kButton, nullptr, L"", BS_GROUPBOX | C | V, 0, 13, 87, 228, 68},
      {-1, kButton, nullptr, L"", BS_GROUPBOX | C | V, 0, 13, 158, 226, 29},
      {1024, kButton, nullptr, L"Register", BS_PUSHBUTTON | T | C, 0, 212, 16, 50, 14},
      {1025, kButton, nullptr, L"Unregister", BS_PUSHBUTTON | T | C, 0, 213, 41, 50, 14},
      {1027, kButton, nullptr, L"Test", BS_PUSHBUTTON | T | C, 0, 163, 166, 50, 14},
  });
  // No default push button: Enter is the dialog's own business.
  for (const DialogItem& it : t.items) EXPECT_NE(static_cast<DWORD>(BS_DEFPUSHBUTTON), it.style & 0xF) << it.id;
}

TEST_F(Module, ViewerTemplateAndControlState) {
  DialogTemplate t;
  ASSERT_TRUE(t.Load(h, IDD_VELODVR_DIALOG));
  EXPECT_TRUE(t.extended);
  EXPECT_EQ(0x90CB00C0u, t.style);
  EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.exStyle);
  EXPECT_EQ(L"", t.title);
  EXPECT_EQ(677, t.cx);
  EXPECT_EQ(431, t.cy);
  EXPECT_EQ(9, t.pointSize);
  EXPECT_EQ(0, t.weight);
  EXPECT_EQ(0, t.italic);
  EXPECT_EQ(1, t.charset);
  EXPECT_EQ(L"宋体", t.typeface);
  const DWORD push = BS_PUSHBUTTON | T | C;
  ExpectItems(t, {
      {1001, kButton, nullptr, L"Set__IP_Port", push, 0, 170, 400, 53, 20},
      {1002, kButton, nullptr, L"", BS_GROUPBOX | C, 0, 0, 334, 677, 9},
      {1003, kButton, nullptr, L"", BS_GROUPBOX | C, 0, 8, 386, 658, 34},
      {1004, kStatic, nullptr, L"Address:", SS_LEFT | G | C, 0, 15, 403, 33, 8},
      {1005, kEdit, nullptr, L"", ES_AUTOHSCROLL | T | C, WS_EX_TRANSPARENT, 59, 403, 98, 14},
      {1006, kStatic, nullptr, L"Port:", SS_LEFT | G | C, 0, 258, 403, 21, 8},
      {1007, kEdit, nullptr, L"", ES_AUTOHSCROLL | T | C, 0, 298, 403, 80, 14},
      {1008, kButton, nullptr, L"Exit", push, 0, 587, 400, 66, 14},
      {1010, kButton, nullptr, L"Button1", push, 0, 433, 401, 50, 14},
      {1011, 0, L"{9B479D7B-916A-45B0-B042-D42865A60E21}", L"", T | C | V, 0, 8, 7, 669, 417},
      {1012, kButton, nullptr, L"Button2", push, 0, 493, 401, 50, 14},
      {1013, kButton, nullptr, L"Button3", push, 0, 369, 399, 50, 14},
  });
  // The control's init record: id 1011, message 0x0376, 20 bytes of state
  // (0, version 1.0, extent 26564 x 16563, 0), then the end of the list.
  const std::vector<BYTE> expected = {0xF3, 0x03, 0x76, 0x03, 20, 0, 0, 0,  // header
                                      0, 0, 0, 0, 0, 0, 1, 0,               // 0, 0x00010000
                                      0xC4, 0x67, 0, 0, 0xB3, 0x40, 0, 0,   // 26564, 16563
                                      0, 0, 0, 0,                           // 0
                                      0, 0};                                // end
  EXPECT_EQ(expected, t.initData);
  WORD msg = 0;
  std::vector<BYTE> state;
  ASSERT_TRUE(t.FindInitRecord(1011, &msg, &state));
  EXPECT_EQ(0x0376, msg);
  EXPECT_EQ(20u, state.size());
}

TEST_F(Module, AboutTemplate) {
  DialogTemplate t;
  ASSERT_TRUE(t.Load(h, IDD_ABOUTBOX));
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT), t.style);
  EXPECT_EQ(L"关于 VELODvr", t.title);
  EXPECT_EQ(235, t.cx);
  EXPECT_EQ(55, t.cy);
  EXPECT_EQ(9, t.pointSize);
  EXPECT_EQ(L"宋体", t.typeface);
  ASSERT_EQ(4u, t.items.size());
  EXPECT_EQ(L"STATIC", ClassOf(t.items[0]));
  EXPECT_EQ(static_cast<DWORD>(SS_ICON), t.items[0].style & 0x1F);
  EXPECT_EQ(IDR_MAINFRAME, t.items[0].textOrdinal);
  EXPECT_EQ(L"VELODvr 1.0 版", t.items[1].text);
  EXPECT_TRUE(t.items[1].style & SS_NOPREFIX);
  EXPECT_NE(std::wstring::npos, t.items[2].text.find(L"2026"));
  EXPECT_EQ(static_cast<DWORD>(IDOK), t.items[3].id);
  EXPECT_EQ(L"确定", t.items[3].text);
  EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP | C | V), t.items[3].style);
  EXPECT_EQ(178, t.items[3].x);
  EXPECT_EQ(7, t.items[3].y);
}

TEST_F(Module, StringTable) {
  wchar_t buf[256];
  ASSERT_GT(LoadStringW(h, IDS_ABOUTBOX, buf, 256), 0);
  EXPECT_EQ(std::wstring(L"关于 VELODvr(&A)..."), buf);
  ASSERT_GT(LoadStringW(h, IDS_SOCKETS_INIT_FAILED, buf, 256), 0);
  EXPECT_EQ(std::wstring(L"Windows 通信端口初始化失败。"), buf);
  ASSERT_GT(LoadStringW(h, IDS_PORT, buf, 256), 0);
  EXPECT_EQ(std::wstring(L"PORT"), buf);
  EXPECT_EQ(0, LoadStringW(h, 102, buf, 256));
}

TEST_F(Module, EverythingIsChinesePrc) {
  const LANGID prc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
  EXPECT_EQ(prc, LangOf(MAKEINTRESOURCEA(5), IDD_INIT));
  EXPECT_EQ(prc, LangOf(MAKEINTRESOURCEA(5), IDD_VELODVR_DIALOG));
  EXPECT_EQ(prc, LangOf(MAKEINTRESOURCEA(5), IDD_ABOUTBOX));
  EXPECT_EQ(prc, LangOf(MAKEINTRESOURCEA(6), IDS_ABOUTBOX / 16 + 1));
  EXPECT_EQ(prc, LangOf(MAKEINTRESOURCEA(16), 1));
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
  void* p = nullptr;
  UINT n = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &p, &n) || !n) return L"<missing>";
  return std::wstring(static_cast<const wchar_t*>(p));
}

TEST_F(Module, VersionBlock) {
  const wchar_t* path = VELO_EXE_W;
  DWORD dummy = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &dummy);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT n = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &n));
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS);
  EXPECT_EQ(L"VELODvr", VersionString(block, L"InternalName"));
  EXPECT_EQ(L"VELODvr.EXE", VersionString(block, L"OriginalFilename"));
  EXPECT_EQ(L"VELODvr 应用程序", VersionString(block, L"ProductName"));
}

#pragma pack(push, 2)
struct GroupEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

std::vector<std::pair<int, int>> IconImages(HMODULE h, UINT id) {
  std::vector<std::pair<int, int>> out;
  HRSRC r = FindResourceA(h, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));
  if (!r) return out;
  const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(h, r)));
  WORD count = *reinterpret_cast<const WORD*>(p + 4);
  for (WORD i = 0; i < count; ++i) {
    const GroupEntry* e = reinterpret_cast<const GroupEntry*>(p + 6 + i * sizeof(GroupEntry));
    // The depth is read from the image itself, not from the directory.
    HRSRC ri = FindResourceA(h, MAKEINTRESOURCEA(e->id), MAKEINTRESOURCEA(3));
    const BITMAPINFOHEADER* bih = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(h, ri)));
    out.push_back({bih->biWidth, bih->biBitCount});
  }
  return out;
}

TEST_F(Module, IconSizesAndDepths) {
  using V = std::vector<std::pair<int, int>>;
  EXPECT_EQ((V{{32, 4}, {16, 4}}), IconImages(h, IDR_MAINFRAME));
  EXPECT_EQ((V{{32, 4}, {16, 4}}), IconImages(h, IDI_VIEWER));
  EXPECT_EQ((V{{32, 4}, {48, 8}}), IconImages(h, IDI_SPARE));
}

}  // namespace
