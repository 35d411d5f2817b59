#include "base64.h"

namespace video {
namespace {

const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kLetters[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (text.size() % 4 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    size_t pad = 0;
    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      int v = Value(c);
      if (c == '=' && last && k >= 2) {
        ++pad;
        v = 0;
      } else if (v < 0 || pad > 0) {
        return false;
      }
      group = group << 6 | static_cast<uint32_t>(v);
    }
    for (size_t k = 0; k < 3 - pad; ++k) bytes.push_back(static_cast<uint8_t>(group >> (16 - 8 * k)));
  }
  return true;
}

std::string BasicAuthorization(const std::string& user, const std::string& password) {
  return "Basic " + Base64Encode(user + ":" + password);
}

}  // namespace video
