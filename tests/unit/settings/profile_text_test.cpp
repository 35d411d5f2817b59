// The settings file's text rules, natively. The fuzz target checks finding
// and cutting against brute force on any text; these rows pin the named cases.
#include "settings/profile_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace settings;

TEST(ProfileText, NumbersKeysAndBlanks) {
  struct Row {
    const char* text;
    int toInt, profile;
  };
  for (const Row& r : {Row{"", 0, 0}, Row{"42", 42, 42}, Row{" \t\r\n42abc", 42, 0}, Row{"-7x", -7, 0},
                       Row{"+5", 5, 0}, Row{"07", 7, 7}, Row{"x1", 0, 0}, Row{"- 1", 0, 0}, Row{"5000x", 5000, 5000},
                       Row{"2147483647", INT_MAX, INT_MAX}, Row{"-2147483648", INT_MIN, 0},
                       Row{"99999999999999999999", INT_MAX, INT_MAX}, Row{"-99999999999999999999", INT_MIN, 0}}) {
    EXPECT_EQ(r.toInt, TextToInt(r.text)) << r.text;
    EXPECT_EQ(r.profile, ProfileInt(r.text)) << r.text;
  }
  EXPECT_EQ("IP07", IpKey(7));
  EXPECT_EQ("IP100", IpKey(100));
  EXPECT_EQ("PORT-1", PortKey(-1));
  EXPECT_EQ("Port12", PortKeyMixedCase(12));
  EXPECT_EQ("a b", TrimBlanks(" \ta b \t"));
  EXPECT_EQ("", TrimBlanks(" \t "));
}

TEST(ProfileText, PortRule) {
  for (const char* ok : {"1", "80", "65535", "08000", "0000065535"}) EXPECT_TRUE(IsValidPort(ok)) << ok;
  for (const char* bad : {"", "0", "00000", "65536", "70000", "123456", "00000000080", " 80", "80 ", "+80", "-1", "8o",
                          "0x50", "80\r\n"})
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
  const std::string prefix = b + "IP00=10.0.0.1\r\nPORT00=1\r\nIP01=10.0.0.12\r\nPORT01=2\r\n";
  struct Row {
    std::string text, address;
    int slot;           // -1: not found, and the cut leaves the text alone
    std::string after;  // the text after the cut
  };
  const Row rows[] = {
      {f, "192.168.1.10", 0,
       std::string(kDefaultContents) + "\r\n" + b + "COUNT=2\r\nINDEX=1\r\nIP01=10.0.0.7\r\nPORT01=34567\r\n" +
           "[LOGIN_ADDRESS]\r\nIP=10.0.0.7\r\n"},
      {f, "0", -1, ""},  // Lang=0, COUNT, INDEX and the login line are no entries
      {f, "2", -1, ""},
      {f, "", -1, ""},
      {prefix, "10.0.0.1", 0, b + "IP01=10.0.0.12\r\nPORT01=2\r\n"},
      {prefix, "10.0.0.12", 1, b + "IP00=10.0.0.1\r\nPORT00=1\r\n"},
      {prefix, "10.0.0.", -1, ""},
      {b + "IP03=DVR.local\r\n", "dvr.local", -1, ""},
      {b + "XIP00=a\r\n", "a", -1, ""},
      {b + "IP03=xIP05=b\r\n", "b", -1, ""},
      {b + "IP03=xIP05=b\r\n", "xIP05=b", 3, b},
      {b + "IPx1=a\r\nPORT00=1\r\n", "a", 0, b},
      {b + "IP04=a\r\nIP02=a\r\n", "a", 4, b + "IP02=a\r\n"},
      {b + std::string("x\0y\r\n", 5) + "IP09=a\r\n", "a", 9, b + std::string("x\0y\r\n", 5)},
      {b + "IP00=a", "a", -1, ""},  // no line end: no whole value
      {"[VELO_KEYWORDS]\nIP00=a\nPORT00=1\n", "a", -1, ""},
      // The port line: before the address line, at the end without a line end,
      // only at a line start, LF-ended, the first one only, none.
      {b + "PORT03=9\r\na=1\r\nIP03=x\r\nb=2\r\n", "x", 3, b + "a=1\r\nb=2\r\n"},
      {b + "IP00=x\r\na=1\r\nPORT00=5", "x", 0, b + "a=1\r\n"},
      {b + "IP00=x\r\nIP01=yPORT00=1\r\nPORT00=5\r\nk=2\r\n", "x", 0, b + "IP01=yPORT00=1\r\nk=2\r\n"},
      {b + "IP00=x\r\nPORT00=5\nIP01=y\r\n", "x", 0, b + "IP01=y\r\n"},
      {b + "IP00=x\r\nPORT00=5\r\nPORT00=6\r\n", "x", 0, b + "PORT00=6\r\n"},
      {b + "IP00=x\r\nPort00=5\r\n", "x", 0, b + "Port00=5\r\n"},
      // Only the address book's own lines: from its header (in any letter
      // case) to the next section.
      {"IP00=a\r\n", "a", -1, ""},
      {"[velo_keywords]\r\nIP02=a\r\n", "a", 2, "[velo_keywords]\r\n"},
      {"[DvrOcx]\r\nIP00=a\r\nPORT00=1\r\n" + b + "IP01=a\r\nPORT01=2\r\n", "a", 1,
       "[DvrOcx]\r\nIP00=a\r\nPORT00=1\r\n" + b},
      {b + "IP00=a\r\n[DvrOcx]\r\nIP01=b\r\nPORT01=1\r\n", "b", -1, ""},
      {b + "IP00=a\r\n[DvrOcx]\r\nPORT00=1\r\n", "a", 0, b + "[DvrOcx]\r\nPORT00=1\r\n"},
      {"[VELO_KEYWORDS_OLD]\r\nIP00=a\r\n", "a", -1, ""},
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
