// The recorder's port on its way from the operator to the viewer control:
//
//   text     as typed and as the settings file stores it, in decimal
//   number   a port is 1..65535; anything else is no port
//   control  SetDeviceIPandPort takes a short: the number's low 16 bits,
//            signed, so 40000 travels as -25536, and the control reads the
//            16 bits back unsigned (40000 again). A long in the range of
//            either reading (-32768..65535) is taken as well.
//
// Shared by the program and the control; plain C++, no Windows.
#pragma once

#include <cstdlib>

constexpr bool IsPortNumber(long n) { return n >= 1 && n <= 65535; }

// What typed text stands for, read as the C library reads a decimal number:
// leading white space, a sign, the digits; 0 without digits, and values past
// the range of a long stop at its ends. It may lie outside 1..65535.
inline long PortNumberFromText(const char* text) { return std::strtol(text, nullptr, 10); }

// The form the program passes to SetDeviceIPandPort.
constexpr short PortToControl(long n) { return static_cast<short>(n & 0xFFFF); }

// What the control accepts as the port argument, and the port it reads.
constexpr bool IsControlPort(long value) { return value >= -32768 && value <= 65535; }
constexpr unsigned short PortFromControl(long value) { return static_cast<unsigned short>(value & 0xFFFF); }
