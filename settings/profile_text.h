// Text rules of the settings file, over plain strings. Nothing here calls
// Windows, so the rules also build and run on Linux (unit tests, fuzzing).
//
//   TextToInt         the C library's text-to-integer conversion (atoi)
//   ProfileInt        how the profile reader turns a value into an integer
//   IpKey, PortKey    the numbered key names of the address book
//   IsValidPort       what OK accepts as a port
//   kDefaultContents  the text of a newly created settings file
//   FindAddressLine   the numbered line that stores an address
//   CutAddressEntry   an entry's address and port lines taken out of the text
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace settings {

// Leading blanks are skipped; an optional sign and the decimal digits after
// it make the number; text without digits gives 0. Values beyond the int
// range stop at INT_MIN/INT_MAX instead of overflowing.
int TextToInt(const std::string& text);

// The text without the blanks (spaces and tabs) at its ends, which the
// profile reader drops from a value.
std::string TrimBlanks(const std::string& text);

// The profile reader's rule: the decimal number the value starts with, 0 when
// it does not start with a digit (so a port stored as "abc" reads as 0 and
// its slot counts as free). Saturates like TextToInt.
int ProfileInt(const std::string& value);

// Slot numbers are two digits ("%02d"), so the address book holds slots
// 00 to 99; other numbers format as printf does ("IP-1", "IP100").
constexpr int kSlotCount = 100;
std::string IpKey(int slot);             // "IP%02d"
std::string PortKey(int slot);           // "PORT%02d"
std::string PortKeyMixedCase(int slot);  // "Port%02d": the same key to the profile reader

// A port typed at OK must be a whole decimal number from 1 to 65535, written
// with digits only and at most five of them.
bool IsValidPort(const std::string& text);

// The ten lines a new settings file gets: CR LF after the first nine, none
// after the last, 151 bytes in all.
extern const char kDefaultContents[];
constexpr std::size_t kDefaultContentsSize = 151;

// Where an address is stored: the line "IPnn=<address>" CR LF, with the
// "IP" at the start of a line. [begin, end) covers the whole line with its
// CR LF; slot is nn converted with TextToInt ("07" gives 7, "x1" gives 0).
struct AddressLine {
  std::size_t begin = 0;
  std::size_t end = 0;
  int slot = -1;
};

// Which slots may count: a file can hold the same numbered key twice, and
// only the slot whose key the profile reader really sees holds the entry.
using SlotFilter = std::function<bool(int slot)>;

// Finds the first line of the address book that stores exactly this address
// (case matters, the whole value must match) in a slot the filter accepts
// (any, without one). The book is the section "[VELO_KEYWORDS]" (its header
// in any letter case, as the profile functions read it), from its header to
// the next line that starts with "["; numbered lines of other sections, such
// as the control's own, are never an entry. False when there is none.
bool FindAddressLine(const std::string& text, const std::string& address, AddressLine* line,
                     const SlotFilter& accept = nullptr);

// Takes the address's line out of the text, then the first line of the book
// that starts with "PORTnn=" for the same slot (up to and including its line end; a last
// line without a line end is taken to the end of the text). Every other byte
// stays as it was. False, with the text unchanged, when the address has no
// line. *slot (optional) receives the entry's slot.
bool CutAddressEntry(std::string* text, const std::string& address, int* slot = nullptr,
                     const SlotFilter& accept = nullptr);

}  // namespace settings
