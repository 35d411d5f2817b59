// Entry points of system libraries that only a rarely used part of the
// program needs (the file dialog, mouse tracking). Loading them when first
// used keeps them, and what they pull in, out of every start.
#pragma once

#include <windows.h>

// The entry point `name` of `library`, loaded from the system directory on
// first use and kept for the life of the process; null when missing.
FARPROC GetSystemProc(const char* library, const char* name);

// Cast once to a function type that names its calling convention.
template <typename Fn>
Fn SystemProc(const char* library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetSystemProc(library, name)));
}
