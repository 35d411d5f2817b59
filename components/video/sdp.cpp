#include "sdp.h"

#include "base64.h"
#include "text.h"

namespace video {
namespace {

// The payload type at the start of text ("96 H264/90000"), else -1.
int LeadingNumber(const std::string& text, size_t& end) {
  int n = 0;
  end = 0;
  while (end < text.size() && end < 3 && text[end] >= '0' && text[end] <= '9') n = n * 10 + (text[end++] - '0');
  return end > 0 && n <= 127 ? n : -1;
}

void ReadParameterSets(const std::string& fmtp, H264Track& track) {
  const char key[] = "sprop-parameter-sets=";
  size_t at = 0;
  for (;; ++at) {
    at = fmtp.find(key, at);
    if (at == std::string::npos) return;
    if (at == 0 || fmtp[at - 1] == ' ' || fmtp[at - 1] == ';') break;
  }
  at += sizeof(key) - 1;
  size_t end = fmtp.find(';', at);
  if (end == std::string::npos) end = fmtp.size();
  const std::string sets = fmtp.substr(at, end - at);
  for (size_t from = 0; from <= sets.size();) {
    size_t comma = sets.find(',', from);
    if (comma == std::string::npos) comma = sets.size();
    std::vector<uint8_t> nal;
    std::string text = sets.substr(from, comma - from);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (Base64Decode(text, nal) && !nal.empty()) {
      const int type = nal[0] & 0x1f;
      if (type == 7 && track.sps.empty()) track.sps = nal;
      if (type == 8 && track.pps.empty()) track.pps = nal;
    }
    from = comma + 1;
  }
}

}  // namespace

std::string ResolveControl(const std::string& base, const std::string& control) {
  if (control.empty() || control == "*") return base;
  if (StartsWithNoCase(control, 0, "rtsp://") || StartsWithNoCase(control, 0, "rtsps://")) return control;
  if (!base.empty() && base.back() == '/') return base + (control[0] == '/' ? control.substr(1) : control);
  return base + (control[0] == '/' ? "" : "/") + control;
}

bool FindH264Track(const std::string& sdp, const std::string& base, H264Track& track) {
  track = H264Track();
  std::string sessionControl, control, fmtp;
  bool inMedia = false, inVideo = false, found = false;
  int candidate = -1;
  size_t at = 0;
  while (at < sdp.size() && !found) {
    size_t nl = sdp.find('\n', at);
    if (nl == std::string::npos) nl = sdp.size();
    std::string line = sdp.substr(at, nl - at);
    at = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool last = at >= sdp.size();
    if (StartsWithNoCase(line, 0, "m=")) {
      if (inVideo && candidate >= 0) {
        found = true;
        break;
      }
      inMedia = true;
      inVideo = StartsWithNoCase(line, 0, "m=video ");
      candidate = -1, control.clear(), fmtp.clear();
    } else if (StartsWithNoCase(line, 0, "a=control:")) {
      (inMedia ? control : sessionControl) = line.substr(10);
    } else if (inVideo && StartsWithNoCase(line, 0, "a=rtpmap:") && candidate < 0) {
      size_t end = 0;
      const std::string rest = line.substr(9);
      const int pt = LeadingNumber(rest, end);
      if (pt >= 0 && end < rest.size() && rest[end] == ' ' && StartsWithNoCase(rest, end + 1, "H264/90000"))
        candidate = pt;
    } else if (inVideo && StartsWithNoCase(line, 0, "a=fmtp:")) {
      size_t end = 0;
      if (fmtp.empty() || LeadingNumber(line.substr(7), end) == candidate) fmtp = line.substr(7);
    }
    if (last && inVideo && candidate >= 0) found = true;
  }
  if (!found) return false;
  track.payloadType = candidate;
  track.sessionControl = ResolveControl(base, sessionControl);
  track.control = ResolveControl(base, control);
  size_t end = 0;
  if (LeadingNumber(fmtp, end) == candidate && end < fmtp.size()) ReadParameterSets(fmtp, track);
  return true;
}

}  // namespace video
