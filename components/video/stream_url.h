// Addresses that are stream URLs:
//   rtsp://[user[:password]@]host[:port]/path
//   http://[user[:password]@]host[:port]/path
// "{ch}" anywhere in the text stands for a channel number 1-4.
#pragma once

#include <cstdint>
#include <string>

namespace video {

enum class Scheme { kRtsp, kHttp };

struct StreamUrl {
  Scheme scheme = Scheme::kRtsp;
  bool hasUser = false;  // user information was given, possibly with an empty password
  std::string user;      // percent-decoded
  std::string password;  // percent-decoded
  std::string host;      // a name or a dotted IPv4 address
  uint16_t port = 0;     // the URL's own, else the default port given to the parser
  std::string path;      // from the first '/' on, query included; "/" when absent
};

// True when text (blanks around it ignored) starts with rtsp:// or http://
// in any letter case: such text is a stream URL, anything else a host.
bool IsStreamUrl(const std::string& text);
// Parses a stream URL; defaultPort is used when it names no port. False for
// anything malformed (no host, a bad port, control characters, ...).
bool ParseStreamUrl(const std::string& text, uint16_t defaultPort, StreamUrl& url);
bool HasChannelToken(const std::string& text);
// text with every "{ch}" replaced by the channel's number.
std::string ExpandChannel(const std::string& text, int channel);
// The URL as requests name it: scheme, host, port and path, no user information.
std::string RequestUri(const StreamUrl& url);
// text safe to show: a password in the user information becomes "***".
// Text that is not a stream URL comes back unchanged.
std::string MaskPassword(const std::string& text);

}  // namespace video
