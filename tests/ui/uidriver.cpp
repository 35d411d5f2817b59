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

HWND Program::WaitViewer(DWORD ms) const {
  HWND viewer = nullptr;
  WaitUntil(
      [&] {
        for (HWND h : Windows())
          if (!IsMessageBox(h) && (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW)) viewer = h;
        return viewer != nullptr || !Running();
      },
      ms);
  return viewer;
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

// ---- What a process holds, measured from outside ----

#include <tlhelp32.h>
#include <winternl.h>

namespace ui {

const char kProbeCountMenus[] = "ProbeCountMenus";
const char kProbeCountIcons[] = "ProbeCountIcons";
const char kProbeWatchControl[] = "ProbeWatchControl";

namespace {

typedef NTSTATUS(NTAPI* PFNQUERYSYSTEMINFORMATION)(ULONG, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI* PFNQUERYINFORMATIONPROCESS)(HANDLE, ULONG, PVOID, ULONG, PULONG);

template <typename T>
T NtdllFunction(const char* name) {
  FARPROC p = GetProcAddress(GetModuleHandleA("ntdll.dll"), name);
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(p));
}

// SystemExtendedHandleInformation (64): one entry per open handle of any process.
struct HandleEntryEx {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handle;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG attributes;
  ULONG reserved;
};

long KernelHandles(HANDLE process, DWORD pid) {
  DWORD n = 0;
  if (GetProcessHandleCount(process, &n) && n) return static_cast<long>(n);
  auto query = NtdllFunction<PFNQUERYSYSTEMINFORMATION>("NtQuerySystemInformation");
  if (!query) return -1;
  std::vector<BYTE> buf(1 << 20);
  for (int tries = 0; tries < 6; ++tries) {
    ULONG len = 0;
    NTSTATUS s = query(64, buf.data(), static_cast<ULONG>(buf.size()), &len);
    if (s == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
      buf.resize(buf.size() * 2);
      continue;
    }
    if (s != 0) return -1;
    ULONG_PTR count = *reinterpret_cast<ULONG_PTR*>(buf.data());
    const HandleEntryEx* e = reinterpret_cast<const HandleEntryEx*>(buf.data() + 2 * sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG_PTR i = 0; i < count; ++i)
      if (e[i].processId == pid) ++mine;
    return mine;
  }
  return -1;
}

// Wine keeps each process's GDI objects in a table of 65536 entries in that
// process's memory, named by its PEB; an entry with a type is a live object.
struct GdiEntry {
  UINT64 object;
  ULONG owner;
  USHORT unique;
  UCHAR type;
  UCHAR flags;
  UINT64 userPointer;
};
static_assert(sizeof(GdiEntry) == 24, "the layout of Wine's GDI handle entries");

long GdiObjects(HANDLE process) {
  DWORD n = GetGuiResources(process, GR_GDIOBJECTS);
  if (n) return static_cast<long>(n);
  auto query = NtdllFunction<PFNQUERYINFORMATIONPROCESS>("NtQueryInformationProcess");
  PROCESS_BASIC_INFORMATION pbi{};
  ULONG len = 0;
  if (!query || query(process, 0 /* ProcessBasicInformation */, &pbi, sizeof(pbi), &len) != 0) return -1;
  const size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94;  // PEB.GdiSharedHandleTable
  ULONG_PTR table = 0;
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<BYTE*>(pbi.PebBaseAddress) + offset, &table, sizeof(table), &got) ||
      !table)
    return -1;
  std::vector<GdiEntry> entries(0x10000);
  if (!ReadProcessMemory(process, reinterpret_cast<void*>(table), entries.data(), entries.size() * sizeof(GdiEntry),
                         &got))
    return -1;
  long live = 0;
  for (const GdiEntry& e : entries)
    if (e.type) ++live;
  return live;
}

struct WindowCount {
  DWORD pid;
  long n;
};

BOOL CALLBACK CountChild(HWND h, LPARAM p) {
  WindowCount* c = reinterpret_cast<WindowCount*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == c->pid) ++c->n;
  return TRUE;
}

