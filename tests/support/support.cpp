#include "tests/support/support.h"

namespace vt {

// dir and everything in it, read-only files too.
static void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

TempDir::TempDir(const char* tag) {
  static int s_counter = 0;
  char base[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, base);
  char name[96];
  wsprintfA(name, "%s_%lu_%d", tag, GetCurrentProcessId(), ++s_counter);
  m_path = std::string(base) + name;
  RemoveTree(m_path);  // left over from an earlier process of the same id
  CreateDirectoryA(m_path.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(m_path); }

std::string ReadFileBytes(const std::string& path) {
  HANDLE h =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(h);
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
  return ok && put == bytes.size();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

HMODULE OfferClass(const std::string& path, REFCLSID clsid) {
  HMODULE m = ::LoadLibraryA(path.c_str());
  auto get = Proc<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(m, "DllGetClassObject");
  IUnknown* factory = nullptr;
  DWORD cookie = 0;
  const bool offered =
      get && SUCCEEDED(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(::CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
  return offered ? m : nullptr;
}

int InScratchFolder(const char* tag, const std::function<int()>& run) {
  TempDir dir(tag);
  ::SetCurrentDirectoryA(dir.path().c_str());
  const int result = run();
  ::SetCurrentDirectoryA("\\");  // so that the folder can go
  return result;
}

Canvas::Canvas(int w, int h) : m_w(w), m_h(h), m_dc(::CreateCompatibleDC(nullptr)) {
  BITMAPINFO bi{{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  m_old = ::SelectObject(m_dc, ::CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_px), 0, 0));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m_px[y * w + x] = before(x, y);
}

Canvas::~Canvas() { ::DeleteObject(::SelectObject(m_dc, m_old)), ::DeleteDC(m_dc); }

std::vector<uint32_t> Canvas::Pixels() const {
  ::GdiFlush();
  std::vector<uint32_t> px(m_px, m_px + m_w * m_h);
  for (uint32_t& p : px) p &= 0xFFFFFF;
  return px;
}

int Canvas::Wrong(const std::function<uint32_t(int, int)>& want) const {
  const std::vector<uint32_t> px = Pixels();
  int n = 0;
  for (int y = 0; y < m_h; ++y)
    for (int x = 0; x < m_w; ++x) n += px[y * m_w + x] != want(x, y);
  return n;
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

Process::~Process() { Stop(); }

bool Process::Start(const std::string& exe, const std::string& args, const std::string& workDir) {
  Stop();
  std::string cmd = "\"" + exe + "\"";
  if (!args.empty()) cmd += " " + args;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  return CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &m_pi) != FALSE;
}

bool Process::WaitExit(DWORD ms, DWORD* code) {
  if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, ms) != WAIT_OBJECT_0) return false;
  if (code) GetExitCodeProcess(m_pi.hProcess, code);
  return true;
}

bool Process::Running() const { return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT; }

void Process::Stop() {
  if (!m_pi.hProcess) return;
  if (Running()) {
    TerminateProcess(m_pi.hProcess, 1);
    WaitForSingleObject(m_pi.hProcess, 5000);
  }
  CloseHandle(m_pi.hProcess);
  CloseHandle(m_pi.hThread);
  m_pi = {};
}

}  // namespace vt
