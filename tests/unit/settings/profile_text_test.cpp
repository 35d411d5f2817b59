// The settings file's text rules, natively. The fuzz target checks finding
// and cutting against brute force on any text; these rows pin the named cases.
#include "settings/profile_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

using namespace settings;

TEST(ProfileText, NumbersKeysPortsAndBlanks) {
  // {text, TextToInt, ProfileInt}: the profile reader takes no blanks or sign.
  using R = std::tuple<const char*, int, int>;
  for (auto [text, number, profile] :
       {R(" \t\r\n42abc", 42, 0), R("-7x", -7, 0), R("+5", 5, 0), R("07", 7, 7), R("x1", 0, 0), R("5000x", 5000, 5000),
        R("-2147483648", INT_MIN, 0), R("99999999999999999999", INT_MAX, INT_MAX),
        R("-99999999999999999999", INT_MIN, 0)}) {
    EXPECT_EQ(number, TextToInt(text)) << text;
    EXPECT_EQ(profile, ProfileInt(text)) << text;
  }
  EXPECT_EQ("IP07 IP100 PORT-1 Port12", IpKey(7) + " " + IpKey(100) + " " + PortKey(-1) + " " + PortKeyMixedCase(12));
  EXPECT_EQ("a b", TrimBlanks(" \ta b \t"));
  for (const char* ok : {"1", "65535", "08000", "0000065535"}) EXPECT_TRUE(IsValidPort(ok)) << ok;
  for (const char* bad : {"", "0", "65536", "00000000080", " 80", "+80", "8o", "80\r\n"})
    EXPECT_FALSE(IsValidPort(bad)) << bad;
}

TEST(ProfileText, DefaultContents) {
  EXPECT_EQ(std::string("[Language]\r\nLang=0\r\n[WINDOW_COUNT]\r\nwnd_count=0\r\n[Path]\r\n"
                        "Videopath=c:\\DVR\\backup\\\r\nFramepath=c:\\DVR\\capture\\\r\nFilepath=c:\\DVR\\\r\n"
                        "[Delete]\r\nIsDelete=1033"),
            std::string(kDefaultContents, kDefaultContentsSize));
}

TEST(ProfileText, FindAndCutAnEntry) {
  const std::string b = "[VELO_KEYWORDS]\r\n";
  const std::string f = std::string(kDefaultContents) + "\r\n" + b + "COUNT=2\r\nIP00=192.168.1.10\r\nPORT00=5000\r\n" +
                        "INDEX=1\r\nIP01=10.0.0.7\r\nPORT01=34567\r\n[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n";
  struct Row {
    std::string text, address;
    int slot;           // -1: not found, and the cut leaves the text alone
    std::string after;  // the text after the cut
  };
  // The other named cases (prefixes, letter case, LF-only lines, zero bytes,
  // odd slots...) are seeds of the fuzz target, checked against brute force.
  const Row rows[] = {
      {f, "192.168.1.10", 0,
       std::string(kDefaultContents) + "\r\n" + b + "COUNT=2\r\nINDEX=1\r\nIP01=10.0.0.7\r\nPORT01=34567\r\n" +
           "[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n"},
      {f, "0", -1, ""},  // Lang=0, COUNT, INDEX and the login line are no entries
      {f, "2", -1, ""},
      {b + "IP00=x\r\nIP01=yPORT00=1\r\nPORT00=5\r\nk=2\r\n", "x", 0, b + "IP01=yPORT00=1\r\nk=2\r\n"},
      // Only the book's own lines: from its header (any letter case) to the next section.
      {"[DvrOcx]\r\nIP00=a\r\nPORT00=1\r\n" + b + "IP01=a\r\nPORT01=2\r\n", "a", 1,
       "[DvrOcx]\r\nIP00=a\r\nPORT00=1\r\n" + b},
      {b + "IP00=a\r\n[DvrOcx]\r\nIP01=b\r\nPORT01=1\r\n", "b", -1, ""},
      {b + "IP00=a\r\n[DvrOcx]\r\nPORT00=1\r\n", "a", 0, b + "[DvrOcx]\r\nPORT00=1\r\n"},
      {"[velo_keywords]\r\nIP02=a\r\n", "a", 2, "[velo_keywords]\r\n"},
      {"IP00=a\r\n", "a", -1, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("'" + r.address + "' in " + r.text);
    AddressLine line;
    EXPECT_EQ(r.slot, FindAddressLine(r.text, r.address, &line) ? line.slot : -1);
    std::string cut = r.text;
    int slot = -2;
    EXPECT_EQ(r.slot >= 0, CutAddressEntry(&cut, r.address, &slot));
    EXPECT_EQ(r.slot >= 0 ? r.after : r.text, cut);
    if (r.slot >= 0) EXPECT_EQ(r.slot, slot);
  }
  // A slot the filter refuses is passed over.
  AddressLine line;
  ASSERT_TRUE(FindAddressLine(b + "IP04=a\r\nIP02=a\r\n", "a", &line, [](int slot) { return slot != 4; }));
  EXPECT_EQ(2, line.slot);
}
