// libFuzzer target over the settings file's text rules. Input: the first byte
// gives the address length (mod 64), then the address, then the file text.
// Besides the sanitizers' checks it compares with brute force: a found line is
// "IP", two characters, "=", the address, CR LF at a line start inside the
// first "[VELO_KEYWORDS]" section (any letter case), the first such line, with
// the two characters converted as its slot; a cut removes exactly that line
// and the slot's first "PORTnn=" line of the section; integer conversion
// agrees with strtoll.
#include <strings.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/profile_text.h"

using namespace settings;

namespace {

void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "property broken: %s\n", what), std::abort();
}

bool LineStart(const std::string& t, size_t p) { return p == 0 || t[p - 1] == '\n'; }

// p lies in the book: the last line at or before p that starts with "[" is the
// first line of the text that starts with the book's header.
bool InBook(const std::string& t, size_t p) {
  size_t header = std::string::npos, owner = std::string::npos;
  for (size_t s = 0; s < t.size(); ++s) {
    if (!LineStart(t, s) || t[s] != '[') continue;
    if (header == std::string::npos && strncasecmp(t.c_str() + s, "[VELO_KEYWORDS]", 15) == 0) header = s;
    if (s <= p) owner = s;
  }
  return header != std::string::npos && owner == header && p > header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size < 1u + data[0] % 64) return 0;
  const std::string a(reinterpret_cast<const char*>(data + 1), data[0] % 64);
  const std::string t(reinterpret_cast<const char*>(data + 1 + a.size()), size - 1 - a.size());
  const long long v = std::strtoll(a.c_str(), nullptr, 10);
  Check(TextToInt(a) == (v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v), "TextToInt differs from strtoll");

  size_t b = 0;  // the first address line, by brute force
  while (b < t.size() &&
         !(b + a.size() + 7 <= t.size() && LineStart(t, b) && InBook(t, b) && t.compare(b, 2, "IP") == 0 &&
           t[b + 4] == '=' && t.compare(b + 5, a.size(), a) == 0 && t.compare(b + 5 + a.size(), 2, "\r\n") == 0))
    ++b;
  AddressLine line;
  const bool found = FindAddressLine(t, a, &line);
  Check(found == (b < t.size()), "found differs from brute force");
  std::string cut = t;
  int slot = -2;
  Check(CutAddressEntry(&cut, a, &slot) == found, "cut and find disagree");
  if (!found) return Check(cut == t, "refused cut changed the text"), 0;
  Check(line.begin == b && line.end == b + a.size() + 7, "line bounds");
  Check(line.slot == TextToInt(t.substr(b + 2, 2)) && slot == line.slot, "slot");

  // The port line: the first line start of the book outside the address line
  // where "PORTnn=" stands, cut up to its LF (or the end).
  const std::string key = PortKey(line.slot) + "=";
  size_t q = 0;
  while (q < t.size() &&
         !((q < line.begin || q >= line.end) && LineStart(t, q) && InBook(t, q) && t.compare(q, key.size(), key) == 0))
    ++q;
  std::string expected = t;
  const size_t qe = q < t.size() && t.find('\n', q) != std::string::npos ? t.find('\n', q) + 1 : t.size();
  if (q < t.size() && q > line.begin) expected.erase(q, qe - q);
  expected.erase(line.begin, line.end - line.begin);
  if (q < t.size() && q < line.begin) expected.erase(q, qe - q);
  Check(cut == expected, "cut removed other bytes than the entry's two lines");
  return 0;
}
