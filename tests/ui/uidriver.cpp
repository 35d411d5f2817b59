#include "tests/ui/uidriver.h"

#include <cstdio>
#include <vector>

#include "framework/dlgtemplate.h"

namespace ui {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Wide(const std::string& u) {
  if (u.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, u.data(), static_cast<int>(u.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, u.data(), static_cast<int>(u.size()), &w[0], n);
  return w;
}

std::string ProgramPath() { return VELO_EXE; }

std::string MakeTempDir(const char* tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%svelo-%s-%lu-%u", base, tag, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(path, nullptr)) return path;
  }
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return out;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof(buf), &n, nullptr) && n) out.append(buf, n);
  CloseHandle(h);
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
  return ok && n == bytes.size();
}

bool ReadRegString(HKEY root, const char* key, const char* value, std::string* out) {
  HKEY h;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  char buf[1024];
  DWORD size = sizeof(buf) - 1, type = 0;
  LONG r = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return false;
  buf[size < sizeof(buf) ? size : sizeof(buf) - 1] = 0;
  *out = buf;
  return true;
}

std::string SystemDir() {
  char buf[MAX_PATH];
  GetSystemDirectoryA(buf, MAX_PATH);
  return buf;
}

Program::Program(const std::string& workDir, const std::string& exe) {
  std::string path = exe.empty() ? ProgramPath() : exe;
  std::string cmd = "\"" + path + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &m_pi))
    m_pi = PROCESS_INFORMATION{};
}

Program::~Program() {
  if (!m_pi.hProcess) return;
  if (Running()) {
    TerminateProcess(m_pi.hProcess, 99);
    WaitForSingleObject(m_pi.hProcess, 5000);
  }
  CloseHandle(m_pi.hProcess);
  CloseHandle(m_pi.hThread);
}

bool Program::WaitExit(DWORD ms, DWORD* exitCode) {
  if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, ms) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(m_pi.hProcess, exitCode);
  return true;
}

bool Program::Running() const {
  return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> Program::Windows() const {
  struct Ctx {
    DWORD pid;
    std::vector<HWND> out;
  } ctx{m_pi.dwProcessId, {}};
  struct Enum {
    static BOOL CALLBACK Proc(HWND h, LPARAM p) {
      Ctx* c = reinterpret_cast<Ctx*>(p);
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      if (pid == c->pid && IsWindowVisible(h)) c->out.push_back(h);
      return TRUE;
    }
  };
  EnumWindows(&Enum::Proc, reinterpret_cast<LPARAM>(&ctx));
  return ctx.out;
}

HWND Program::WaitWindow(const std::string& caption, DWORD ms) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND h : Windows())
          if (!IsMessageBox(h) && Text(h) == caption) {
            found = h;
            return true;
          }
        return !Running();
      },
      ms);
  return found;
}

bool Program::WaitMessageBox(DWORD ms, MessageBoxInfo* out) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND h : Windows())
          if (IsMessageBox(h)) {
            found = h;
            return true;
          }
        return !Running();
      },
      ms);
  if (!found) return false;
  // Give the box a moment to finish laying out its buttons.
  Sleep(50);
  *out = ReadMessageBox(found);
  return true;
}

HWND Program::AnswerBoxesUntil(const std::string& caption, DWORD ms, std::vector<std::string>* texts) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND h : Windows()) {
          if (IsMessageBox(h)) {
            Sleep(50);
            MessageBoxInfo box = ReadMessageBox(h);
            if (texts) texts->push_back(box.text);
            Answer(box, box.buttons.empty() ? IDOK : box.buttons.front());
            WaitUntil([&] { return !IsWindow(h) || !IsWindowVisible(h); }, 3000);
            return false;
          }
          if (Text(h) == caption) {
            found = h;
            return true;
          }
        }
        return !Running();
      },
      ms);
  return found;
}

HWND Program::Focus() const {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof(gti);
  return GetGUIThreadInfo(m_pi.dwThreadId, &gti) ? gti.hwndFocus : nullptr;
}

bool Program::WaitFocus(HWND hWnd, DWORD ms) const {
  return WaitUntil([&] { return Focus() == hWnd; }, ms);
}

// A system message box: one text static with id 0xFFFF, an icon (0x440)
// and buttons with the standard ids; nothing else (dialogs of the program
// also have statics with id -1, but more than one, or other controls).
bool IsMessageBox(HWND h) {
  if (ClassName(h) != "#32770") return false;
  int texts = 0;
  for (HWND c : Descendants(h)) {
    if (GetParent(c) != h) continue;
    int id = GetDlgCtrlID(c);
    if (id == 0xFFFF || id == -1) {
      if (ClassName(c) != "Static") return false;
      ++texts;
    } else if (!(id >= IDOK && id <= 11) && id != 0x440) {
      return false;
    }
  }
  return texts == 1;
}

