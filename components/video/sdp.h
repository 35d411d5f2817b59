// The part of a session description (SDP) an H.264 client needs: the first
// video track carried as H264/90000, where to SETUP it, and the parameter
// sets it announces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace video {

struct H264Track {
  int payloadType = -1;
  std::string control;         // the track's URL, already resolved
  std::string sessionControl;  // the URL for aggregate requests (PLAY, TEARDOWN)
  std::vector<uint8_t> sps;    // from sprop-parameter-sets; may be empty
  std::vector<uint8_t> pps;
};

// base is Content-Base, else Content-Location, else the DESCRIBE URI.
// False when there is no H.264 video track.
bool FindH264Track(const std::string& sdp, const std::string& base, H264Track& track);
// An a=control value against base: absolute URLs stay, "*" is base itself,
// anything else is appended below base.
std::string ResolveControl(const std::string& base, const std::string& control);

}  // namespace video