// A top-level window and all its descendants of that process.
void CountTree(HWND h, WindowCount* c) {
  CountChild(h, reinterpret_cast<LPARAM>(c));
  EnumChildWindows(h, &CountChild, reinterpret_cast<LPARAM>(c));
}

BOOL CALLBACK CountTopLevel(HWND h, LPARAM p) {
  CountTree(h, reinterpret_cast<WindowCount*>(p));
  return TRUE;
}

long Windows(DWORD pid) {
  WindowCount c{pid, 0};
  EnumWindows(&CountTopLevel, reinterpret_cast<LPARAM>(&c));
  for (HWND h = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); h;
       h = FindWindowExW(HWND_MESSAGE, h, nullptr, nullptr))
    CountTree(h, &c);
  return c.n;
}

std::string ProbeLibraryPath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1) + "velo_probe.dll";
}

// Base address of a module in process pid, by file name (any case).
BYTE* ModuleBaseIn(DWORD pid, const char* fileName, std::string* path) {
  HANDLE snap = INVALID_HANDLE_VALUE;
  for (int i = 0; i < 20 && snap == INVALID_HANDLE_VALUE; ++i) {
    snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) Sleep(20);  // ERROR_BAD_LENGTH while modules load
  }
  if (snap == INVALID_HANDLE_VALUE) return nullptr;
  BYTE* base = nullptr;
  MODULEENTRY32 me{};
  me.dwSize = sizeof(me);
  for (BOOL ok = Module32First(snap, &me); ok; ok = Module32Next(snap, &me))
    if (lstrcmpiA(me.szModule, fileName) == 0) {
      base = me.modBaseAddr;
      if (path) *path = me.szExePath;
      break;
    }
  CloseHandle(snap);
  return base;
}

bool RunRemote(HANDLE process, void* start, void* arg, DWORD* result, DWORD ms) {
  HANDLE t = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(start), arg, 0, nullptr);
  if (!t) return false;
  bool ok = WaitForSingleObject(t, ms) == WAIT_OBJECT_0 && GetExitCodeThread(t, result);
  CloseHandle(t);
  return ok;
}

}  // namespace

std::string Describe(const ObjectCounts& c) {
  char buf[200];
  snprintf(buf, sizeof(buf), "handles %ld, GDI %ld, windows %ld, menus %ld, icons %ld", c.handles, c.gdi, c.windows,
           c.menus, c.icons);
  return buf;
}

Probe::Probe(DWORD pid) {
  m_process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  const std::string path = ProbeLibraryPath();
  m_local = LoadLibraryA(path.c_str());
  if (!m_process || !m_local) return;
  // LoadLibraryW lies at the same offset in the other process's kernel32.
  HMODULE k32 = GetModuleHandleA("kernel32.dll");
  BYTE* remoteK32 = ModuleBaseIn(pid, "kernel32.dll", nullptr);
  if (!remoteK32) return;
  BYTE* load = remoteK32 + (reinterpret_cast<BYTE*>(reinterpret_cast<void*>(GetProcAddress(k32, "LoadLibraryW"))) -
                            reinterpret_cast<BYTE*>(k32));
  std::wstring wide = Wide(path);
  SIZE_T size = (wide.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return;
  DWORD result = 0;
  if (WriteProcessMemory(m_process, remote, wide.c_str(), size, nullptr) &&
      RunRemote(m_process, load, remote, &result, 10000))
    m_remoteBase = ModuleBaseIn(pid, "velo_probe.dll", nullptr);
  VirtualFreeEx(m_process, remote, 0, MEM_RELEASE);
}

Probe::~Probe() {
  if (m_process) CloseHandle(m_process);
  // The local copy stays loaded: another Probe may use it.
}

bool Probe::Call(const char* name, DWORD* result, DWORD ms) const {
  if (!m_remoteBase) return false;
  FARPROC local = GetProcAddress(m_local, name);
  if (!local) return false;
  BYTE* start =
      m_remoteBase + (reinterpret_cast<BYTE*>(reinterpret_cast<void*>(local)) - reinterpret_cast<BYTE*>(m_local));
  return RunRemote(m_process, start, nullptr, result, ms);
}

ObjectCounts CountObjects(DWORD pid, const Probe* probe) {
  ObjectCounts c;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (!process) return c;
  c.handles = KernelHandles(process, pid);
  c.gdi = GdiObjects(process);
  CloseHandle(process);
  c.windows = Windows(pid);
  DWORD n = 0;
  if (probe && probe->Call(kProbeCountMenus, &n)) c.menus = static_cast<long>(n);
  if (probe && probe->Call(kProbeCountIcons, &n)) c.icons = static_cast<long>(n);
  // The process handle opened here is this process's, not pid's; but when
  // pid is this process the handle was open while counting.
  if (pid == GetCurrentProcessId() && c.handles > 0) --c.handles;
  return c;
}

ObjectCounts SettledCounts(DWORD pid, const Probe* probe, DWORD ms) {
  ObjectCounts last = CountObjects(pid, probe);
  DWORD start = GetTickCount();
  for (;;) {
    Sleep(150);
    ObjectCounts now = CountObjects(pid, probe);
    if (now == last || GetTickCount() - start > ms) return now;
    last = now;
  }
}

std::string ProbeReportPath(DWORD pid) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "velo-probe-" + std::to_string(pid) + ".txt";
}

