// The helpers every Windows test program shares: scratch folders, whole
// files, COM servers offered to this process, a canvas to read back GDI,
// waiting on a condition while the thread's windows keep working, and
// starting and ending another program.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vt {

// A fresh, empty folder under the temporary folder; removed with everything
// in it (read-only files too) when the object goes.
class TempDir {
 public:
  explicit TempDir(const char* tag = "velo");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  // path\name
  std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

 private:
  std::string m_path;
};

// The whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// The function `name` of module m as type Fn (null when there is none).
template <typename Fn>
Fn Proc(HMODULE m, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(m, name)));
}
// Interface iid of u with a reference for the caller (null when u lacks it).
template <typename T>
T* Query(IUnknown* u, REFIID iid, T* p = nullptr) {
  return u->QueryInterface(iid, reinterpret_cast<void**>(&p)), p;
}
// Loads the COM server at path and offers its class clsid to this process
// alone, until it ends: no registry involved. Null when that fails.
HMODULE OfferClass(const std::string& path, REFCLSID clsid);
// run() with a fresh, empty scratch folder as the current folder.
int InScratchFolder(const char* tag, const std::function<int()>& run);

// A memory DC on a top-down 32-bit DIB section of w x h, to read back what
// GDI draws. It starts with a pattern in which neighbouring pixels differ,
// so a shifted copy shows. Pixels are 0x00RRGGBB.
class Canvas {
 public:
  Canvas(int w, int h);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return m_dc; }
  uint32_t before(int x, int y) const { return ((y * m_w + x) * 2654435761u) & 0xFFFFFF; }
  // What it holds now; how many pixels differ from want(x, y).
  std::vector<uint32_t> Pixels() const;
  int Wrong(const std::function<uint32_t(int, int)>& want) const;

 private:
  int m_w, m_h;
  HDC m_dc;
  uint32_t* m_px = nullptr;
  HGDIOBJ m_old = nullptr;
};

// Dispatches this thread's messages until done() holds (true) or ms pass.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 10000);
inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// Another program, ended when the object goes if it still runs.
class Process {
 public:
  Process() = default;
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // Starts exe with the command line tail args in workDir ("" = ours).
  bool Start(const std::string& exe, const std::string& args = "", const std::string& workDir = "");
  // True when it ended within ms; its exit code goes to *code.
  bool WaitExit(DWORD ms, DWORD* code = nullptr);
  bool Running() const;
  void Stop();
  HANDLE handle() const { return m_pi.hProcess; }
  DWORD pid() const { return m_pi.dwProcessId; }

 private:
  PROCESS_INFORMATION m_pi{};
};

}  // namespace vt
