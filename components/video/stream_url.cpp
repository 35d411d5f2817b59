#include "stream_url.h"

#include "text.h"

namespace video {
namespace {

// The operator's address field holds at most this many characters.
const size_t kMaxText = 199;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// Where text starts and ends once the blanks around it are left out.
void Trim(const std::string& text, size_t& begin, size_t& end) {
  begin = 0;
  end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
}

// The scheme at text[at]; the length of "rtsp://" or "http://", or 0.
size_t SchemeLength(const std::string& text, size_t at, Scheme* scheme) {
  if (StartsWithNoCase(text, at, "rtsp://")) {
    if (scheme) *scheme = Scheme::kRtsp;
    return 7;
  }
  if (StartsWithNoCase(text, at, "http://")) {
    if (scheme) *scheme = Scheme::kHttp;
    return 7;
  }
  return 0;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Percent-decoding; false for a broken escape or a control character.
bool Decode(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (text.size() - i < 3) return false;
      const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (IsControl(c)) return false;
    out += c;
  }
  return true;
}

bool IsHostChar(char c) {
  return IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '-' || c == '.' || c == '_';
}

// A name, or when it is all digits and dots, four numbers 0-255.
bool ValidHost(const std::string& host) {
  if (host.empty() || host.front() == '.' || host.back() == '.') return false;
  bool numeric = true;
  for (char c : host) {
    if (!IsHostChar(c)) return false;
    if (!IsDigit(c) && c != '.') numeric = false;
  }
  if (!numeric) return true;
  int parts = 0;
  size_t i = 0;
  while (i < host.size()) {
    size_t digits = 0;
    unsigned value = 0;
    for (; i < host.size() && IsDigit(host[i]); ++i, ++digits)
      value = value * 10 + static_cast<unsigned>(host[i] - '0');
    if (digits == 0 || digits > 3 || value > 255) return false;
    ++parts;
    if (i < host.size()) ++i;  // the dot
  }
  return parts == 4;
}

// The parts of a stream URL as positions in the text.
struct Layout {
  size_t begin = 0, end = 0;         // without the blanks around it
  size_t authority = 0, path = 0;    // the authority runs up to the first '/'
  size_t at = std::string::npos;     // the '@' ending the user information
  size_t colon = std::string::npos;  // the ':' before the password
};

bool Split(const std::string& text, Layout& l, Scheme* scheme) {
  Trim(text, l.begin, l.end);
  const size_t schemeLength = SchemeLength(text, l.begin, scheme);
  if (schemeLength == 0) return false;
  l.authority = l.begin + schemeLength;
  l.path = l.authority;
  while (l.path < l.end && text[l.path] != '/') ++l.path;
  for (size_t i = l.authority; i < l.path; ++i)
    if (text[i] == '@') l.at = i;
  if (l.at != std::string::npos) {
    for (size_t i = l.authority; i < l.at && l.colon == std::string::npos; ++i)
      if (text[i] == ':') l.colon = i;
  }
  return true;
}

}  // namespace

bool IsStreamUrl(const std::string& text) {
  size_t begin, end;
  Trim(text, begin, end);
  return SchemeLength(text, begin, nullptr) != 0;
}

bool ParseStreamUrl(const std::string& text, uint16_t defaultPort, StreamUrl& url) {
  if (text.size() > kMaxText) return false;
  for (char c : text)
    if (IsControl(c) && !IsBlank(c)) return false;
  Layout l;
  StreamUrl out;
  if (!Split(text, l, &out.scheme)) return false;
  size_t hostBegin = l.authority;
  if (l.at != std::string::npos) {
    out.hasUser = true;
    const size_t userEnd = l.colon != std::string::npos ? l.colon : l.at;
    if (!Decode(text.substr(l.authority, userEnd - l.authority), out.user)) return false;
    if (l.colon != std::string::npos && !Decode(text.substr(l.colon + 1, l.at - l.colon - 1), out.password))
      return false;
    hostBegin = l.at + 1;
  }
  size_t hostEnd = l.path;
  for (size_t i = hostBegin; i < l.path; ++i)
    if (text[i] == ':') {
      hostEnd = i;
      break;
    }
  out.host = text.substr(hostBegin, hostEnd - hostBegin);
  if (!ValidHost(out.host)) return false;
  unsigned port = defaultPort;
  if (hostEnd + 1 < l.path) {  // an empty port after the ':' means the default one
    port = 0;
    for (size_t i = hostEnd + 1; i < l.path; ++i) {
      if (!IsDigit(text[i]) || i - hostEnd > 5) return false;
      port = port * 10 + static_cast<unsigned>(text[i] - '0');
    }
  }
  if (port == 0 || port > 65535) return false;
  out.port = static_cast<uint16_t>(port);
  out.path = text.substr(l.path, l.end - l.path);
  for (char c : out.path)
    if (IsBlank(c)) return false;
  if (out.path.empty() || out.path[0] != '/') out.path = "/" + out.path;
  url = out;
  return true;
}

bool HasChannelToken(const std::string& text) {
  for (size_t i = 0; i + 4 <= text.size(); ++i)
    if (StartsWithNoCase(text, i, "{ch}")) return true;
  return false;
}

std::string ExpandChannel(const std::string& text, int channel) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (StartsWithNoCase(text, i, "{ch}")) {
      out += std::to_string(channel);
      i += 4;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string RequestUri(const StreamUrl& url) {
  const bool rtsp = url.scheme == Scheme::kRtsp;
  std::string out = rtsp ? "rtsp://" : "http://";
  out += url.host;
  if (url.port != (rtsp ? 554 : 80)) out += ":" + std::to_string(url.port);
  return out + (url.path.empty() ? "/" : url.path);
}

std::string MaskPassword(const std::string& text) {
  Layout l;
  if (!Split(text, l, nullptr)) return text;
  size_t from = l.colon, to = l.at;
  if (to == std::string::npos) {
    // No user information before the path: when the text does not read as
    // a URL, a password may still hide behind a '/' or '?' written in it,
    // so everything from the first ':' to the last '@' goes.
    StreamUrl url;
    if (ParseStreamUrl(text, 1, url)) return text;
    to = text.rfind('@');
    if (to == std::string::npos || to < l.authority) return text;
    from = text.find(':', l.authority);
    if (from > to) return text;
  }
  if (from == std::string::npos) return text;  // a user without a password
  return text.substr(0, from) + ":***" + text.substr(to);
}

}  // namespace video
