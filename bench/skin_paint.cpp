// Paints per second of one 80 x 24 skin button into a memory DC.
//
//   bench_skin_paint           7 runs of 3000 paints
//   bench_skin_paint --quick   3 runs of 200 paints (CI: does it run at all)
//
// Each paint is a full DrawItem: four memory DCs and four bitmaps made and
// freed, the mask rebuilt. Prints every run and the median.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ui/skin/skinbutton.h"

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int runs = quick ? 3 : 7;
  const int paints = quick ? 200 : 3000;

  // A hidden owner with one button, bound and imaged as the start-up dialog does.
  HINSTANCE inst = ::GetModuleHandleA(nullptr);
  HWND owner = ::CreateWindowExA(0, "STATIC", "bench", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                 inst, nullptr);
  HWND hBtn =
      ::CreateWindowExA(0, "BUTTON", "Ok", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 50, 14,
                        owner, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1022)), inst, nullptr);
  if (!owner || !hBtn) {
    std::fprintf(stderr, "bench_skin_paint: cannot create the button window\n");
    return 1;
  }
  CSkinButton button;
  button.SubclassWindow(hBtn);
  button.ModifyStyle(0, BS_OWNERDRAW);
  button.SetBitmap(159, 0xFF0000);
  RECT rc;
  button.GetClientRect(&rc);
  if (rc.right != 80 || rc.bottom != 24) {
    std::fprintf(stderr, "bench_skin_paint: strip 159 did not load (button %ldx%ld)\n", rc.right,
                 rc.bottom);
    return 1;
  }

  HDC screen = ::GetDC(nullptr);
  HDC mem = ::CreateCompatibleDC(screen);
  HBITMAP target = ::CreateCompatibleBitmap(screen, 80, 24);
  ::ReleaseDC(nullptr, screen);
  HGDIOBJ old = ::SelectObject(mem, target);

  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_BUTTON;
  dis.CtlID = 1022;
  dis.itemAction = ODA_DRAWENTIRE;
  dis.hwndItem = hBtn;
  dis.hDC = mem;
  dis.rcItem = rc;

  LARGE_INTEGER freq;
  ::QueryPerformanceFrequency(&freq);
  std::vector<double> rates;
  for (int r = 0; r < runs; ++r) {
    LARGE_INTEGER t0, t1;
    ::QueryPerformanceCounter(&t0);
    for (int i = 0; i < paints; ++i) {
      dis.itemState = (i & 1) ? ODS_SELECTED : 0;
      button.DrawItem(&dis);
    }
    ::QueryPerformanceCounter(&t1);
    const double seconds = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
    rates.push_back(paints / seconds);
    std::printf("run %d: %d paints in %.3f s = %.0f paints/s\n", r + 1, paints, seconds,
                rates.back());
  }
  std::sort(rates.begin(), rates.end());
  std::printf("skin_paint: median %.0f paints/s (80x24 button, %d runs of %d paints)\n",
              rates[rates.size() / 2], runs, paints);

  ::SelectObject(mem, old);
  ::DeleteObject(target);
  ::DeleteDC(mem);
  ::DestroyWindow(owner);
  return 0;
}
