// Handles that release themselves, shared by the program and the viewer
// control.
//
//   CComPtr<T>     a COM interface pointer, released when it goes
//   CHandle        a kernel object handle (CloseHandle)
//   CRegKey        an open registry key (RegCloseKey)
//   CModule        a loaded library (FreeLibrary)
//   CGdiObject<H>  a font, brush or bitmap (DeleteObject); CBitmap for bitmaps
//   CMemoryDC      a device context made by the program (DeleteDC)
//   CSocket<S, F>  a socket, closed by F: CSocket<SOCKET, ::closesocket>
//
// Owners are not copied. Release() lets go early, where the order of
// teardown matters; Detach() hands the handle over to someone else.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <utility>

template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  ~CComPtr() { Release(); }
  CComPtr(const CComPtr&) = delete;
  CComPtr& operator=(const CComPtr&) = delete;

  operator T*() const { return p; }
  T* operator->() const { return p; }
  // For the out-parameter of a call; the pointer held before is released.
  T** operator&() { return Release(), &p; }
  void** ppv() { return Release(), reinterpret_cast<void**>(&p); }
  // Holds q with a reference of its own.
  void Assign(T* q) {
    if (q) q->AddRef();
    Release();
    p = q;
  }
  // *out gets p with a reference of its own.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    if ((*out = p)) p->AddRef();
    return S_OK;
  }
  // p's interface riid of the object behind from.
  HRESULT QueryFrom(IUnknown* from, REFIID riid) { return from ? from->QueryInterface(riid, ppv()) : E_POINTER; }
  void Release() {
    if (T* q = p) p = nullptr, q->Release();
  }
  T* Detach() { return std::exchange(p, nullptr); }

  T* p = nullptr;
};

// A handle owner over a close function: CScopedHandle<HKEY, LONG, RegCloseKey>.
template <class H, class R, R(WINAPI* Close)(H)>
class CScopedHandle {
 public:
  explicit CScopedHandle(H h = nullptr) : m_h(h) {}
  ~CScopedHandle() { Release(); }
  CScopedHandle(const CScopedHandle&) = delete;
  CScopedHandle& operator=(const CScopedHandle&) = delete;

  operator H() const { return m_h; }
  H* operator&() { return Release(), &m_h; }
  // Owns h instead of what it held.
  void Attach(H h) { Release(), m_h = h; }
  bool Valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
  void Release() {
    if (Valid()) Close(m_h);
    m_h = nullptr;
  }
  H Detach() { return std::exchange(m_h, nullptr); }

 private:
  H m_h;
};

using CHandle = CScopedHandle<HANDLE, BOOL, ::CloseHandle>;
using CRegKey = CScopedHandle<HKEY, LONG, ::RegCloseKey>;
using CModule = CScopedHandle<HMODULE, BOOL, ::FreeLibrary>;

template <class H>
BOOL WINAPI DeleteGdiObject(H h) {
  return ::DeleteObject(h);
}
template <class H>
using CGdiObject = CScopedHandle<H, BOOL, DeleteGdiObject<H>>;
using CBitmap = CGdiObject<HBITMAP>;
using CMemoryDC = CScopedHandle<HDC, BOOL, ::DeleteDC>;

// The socket type and its close function come from winsock2.h, which this
// header leaves to its users.
template <class S, int(WINAPI* Close)(S)>
class CSocket {
 public:
  CSocket() = default;
  CSocket(const CSocket&) = delete;
  CSocket& operator=(const CSocket&) = delete;
  ~CSocket() { Release(); }

  operator S() const { return m_s; }
  void Attach(S s) { Release(), m_s = s; }
  void Release() {
    if (m_s != ~S()) Close(std::exchange(m_s, ~S()));
  }

 private:
  S m_s = ~S();  // INVALID_SOCKET
};
