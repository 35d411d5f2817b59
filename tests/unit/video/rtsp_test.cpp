#include <gtest/gtest.h>

#include "rtp_h264.h"
#include "rtsp_message.h"
#include "sdp.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Packets of one stream: sequence numbers follow unless skipped.
struct Sender {
  uint16_t sequence = 100;
  video::H264Depacketizer depacketizer;
  std::vector<video::AccessUnit> units;
  void Send(uint32_t timestamp, bool marker, const Bytes& payload) {
    video::RtpPacket p;
    p.sequence = sequence++;
    p.timestamp = timestamp;
    p.marker = marker;
    p.payload = payload.data();
    p.payloadSize = payload.size();
    depacketizer.Push(p, timestamp, units);
  }
};

Bytes AnnexB(std::initializer_list<Bytes> nals) {
  Bytes out;
  for (const Bytes& n : nals) out.insert(out.end(), {0, 0, 0, 1}), out.insert(out.end(), n.begin(), n.end());
  return out;
}

const Bytes kSps = {0x67, 0x42, 0x00, 0x1e}, kPps = {0x68, 0xce, 0x3c, 0x80};

TEST(RtpH264, UnitsFromSingleStapAndFragmentsResumeAtIdrAfterLoss) {
  Sender s;
  s.Send(1000, true, {0x41, 0x9a, 1});  // a P slice before any IDR: dropped
  // SPS+PPS aggregated, then an IDR slice in three fragments (S, middle, E).
  s.Send(2000, false, {0x78, 0, 4, 0x67, 0x42, 0x00, 0x1e, 0, 4, 0x68, 0xce, 0x3c, 0x80});
  s.Send(2000, false, {0x7c, 0x85, 0xaa, 0xbb});
  s.Send(2000, false, {0x7c, 0x05, 0xcc});
  s.Send(2000, true, {0x7c, 0x45, 0xdd});
  // Two slices in one picture ended by the next timestamp, not a marker.
  s.Send(3000, false, {0x41, 1});
  s.Send(3000, false, {0x41, 2});
  s.Send(4000, true, {0x41, 3});
  ASSERT_EQ(s.units.size(), 3u);
  EXPECT_EQ(s.units[0].data, AnnexB({kSps, kPps, {0x65, 0xaa, 0xbb, 0xcc, 0xdd}}));
  EXPECT_TRUE(s.units[0].idr);
  EXPECT_EQ(s.units[0].arrival, 2000);
  EXPECT_EQ(s.units[1].data, AnnexB({{0x41, 1}, {0x41, 2}}));
  EXPECT_FALSE(s.units[1].idr);
  EXPECT_EQ(s.units[2].timestamp, 4000u);

  // A lost packet in the middle of a picture: nothing until the next IDR.
  s.Send(5000, false, {0x41, 4});
  s.sequence++;
  s.Send(5000, true, {0x41, 5});
  s.Send(6000, true, {0x41, 6});
  // A fragment whose start never came, with the sequence intact.
  s.Send(7000, true, {0x65, 7});
  s.Send(8000, true, {0x41, 8});
  s.Send(9000, true, {0x7c, 0x05, 9});
  s.Send(10000, true, {0x41, 10});
  s.Send(11000, false, {0x7c, 0x85, 11});
  s.Send(12000, true, {0x41, 12});  // its end never came either
  s.Send(13000, true, {0x65, 13});
  ASSERT_EQ(s.units.size(), 6u);
  EXPECT_EQ(s.units[3].data, AnnexB({{0x65, 7}}));
  EXPECT_EQ(s.units[4].data, AnnexB({{0x41, 8}}));
  EXPECT_EQ(s.units[5].data, AnnexB({{0x65, 13}}));
}

TEST(RtpH264, HeaderSkipsCsrcsAndExtensionAndRefusesShortOnes) {
  // Two CSRCs, a one-word extension, two bytes of padding.
  const Bytes packet = {0xb2, 0xe0, 0x12, 0x34, 0,    0,    1, 0, 9, 9, 9, 9, 1,    1,    1, 1,
                        2,    2,    2,    2,    0xbe, 0xde, 0, 1, 3, 3, 3, 3, 0x65, 0x88, 0, 2};
  video::RtpPacket p;
  ASSERT_TRUE(video::ParseRtp(packet.data(), packet.size(), p));
  EXPECT_EQ(Bytes(p.payload, p.payload + p.payloadSize), (Bytes{0x65, 0x88}));
  EXPECT_TRUE(p.marker);
  EXPECT_EQ(p.payloadType, 96);
  EXPECT_EQ(p.sequence, 0x1234);
  EXPECT_EQ(p.timestamp, 256u);
  for (size_t cut = 0; cut < 28; ++cut) EXPECT_FALSE(video::ParseRtp(packet.data(), cut, p)) << cut;
}