MessageBoxInfo ReadMessageBox(HWND h) {
  MessageBoxInfo box;
  box.hwnd = h;
  box.caption = Text(h);
  box.text = Text(GetDlgItem(h, 0xFFFF));
  // The box destroys the buttons it does not use.
  for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO})
    if (HWND b = GetDlgItem(h, id))
      if (IsWindowVisible(b)) box.buttons.push_back(id);
  for (HWND c : Descendants(h))
    if (ClassName(c) == "Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c))
      box.hasIcon = SendMessageW(c, STM_GETICON, 0, 0) != 0;
  return box;
}

void Answer(const MessageBoxInfo& box, int id) {
  if (HWND b = GetDlgItem(box.hwnd, id))
    SendNotifyMessageW(b, BM_CLICK, 0, 0);
  else
    PostMessageW(box.hwnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

std::string Text(HWND h) {
  if (!h) return std::string();
  wchar_t buf[2048];
  LRESULT n = SendMessageTimeoutW(h, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr)
                  ? static_cast<LRESULT>(wcslen(buf))
                  : 0;
  return Utf8(std::wstring(buf, static_cast<size_t>(n)));
}

void SetText(HWND h, const std::string& text) {
  std::wstring w = Wide(text);
  SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
}

std::string ClassName(HWND h) {
  wchar_t buf[256] = L"";
  GetClassNameW(h, buf, 256);
  return Utf8(buf);
}

void Click(HWND h) { SendNotifyMessageW(h, BM_CLICK, 0, 0); }

void PostKey(HWND h, UINT vk) {
  PostMessageW(h, WM_KEYDOWN, vk, 1);
  PostMessageW(h, WM_KEYUP, vk, 0xC0000001);
}

std::vector<HWND> Descendants(HWND h) {
  std::vector<HWND> out;
  struct Enum {
    static BOOL CALLBACK Proc(HWND c, LPARAM p) {
      reinterpret_cast<std::vector<HWND>*>(p)->push_back(c);
      return TRUE;
    }
  };
  EnumChildWindows(h, &Enum::Proc, reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND Child(HWND parent, int id) { return GetDlgItem(parent, id); }

namespace {
INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}  // namespace

// Creates a template of the program hidden in this process and hands the
// dialog to `use`.
template <typename F>
void WithTemplateDialog(const std::string& exe, UINT id, F use) {
  HMODULE h = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  DialogTemplate t;
  if (h && t.Load(h, id)) {
    t.style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::vector<BYTE> bytes = t.Build(true);
    HWND d = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                        nullptr, &NoDialogProc, 0);
    if (d) {
      use(d);
      DestroyWindow(d);
    }
  }
  if (h) FreeLibrary(h);
}

SIZE TemplateClientSize(const std::string& exe, UINT id) {
  SIZE size{0, 0};
  WithTemplateDialog(exe, id, [&](HWND d) {
    RECT rc;
    GetClientRect(d, &rc);
    size = SIZE{rc.right, rc.bottom};
  });
  return size;
}

RECT TemplateItemRect(const std::string& exe, UINT dialogId, int itemId) {
  RECT r{0, 0, 0, 0};
  WithTemplateDialog(exe, dialogId, [&](HWND d) {
    if (HWND c = GetDlgItem(d, itemId)) {
      GetWindowRect(c, &r);
      MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
    }
  });
  return r;
}

RECT TemplateMapRect(const std::string& exe, UINT dialogId, RECT dialogUnits) {
  RECT r = dialogUnits;
  WithTemplateDialog(exe, dialogId, [&](HWND d) { MapDialogRect(d, &r); });
  return r;
}

namespace {
std::vector<DWORD> ReadPixels(HDC hdc, HBITMAP bmp, int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> px(static_cast<size_t>(w) * static_cast<size_t>(h));
  GetDIBits(hdc, bmp, 0, static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
  for (DWORD& p : px) p &= 0xFFFFFF;
  return px;
}
}  // namespace

std::vector<DWORD> CaptureScreenRect(const RECT& rc) {
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  SelectObject(mem, old);
  std::vector<DWORD> px = ReadPixels(mem, bmp, w, h);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return px;
}

std::vector<DWORD> BitmapFrame(const std::string& exe, UINT id, int frame, int* width, int* height) {
  std::vector<DWORD> out;
  HMODULE h = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HBITMAP bmp = h ? LoadBitmapA(h, MAKEINTRESOURCEA(id)) : nullptr;
  if (bmp) {
    BITMAP bm;
    GetObjectA(bmp, sizeof(bm), &bm);
    HDC screen = GetDC(nullptr);
    std::vector<DWORD> all = ReadPixels(screen, bmp, bm.bmWidth, bm.bmHeight);
    ReleaseDC(nullptr, screen);
    int fw = bm.bmWidth / 4;
    for (int y = 0; y < bm.bmHeight; ++y)
      for (int x = 0; x < fw; ++x) out.push_back(all[static_cast<size_t>(y * bm.bmWidth + frame * fw + x)]);
    *width = fw;
    *height = bm.bmHeight;
    DeleteObject(bmp);
  }
  if (h) FreeLibrary(h);
  return out;
}

std::string IniValue(const std::string& file, const char* section, const char* key) {
  char buf[512] = "";
  GetPrivateProfileStringA(section, key, "<missing>", buf, sizeof(buf), file.c_str());
  return buf;
}

}  // namespace ui
