#include "http_message.h"

#include <algorithm>
#include <cstring>

#include "base64.h"
#include "text.h"

namespace video {
namespace {

// A boundary line may carry this much padding after the boundary.
const size_t kBoundaryPadding = 64;

std::string ToLower(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}

// Digits only, no more than fit; -1 otherwise.
int64_t ParseLength(const std::string& text) {
  const std::string s = Trim(text);
  if (s.empty() || s.size() > 18) return -1;
  int64_t n = 0;
  for (char c : s) {
    if (!IsDigit(c)) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

// Content-Type: the media type, and the boundary parameter (quoted or not).
void ParseContentType(const std::string& value, std::string& type, std::string& boundary) {
  size_t i = value.find(';');
  type = ToLower(Trim(value.substr(0, i)));
  while (i != std::string::npos && i < value.size()) {
    ++i;  // past ';'
    const size_t eq = value.find('=', i);
    if (eq == std::string::npos) return;
    const std::string name = ToLower(Trim(value.substr(i, eq - i)));
    size_t j = eq + 1;
    while (j < value.size() && IsBlank(value[j])) ++j;
    std::string v;
    if (j < value.size() && value[j] == '"') {
      for (++j; j < value.size() && value[j] != '"'; ++j) {
        if (value[j] == '\\' && j + 1 < value.size()) ++j;
        v += value[j];
      }
      i = value.find(';', j);
    } else {
      i = value.find(';', j);
      v = Trim(value.substr(j, i == std::string::npos ? std::string::npos : i - j));
    }
    if (name == "boundary" && boundary.empty()) boundary = v;
  }
}

}  // namespace

std::string HttpResponse::Header(const std::string& name) const {
  for (const auto& h : headers)
    if (EqualsNoCase(h.first, name.c_str())) return h.second;
  return std::string();
}

HttpResponseReader::State HttpResponseReader::Feed(const uint8_t* data, size_t size) {
  if (m_state == State::kBad) return m_state;
  if (m_state == State::kDone) {
    m_body.append(reinterpret_cast<const char*>(data), size);
    return m_state;
  }
  const size_t old = m_head.size();
  m_head.append(reinterpret_cast<const char*>(data), size);
  static const char kStart[] = "HTTP/";
  for (size_t i = 0; i < m_head.size() && i < 5; ++i)
    if (m_head[i] != kStart[i]) return m_state = State::kBad;
  // The head ends with an empty line; look from just before the new bytes.
  for (size_t i = old >= 2 ? old - 2 : 0; i < m_head.size() && i < kMaxHttpHead; ++i) {
    if (m_head[i] != '\n') continue;
    size_t j = i + 1;
    if (j < m_head.size() && m_head[j] == '\r') ++j;
    if (j < m_head.size() && m_head[j] == '\n') {
      m_body = m_head.substr(j + 1);
      m_head.resize(j + 1);
      return m_state = Parse(j + 1);
    }
  }
  if (m_head.size() >= kMaxHttpHead) return m_state = State::kBad;
  return m_state;
}

HttpResponseReader::State HttpResponseReader::Parse(size_t headEnd) {
  std::vector<std::string> lines;
  for (size_t b = 0; b < headEnd;) {
    size_t e = m_head.find('\n', b);
    if (e == std::string::npos) e = headEnd;
    std::string line = m_head.substr(b, e - b);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    b = e + 1;
  }
  // HTTP/1.x NNN reason
  const std::string& first = lines[0];
  if (first.size() < 12 || first.compare(0, 7, "HTTP/1.") != 0 || !IsDigit(first[7]) || first[8] != ' ' ||
      !IsDigit(first[9]) || !IsDigit(first[10]) || !IsDigit(first[11]) || (first.size() > 12 && first[12] != ' '))
    return State::kBad;
  HttpResponse& r = m_response;
  r.status = (first[9] - '0') * 100 + (first[10] - '0') * 10 + (first[11] - '0');
  if (r.status < 100) return State::kBad;
  r.reason = first.size() > 13 ? first.substr(13) : std::string();
  for (size_t k = 1; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    if (line.empty()) break;
    if (IsBlank(line[0])) {  // a folded line continues the header before it
      if (!r.headers.empty()) r.headers.back().second += " " + Trim(line);
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;  // not a header: passed over
    r.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  ParseContentType(r.Header("Content-Type"), r.contentType, r.boundary);
  const std::string length = r.Header("Content-Length");
  r.contentLength = length.empty() ? -1 : ParseLength(length);
  r.wwwAuthenticate = r.Header("WWW-Authenticate");
  return State::kDone;
}

MultipartReader::MultipartReader(const std::string& boundary) {
  size_t b = 0;
  while (b < boundary.size() && boundary[b] == '-') ++b;
  m_boundary = boundary.substr(b);
}

// The next whole line from m_pos: its end without CR/LF, and where the
// line after it starts.
bool MultipartReader::Line(size_t& lineEnd, size_t& next) const {
  const size_t lf = m_buf.find('\n', m_pos);
  if (lf == std::string::npos) return false;
  next = lf + 1;
  lineEnd = lf > m_pos && m_buf[lf - 1] == '\r' ? lf - 1 : lf;
  return true;
}

int MultipartReader::IsBoundaryLine(size_t begin, size_t end) const {
  while (end > begin && (IsBlank(m_buf[end - 1]) || m_buf[end - 1] == '\r')) --end;
  while (begin < end && m_buf[begin] == '-') ++begin;
  const size_t n = m_boundary.size();
  if (n == 0 || end - begin < n || m_buf.compare(begin, n, m_boundary) != 0) return 0;
  if (end - begin == n) return 1;
  return end - begin == n + 2 && m_buf.compare(begin + n, 2, "--") == 0 ? 2 : 0;
}

// While in a body of unknown length: the next boundary line after the
// part's start. bodyEnd leaves out the line break before it.
bool MultipartReader::FindBoundary(size_t& bodyEnd, size_t& lineBegin) {
  const size_t maxLine = m_boundary.size() + 4 + kBoundaryPadding;
  size_t start = m_pos + m_scan;
  for (;;) {
    if (m_midLine || (start < m_buf.size() && m_buf[start] == '\n')) {
      // Inside a line that is no boundary line: the next line start.
      const void* lf = std::memchr(m_buf.data() + start, '\n', m_buf.size() - start);
      m_midLine = !lf;
      if (!lf) {
        m_scan = m_buf.size() - m_pos;
        return false;
      }
      start = static_cast<const char*>(lf) - m_buf.data() + 1;
    }
    // A line start: is a boundary line there?
    const size_t window = std::min(m_buf.size() - start, maxLine + 1);
    const void* lf = std::memchr(m_buf.data() + start, '\n', window);
    if (!lf) {
      m_scan = start - m_pos;
      m_midLine = window > maxLine;  // too long to be one
      if (!m_midLine) return false;
      continue;
    }
    const size_t end = static_cast<const char*>(lf) - m_buf.data();
    if (IsBoundaryLine(start, end)) {
      lineBegin = start;
      bodyEnd = start;
      if (bodyEnd > m_pos && m_buf[bodyEnd - 1] == '\n') --bodyEnd;
      if (bodyEnd > m_pos && m_buf[bodyEnd - 1] == '\r') --bodyEnd;
      return true;
    }
    start = end;
  }
}

void MultipartReader::Emit(size_t size) {
  Part part;
  part.body.assign(m_buf.begin() + m_pos, m_buf.begin() + m_pos + size);
  part.arrival = m_partStamp;
  m_parts.push_back(std::move(part));
  m_sincePart = 0;
}

void MultipartReader::Consume(size_t n) {
  m_pos += n;
  if (m_pos == m_buf.size()) {
    m_buf.clear();
    m_pos = 0;
  } else if (m_pos > 65536 && m_pos > m_buf.size() / 2) {
    m_buf.erase(0, m_pos);
    m_pos = 0;
  }
}

MultipartReader::State MultipartReader::Feed(const uint8_t* data, size_t size, int64_t stamp) {
  if (m_state != State::kOk || size == 0) return m_state;
  if (m_stampNext) m_partStamp = stamp;
  m_stampNext = false;
  m_buf.append(reinterpret_cast<const char*>(data), size);
  m_sincePart += size;
  for (bool progress = true; progress && m_state == State::kOk;) {
    progress = false;
    const size_t left = m_buf.size() - m_pos;
    size_t lineEnd = 0, next = 0;
    switch (m_step) {
      case Step::kBoundary:
        if (!Line(lineEnd, next)) {
          if (left > kMaxHttpHead) Consume(left), progress = true;  // one endless line of junk
          break;
        }
        if (m_boundary.empty() && lineEnd - m_pos > 2 && m_buf.compare(m_pos, 2, "--") == 0) {
          // No boundary was named: this line names it.
          size_t b = m_pos, e = lineEnd;
          while (b < e && m_buf[b] == '-') ++b;
          while (e > b && IsBlank(m_buf[e - 1])) --e;
          m_boundary = m_buf.substr(b, e - b);
        }
        if (const int kind = IsBoundaryLine(m_pos, lineEnd)) {
          if (kind == 2) {
            m_state = State::kEnd;
            break;
          }
          m_step = Step::kHeaders;
          m_length = -1;
          m_scan = 0;  // counts the header bytes
          m_partStamp = stamp;
          m_stampNext = next == m_buf.size();
        }
        Consume(next - m_pos);
        progress = true;
        break;
      case Step::kHeaders:
        if (!Line(lineEnd, next)) {
          if (left > kMaxHttpHead) m_step = Step::kBoundary, progress = true;
          break;
        }
        m_scan += next - m_pos;
        if (lineEnd == m_pos) {
          m_step = m_length >= 0 ? Step::kSized : Step::kUnsized;
          m_dropping = m_length > static_cast<int64_t>(kMaxHttpPart);
          m_scan = 0;
          m_midLine = false;
        } else if (IsBoundaryLine(m_pos, lineEnd) || m_scan > kMaxHttpHead) {
          m_step = Step::kBoundary;  // read that line again as a boundary
          break;
        } else {
          const std::string line = m_buf.substr(m_pos, lineEnd - m_pos);
          const size_t colon = line.find(':');
          if (colon != std::string::npos && EqualsNoCase(Trim(line.substr(0, colon)), "content-length"))
            m_length = ParseLength(line.substr(colon + 1));
        }
        Consume(next - m_pos);
        progress = true;
        break;
      case Step::kSized:
        if (m_dropping) {
          const size_t n = left < static_cast<uint64_t>(m_length) ? left : static_cast<size_t>(m_length);
          Consume(n);
          m_length -= static_cast<int64_t>(n);
          if (m_length == 0) m_step = Step::kBoundary, m_dropping = false;
          progress = n > 0;
        } else if (left >= static_cast<uint64_t>(m_length)) {
          Emit(static_cast<size_t>(m_length));
          Consume(static_cast<size_t>(m_length));
          m_step = Step::kBoundary;
          progress = true;
        }
        break;
      case Step::kUnsized: {
        size_t bodyEnd = 0, lineBegin = 0;
        if (FindBoundary(bodyEnd, lineBegin)) {
          if (!m_dropping && bodyEnd - m_pos <= kMaxHttpPart) Emit(bodyEnd - m_pos);
          m_dropping = false;
          Consume(lineBegin - m_pos);
          m_step = Step::kBoundary;
          progress = true;
        } else if (m_scan > kMaxHttpPart) {
          m_dropping = true;  // keep only what may still begin the boundary line
          Consume(m_scan);
          m_scan = 0;
        }
        break;
      }
    }
  }
  if (m_sincePart > 2 * kMaxHttpPart + kMaxHttpHead) m_state = State::kBad;
  return m_state;
}

bool MultipartReader::Next(Part& part) {
  if (m_parts.empty()) return false;
  part = std::move(m_parts.front());
  m_parts.pop_front();
  return true;
}

}  // namespace video
