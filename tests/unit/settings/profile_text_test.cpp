// The text rules of the settings file, natively: conversions, key names, the
// port rule, the default contents, and finding and cutting address-book
// entries in a file's raw text.
#include "settings/profile_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>

using namespace settings;

namespace {

// Joins lines, each ended with CR LF (or the given line end).
std::string Lines(std::initializer_list<const char*> lines, const char* eol = "\r\n") {
  std::string s;
  for (const char* l : lines) s += std::string(l) + eol;
  return s;
}

// The worked example's file after two OKs (192.168.1.10:5000, 10.0.0.7:34567).
std::string FileF() {
  return std::string(kDefaultContents) + "\r\n" +
         Lines({"[VELO_KEYWORDS]", "COUNT=2", "IP00=192.168.1.10", "PORT00=5000", "INDEX=1", "IP01=10.0.0.7",
                "PORT01=34567", "[LOGIN_ADDRESS]", "IP=10.0.0.7"});
}

int Slot(const std::string& text, const std::string& address) {
  AddressLine line;
  return FindAddressLine(text, address, &line) ? line.slot : -1;
}

// Cuts and returns the result; "<not found>" when the cut refused (and then
// checks the text stayed as it was).
std::string Cut(std::string text, const std::string& address) {
  const std::string before = text;
  if (!CutAddressEntry(&text, address)) {
    EXPECT_EQ(before, text) << "a refused cut changed the text";
    return "<not found>";
  }
  return text;
}

}  // namespace

TEST(TextToInt, FollowsTheCLibrary) {
  EXPECT_EQ(0, TextToInt(""));
  EXPECT_EQ(42, TextToInt("42"));
  EXPECT_EQ(42, TextToInt(" \t\r\n42abc"));
  EXPECT_EQ(-7, TextToInt("-7x"));
  EXPECT_EQ(5, TextToInt("+5"));
  EXPECT_EQ(7, TextToInt("07"));
  EXPECT_EQ(0, TextToInt("x1"));
  EXPECT_EQ(0, TextToInt("-"));
  EXPECT_EQ(0, TextToInt("- 1"));
  EXPECT_EQ(-1, TextToInt("-1"));
  EXPECT_EQ(INT_MAX, TextToInt("2147483647"));
  EXPECT_EQ(INT_MIN, TextToInt("-2147483648"));
  EXPECT_EQ(INT_MAX, TextToInt("99999999999999999999999"));
  EXPECT_EQ(INT_MIN, TextToInt("-99999999999999999999999"));
}

TEST(ProfileInt, DigitsAtTheStartOrZero) {
  EXPECT_EQ(5000, ProfileInt("5000"));
  EXPECT_EQ(5000, ProfileInt("5000x"));
  EXPECT_EQ(0, ProfileInt("0"));
  EXPECT_EQ(0, ProfileInt(""));
  EXPECT_EQ(0, ProfileInt("abc"));
  EXPECT_EQ(0, ProfileInt("x5000"));
  EXPECT_EQ(0, ProfileInt("-1"));
  EXPECT_EQ(INT_MAX, ProfileInt("99999999999"));
}

TEST(Keys, TwoDigitSlots) {
  EXPECT_EQ("IP00", IpKey(0));
  EXPECT_EQ("IP07", IpKey(7));
  EXPECT_EQ("IP99", IpKey(99));
  EXPECT_EQ("IP100", IpKey(100));
  EXPECT_EQ("IP-1", IpKey(-1));
  EXPECT_EQ("PORT05", PortKey(5));
  EXPECT_EQ("PORT-1", PortKey(-1));
  EXPECT_EQ("Port12", PortKeyMixedCase(12));
}

TEST(IsValidPort, DigitsOnlyFrom1To65535) {
  for (const char* ok : {"1", "80", "5000", "34567", "65535", "00080", "08000", "000080", "0000065535"})
    EXPECT_TRUE(IsValidPort(ok)) << ok;
  for (const char* bad : {"", "0", "00000", "65536", "70000", "99999", "123456", "00000000080", " 80", "80 ", "+80",
                          "-1", "8o", "abc", "0x50", "80\r\n"})
    EXPECT_FALSE(IsValidPort(bad)) << bad;
}

TEST(TrimBlanks, OnlyTheEnds) {
  EXPECT_EQ("10.0.0.1", TrimBlanks("  10.0.0.1\t "));
  EXPECT_EQ("a b", TrimBlanks(" a b "));
  EXPECT_EQ("", TrimBlanks(" \t "));
  EXPECT_EQ("x", TrimBlanks("x"));
}

