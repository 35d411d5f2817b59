// RTP packets and H.264 carried in them: single NAL units, STAP-A and FU-A
// are put back together into access units in Annex-B form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace video {

struct RtpPacket {
  uint8_t payloadType = 0;
  bool marker = false;
  uint16_t sequence = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0;
  const uint8_t* payload = nullptr;  // points into the packet given to ParseRtp
  size_t payloadSize = 0;
};

// False for anything but a whole version 2 header (CSRCs, extension and
// padding inside the packet).
bool ParseRtp(const uint8_t* data, size_t size, RtpPacket& packet);

struct AccessUnit {
  std::vector<uint8_t> data;  // 00 00 00 01 before every NAL unit
  bool idr = false;           // holds an IDR slice
  uint32_t timestamp = 0;
  int64_t arrival = 0;  // the tag given with its first packet
};

constexpr size_t kMaxAccessUnit = 4 * 1024 * 1024;

// A unit ends at the marker bit or when the timestamp changes. A lost
// packet (a gap in the sequence numbers), a fragment without its start or
// end, or a unit over kMaxAccessUnit drops everything of that timestamp and
// what follows up to the next unit that holds an IDR slice; so does the
// start, so the first unit handed out is always an IDR picture.
class H264Depacketizer {
 public:
  // Takes one packet; finished units are appended to out.
  void Push(const RtpPacket& packet, int64_t arrival, std::vector<AccessUnit>& out);
  uint64_t dropped() const { return m_dropped; }

 private:
  void Finish(std::vector<AccessUnit>& out);
  void Break();
  void AddNal(const uint8_t* nal, size_t size);

  AccessUnit m_unit;
  bool m_open = false;    // m_unit has a timestamp and collects
  bool m_skip = false;    // drop the rest of m_unit's timestamp
  bool m_waitIdr = true;  // drop units until one holds an IDR slice
  bool m_inFragment = false;
  bool m_haveSequence = false;
  uint16_t m_sequence = 0;
  uint64_t m_dropped = 0;
};

}  // namespace video
