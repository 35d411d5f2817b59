// The response head and the multipart reader, fed in pieces of every size.
#include <gtest/gtest.h>

#include "http_message.h"

using namespace video;

static const uint8_t* B(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(HttpResponse, HeadInPiecesAndWhatIsNoResponse) {
  const std::string head =
      "HTTP/1.0 200 OK\nServer: x\ncontent-type:  Multipart/X-Mixed-Replace ;q=\"a;b\"; boundary=\"my \\\"b\\\"\"\r\n"
      "Content-Length: 12\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n\r\n--my";
  for (size_t split = 0; split <= head.size(); ++split) {
    HttpResponseReader r;
    r.Feed(B(head), split);
    ASSERT_EQ(r.Feed(B(head) + split, head.size() - split), HttpResponseReader::State::kDone);
    const HttpResponse& h = r.response();
    EXPECT_EQ(std::to_string(h.status) + "|" + h.contentType + "|" + h.boundary + "|" + h.wwwAuthenticate + "|" +
                  std::to_string(h.contentLength) + "|" + r.body(),
              "200|multipart/x-mixed-replace|my \"b\"|Basic realm=\"cam\"|12|--my");
  }
  for (const std::string& bad : std::vector<std::string>{"RTSP/1.0 200 OK\r\n", "HTTP/1.1 2x0 OK\r\n\r\n",
                                                         "HTTP/1.1 200 OK\r\nX: " + std::string(kMaxHttpHead, 'a')})
    EXPECT_EQ(HttpResponseReader().Feed(B(bad), bad.size()), HttpResponseReader::State::kBad);
}

TEST(Multipart, PartsAtEverySplitWithTheirArrival) {
  // Junk first; a sized part whose body holds a boundary line; an unsized
  // one; LF line ends and the boundary without dashes; the closing line.
  const std::string bodies[] = {"\xff\xd8 one\r\n--b\r\n\xff\xd9", "\xff\xd8two\r\n", "\xff\xd8\nthree"};
  std::string s = "junk --b\r\n-bx\r\n\r\n--b\r\nContent-Type: image/jpeg\r\nContent-Length: 15\r\n\r\n";
  const size_t starts[] = {s.find("Content-Type"), (s += bodies[0] + "\r\n--b  \r\n").size(),
                           (s += "Content-Type: image/jpeg\r\n\r\n" + bodies[1] + "\r\nb\n").size()};
  s += "\n" + bodies[2] + "\n--b--\r\n";
  for (const std::string boundary : {"--b", ""}) {  // given, or named by the first boundary line
    for (size_t split = 0; split <= s.size(); ++split) {
      MultipartReader m(boundary);
      m.Feed(B(s), split, 1);
      ASSERT_EQ(m.Feed(B(s) + split, s.size() - split, 2), MultipartReader::State::kEnd);
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
  const std::string big(kMaxHttpPart + 1, 'x'), sized = "Content-Length: " + std::to_string(big.size()) + "\r\n";
  for (const std::string& head : {sized, std::string()}) {
    const std::string s = "--b\r\n" + head + "\r\n" + big + "\r\n--b\r\n\r\nsmall\r\n--b\r\n";
    MultipartReader m("b");
    for (size_t i = 0; i < s.size(); i += 4096) m.Feed(B(s) + i, std::min<size_t>(4096, s.size() - i), 0);
    MultipartReader::Part part;
    EXPECT_TRUE(m.Next(part) && std::string(part.body.begin(), part.body.end()) == "small" && !m.Next(part));
  }
}
