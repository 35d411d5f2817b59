// Developer trace: a line for the debugger through OutputDebugString, which
// Wine prints under WINEDEBUG=+debugstr. The operator never sees it. Used
// where a failure is ignored on purpose and in stubs that do nothing, as
// Wine's own FIXME lines are; the format ends with "\n" like theirs.
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
