// Helpers of the skin tests: a canvas to paint on and read back, the pixels
// of a strip read straight from its resource, the process's GDI object
// count, and an owner window that counts the clicks of its buttons.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/afx.h"

namespace skintest {

// Pixels as 0x00RRGGBB, the layout of a 32-bit DIB.
using Pixel = uint32_t;

inline Pixel PixelOf(COLORREF cr) {
  return (static_cast<Pixel>(GetRValue(cr)) << 16) | (static_cast<Pixel>(GetGValue(cr)) << 8) |
         GetBValue(cr);
}

// A memory DC holding a 32-bit top-down DIB section, so what GDI drew can be
// read back pixel by pixel.
class Canvas {
 public:
  Canvas(int w, int h) : m_w(w), m_h(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dc.CreateCompatibleDC(nullptr);
    m_bmp = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<Pixel*>(bits);
    m_old = ::SelectObject(m_dc, m_bmp);
  }
  ~Canvas() {
    ::SelectObject(m_dc, m_old);
    ::DeleteObject(m_bmp);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  CDC& dc() { return m_dc; }
  HDC hdc() const { return m_dc.m_hDC; }
  int width() const { return m_w; }
  int height() const { return m_h; }
  Pixel at(int x, int y) const {
    ::GdiFlush();
    return m_bits[y * m_w + x] & 0xFFFFFF;
  }
  void set(int x, int y, Pixel p) {
    ::GdiFlush();
    m_bits[y * m_w + x] = p;
  }
  // A background in which neighbouring pixels differ, so a shifted or
  // misplaced copy cannot go unnoticed.
  void FillPattern() {
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x)
        set(x, y,
            (static_cast<Pixel>(x * 37 + y * 11) & 0xFF) << 16 |
                (static_cast<Pixel>(y * 53 + 7) & 0xFF) << 8 | ((x ^ y) * 29 & 0xFF));
  }
  std::vector<Pixel> Snapshot() const {
    ::GdiFlush();
    std::vector<Pixel> v(m_bits, m_bits + m_w * m_h);
    for (Pixel& p : v) p &= 0xFFFFFF;
    return v;
  }

 private:
  int m_w, m_h;
  CDC m_dc;
  HBITMAP m_bmp = nullptr;
  HGDIOBJ m_old = nullptr;
  Pixel* m_bits = nullptr;
};

// A strip's pixels decoded from the resource bytes themselves (24- or 32-bit
// uncompressed DIB), independent of the GDI code under test.
struct StripImage {
  int width = 0;
  int height = 0;
  std::vector<Pixel> pixels;  // top-down
  Pixel at(int x, int y) const { return pixels[y * width + x]; }
};

inline StripImage LoadStripImage(UINT id) {
  StripImage img;
  HMODULE mod = ::GetModuleHandleA(nullptr);
  HRSRC res = ::FindResourceA(mod, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
  if (!res) return img;
  const auto* bytes = static_cast<const uint8_t*>(::LockResource(::LoadResource(mod, res)));
  const auto* bih = reinterpret_cast<const BITMAPINFOHEADER*>(bytes);
  img.width = bih->biWidth;
  img.height = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
  const bool bottomUp = bih->biHeight > 0;
  const int bpp = bih->biBitCount / 8;
  const int stride = (img.width * bpp + 3) & ~3;
  const uint8_t* data = bytes + bih->biSize;
  img.pixels.resize(static_cast<size_t>(img.width) * img.height);
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* row = data + stride * (bottomUp ? img.height - 1 - y : y);
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* p = row + x * bpp;
      img.pixels[y * img.width + x] = static_cast<Pixel>(p[2]) << 16 | p[1] << 8 | p[0];
    }
  }
  return img;
}

// GDI objects alive in this process. Windows answers GetGuiResources; Wine
// leaves it unimplemented (0), but its handle table takes a handle whose
// upper word is 0 as any generation of that slot, so counting the slots that
// hold an object gives the same figure there.
inline unsigned GdiObjectCount() {
  DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (n) return n;
  unsigned live = 0;
  for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
    if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++live;
  return live;
}

// Delivers whatever is queued for this thread.
inline void Pump() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Pumps until done() holds or the time runs out; true when it held.
template <class F>
bool PumpUntil(F done, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    Pump();
    if (done()) return true;
    if (::GetTickCount() - start > timeoutMs) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// A visible top-level window that stands in for the dialog owning the
// buttons: it passes WM_DRAWITEM back to the button object (the framework's
// reflection) and records every WM_COMMAND it gets from a child.
class Owner : public CWnd {
 public:
  Owner(int x, int y, int w, int h) {
    static const char kClass[] = "VeloSkinTestOwner";
    WNDCLASSA wc{};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    ::RegisterClassA(&wc);  // fails harmlessly once registered
    HWND hWnd = ::CreateWindowExA(WS_EX_TOPMOST, kClass, "skin test", WS_POPUP | WS_VISIBLE, x, y,
                                  w, h, nullptr, nullptr, wc.hInstance, nullptr);
    SubclassWindow(hWnd);
    Pump();
  }
  ~Owner() override {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
  }

  // A push button child as a dialog template would make it.
  HWND AddButton(int id, int x, int y, int w = 50, int h = 14, const char* text = "Ok") {
    return ::CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                             x, y, w, h, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleA(nullptr), nullptr);
  }

  int Count(int id, WORD code) const {
    int n = 0;
    for (const auto& c : commands)
      if (c.first == id && c.second == code) ++n;
    return n;
  }

  std::vector<std::pair<int, WORD>> commands;

  BEGIN_MSG_MAP(Owner)
  MESSAGE_HANDLER(WM_COMMAND, OnCommand)
  END_MSG_MAP()

  LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
    bHandled = FALSE;
    return 0;
  }
};

// The window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND h) {
  RECT rc;
  ::GetWindowRect(h, &rc);
  ::MapWindowPoints(nullptr, ::GetParent(h), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

}  // namespace skintest
