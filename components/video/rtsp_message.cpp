#include "rtsp_message.h"

#include <cstdio>
#include <cstring>

#include "base64.h"
#include "text.h"

namespace video {
namespace {

// Digits only, at most max; false otherwise.
bool ParseNumber(const std::string& text, size_t max, size_t& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  return value <= max;
}

const char kStatusPrefix[] = "RTSP/1.0 ";
// Waiting to see what follows a longer frame would stall a slow stream.
constexpr size_t kResyncMaxFrame = 4096;

// How the bytes at p can begin a message: 0 not at all, 1 perhaps (too few
// bytes to tell), 2 a status line, 3 a request line ("WORD " first).
int MessageStart(const uint8_t* p, size_t n) {
  const size_t prefix = sizeof(kStatusPrefix) - 1;
  const size_t m = n < prefix ? n : prefix;
  if (std::memcmp(p, kStatusPrefix, m) == 0) return m == prefix ? 2 : 1;
  size_t i = 0;
  while (i < n && i < 32 && ((p[i] >= 'A' && p[i] <= 'Z') || p[i] == '_')) ++i;
  if (i == n && n < 32) return 1;
  return i > 0 && i < n && p[i] == ' ' ? 3 : 0;
}

// The parsed first line; false when it is neither a status nor a request line.
bool ParseFirstLine(const std::string& line, RtspMessage& m) {
  if (line.compare(0, sizeof(kStatusPrefix) - 1, kStatusPrefix) == 0) {
    const size_t at = sizeof(kStatusPrefix) - 1;
    if (line.size() < at + 3 || !IsDigit(line[at]) || !IsDigit(line[at + 1]) || !IsDigit(line[at + 2])) return false;
    if (line.size() > at + 3 && line[at + 3] != ' ') return false;
    m.status = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
    m.reason = line.size() > at + 4 ? line.substr(at + 4) : std::string();
    return true;
  }
  const size_t sp1 = line.find(' ');
  const size_t sp2 = line.rfind(' ');
  if (sp1 == std::string::npos || sp1 == sp2 || line.compare(sp2 + 1, std::string::npos, "RTSP/1.0") != 0) return false;
  m.isRequest = true;
  m.reason = line.substr(0, sp1);
  return true;
}

}  // namespace

std::string BuildRtspRequest(const std::string& method, const std::string& uri, int cseq, const RtspHeaders& headers,
                             const std::string& authorization) {
  std::string out = method + " " + uri + " RTSP/1.0\r\nCSeq: " + std::to_string(cseq) + "\r\n";
  for (const auto& h : headers) out += h.first + ": " + h.second + "\r\n";
  if (!authorization.empty()) out += "Authorization: " + authorization + "\r\n";
  out += "User-Agent: VELODvr\r\n\r\n";
  return out;
}

const std::string* RtspMessage::Find(const char* name) const {
  for (const auto& h : headers) {
    if (EqualsNoCase(h.first, name)) return &h.second;
  }
  return nullptr;
}

std::vector<std::string> RtspMessage::FindAll(const char* name) const {
  std::vector<std::string> out;
  for (const auto& h : headers) {
    if (EqualsNoCase(h.first, name)) out.push_back(h.second);
  }
  return out;
}

int RtspMessage::CSeq() const {
  const std::string* v = Find("CSeq");
  size_t n = 0;
  return v && ParseNumber(Trim(*v), 999999999, n) ? static_cast<int>(n) : -1;
}

void RtspReader::Feed(const uint8_t* data, size_t size) {
  if (m_pos > 0) {
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_pos));
    m_pos = 0;
  }
  m_buffer.insert(m_buffer.end(), data, data + size);
}

bool RtspReader::Resync() {
  size_t i = m_pos + 1;
  const size_t end = m_buffer.size();
  for (; i < end; ++i) {
    const uint8_t c = m_buffer[i];
    if (c == '$' && (i + 1 == end || m_buffer[i + 1] < 32)) break;
    if (c == 'R' && MessageStart(&m_buffer[i], end - i) == 2) break;
    if (c == 'R' && MessageStart(&m_buffer[i], end - i) == 1 && end - i < sizeof(kStatusPrefix)) break;
  }
  m_skipped += i - m_pos;
  m_resyncing = true;
  m_pos = i;
  return i < end;
}

