#include "ocx_state.h"

namespace dvrocx {
namespace {

DWORD ReadWord(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
         static_cast<DWORD>(p[3]) << 24;
}

void WriteWord(BYTE* p, DWORD value) {
  p[0] = static_cast<BYTE>(value);
  p[1] = static_cast<BYTE>(value >> 8);
  p[2] = static_cast<BYTE>(value >> 16);
  p[3] = static_cast<BYTE>(value >> 24);
}

}  // namespace

bool ParseOcxState(const BYTE (&bytes)[kOcxStateSize], SIZEL& extent) {
  const DWORD reserved0 = ReadWord(bytes);
  const DWORD version = ReadWord(bytes + 4);
  const LONG cx = static_cast<LONG>(ReadWord(bytes + 8));
  const LONG cy = static_cast<LONG>(ReadWord(bytes + 12));
  const DWORD reserved4 = ReadWord(bytes + 16);
  if (reserved0 != 0 || reserved4 != 0 || version != kOcxStateVersion) return false;
  if (cx <= 0 || cy <= 0 || cx > kMaxExtent || cy > kMaxExtent) return false;
  extent.cx = cx;
  extent.cy = cy;
  return true;
}

void FormatOcxState(const SIZEL& extent, BYTE (&bytes)[kOcxStateSize]) {
  WriteWord(bytes, 0);
  WriteWord(bytes + 4, kOcxStateVersion);
  WriteWord(bytes + 8, static_cast<DWORD>(extent.cx));
  WriteWord(bytes + 12, static_cast<DWORD>(extent.cy));
  WriteWord(bytes + 16, 0);
}

}  // namespace dvrocx
