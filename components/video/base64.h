// Base64 (RFC 4648, with padding): HTTP Basic credentials and the
// parameter sets that an SDP carries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace video {

std::string Base64Encode(const std::string& bytes);
// False for anything but whole groups of the 64 letters with their padding.
bool Base64Decode(const std::string& text, std::vector<uint8_t>& bytes);
// The value of an Authorization header for Basic credentials.
std::string BasicAuthorization(const std::string& user, const std::string& password);

}  // namespace video