RtspReader::Item RtspReader::Next() {
  for (;;) {
    const size_t avail = m_buffer.size() - m_pos;
    if (avail == 0) return Item::kNeedMore;
    const uint8_t* p = &m_buffer[m_pos];
    if (p[0] == '$') {
      if (avail < 4) return Item::kNeedMore;
      const size_t length = static_cast<size_t>(p[2]) << 8 | p[3];
      if (m_resyncing) {
        // Taken only when it looks like a packet of RTP or RTCP of common
        // size and the next item starts right after it.
        if (avail < 5) return Item::kNeedMore;
        const bool plausible = p[1] < 32 && length >= 12 && length <= kResyncMaxFrame && p[4] >> 6 == 2;
        if (plausible && avail < 5 + length) return Item::kNeedMore;
        if (!plausible || (p[4 + length] != '$' && p[4 + length] != 'R')) {
          if (!Resync()) return Item::kNeedMore;
          continue;
        }
        m_resyncing = false;
      }
      if (avail < 4 + length) return Item::kNeedMore;
      m_channel = p[1];
      m_payload = p + 4;
      m_payloadSize = length;
      m_pos += 4 + length;
      m_framesSeen = true;
      return Item::kFrame;
    }
    const int start = MessageStart(p, avail);
    if (start == 1) return Item::kNeedMore;
    // Find the end of the first line and of the header block.
    size_t lineEnd = 0, headerEnd = 0, bodyStart = 0;
    bool lineValid = start != 0;
    if (lineValid) {
      const size_t scan = avail < kRtspMaxHeaderBlock ? avail : kRtspMaxHeaderBlock;
      for (size_t i = 0; i < scan; ++i) {
        if (p[i] != '\n') continue;
        if (lineEnd == 0) {
          lineEnd = i;
          RtspMessage probe;
          const std::string first(reinterpret_cast<const char*>(p), i > 0 && p[i - 1] == '\r' ? i - 1 : i);
          lineValid = ParseFirstLine(first, probe);
          if (!lineValid) break;
        }
        if (i + 1 < scan && p[i + 1] == '\n') {
          headerEnd = i + 1, bodyStart = i + 2;
          break;
        }
        if (i + 2 < scan && p[i + 1] == '\r' && p[i + 2] == '\n') {
          headerEnd = i + 1, bodyStart = i + 3;
          break;
        }
      }
      // A status line is short; a long run of bytes without one is not RTSP.
      if (lineEnd == 0 && avail > 1024) lineValid = false;
    }
    if (!lineValid) {
      if (!m_framesSeen) return Item::kError;
      if (!Resync()) return Item::kNeedMore;
      continue;
    }
    if (bodyStart == 0) return avail >= kRtspMaxHeaderBlock ? Item::kError : Item::kNeedMore;
    return ParseMessage(headerEnd, bodyStart);
  }
}

RtspReader::Item RtspReader::ParseMessage(size_t headerEnd, size_t bodyStart) {
  const uint8_t* p = &m_buffer[m_pos];
  const std::string block(reinterpret_cast<const char*>(p), headerEnd);
  RtspMessage m;
  size_t at = 0;
  bool first = true;
  while (at < block.size()) {
    size_t nl = block.find('\n', at);
    if (nl == std::string::npos) nl = block.size();
    std::string line = block.substr(at, nl - at);
    at = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first) {
      if (!ParseFirstLine(line, m)) return Item::kError;
      first = false;
    } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!m.headers.empty()) m.headers.back().second += " " + Trim(line);
    } else {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      m.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
  }
  size_t length = 0;
  if (const std::string* cl = m.Find("Content-Length")) {
    if (!ParseNumber(*cl, kRtspMaxBody, length)) return Item::kError;
  }
  if (m_buffer.size() - m_pos < bodyStart + length) return Item::kNeedMore;
  m.body.assign(reinterpret_cast<const char*>(p + bodyStart), length);
  m_pos += bodyStart + length;
  m_resyncing = false;
  m_message = std::move(m);
  return Item::kMessage;
}

