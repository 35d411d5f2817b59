#include <gtest/gtest.h>

#include "rtp_h264.h"
#include "rtsp_message.h"
#include "sdp.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes AnnexB(std::initializer_list<Bytes> nals) {
  Bytes out;
  for (const Bytes& n : nals) out.insert(out.end(), {0, 0, 0, 1}), out.insert(out.end(), n.begin(), n.end());
  return out;
}

const Bytes kSps = {0x67, 0x42, 0x00, 0x1e}, kPps = {0x68, 0xce, 0x3c, 0x80};

TEST(RtpH264, UnitsFromSingleStapAndFragmentsResumeAtIdrAfterLoss) {
  video::H264Depacketizer d;
  std::vector<video::AccessUnit> units;
  uint16_t sequence = 100;
  const auto send = [&](uint32_t timestamp, bool marker, const Bytes& payload) {
    d.Push({96, marker, sequence++, timestamp, 0, payload.data(), payload.size()}, timestamp, units);
  };
  // SPS+PPS aggregated, then an IDR slice in three fragments (S, middle, E).
  send(2000, false, {0x78, 0, 4, 0x67, 0x42, 0x00, 0x1e, 0, 4, 0x68, 0xce, 0x3c, 0x80});
  send(2000, false, {0x7c, 0x85, 0xaa, 0xbb});
  send(2000, false, {0x7c, 0x05, 0xcc});
  send(2000, true, {0x7c, 0x45, 0xdd});
  // Two slices in one picture ended by the next timestamp, not a marker.
  send(3000, false, {0x41, 1});
  send(3000, false, {0x41, 2});
  send(4000, true, {0x41, 3});
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].data, AnnexB({kSps, kPps, {0x65, 0xaa, 0xbb, 0xcc, 0xdd}}));
  EXPECT_TRUE(units[0].idr && !units[1].idr && units[0].arrival == 2000);
  EXPECT_EQ(units[1].data, AnnexB({{0x41, 1}, {0x41, 2}}));
  // A lost packet in the middle of a picture: nothing until the next IDR.
  send(5000, false, {0x41, 4});
  sequence++;
  send(5000, true, {0x41, 5});
  send(6000, true, {0x41, 6});
  send(7000, true, {0x65, 7});
  send(8000, true, {0x7c, 0x05, 9});     // a fragment whose start never came
  send(10000, false, {0x7c, 0x85, 11});  // one whose end never came
  send(12000, true, {0x65, 13});
  ASSERT_EQ(units.size(), 5u);
  EXPECT_EQ(units[3].data, AnnexB({{0x65, 7}}));
  EXPECT_EQ(units[4].data, AnnexB({{0x65, 13}}));
}

TEST(RtpH264, HeaderSkipsCsrcsExtensionAndPadding) {
  const Bytes packet = {0xb2, 0xe0, 0x12, 0x34, 0,    0,    1, 0, 9, 9, 9, 9, 1,    1,    1, 1,
                        2,    2,    2,    2,    0xbe, 0xde, 0, 1, 3, 3, 3, 3, 0x65, 0x88, 0, 2};
  video::RtpPacket p;
  ASSERT_TRUE(video::ParseRtp(packet.data(), packet.size(), p));
  EXPECT_EQ(Bytes(p.payload, p.payload + p.payloadSize), (Bytes{0x65, 0x88}));
  EXPECT_TRUE(p.marker && p.payloadType == 96 && p.sequence == 0x1234 && p.timestamp == 256u);
  for (size_t cut = 0; cut < 28; ++cut) EXPECT_FALSE(video::ParseRtp(packet.data(), cut, p)) << cut;
}

