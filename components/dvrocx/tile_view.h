// What one video tile shows: the state of its stream and its newest picture.
#pragma once

#include <memory>

#include "stream_sink.h"

namespace dvrocx {

enum class TileState { kNone, kConnecting, kPlaying, kAuthFailed, kNoStream, kReconnecting, kNoDecoder };

struct TileView {
  TileState state = TileState::kNone;
  int fps = 0;           // pictures decoded in the last second, while playing
  int retrySeconds = 0;  // while reconnecting
  std::shared_ptr<const VideoFrame> frame;
};

// The number of tiles that play streams.
constexpr int kStreamTiles = 4;

}  // namespace dvrocx