bool ParseSessionHeader(const std::string& value, std::string& id, int& timeoutSeconds) {
  const size_t semi = value.find(';');
  id = Trim(value.substr(0, semi));
  timeoutSeconds = 0;
  for (size_t at = semi; at != std::string::npos && at < value.size();) {
    const size_t next = value.find(';', at + 1);
    const std::string param = Trim(value.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
    size_t n = 0;
    if (StartsWithNoCase(param, 0, "timeout=") && ParseNumber(Trim(param.substr(8)), 86400, n))
      timeoutSeconds = static_cast<int>(n);
    at = next;
  }
  return !id.empty();
}

int ParseInterleavedChannel(const std::string& transport) {
  const size_t at = transport.find("interleaved=");
  if (at == std::string::npos) return -1;
  size_t i = at + 12, n = 0, digits = 0;
  while (i < transport.size() && IsDigit(transport[i]) && digits < 4) n = n * 10 + (transport[i++] - '0'), ++digits;
  return digits > 0 && n <= 255 ? static_cast<int>(n) : -1;
}

bool ParseAuthChallenge(const std::string& value, AuthChallenge& c) {
  c = AuthChallenge();
  const std::string v = Trim(value);
  const size_t sp = v.find(' ');
  const std::string scheme = v.substr(0, sp);
  if (EqualsNoCase(scheme, "Basic")) {
    c.kind = AuthChallenge::Kind::kBasic;
  } else if (EqualsNoCase(scheme, "Digest")) {
    c.kind = AuthChallenge::Kind::kDigest;
  } else {
    return false;
  }
  bool qopGiven = false;
  size_t i = sp == std::string::npos ? v.size() : sp;
  while (i < v.size()) {
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == ',')) ++i;
    const size_t eq = v.find('=', i);
    if (eq == std::string::npos) break;
    std::string key = Trim(v.substr(i, eq - i));
    std::string val;
    i = eq + 1;
    while (i < v.size() && v[i] == ' ') ++i;
    if (i < v.size() && v[i] == '"') {
      for (++i; i < v.size() && v[i] != '"'; ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) ++i;
        val += v[i];
      }
      ++i;
    } else {
      const size_t comma = v.find(',', i);
      val = Trim(v.substr(i, comma == std::string::npos ? std::string::npos : comma - i));
      i = comma == std::string::npos ? v.size() : comma;
    }
    if (EqualsNoCase(key, "realm")) c.realm = val;
    if (EqualsNoCase(key, "nonce")) c.nonce = val;
    if (EqualsNoCase(key, "opaque")) c.opaque = val;
    if (EqualsNoCase(key, "stale")) c.stale = EqualsNoCase(val, "true");
    if (EqualsNoCase(key, "algorithm") && !EqualsNoCase(val, "MD5")) return false;
    if (EqualsNoCase(key, "qop")) {
      qopGiven = true;
      for (size_t at = 0; at <= val.size();) {
        size_t comma = val.find(',', at);
        if (comma == std::string::npos) comma = val.size();
        if (EqualsNoCase(Trim(val.substr(at, comma - at)), "auth")) c.qopAuth = true;
        at = comma + 1;
      }
    }
  }
  if (c.kind == AuthChallenge::Kind::kDigest && (c.nonce.empty() || (qopGiven && !c.qopAuth))) return false;
  return true;
}

std::string DigestAuthorization(const AuthChallenge& c, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, unsigned nonceCount,
                                const std::string& cnonce) {
  const std::string ha1 = Md5Hex(user + ":" + c.realm + ":" + password);
  const std::string ha2 = Md5Hex(method + ":" + uri);
  char nc[16];
  std::snprintf(nc, sizeof(nc), "%08x", nonceCount);
  const std::string response = c.qopAuth ? Md5Hex(ha1 + ":" + c.nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2)
                                         : Md5Hex(ha1 + ":" + c.nonce + ":" + ha2);
  std::string out = "Digest username=\"" + user + "\", realm=\"" + c.realm + "\", nonce=\"" + c.nonce + "\", uri=\"" +
                    uri + "\", response=\"" + response + "\"";
  if (!c.opaque.empty()) out += ", opaque=\"" + c.opaque + "\"";
  if (c.qopAuth) out += std::string(", qop=auth, nc=") + nc + ", cnonce=\"" + cnonce + "\"";
  return out;
}

std::string Md5Hex(const std::string& bytes) {
  static const uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  // floor(abs(sin(i + 1)) * 2^32)
  static const uint32_t kSine[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
      0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
      0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
      0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
      0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
      0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
      0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
  std::string msg = bytes;
  const uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
  msg += static_cast<char>(0x80);
  while (msg.size() % 64 != 56) msg += '\0';
  for (int i = 0; i < 8; ++i) msg += static_cast<char>(bits >> (8 * i) & 0xff);
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (size_t block = 0; block < msg.size(); block += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
      const auto* q = reinterpret_cast<const uint8_t*>(&msg[block + 4 * i]);
      w[i] = q[0] | q[1] << 8 | q[2] << 16 | static_cast<uint32_t>(q[3]) << 24;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) {
        f = (b & c) | (~b & d), g = i;
      } else if (i < 32) {
        f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
      } else if (i < 48) {
        f = b ^ c ^ d, g = (3 * i + 5) % 16;
      } else {
        f = c ^ (b | ~d), g = (7 * i) % 16;
      }
      const uint32_t sum = a + f + kSine[i] + w[g];
      a = d, d = c, c = b;
      b += sum << kShift[i] | sum >> (32 - kShift[i]);
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint32_t v : h) {
    for (int i = 0; i < 4; ++i) {
      const unsigned byte = v >> (8 * i) & 0xff;
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace video
