// The recorder's port on its way from the operator to the viewer control:
//   text     as typed and as the settings file stores it, in decimal
//   number   a port is 1..65535; anything else is no port
//   control  SetDeviceIPandPort takes a short, the number's low 16 bits:
//            40000 travels as -25536 and the control reads the 16 bits back
//            unsigned. It also takes a long in either reading's range.
// Shared by the program and the control; plain C++, no Windows.
#pragma once

#include <cstdlib>

constexpr bool IsPortNumber(long n) { return n >= 1 && n <= 65535; }

// Typed text read as the C library reads a decimal number (leading white
// space, a sign, digits; 0 without digits). It may lie outside 1..65535.
inline long PortNumberFromText(const char* text) { return std::strtol(text, nullptr, 10); }

// The program's side of the control form, and the control's.
constexpr short PortToControl(long n) { return static_cast<short>(n & 0xFFFF); }
constexpr bool IsControlPort(long value) { return value >= -32768 && value <= 65535; }
constexpr unsigned short PortFromControl(long value) { return static_cast<unsigned short>(value & 0xFFFF); }
