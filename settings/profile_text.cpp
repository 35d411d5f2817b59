#include "settings/profile_text.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "components/common/port.h"
#include "components/common/settings_file.h"

namespace settings {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Digits from text[i] on, with the sign already read. Saturates so that a
// hand-edited "99999999999" cannot overflow.
int DigitsToInt(const std::string& text, std::size_t i, bool negative) {
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

std::string FormatKey(const char* format, int slot) {
  char buf[200];
  std::snprintf(buf, sizeof(buf), format, slot);
  return buf;
}

// A line starts at the start of the text and after every LF.
bool StartsLine(const std::string& text, std::size_t pos) { return pos == 0 || text[pos - 1] == '\n'; }

std::size_t NextLine(const std::string& text, std::size_t pos) {
  std::size_t lf = text.find('\n', pos);
  return lf == std::string::npos ? text.size() : lf + 1;
}

// The lines of the address book: [*begin, *end) from the line after the first
// "[VELO_KEYWORDS]" header to the next line that starts a section. Both are
// the text's end when there is no header.
void FindBook(const std::string& text, std::size_t* begin, std::size_t* end) {
  static const char kHeader[] = "[" VELO_SECTION_BOOK "]";
  const std::size_t n = sizeof(kHeader) - 1;
  *begin = *end = text.size();
  for (std::size_t pos = 0; pos < text.size(); pos = NextLine(text, pos)) {
    if (text[pos] != '[') continue;
    if (*begin < text.size()) {
      *end = pos;
      return;
    }
    bool header = text.size() - pos >= n;
    for (std::size_t i = 0; header && i < n; ++i)
      header = std::toupper(static_cast<unsigned char>(text[pos + i])) == kHeader[i];
    if (header) *begin = NextLine(text, pos);
  }
}

}  // namespace

int TextToInt(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return DigitsToInt(text, i, negative);
}

int ProfileInt(const std::string& value) { return DigitsToInt(value, 0, false); }

std::string IpKey(int slot) { return FormatKey(VELO_KEY_IP "%02d", slot); }
std::string PortKey(int slot) { return FormatKey(VELO_KEY_PORT "%02d", slot); }
std::string PortKeyMixedCase(int slot) { return FormatKey("Port%02d", slot); }

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsValidPort(const std::string& text) {
  // Digits only: a port stored as "80a" or " 80" would reach the recorder as
  // something other than what the operator sees, and one that does not start
  // with a digit reads as 0, which marks its slot as free for the next new
  // address. Leading zeros are fine ("000080" is port 80), but not without
  // end: the profile reader gives up on very long numbers, reading
  // "0000000000000000000000080" as 0.
  if (text.empty() || text.size() > 10) return false;
  for (char c : text)
    if (!IsDigit(c)) return false;
  int port = ProfileInt(text);
  return IsPortNumber(port);
}

const char kDefaultContents[] = "[" VELO_SECTION_LANGUAGE "]\r\n" VELO_KEY_LANGUAGE
                                "=0\r\n"
                                "[" VELO_SECTION_WINDOW_COUNT "]\r\n" VELO_KEY_WINDOW_COUNT
                                "=0\r\n"
                                "[Path]\r\n"
                                "Videopath=c:\\DVR\\backup\\\r\n"
                                "Framepath=c:\\DVR\\capture\\\r\n"
                                "Filepath=c:\\DVR\\\r\n"
                                "[Delete]\r\n"
                                "IsDelete=1033";
static_assert(sizeof(kDefaultContents) - 1 == kDefaultContentsSize, "the default file is 151 bytes");

bool FindAddressLine(const std::string& text, const std::string& address, AddressLine* line, const SlotFilter& accept) {
  // Only a whole value matches: "=" before the address and CR LF after it,
  // so 10.0.0.1 does not match the line IP03=10.0.0.12.
  std::size_t first = 0, last = 0;
  FindBook(text, &first, &last);
  const std::string needle = "=" + address + "\r\n";
  for (std::size_t pos = text.find(needle, first); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
    // The line must be "IPnn=": four characters before the "=" that exist
    // (a value at the very start of the book has none to look at) and that
    // begin a line of the book. Lang=0, COUNT=1, the login "IP=" line or an address
    // that itself holds "IP07=" are passed over.
    if (pos < first + 4) continue;
    std::size_t begin = pos - 4;
    if (begin >= last) break;
    if (text[begin] != 'I' || text[begin + 1] != 'P' || !StartsLine(text, begin)) continue;
    const int slot = TextToInt(text.substr(pos - 2, 2));
    if (accept && !accept(slot)) continue;
    if (line) {
      line->begin = begin;
      line->end = pos + needle.size();
      line->slot = slot;
    }
    return true;
  }
  return false;
}

bool CutAddressEntry(std::string* text, const std::string& address, int* slot, const SlotFilter& accept) {
  AddressLine found;
  if (!FindAddressLine(*text, address, &found, accept)) return false;
  if (slot) *slot = found.slot;
  text->erase(found.begin, found.end - found.begin);

  // The port line is looked for only where a line starts, so a value that
  // happens to hold "PORT00=" is never cut into. Its line ends at the next
  // LF; when it is the last line and has no line end it runs to the end of
  // the text (cutting to some later line end would take the next line too).
  std::size_t first = 0, last = 0;
  FindBook(*text, &first, &last);
  const std::string needle = PortKey(found.slot) + "=";
  for (std::size_t pos = text->find(needle, first); pos != std::string::npos && pos < last;
       pos = text->find(needle, pos + 1)) {
    if (!StartsLine(*text, pos)) continue;
    std::size_t lf = text->find('\n', pos);
    std::size_t end = lf == std::string::npos ? text->size() : lf + 1;
    text->erase(pos, end - pos);
    break;
  }
  return true;
}

}  // namespace settings
