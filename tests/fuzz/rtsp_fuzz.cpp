// A server's bytes in pieces of odd sizes: the reader, then SDP, headers and RTP of what it hands out.
#include "rtp_h264.h"
#include "rtsp_message.h"
#include "sdp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  video::RtspReader reader;
  video::H264Depacketizer depacketizer;
  std::vector<video::AccessUnit> units;
  const size_t step = size > 0 ? 1 + data[0] % 61 : 1;
  for (size_t at = 0; at < size; at += step) {
    reader.Feed(data + at, std::min(step, size - at));
    for (auto item = reader.Next(); item != video::RtspReader::Item::kNeedMore; item = reader.Next()) {
      if (item == video::RtspReader::Item::kError) return 0;
      video::RtpPacket packet;
      if (item == video::RtspReader::Item::kFrame) {
        if (video::ParseRtp(reader.payload(), reader.payloadSize(), packet)) depacketizer.Push(packet, 0, units);
        continue;
      }
      const video::RtspMessage& m = reader.message();
      video::H264Track track;
      video::AuthChallenge challenge;
      video::FindH264Track(m.body, "rtsp://h/s", track);
      for (const auto& value : m.FindAll("WWW-Authenticate")) {
        if (video::ParseAuthChallenge(value, challenge))
          video::DigestAuthorization(challenge, "u", "p", "M", "/", 1, "");
      }
    }
  }
  return 0;
}