TEST(DefaultContents, TenLinesNoFinalLineEnd) {
  const std::string text(kDefaultContents);
  EXPECT_EQ(151u, text.size());
  EXPECT_EQ(Lines({"[Language]", "Lang=0", "[WINDOW_COUNT]", "wnd_count=0", "[Path]", "Videopath=c:\\DVR\\backup\\",
                   "Framepath=c:\\DVR\\capture\\", "Filepath=c:\\DVR\\", "[Delete]"}) +
                "IsDelete=1033",
            text);
}

TEST(FindAddressLine, WorkedExample) {
  const std::string f = FileF();
  AddressLine line;
  ASSERT_TRUE(FindAddressLine(f, "192.168.1.10", &line));
  EXPECT_EQ(0, line.slot);
  EXPECT_EQ("IP00=192.168.1.10\r\n", f.substr(line.begin, line.end - line.begin));
  // The login line IP=10.0.0.7 comes later and fails the "IP" test anyway.
  ASSERT_TRUE(FindAddressLine(f, "10.0.0.7", &line));
  EXPECT_EQ(1, line.slot);
  EXPECT_EQ("IP01=10.0.0.7\r\n", f.substr(line.begin, line.end - line.begin));
}

TEST(FindAddressLine, OnlyWholeValuesOfNumberedLines) {
  // Prefix addresses, in both orders of storing.
  const std::string a = Lines({"[VELO_KEYWORDS]", "IP00=10.0.0.1", "PORT00=1", "IP01=10.0.0.12", "PORT01=2"});
  const std::string b = Lines({"[VELO_KEYWORDS]", "IP00=10.0.0.12", "PORT00=1", "IP01=10.0.0.1", "PORT01=2"});
  EXPECT_EQ(0, Slot(a, "10.0.0.1"));
  EXPECT_EQ(1, Slot(a, "10.0.0.12"));
  EXPECT_EQ(1, Slot(b, "10.0.0.1"));
  EXPECT_EQ(0, Slot(b, "10.0.0.12"));
  EXPECT_EQ(-1, Slot(a, "10.0.0."));

  // Values of other keys: Lang=0, IsDelete=1033, COUNT=2, the login and the
  // unnumbered "IP" lines.
  std::string f = FileF() + Lines({"[VELO_KEYWORDS]", "IP=172.16.0.1"});
  for (const char* other : {"0", "1033", "2", "1", "172.16.0.1", "c:\\DVR\\"}) EXPECT_EQ(-1, Slot(f, other)) << other;
  f += Lines({"IP05=0", "IP06=1033"});
  EXPECT_EQ(5, Slot(f, "0"));
  EXPECT_EQ(6, Slot(f, "1033"));

  // Case matters.
  const std::string host = Lines({"IP03=DVR.local"});
  EXPECT_EQ(3, Slot(host, "DVR.local"));
  EXPECT_EQ(-1, Slot(host, "dvr.local"));
  EXPECT_EQ(-1, Slot(host, "DVR.LOCAL"));
}

TEST(FindAddressLine, LineForms) {
  // Slot digits convert as text: "07" is 7; two characters that do not start
  // with a digit give 0.
  EXPECT_EQ(7, Slot(Lines({"IP07=a"}), "a"));
  EXPECT_EQ(0, Slot(Lines({"IPx1=a"}), "a"));
  // A line without its CR LF (the file's last line, or LF-only line ends).
  EXPECT_EQ(-1, Slot("[VELO_KEYWORDS]\r\nIP00=10.0.0.1", "10.0.0.1"));
  EXPECT_EQ(-1, Slot(Lines({"[VELO_KEYWORDS]", "IP00=10.0.0.1", "PORT00=1"}, "\n"), "10.0.0.1"));
  // The "IP" must start a line: not a key that ends in IPnn, not an
  // address that itself holds "IP05=".
  EXPECT_EQ(-1, Slot(Lines({"XIP00=a"}), "a"));
  EXPECT_EQ(-1, Slot(Lines({"IP03=xIP05=b"}), "b"));
  EXPECT_EQ(3, Slot(Lines({"IP03=xIP05=b"}), "xIP05=b"));
  // A match too near the start of the text to have "IPnn" before it is
  // passed over, and the search goes on.
  EXPECT_EQ(-1, Slot("=a\r\n", "a"));
  EXPECT_EQ(-1, Slot("P0=a\r\n", "a"));
  EXPECT_EQ(1, Slot("0=a\r\nIP01=a\r\n", "a"));
  EXPECT_EQ(0, Slot("IP00=a\r\n", "a"));
  // The first numbered line wins; later duplicates are not looked at.
  EXPECT_EQ(4, Slot(Lines({"IP04=a", "IP02=a"}), "a"));
  // Bytes after a zero byte are text like any other.
  EXPECT_EQ(9, Slot(std::string("x\0y\r\n", 5) + "IP09=a\r\n", "a"));
}

