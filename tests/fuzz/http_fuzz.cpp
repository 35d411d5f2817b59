// Stream URLs, password masking, response heads and multipart bodies from
// arbitrary bytes: no fault, and no password left in a masked URL.
#include <cstdlib>

#include "http_message.h"
#include "stream_url.h"

using namespace video;

#define Check(ok) ((ok) ? (void)0 : std::abort())

// A URL around the password p, each of its bytes written raw or escaped as
// the bits of `how` say: parsing gives p back, masking leaves neither form.
static void MaskBuilt(const std::string& p, const std::string& how) {
  std::string raw, rest = "/";
  for (size_t i = 0; i < p.size(); ++i) {
    const unsigned char c = p[i];
    if (c < 0x20 || c == 0x7f) return;
    char hex[4];
    snprintf(hex, sizeof(hex), "%%%02X", c);
    raw += c < 0x7f && c != '%' && c != '/' && c != ' ' && i < how.size() && (how[i] & 1) ? std::string(1, c) : hex;
  }
  for (char c : how) rest += "abc0.@:/"[c & 7];
  const std::string text = "rtsp://u:" + raw + "@h" + rest, kept = "rtsp://u:***@h" + rest;
  StreamUrl u;
  if (text.size() > 199) return;
  Check(ParseStreamUrl(text, 554, u) && u.password == p && u.user == "u" && u.host == "h");
  const std::string masked = MaskPassword(text);
  for (const std::string& secret : {p, raw})
    if (secret.find_first_not_of(kept) != std::string::npos) Check(masked.find(secret) == std::string::npos);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  StreamUrl u;
  const bool parsed = ParseStreamUrl(text, 554, u);
  const std::string masked = MaskPassword(text);
  if (parsed) RequestUri(u), Check(IsStreamUrl(text) && (u.password.empty() || masked.find(":***@") != masked.npos));
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) MaskBuilt(text.substr(0, zero), text.substr(zero + 1));
  const size_t split = size ? data[0] % (size + 1) : 0;
  HttpResponseReader head;
  head.Feed(data, split);
  if (head.Feed(data + split, size - split) == HttpResponseReader::State::kDone) Check(head.body().size() < size);
  MultipartReader parts(size > 1 ? text.substr(1, data[0] % 5) : "");
  size_t out = 0;
  for (size_t at = 0, n = 1; at < size; at += n, n = 1 + data[std::min(at, size) - 1] % 64) {
    parts.Feed(data + at, std::min(n, size - at), static_cast<int64_t>(at));
    for (MultipartReader::Part part; parts.Next(part);) out += part.body.size();
  }
  Check(out <= size);
  return 0;
}
