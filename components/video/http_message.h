// HTTP/1.x as an image stream's client reads it: the response head,
// and the parts of a multipart/x-mixed-replace body (one JPEG a part).
// Both readers take the bytes as they come, in pieces of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "base64.h"

namespace video {

// A response head is at most this long; a multipart part's body too.
const size_t kMaxHttpHead = 64 * 1024;
const size_t kMaxHttpPart = 8 * 1024 * 1024;

struct HttpResponse {
  int status = 0;
  std::string reason;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string contentType;                                   // the media type in lower case, no parameters
  std::string boundary;                                      // Content-Type's boundary parameter, unquoted
  int64_t contentLength = -1;                                // -1 when absent or unreadable
  std::string wwwAuthenticate;                               // the first such header

  // The first header of that name (any letter case); empty when none.
  std::string Header(const std::string& name) const;
};

class HttpResponseReader {
 public:
  enum class State { kNeedMore, kDone, kBad };
  // Takes the next bytes. kDone once the head is complete: response() is
  // read, and the bytes after the head are in body(). kBad for anything
  // that is not an HTTP/1.x response or a head over kMaxHttpHead.
  State Feed(const uint8_t* data, size_t size);
  State state() const { return m_state; }
  const HttpResponse& response() const { return m_response; }
  const std::string& body() const { return m_body; }
  void Reset() { *this = HttpResponseReader(); }

 private:
  State Parse(size_t headEnd);

  State m_state = State::kNeedMore;
  std::string m_head, m_body;
  HttpResponse m_response;
};

// Reads the parts of a multipart/x-mixed-replace body. A part starts with
// a boundary line (the boundary with or without its leading "--"), then
// its headers and an empty line; its body is Content-Length bytes when the
// part says so, else everything up to the next boundary line. Lines end in
// CRLF or LF. Bytes that are no part (a preamble, junk between parts) are
// passed over up to the next boundary line; a part over kMaxHttpPart is
// dropped.
class MultipartReader {
 public:
  enum class State { kOk, kEnd, kBad };
  struct Part {
    std::vector<uint8_t> body;
    int64_t arrival = 0;  // the stamp of the Feed that brought its first byte
  };
  // An empty boundary: the first line starting with "--" names it.
  explicit MultipartReader(const std::string& boundary);
  // Takes the next bytes, stamped with when they arrived. kEnd after the
  // closing boundary; kBad when more than two parts' worth of bytes came
  // without a whole part.
  State Feed(const uint8_t* data, size_t size, int64_t stamp);
  // The oldest whole part not yet taken; false when there is none.
  bool Next(Part& part);

 private:
  enum class Step { kBoundary, kHeaders, kSized, kUnsized };
  bool Line(size_t& lineEnd, size_t& next) const;
  int IsBoundaryLine(size_t begin, size_t end) const;  // 0 no, 1 yes, 2 the closing one
  bool FindBoundary(size_t& bodyEnd, size_t& lineBegin);
  void Emit(size_t size);
  void Consume(size_t n);

  std::string m_boundary;  // without leading dashes
  std::string m_buf;
  size_t m_pos = 0;   // bytes of m_buf already consumed
  size_t m_scan = 0;  // while kUnsized: bytes of the body already searched
  Step m_step = Step::kBoundary;
  State m_state = State::kOk;
  int64_t m_length = -1;  // the current part's Content-Length
  int64_t m_partStamp = 0;
  bool m_stampNext = false;  // the next byte fed starts the current part
  bool m_midLine = false;    // while kUnsized: m_scan is inside a line
  bool m_dropping = false;   // the current part is too long and is being passed over
  uint64_t m_sincePart = 0;  // bytes fed since the last whole part
  std::deque<Part> m_parts;
};

}  // namespace video
