// What a stream server sends a client, in pieces of odd sizes: the reader,
// then the SDP, headers and RTP of whatever it hands out.
#include <cstddef>
#include <cstdint>

#include "rtp_h264.h"
#include "rtsp_message.h"
#include "sdp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using video::RtspReader;
  RtspReader reader;
  video::H264Depacketizer depacketizer;
  std::vector<video::AccessUnit> units;
  const size_t step = size > 0 ? 1 + data[0] % 61 : 1;
  for (size_t at = 0; at < size; at += step) {
    reader.Feed(data + at, size - at < step ? size - at : step);
    for (RtspReader::Item item; (item = reader.Next()) != RtspReader::Item::kNeedMore;) {
      if (item == RtspReader::Item::kError) return 0;
      if (item == RtspReader::Item::kFrame) {
        video::RtpPacket packet;
        if (reader.channel() == 0 && video::ParseRtp(reader.payload(), reader.payloadSize(), packet))
          depacketizer.Push(packet, 0, units);
        continue;
      }
      const video::RtspMessage& m = reader.message();
      video::H264Track track;
      video::FindH264Track(m.body, "rtsp://h/s", track);
      video::AuthChallenge challenge;
      for (const auto& value : m.FindAll("WWW-Authenticate")) {
        if (video::ParseAuthChallenge(value, challenge))
          video::DigestAuthorization(challenge, "u", "p", "PLAY", track.control, 1, "c");
      }
      std::string id;
      int timeout = 0;
      if (const std::string* session = m.Find("Session")) video::ParseSessionHeader(*session, id, timeout);
      if (const std::string* transport = m.Find("Transport")) video::ParseInterleavedChannel(*transport);
    }
  }
  for (const auto& unit : units) {
    if (unit.data.size() < 5 || unit.data[3] != 1 || unit.data.size() > video::kMaxAccessUnit) __builtin_trap();
  }
  return 0;
}
