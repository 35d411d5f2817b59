// libFuzzer target over the settings file's text rules. Input: the first
// byte gives the address length (mod 64), then the address, then the file
// text. Besides the sanitizers' checks it compares with brute force:
//  - a found line is "IP", two characters, "=", the address, CR LF, at a
//    line start inside the first "[VELO_KEYWORDS]" section (any letter case),
//    the first such line, and its slot is the two characters converted;
//  - a cut removes exactly that line and the first "PORTnn=" line of the slot
//    in the same section, and leaves every other byte in place;
//  - integer conversion agrees with strtoll, the port rule with its words.
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
  if (ok) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

bool LineStart(const std::string& t, size_t p) { return p == 0 || t[p - 1] == '\n'; }

// Whether position p lies in the book: the last line start at or before p
// that begins with "[" is the first line of the text that begins with the
// book's header.
bool InBook(const std::string& t, size_t p) {
  size_t header = std::string::npos, owner = std::string::npos;
  for (size_t s = 0; s < t.size(); ++s) {
    if (!LineStart(t, s) || t[s] != '[') continue;
    if (header == std::string::npos && t.size() - s >= 15 && strncasecmp(&t[s], "[VELO_KEYWORDS]", 15) == 0) header = s;
    if (s <= p) owner = s;
  }
  return header != std::string::npos && owner == header && p > header;
}

bool AddressLineAt(const std::string& t, size_t b, const std::string& a) {
  return b + a.size() + 7 <= t.size() && LineStart(t, b) && InBook(t, b) && t.compare(b, 2, "IP") == 0 &&
         t[b + 4] == '=' && t.compare(b + 5, a.size(), a) == 0 && t.compare(b + 5 + a.size(), 2, "\r\n") == 0;
}

void CheckConversions(const std::string& s) {
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  Check(TextToInt(s) == (v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v), "TextToInt differs from strtoll");
  bool digits = !s.empty() && s.size() <= 10;
  for (char c : s) digits = digits && c >= '0' && c <= '9';
  Check(IsValidPort(s) == (digits && std::atoi(s.c_str()) >= 1 && std::atoi(s.c_str()) <= 65535), "IsValidPort");
  Check(ProfileInt(s) >= 0, "ProfileInt below 0");
}

void CheckFindAndCut(const std::string& text, const std::string& address) {
  size_t first = std::string::npos;
  for (size_t b = 0; b < text.size() && first == std::string::npos; ++b)
    if (AddressLineAt(text, b, address)) first = b;
  AddressLine line;
  const bool found = FindAddressLine(text, address, &line);
  Check(found == (first != std::string::npos), "found differs from brute force");
  std::string cut = text;
  int slot = -2;
  Check(CutAddressEntry(&cut, address, &slot) == found, "cut and find disagree");
  if (!found) return Check(cut == text, "refused cut changed the text");
  Check(line.begin == first && line.end == first + address.size() + 7, "line bounds");
  Check(line.slot == TextToInt(text.substr(first + 2, 2)) && slot == line.slot, "slot");

  // The port line in the original text: the first line start in the book,
  // outside the address line, where "PORTnn=" stands.
  const std::string key = PortKey(line.slot) + "=";
  size_t q = std::string::npos;
  for (size_t p = 0; p < text.size() && q == std::string::npos; ++p)
    if ((p < line.begin || p >= line.end) && (LineStart(text, p) || p == line.end) && InBook(text, p) &&
        text.compare(p, key.size(), key) == 0)
      q = p;
  std::string expected = text;
  size_t qe = q == std::string::npos ? q : text.find('\n', q);
  qe = qe == std::string::npos ? text.size() : qe + 1;
  if (q != std::string::npos && q > line.begin) expected.erase(q, qe - q);
  expected.erase(line.begin, line.end - line.begin);
  if (q != std::string::npos && q < line.begin) expected.erase(q, qe - q);
  Check(cut == expected, "cut removed other bytes than the entry's two lines");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size < 1u + data[0] % 64) return 0;
  const size_t alen = data[0] % 64;
  const std::string address(reinterpret_cast<const char*>(data + 1), alen);
  const std::string text(reinterpret_cast<const char*>(data + 1 + alen), size - 1 - alen);
  CheckConversions(address);
  CheckConversions(text.substr(0, 40));
  CheckFindAndCut(text, address);
  return 0;
}
