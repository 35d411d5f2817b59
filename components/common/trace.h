// Developer trace: a line for the debugger through OutputDebugString, which
// Wine prints under WINEDEBUG=+debugstr; the operator never sees it. Like
// Wine's FIXME, it marks failures ignored on purpose and stubs, and its
// format ends with "\n". Shared by the program and the viewer control.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

inline void __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2))) Trace(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  ::OutputDebugStringA(line);
}

// A method the program does not offer: traced, and E_NOTIMPL to the caller.
inline HRESULT NotImplemented(const char* method) {
  Trace("%s: not implemented\n", method);
  return E_NOTIMPL;
}

// A call whose failure is passed over on purpose: a failure is traced.
inline void TraceFailure(HRESULT hr, const char* call) {
  if (FAILED(hr)) Trace("%s failed (0x%08lX)\n", call, static_cast<unsigned long>(hr));
}