TEST(CutAddressEntry, WorkedExampleDelete) {
  const std::string expected = std::string(kDefaultContents) + "\r\n" +
                               Lines({"[VELO_KEYWORDS]", "COUNT=2", "INDEX=1", "IP01=10.0.0.7", "PORT01=34567",
                                      "[LOGIN_ADDRESS]", "IP=10.0.0.7"});
  std::string text = FileF();
  int slot = -1;
  ASSERT_TRUE(CutAddressEntry(&text, "192.168.1.10", &slot));
  EXPECT_EQ(0, slot);
  EXPECT_EQ(expected, text);
}

TEST(CutAddressEntry, PrefixAddressesCutOnlyTheirOwnLines) {
  const std::string a = Lines({"[V]", "IP00=10.0.0.1", "PORT00=1", "IP01=10.0.0.12", "PORT01=2"});
  EXPECT_EQ(Lines({"[V]", "IP01=10.0.0.12", "PORT01=2"}), Cut(a, "10.0.0.1"));
  EXPECT_EQ(Lines({"[V]", "IP00=10.0.0.1", "PORT00=1"}), Cut(a, "10.0.0.12"));
  const std::string b = Lines({"[V]", "IP00=10.0.0.12", "PORT00=1", "IP01=10.0.0.1", "PORT01=2"});
  EXPECT_EQ(Lines({"[V]", "IP00=10.0.0.12", "PORT00=1"}), Cut(b, "10.0.0.1"));
  EXPECT_EQ(Lines({"[V]", "IP01=10.0.0.1", "PORT01=2"}), Cut(b, "10.0.0.12"));
}

TEST(CutAddressEntry, PortLines) {
  // The port line may stand anywhere, before or after the address line.
  EXPECT_EQ(Lines({"a=1", "b=2"}), Cut(Lines({"PORT03=9", "a=1", "IP03=x", "b=2"}), "x"));
  // The last line without a line end is cut to the end of the text.
  EXPECT_EQ(Lines({"[V]", "a=1"}), Cut(Lines({"[V]", "IP00=x", "a=1"}) + "PORT00=5", "x"));
  // Only where a line starts: a value holding "PORT00=" is not cut into.
  EXPECT_EQ(Lines({"IP01=yPORT00=1", "k=2"}), Cut(Lines({"IP00=x", "IP01=yPORT00=1", "PORT00=5", "k=2"}), "x"));
  // No port line: only the address line goes.
  EXPECT_EQ(Lines({"[V]", "PORT01=5"}), Cut(Lines({"[V]", "IP00=x", "PORT01=5"}), "x"));
  // Only the first port line of the slot goes.
  EXPECT_EQ(Lines({"PORT00=6"}), Cut(Lines({"IP00=x", "PORT00=5", "PORT00=6"}), "x"));
  // A port line ended by LF alone takes nothing of the next line.
  EXPECT_EQ("IP01=y\r\n", Cut("IP00=x\r\nPORT00=5\nIP01=y\r\n", "x"));
  // Lower-case "Port00=" is a different text.
  EXPECT_EQ(Lines({"Port00=5"}), Cut(Lines({"IP00=x", "Port00=5"}), "x"));
}

TEST(CutAddressEntry, RefusesWithoutALine) {
  EXPECT_EQ("<not found>", Cut(FileF(), "0"));
  EXPECT_EQ("<not found>", Cut(FileF(), "1033"));
  EXPECT_EQ("<not found>", Cut(FileF(), "10.0.0."));
  EXPECT_EQ("<not found>", Cut(FileF(), ""));
  EXPECT_EQ("<not found>", Cut("[V]\r\nIP00=x", "x"));
  EXPECT_EQ("<not found>", Cut("", "x"));
}

TEST(CutAddressEntry, KeepsEveryOtherByte) {
  // Zero bytes, mixed line ends and text far beyond 5000 bytes stay in place.
  std::string head = std::string("[A]\nk=\0v\r\n", 10);
  std::string tail;
  for (int i = 0; i < 400; ++i) tail += "PAD" + std::to_string(i) + "=some value\r\n";
  std::string text = head + Lines({"IP42=10.1.1.1", "X=1"}) + tail + "PORT42=8000\r\n" + tail;
  ASSERT_GT(text.size(), 10000u);
  EXPECT_EQ(head + "X=1\r\n" + tail + tail, Cut(text, "10.1.1.1"));
}
