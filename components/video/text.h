// The text rules the stream formats share: letter case and blanks as the
// protocols mean them (ASCII only, whatever the locale).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace video {

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when text from at on begins with prefix, letter case aside.
inline bool StartsWithNoCase(const std::string& text, size_t at, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i)
    if (at + i >= text.size() || Lower(text[at + i]) != Lower(prefix[i])) return false;
  return true;
}
inline bool EqualsNoCase(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && StartsWithNoCase(a, 0, b);
}
// s without the blanks around it.
inline std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace video