std::string ProbeShownPath(DWORD pid) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "velo-shown-" + std::to_string(pid) + ".txt";
}

std::string ModulePathIn(DWORD pid, const char* fileName) {
  std::string path;
  ModuleBaseIn(pid, fileName, &path);
  return path;
}

// ---- Real pointer input ----

namespace {
// A mouse event at a screen point, in SendInput's absolute coordinates.
void SendMouse(DWORD flags, POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  in.mi.dx = MulDiv(screen.x, 65536, w) + 1;
  in.mi.dy = MulDiv(screen.y, 65536, h) + 1;
  in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(in));
}
}  // namespace

// SetCursorPos also moves the X pointer, where Wine's hover tracking looks
// for it; an injected move alone would leave the X pointer behind.
void PointerTo(POINT screen) { SetCursorPos(screen.x, screen.y); }

void PointerButton(bool down, POINT screen) { SendMouse(down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP, screen); }

POINT CenterOf(HWND h) {
  RECT rc;
  GetWindowRect(h, &rc);
  return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// ---- Unix commands from inside Wine ----

bool RunUnix(const std::string& commandLine) {
  std::string tool = commandLine.substr(0, commandLine.find(' '));
  std::string exe = "Z:\\usr\\bin\\" + tool;
  std::string cmd = commandLine;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

std::string UnixPath(const std::string& windowsPath) {
  typedef char*(CDECL * PFNUNIXNAME)(LPCWSTR);
  FARPROC p = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  auto unixName = reinterpret_cast<PFNUNIXNAME>(reinterpret_cast<void (*)()>(p));
  if (!unixName) return std::string();
  char* name = unixName(Wide(windowsPath).c_str());
  if (!name) return std::string();
  std::string s = name;
  HeapFree(GetProcessHeap(), 0, name);
  return s;
}

}  // namespace ui

// ---- VELODvr's start-up dialog and its settings file ----

namespace ui {

std::string Utf8FromGbk(const std::string& gbk) {
  if (gbk.empty()) return std::string();
  int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &w[0], n);
  return Utf8(w);
}

std::string AddressBook::Port(const std::string& address) const {
  for (size_t i = 0; i < addresses.size(); ++i)
    if (addresses[i] == address) return ports[i];
  return std::string();
}

AddressBook ReadAddressBook(const std::string& iniPath) {
  AddressBook book;
  const char* section = "VELO_KEYWORDS";
  book.count = static_cast<int>(GetPrivateProfileIntA(section, "COUNT", 0, iniPath.c_str()));
  const std::string text = ReadFileBytes(iniPath);
  // Numbered lines as they stand in the raw text (a key at a line start).
  auto linesOf = [&](const std::string& key) {
    int n = 0;
    const std::string needle = key + "=";
    for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1))
      if (pos == 0 || text[pos - 1] == '\n') ++n;
    return n;
  };
  for (int slot = 0; slot < 100; ++slot) {
    char ip[16], port[16];
    snprintf(ip, sizeof(ip), "IP%02d", slot);
    snprintf(port, sizeof(port), "PORT%02d", slot);
    char value[512] = "";
    GetPrivateProfileStringA(section, ip, "", value, sizeof(value), iniPath.c_str());
    if (linesOf(ip) > 1) book.problems.push_back(std::string(ip) + " stands more than once");
    if (linesOf(port) > 1) book.problems.push_back(std::string(port) + " stands more than once");
    if (!value[0]) continue;
    book.addresses.push_back(Utf8FromGbk(value));
    char portText[512] = "";
    GetPrivateProfileStringA(section, port, "", portText, sizeof(portText), iniPath.c_str());
    book.ports.push_back(portText);
    int n = static_cast<int>(GetPrivateProfileIntA(section, port, 0, iniPath.c_str()));
    if (linesOf(port) == 0)
      book.problems.push_back(std::string(ip) + " has no " + port + " line");
    else if (n < 1 || n > 65535)
      book.problems.push_back(std::string(port) + " reads " + std::to_string(n));
  }
  if (book.count != static_cast<int>(book.addresses.size()))
    book.problems.push_back("COUNT is " + std::to_string(book.count) + " but " +
                            std::to_string(book.addresses.size()) + " addresses are stored");
  return book;
}