TEST(RtspAuth, KnownCredentialValues) {
  // The worked example of RFC 2617, section 3.5.
  video::AuthChallenge c;
  ASSERT_TRUE(video::ParseAuthChallenge(
      "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
      c));
  const std::string value =
      video::DigestAuthorization(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html", 1, "0a4f113b");
  for (const char* part : {"response=\"6629fae49393a05397450978507c4ef1\"", "nc=00000001", "opaque=\"5ccc"})
    EXPECT_NE(value.find(part), std::string::npos) << value;
  c.qopAuth = false;  // the value worked out with Python's hashlib
  const std::string plain = video::DigestAuthorization(c, "Mufasa", "Circle Of Life", "DESCRIBE", "rtsp://h/s", 1, "");
  EXPECT_NE(plain.find("response=\"0c9effb33465bba84e44c93d70ce8ddb\""), std::string::npos) << plain;
  EXPECT_FALSE(video::ParseAuthChallenge("Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256", c));
}

TEST(Sdp, H264TrackControlAndParameterSets) {
  const std::string sdp =
      "v=0\r\ns=x\r\na=control:*\r\nm=audio 0 RTP/AVP 0\r\na=control:audio\r\n"
      "m=video 0 RTP/AVP 97 96\r\na=rtpmap:97 JPEG/90000\r\na=rtpmap:96 H264/90000\r\n"
      "a=fmtp:96 packetization-mode=1;sprop-parameter-sets=aM48gA==,Z0IAHg==;profile-level-id=42001e\r\n"
      "a=control:trackID=1\r\n";
  video::H264Track t;
  ASSERT_TRUE(video::FindH264Track(sdp, "rtsp://cam/live", t));
  EXPECT_EQ(t.control + " " + t.sessionControl + " " + std::to_string(t.payloadType),
            "rtsp://cam/live/trackID=1 rtsp://cam/live 96");
  EXPECT_TRUE(t.sps == kSps && t.pps == kPps);
  ASSERT_TRUE(video::FindH264Track("m=video 0 RTP/AVP 96\na=rtpmap:96 h264/90000\na=control:rtsp://other/v", "", t));
  EXPECT_TRUE(t.control == "rtsp://other/v" && t.sps.empty());
  EXPECT_EQ(video::ResolveControl("rtsp://cam/live/", "/track1"), "rtsp://cam/live/track1");
  EXPECT_FALSE(video::FindH264Track(sdp.substr(0, sdp.find("m=video")), "rtsp://cam/", t));
}

TEST(RtspReader, ResponsesFramesLimitsAndStrayBytes) {
  video::RtspReader r;
  const auto feed = [&r](const std::string& bytes, size_t step) {
    std::string seen;
    for (size_t at = 0; at < bytes.size(); at += step) {
      r.Feed(reinterpret_cast<const uint8_t*>(bytes.data() + at), std::min(step, bytes.size() - at));
      for (auto item = r.Next(); item != video::RtspReader::Item::kNeedMore; item = r.Next()) {
        if (item == video::RtspReader::Item::kError) return seen + "error";
        const video::RtspMessage& m = r.message();
        seen += item == video::RtspReader::Item::kFrame
                    ? std::to_string(r.channel()) + std::string(r.payload(), r.payload() + r.payloadSize()) + " "
                    : std::to_string(m.status) + m.body + std::to_string(m.CSeq()) + " ";
      }
    }
    return seen;
  };
  EXPECT_EQ(feed("RTSP/1.0 200 OK\r\nCSeq: 3\r\nContent-Length: 4\r\n\r\nv=0\n" + std::string("$\x01\0\x02xy", 6) +
                     "RTSP/1.0 401 No\nCSeq: 4\n\n",
                 1),
            "200v=0\n3 1xy 4014 ");
  // Once frames flow, a frame cut short is skipped up to the next one, past
  // a '$' in the stray bytes that only looks like a frame.
  const std::string b = std::string("$\x02\0\x0c\x80", 5) + std::string(11, 'b');
  EXPECT_EQ(feed(std::string("zz$\x01\0\x0c\x80", 7) + std::string(11, 'y') + "q" + b + "RTSP/1.0 200 OK\r\n\r\n", 40),
            "2" + b.substr(4) + " 200-1 ");
  EXPECT_EQ(r.skipped(), 19u);
  for (const std::string bad : {"HTTP/1.1 200 OK\r\n\r\n", "RTSP/1.0 200 OK\r\nContent-Length: 1048577\r\n\r\n"}) {
    r = video::RtspReader();
    EXPECT_EQ(feed(bad, 7), "error") << bad;
  }
}

}  // namespace