TEST(RtspAuth, KnownCredentialValues) {
  // RFC 2617: section 2 and the worked Digest example of section 3.5.
  EXPECT_EQ(video::BasicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  video::AuthChallenge c;
  ASSERT_TRUE(video::ParseAuthChallenge(
      "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
      c));
  const std::string value =
      video::DigestAuthorization(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", 1, "0a4f113b");
  EXPECT_NE(value.find("response=\"6629fae49393a05397450978507c4ef1\""), std::string::npos) << value;
  EXPECT_NE(value.find("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""), std::string::npos) << value;
  EXPECT_NE(value.find("nc=00000001"), std::string::npos) << value;
  // Without qop (the value worked out with Python's hashlib).
  c.qopAuth = false;
  EXPECT_NE(video::DigestAuthorization(c, "Mufasa", "Circle Of Life", "DESCRIBE", "rtsp://h/s", 1, "x")
                .find("response=\"0c9effb33465bba84e44c93d70ce8ddb\""),
            std::string::npos);
  // RFC 1321's longest test message spans two blocks.
  EXPECT_EQ(video::Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_FALSE(video::ParseAuthChallenge("Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256", c));
  ASSERT_TRUE(video::ParseAuthChallenge("Basic realm=\"cam\"", c));
  EXPECT_EQ(c.kind, video::AuthChallenge::Kind::kBasic);
}

TEST(Sdp, H264TrackControlAndParameterSets) {
  const std::string sdp =
      "v=0\r\ns=x\r\na=control:*\r\nm=audio 0 RTP/AVP 0\r\na=control:audio\r\n"
      "m=video 0 RTP/AVP 97 96\r\na=rtpmap:97 JPEG/90000\r\na=rtpmap:96 H264/90000\r\n"
      "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=aM48gA==,Z0IAHg==;profile-level-id=42001e\r\n"
      "a=control:trackID=1\r\n";
  video::H264Track t;
  ASSERT_TRUE(video::FindH264Track(sdp, "rtsp://cam/live/", t));
  EXPECT_EQ(t.payloadType, 96);
  EXPECT_EQ(t.control, "rtsp://cam/live/trackID=1");
  EXPECT_EQ(t.sessionControl, "rtsp://cam/live/");
  EXPECT_EQ(t.sps, kSps);
  EXPECT_EQ(t.pps, kPps);
  ASSERT_TRUE(video::FindH264Track("m=video 0 RTP/AVP 96\na=rtpmap:96 h264/90000\na=control:rtsp://other/v", "", t));
  EXPECT_EQ(t.control, "rtsp://other/v");
  EXPECT_TRUE(t.sps.empty());
  EXPECT_EQ(video::ResolveControl("rtsp://cam/live", "track1"), "rtsp://cam/live/track1");
  EXPECT_FALSE(video::FindH264Track(sdp.substr(0, sdp.find("m=video")), "rtsp://cam/", t));
}

TEST(RtspReader, ResponsesBetweenFramesByteByByte) {
  const std::string wire = std::string("RTSP/1.0 200 OK\r\nCSeq: 3\r\nSession: AbC;timeout=30\r\n") +
                           "Content-Length: 4\r\n\r\nv=0\n" + std::string("$\x01\x00\x02xy", 6) +
                           "RTSP/1.0 401 No\nCSeq: 4\n\n";
  video::RtspReader r;
  std::vector<std::string> seen;
  for (char c : wire) {
    r.Feed(reinterpret_cast<const uint8_t*>(&c), 1);
    for (auto item = r.Next(); item != video::RtspReader::Item::kNeedMore; item = r.Next()) {
      ASSERT_NE(item, video::RtspReader::Item::kError);
      if (item == video::RtspReader::Item::kFrame)
        seen.push_back(std::to_string(r.channel()) + std::string(r.payload(), r.payload() + r.payloadSize()));
      else
        seen.push_back(std::to_string(r.message().status) + r.message().body + std::to_string(r.message().CSeq()));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"200v=0\n3", "1xy", "4014"}));
  std::string id;
  int timeout = 0;
  ASSERT_TRUE(video::ParseSessionHeader("AbC;timeout=30", id, timeout));
  EXPECT_EQ(id + std::to_string(timeout), "AbC30");

  // Not RTSP at all, and a body over the limit.
  for (const std::string bad : {"HTTP/1.1 200 OK\r\n\r\n", "RTSP/1.0 200 OK\r\nContent-Length: 1048577\r\n\r\n"}) {
    video::RtspReader b;
    b.Feed(reinterpret_cast<const uint8_t*>(bad.data()), bad.size());
    EXPECT_EQ(b.Next(), video::RtspReader::Item::kError) << bad;
  }
  // Once frames flow, a frame cut short is skipped up to the next one, past
  // a '$' in the stray bytes that only looks like a frame.
  const std::string a = std::string("$\0\0\x0c\x80", 5) + std::string(11, 'a');
  const std::string fake = std::string("zz$\x01\0\x0c\x80", 7) + std::string(11, 'y') + "q";
  const std::string b = std::string("$\0\0\x0c\x80", 5) + std::string(11, 'b') + "RTSP/1.0 200 OK\r\n\r\n";
  for (const std::string& part : {a, fake, b}) r.Feed(reinterpret_cast<const uint8_t*>(part.data()), part.size());
  std::string got;
  for (auto item = r.Next(); item != video::RtspReader::Item::kNeedMore; item = r.Next())
    got += item == video::RtspReader::Item::kFrame ? static_cast<char>(r.payload()[1]) : '!';
  EXPECT_EQ(got, "ab!");
  EXPECT_EQ(r.skipped(), 19u);
}

}  // namespace
