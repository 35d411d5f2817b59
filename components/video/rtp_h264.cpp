#include "rtp_h264.h"

namespace video {
namespace {

const uint8_t kStartCode[] = {0, 0, 0, 1};

}  // namespace

bool ParseRtp(const uint8_t* data, size_t size, RtpPacket& packet) {
  if (size < 12 || data[0] >> 6 != 2) return false;
  size_t header = 12 + 4 * static_cast<size_t>(data[0] & 0x0f);
  if (size < header) return false;
  if (data[0] & 0x10) {
    if (size < header + 4) return false;
    header += 4 + 4 * (static_cast<size_t>(data[header + 2]) << 8 | data[header + 3]);
    if (size < header) return false;
  }
  size_t end = size;
  if (data[0] & 0x20) {
    const size_t padding = data[size - 1];
    if (padding == 0 || padding > size - header) return false;
    end -= padding;
  }
  packet.payloadType = data[1] & 0x7f;
  packet.marker = (data[1] & 0x80) != 0;
  packet.sequence = static_cast<uint16_t>(data[2] << 8 | data[3]);
  packet.timestamp = static_cast<uint32_t>(data[4]) << 24 | data[5] << 16 | data[6] << 8 | data[7];
  packet.ssrc = static_cast<uint32_t>(data[8]) << 24 | data[9] << 16 | data[10] << 8 | data[11];
  packet.payload = data + header;
  packet.payloadSize = end - header;
  return true;
}

void H264Depacketizer::Break() {
  if (m_open && !m_skip) ++m_dropped;
  m_skip = true;
  m_waitIdr = true;
  m_inFragment = false;
  m_unit.data.clear();
}

void H264Depacketizer::AddNal(const uint8_t* nal, size_t size) {
  if (size == 0) return;
  if ((nal[0] & 0x1f) == 5) m_unit.idr = true;
  m_unit.data.insert(m_unit.data.end(), kStartCode, kStartCode + 4);
  m_unit.data.insert(m_unit.data.end(), nal, nal + size);
}

void H264Depacketizer::Finish(std::vector<AccessUnit>& out) {
  if (m_open && !m_skip && m_inFragment) Break();
  if (m_open && !m_skip && !m_unit.data.empty()) {
    if (m_waitIdr && !m_unit.idr) {
      ++m_dropped;
    } else {
      m_waitIdr = false;
      out.push_back(std::move(m_unit));
    }
  }
  m_unit = AccessUnit();
  m_open = false;
  m_skip = false;
  m_inFragment = false;
}

void H264Depacketizer::Push(const RtpPacket& p, int64_t arrival, std::vector<AccessUnit>& out) {
  const bool gap = m_haveSequence && p.sequence != static_cast<uint16_t>(m_sequence + 1);
  if (gap && m_open) Break();  // the open unit lost its middle or its end
  if (m_open && p.timestamp != m_unit.timestamp) Finish(out);
  m_haveSequence = true;
  m_sequence = p.sequence;
  if (!m_open) {
    m_open = true;
    m_unit.timestamp = p.timestamp;
    m_unit.arrival = arrival;
  }
  if (gap) Break();
  if (!m_skip && p.payloadSize > 0) {
    const uint8_t* d = p.payload;
    const size_t n = p.payloadSize;
    const int type = d[0] & 0x1f;
    if (type >= 1 && type <= 23) {
      if (m_inFragment) {
        Break();
      } else {
        AddNal(d, n);
      }
    } else if (type == 24) {
      if (m_inFragment) Break();
      for (size_t at = 1; !m_skip && at < n;) {
        const size_t size = n - at >= 2 ? static_cast<size_t>(d[at]) << 8 | d[at + 1] : 0;
        if (size == 0 || size > n - at - 2) {
          Break();
        } else {
          AddNal(d + at + 2, size);
          at += 2 + size;
        }
      }
    } else if (type == 28) {
      const bool start = n >= 2 && (d[1] & 0x80) != 0;
      const bool end = n >= 2 && (d[1] & 0x40) != 0;
      if (n < 2 || start == m_inFragment || (start && end)) {
        Break();
      } else {
        if (start) {
          const uint8_t header = static_cast<uint8_t>((d[0] & 0xe0) | (d[1] & 0x1f));
          AddNal(&header, 1);
        }
        m_unit.data.insert(m_unit.data.end(), d + 2, d + n);
        m_inFragment = !end;
      }
    } else if (m_inFragment) {
      Break();
    }
    if (m_unit.data.size() > kMaxAccessUnit) Break();
  }
  if (p.marker) Finish(out);
}

}  // namespace video
