// libFuzzer target over the settings file's text rules. Input: the first
// byte gives the address length (mod 64), then the address, then the file
// text. Besides the sanitizers' checks (no access out of bounds, no
// undefined behaviour) it checks, against plain brute-force definitions:
//  - a found line really is "IP", two characters, "=", the address, CR LF,
//    at the start of a line, it is the first such line, and its slot is the
//    two characters converted; when nothing is found there is no such line;
//  - cutting an entry removes exactly its address line and the first
//    "PORTnn=" line of its slot and leaves every other byte in place;
//  - integer conversion agrees with strtoll, the port rule with its words.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/profile_text.h"

using namespace settings;

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

bool LineStart(const std::string& t, size_t p) { return p == 0 || t[p - 1] == '\n'; }

// "IPcc=<address>\r\n" starting at b, at a line start.
bool IsAddressLineAt(const std::string& t, size_t b, const std::string& address) {
  const size_t len = 5 + address.size() + 2;
  return b + len <= t.size() && LineStart(t, b) && t[b] == 'I' && t[b + 1] == 'P' && t[b + 4] == '=' &&
         t.compare(b + 5, address.size(), address) == 0 && t[b + 5 + address.size()] == '\r' &&
         t[b + 6 + address.size()] == '\n';
}

int ReferenceAtoi(const std::string& s) {
  long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

void CheckConversions(const std::string& s) {
  if (TextToInt(s) != ReferenceAtoi(s)) Fail("TextToInt differs from strtoll");
  bool digitsOnly = !s.empty() && s.size() <= 10;
  for (char c : s) digitsOnly = digitsOnly && c >= '0' && c <= '9';
  const bool valid = digitsOnly && std::atoi(s.c_str()) >= 1 && std::atoi(s.c_str()) <= 65535;
  if (IsValidPort(s) != valid) Fail("IsValidPort");
  if (ProfileInt(s) < 0) Fail("ProfileInt below 0");
}

void CheckFindAndCut(const std::string& text, const std::string& address) {
  // Brute force: the first position where an address line stands.
  size_t first = std::string::npos;
  for (size_t b = 0; b < text.size() && first == std::string::npos; ++b)
    if (IsAddressLineAt(text, b, address)) first = b;

  AddressLine line;
  const bool found = FindAddressLine(text, address, &line);
  if (found != (first != std::string::npos)) Fail("found differs from brute force");

  std::string cut = text;
  int slot = -2;
  const bool cutDone = CutAddressEntry(&cut, address, &slot);
  if (cutDone != found) Fail("cut and find disagree");
  if (!found) {
    if (cut != text) Fail("refused cut changed the text");
    return;
  }
  if (line.begin != first || line.end != first + address.size() + 7) Fail("line bounds");
  if (line.slot != TextToInt(text.substr(first + 2, 2)) || slot != line.slot) Fail("slot");

  // The port line, in the original text: the first line start outside the
  // address line where "PORTnn=" stands.
  const std::string key = PortKey(line.slot) + "=";
  size_t q = std::string::npos;
  for (size_t p = 0; p < text.size() && q == std::string::npos; ++p) {
    if (p >= line.begin && p < line.end) continue;
    if ((LineStart(text, p) || p == line.end) && text.compare(p, key.size(), key) == 0) q = p;
  }
  std::string expected = text;
  if (q != std::string::npos) {
    size_t lf = text.find('\n', q);
    size_t qe = lf == std::string::npos ? text.size() : lf + 1;
    if (q < line.begin && qe > line.begin) Fail("port line overlaps the address line");
    if (q > line.begin) {
      expected.erase(q, qe - q);
      expected.erase(line.begin, line.end - line.begin);
    } else {
      expected.erase(line.begin, line.end - line.begin);
      expected.erase(q, qe - q);
    }
  } else {
    expected.erase(line.begin, line.end - line.begin);
  }
  if (cut != expected) Fail("cut removed other bytes than the entry's two lines");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t alen = data[0] % 64;
  if (size < 1 + alen) return 0;
  const std::string address(reinterpret_cast<const char*>(data + 1), alen);
  const std::string text(reinterpret_cast<const char*>(data + 1 + alen), size - 1 - alen);

  CheckConversions(address);
  CheckConversions(text.substr(0, 40));
  CheckFindAndCut(text, address);

  const int slot = TextToInt(address);
  char buf[32];
  std::snprintf(buf, sizeof(buf), "IP%02d", slot);
  if (IpKey(slot) != buf) Fail("IpKey");
  return 0;
}