InitSession::InitSession(const std::string& dir, DWORD ms) : m_dir(dir) { Restart(ms); }

void InitSession::Restart(DWORD ms) {
  m_p.reset();
  m_messages.clear();
  m_p = std::make_unique<Program>(m_dir);
  m_init = m_p->AnswerBoxesUntil("Init", ms, &m_messages);
}

std::vector<std::string> InitSession::Entries() const {
  std::vector<std::string> v;
  HWND list = Item(1016);
  LRESULT n = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    // Sent with the W function, the text comes back as UTF-16 across processes.
    wchar_t buf[1024] = L"";
    if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 1024)
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    v.push_back(Utf8(buf));
  }
  return v;
}

void InitSession::Type(const std::string& address, const std::string& port) {
  SetText(Item(1016), address);
  SetText(Item(1007), port);
}

void InitSession::Select(int index) {
  SendMessageW(Item(1016), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(m_init, WM_COMMAND, MAKEWPARAM(1016, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(1016)));
}

int InitSession::Find(const std::string& entry) const {
  std::vector<std::string> v = Entries();
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == entry) return static_cast<int>(i);
  return -1;
}

bool InitSession::ClickForBox(int id, MessageBoxInfo* box, DWORD ms) {
  Click(Item(id));
  return m_p->WaitMessageBox(ms, box) && IsMessageBox(box->hwnd);
}

void InitSession::AnswerAndWait(const MessageBoxInfo& box, int id) {
  Answer(box, id);
  WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 3000);
}

HWND InitSession::WaitViewer(DWORD ms) const { return m_p->WaitViewer(ms); }

bool InitSession::CloseViewer(HWND viewer, DWORD ms) {
  PostMessageW(viewer, WM_CLOSE, 0, 0);
  return m_p->WaitExit(ms);
}

}  // namespace ui

namespace ui {

ShowWatch::ShowWatch(const Program& p) : m_report(ProbeShownPath(p.pid())) {
  DeleteFileA(m_report.c_str());
  HMODULE probe = LoadLibraryA(ProbeLibraryPath().c_str());
  FARPROC proc = probe ? GetProcAddress(probe, "ProbeShowHook") : nullptr;
  if (proc)
    m_hook = SetWindowsHookExA(WH_CALLWNDPROC, reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(proc)), probe,
                               p.tid());
}

ShowWatch::~ShowWatch() {
  if (m_hook) UnhookWindowsHookEx(m_hook);
  DeleteFileA(m_report.c_str());
}

std::vector<std::string> ShowWatch::shown() const {
  std::vector<std::string> lines;
  const std::string text = ReadFileBytes(m_report);
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(Utf8FromGbk(text.substr(at, end - at)));
    at = end + 1;
  }
  return lines;
}

}  // namespace ui
