// The response head and the multipart reader, fed in pieces of every size.
#include <gtest/gtest.h>

#include "http_message.h"

using namespace video;

namespace {
HttpResponseReader::State FeedText(HttpResponseReader& r, const std::string& s) {
  return r.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}
}  // namespace

TEST(HttpResponse, HeadInPiecesAndWhatIsNoResponse) {
  const std::string head =
      "HTTP/1.0 200 OK\nServer: x\ncontent-type:  Multipart/X-Mixed-Replace ;q=\"a;b\"; boundary=\"my \\\"b\\\"\"\r\n"
      "Content-Length: 12\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n\r\n--my";
  for (size_t split = 0; split <= head.size(); ++split) {
    HttpResponseReader r;
    FeedText(r, head.substr(0, split));
    ASSERT_EQ(FeedText(r, head.substr(split)), HttpResponseReader::State::kDone) << split;
    EXPECT_EQ(r.response().status, 200);
    EXPECT_EQ(r.response().contentType, "multipart/x-mixed-replace");
    EXPECT_EQ(r.response().boundary, "my \"b\"");
    EXPECT_EQ(r.response().contentLength, 12);
    EXPECT_EQ(r.response().wwwAuthenticate, "Basic realm=\"cam\"");
    EXPECT_EQ(r.body(), "--my");
  }
  for (const std::string bad : {"RTSP/1.0 200 OK\r\n", "HTTP/1.1 2x0 OK\r\n\r\n", "\x16\x03\x01"}) {
    HttpResponseReader r;
    EXPECT_EQ(FeedText(r, bad), HttpResponseReader::State::kBad) << bad;
  }
  HttpResponseReader r;
  FeedText(r, "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(FeedText(r, "X: " + std::string(kMaxHttpHead, 'a')), HttpResponseReader::State::kBad);
}

TEST(Multipart, PartsAtEverySplitWithTheirArrival) {
  // Junk first; a sized part whose body holds a boundary line; an unsized
  // one; LF line ends and the boundary without dashes; the closing line.
  const std::string bodies[] = {"\xff\xd8 one\r\n--b\r\n\xff\xd9", "\xff\xd8two\r\n", "\xff\xd8\nthree"};
  std::string s = "junk --b\r\n-bx\r\n\r\n--b\r\nContent-Type: image/jpeg\r\nContent-Length: 15\r\n\r\n";
  size_t starts[3];
  starts[0] = s.find("Content-Type");
  s += bodies[0] + "\r\n--b  \r\n";
  starts[1] = s.size();
  s += "Content-Type: image/jpeg\r\n\r\n" + bodies[1] + "\r\nb\n";
  starts[2] = s.size();
  s += "\n" + bodies[2] + "\n--b--\r\n";
  for (const std::string boundary : {"--b", ""}) {
    for (size_t split = 0; split <= s.size(); ++split) {
      MultipartReader m(boundary);
      const auto* p = reinterpret_cast<const uint8_t*>(s.data());
      m.Feed(p, split, 1);
      ASSERT_EQ(m.Feed(p + split, s.size() - split, 2), MultipartReader::State::kEnd) << split;
      MultipartReader::Part part;
      for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m.Next(part)) << split << " " << i;
        EXPECT_EQ(std::string(part.body.begin(), part.body.end()), bodies[i]) << split << " " << i;
        EXPECT_EQ(part.arrival, starts[i] < split ? 1 : 2) << split << " " << i;
      }
      EXPECT_FALSE(m.Next(part));
    }
  }
}

TEST(Multipart, PartsOverTheLimitAreDropped) {
  const std::string big(kMaxHttpPart + 1, 'x');
  for (const std::string& head : {"Content-Length: " + std::to_string(big.size()) + "\r\n", std::string()}) {
    const std::string s = "--b\r\n" + head + "\r\n" + big + "\r\n--b\r\n\r\nsmall\r\n--b\r\n";
    MultipartReader m("b");
    for (size_t i = 0; i < s.size(); i += 4096)
      m.Feed(reinterpret_cast<const uint8_t*>(s.data()) + i, std::min<size_t>(4096, s.size() - i), 0);
    MultipartReader::Part part;
    ASSERT_TRUE(m.Next(part));
    EXPECT_EQ(std::string(part.body.begin(), part.body.end()), "small");
    EXPECT_FALSE(m.Next(part));
  }
}
