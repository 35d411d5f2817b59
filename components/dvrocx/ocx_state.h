// The control's saved state: five little-endian 32-bit words, 20 bytes in
// all. Word 0 and word 4 are reserved (zero), word 1 is the format version
// 1.0 (0x00010000), words 2 and 3 are the extent in HIMETRIC.
#pragma once

#include <windows.h>

namespace dvrocx {

constexpr ULONG kOcxStateSize = 20;
constexpr DWORD kOcxStateVersion = 0x00010000;
// The extent a new control starts with, and the one the program's dialog
// template records: 26564 x 16563 HIMETRIC, about 1004 x 626 pixels.
constexpr LONG kDefaultExtentX = 26564;
constexpr LONG kDefaultExtentY = 16563;
// Anything above 10 m is not a control extent but a damaged state.
constexpr LONG kMaxExtent = 1000000;

// Reads a state; false (and extent untouched) unless it is exactly the form
// that FormatOcxState writes with a sane extent.
bool ParseOcxState(const BYTE (&bytes)[kOcxStateSize], SIZEL& extent);
void FormatOcxState(const SIZEL& extent, BYTE (&bytes)[kOcxStateSize]);

}  // namespace dvrocx
