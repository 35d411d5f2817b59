// Stream URLs as the operator types them into the address field.
#include <gtest/gtest.h>

#include "stream_url.h"

using namespace video;

TEST(StreamUrl, PortsSchemesBlanksAndUserInformation) {
  StreamUrl u;
  ASSERT_TRUE(ParseStreamUrl("rtsp://10.0.0.5:8554/live/1", 554, u));
  EXPECT_TRUE(u.port == 8554 && !u.hasUser);  // the URL's own port wins over the port field
  ASSERT_TRUE(ParseStreamUrl(" \tHTTP://Cam-2.local ", 9000, u) && u.scheme == Scheme::kHttp);
  EXPECT_EQ(u.host + " " + std::to_string(u.port) + " " + u.path, "Cam-2.local 9000 /");
  // ':' and '@' written as escapes, a raw '@' in the password, an empty one
  ASSERT_TRUE(ParseStreamUrl("rtsp://ad%3Amin:p%40s%3as@h:1/a?b=c@d", 554, u));
  EXPECT_EQ(u.user + " " + u.password + " " + u.path, "ad:min p@s:s /a?b=c@d");
  ASSERT_TRUE(ParseStreamUrl("rtsp://u:p@ss@h/", 554, u));
  EXPECT_EQ(u.password + " " + u.host, "p@ss h");
  ASSERT_TRUE(ParseStreamUrl("rtsp://admin:@h/", 554, u));
  EXPECT_TRUE(u.hasUser && u.password.empty());
  ASSERT_TRUE(ParseStreamUrl("rtsp://a:b@h/x", 8554, u));
  EXPECT_EQ(RequestUri(u), "rtsp://h:8554/x");
  for (const char* bad :
       {"rtsp://h:0/", "rtsp://h:65536/", "rtsp://h:5x/", "rtsp://:554/", "rtsp://u:p@/", "rtsp://h/a\x01",
        "rtsp://u:%4/@h/", "rtsp://u:%0a@h/", "ftp://h/", "rtsp://h/a b", "rtsp://[::1]/", "rtsp://1.2.3.999/"})
    EXPECT_FALSE(ParseStreamUrl(bad, 554, u)) << bad;
  EXPECT_FALSE(ParseStreamUrl("rtsp://h", 0, u));  // nor a port from the field
  EXPECT_TRUE(ParseStreamUrl("rtsp://h/" + std::string(190, 'a'), 554, u));
  EXPECT_FALSE(ParseStreamUrl("rtsp://h/" + std::string(191, 'a'), 554, u));
}

TEST(StreamUrl, ChannelTokenAndMaskedPasswords) {
  EXPECT_TRUE(HasChannelToken("rtsp://h/ch{CH}") && !HasChannelToken("rtsp://h/ch{c}h}"));
  EXPECT_EQ(ExpandChannel("http://h/{ch}/cam{ch}.jpg", 3), "http://h/3/cam3.jpg");
  EXPECT_EQ(MaskPassword(" rtsp://admin:S3cr%40t%3A@h:554/x@y "), " rtsp://admin:***@h:554/x@y ");
  EXPECT_EQ(MaskPassword("http://a%40b:S3c@r:et@h/"), "http://a%40b:***@h/");
  EXPECT_EQ(MaskPassword("rtsp://admin:S3c/r?et@h/"), "rtsp://admin:***@h/");  // no URL, masked all the same
  for (const char* same : {"192.168.1.64", "rtsp://admin@h/", "rtsp://h:554/a:b@c", "http://h/"})
    EXPECT_EQ(MaskPassword(same), same);
}
