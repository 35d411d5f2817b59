// RTSP messages as they travel over the client's TCP connection: requests
// we send, and a reader for what comes back, where responses (status line,
// headers, a body sized by Content-Length) are interleaved with binary
// frames ('$', channel, 16-bit length, payload) that carry RTP over TCP.
// Also the pieces of a session's headers a client needs, and Basic and
// Digest (MD5) credentials.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base64.h"

namespace video {

using RtspHeaders = std::vector<std::pair<std::string, std::string>>;

// "METHOD uri RTSP/1.0", CSeq, the headers in order, Authorization when
// authorization is not empty, and the blank line.
std::string BuildRtspRequest(const std::string& method, const std::string& uri, int cseq, const RtspHeaders& headers,
                             const std::string& authorization);

struct RtspMessage {
  bool isRequest = false;  // a request the server sent us (method in reason)
  int status = 0;
  std::string reason;
  RtspHeaders headers;
  std::string body;
  // The first header of that name (any letter case); null when absent.
  const std::string* Find(const char* name) const;
  // Every header of that name.
  std::vector<std::string> FindAll(const char* name) const;
  int CSeq() const;  // -1 when absent or malformed
};

constexpr size_t kRtspMaxHeaderBlock = 64 * 1024;
constexpr size_t kRtspMaxBody = 1024 * 1024;

// Takes the connection's bytes as they arrive and hands out whole items.
// Before the first binary frame anything that is not RTSP is an error; once
// frames flow, stray bytes (a frame cut short by the server) are skipped up
// to the next frame that holds RTP or RTCP and is followed by another item,
// or to a status line; they are counted.
class RtspReader {
 public:
  enum class Item { kNeedMore, kMessage, kFrame, kError };
  void Feed(const uint8_t* data, size_t size);
  Item Next();
  // After kMessage.
  const RtspMessage& message() const { return m_message; }
  // After kFrame: the channel and the payload (valid until the next Feed).
  uint8_t channel() const { return m_channel; }
  const uint8_t* payload() const { return m_payload; }
  size_t payloadSize() const { return m_payloadSize; }
  uint64_t skipped() const { return m_skipped; }
  size_t buffered() const { return m_buffer.size() - m_pos; }

 private:
  Item ParseMessage(size_t headerEnd, size_t bodyStart);
  bool Resync();

  std::vector<uint8_t> m_buffer;
  size_t m_pos = 0;
  bool m_framesSeen = false;
  bool m_resyncing = false;
  RtspMessage m_message;
  uint8_t m_channel = 0;
  const uint8_t* m_payload = nullptr;
  size_t m_payloadSize = 0;
  uint64_t m_skipped = 0;
};

// Session: "id[;timeout=seconds]". False when there is no id.
bool ParseSessionHeader(const std::string& value, std::string& id, int& timeoutSeconds);
// The first channel of "interleaved=a-b" in a Transport header, else -1.
int ParseInterleavedChannel(const std::string& transport);

struct AuthChallenge {
  enum class Kind { kNone, kBasic, kDigest } kind = Kind::kNone;
  std::string realm;
  std::string nonce;
  std::string opaque;
  bool qopAuth = false;  // the server offers qop=auth
  bool stale = false;
};

// One WWW-Authenticate value. False for schemes we cannot answer (Digest
// with an algorithm other than MD5, or qop without "auth").
bool ParseAuthChallenge(const std::string& value, AuthChallenge& challenge);
// nonceCount and cnonce only count with qop=auth.
std::string DigestAuthorization(const AuthChallenge& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, unsigned nonceCount,
                                const std::string& cnonce);
// MD5 (RFC 1321) of bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& bytes);

}  // namespace video
