#include "stream_url.h"

namespace video {

// Filled in with the stream clients.

}  // namespace video
