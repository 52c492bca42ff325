// Movies through FFmpeg's libraries, read from the gate's descriptor by a custom AVIOContext.
//
// Opening a movie reads its packets once, without decoding, to learn every frame's presentation
// time (so variable frame rates map exactly) and to find a file that ends early; the decoder then
// starts again from the beginning. Decoding forward never seeks; going back does.
#pragma once

#include <memory>
#include <string>

#include "media/footage.h"
#include "media/time_map.h"

namespace lwhost {

class OpenedFile;

struct MovieRequest {
  std::string name;  // as the scene wrote it, for messages
  int stream = 0;    // among the file's video streams, from 0
  ClipPlacement placement;
  int bitDepth = 8;
};

// Throws FootageError: not a movie, no such video stream, no decoder for its codec, zero frames,
// a truncated file, a size over kMaxFootageSide.
std::unique_ptr<Footage> OpenMovie(OpenedFile file, const MovieRequest& request);

}  // namespace lwhost
