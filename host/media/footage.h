// Footage: the frames of a source layer that moves (a movie, an image sequence), as a host
// service. A Footage decodes frames by index; a MovingSource (frame_cache.h) puts a bounded cache
// and a decode-ahead thread in front of it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "layers/image.h"

namespace lwhost {

// Largest side of a frame the host reads from footage or a still.
inline constexpr int32_t kMaxFootageSide = 16384;

// A file that cannot serve as footage: the message names the file and what is wrong, in one line.
class FootageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A wait for a decoded frame given up because the render was cancelled.
class FootageWaitCancelled : public std::runtime_error {
 public:
  FootageWaitCancelled() : std::runtime_error("cancelled while waiting for a decoded frame") {}
};

// The time a render asks for, as PF_InData gives it: what_time / time_scale seconds, one scene
// frame lasting time_step.
struct SceneTime {
  int64_t value = 0;
  int64_t step = 1;
  int64_t scale = 1;
};

class Footage {
 public:
  virtual ~Footage() = default;
  virtual int64_t FrameCount() const = 0;
  // The index of the frame shown at `time` (time mapping: start, hold, loop).
  virtual int64_t IndexAt(const SceneTime& time) const = 0;
  // Decodes frame `index` at the store's bit depth. Called from one thread at a time; decoding
  // the frames in ascending order never seeks. Throws FootageError.
  virtual Image Decode(int64_t index) = 0;
  // How often Decode had to go back (a seek), for the tests of decode-ahead.
  virtual int64_t Seeks() const { return 0; }
};

// "\"name\"", as every message quotes a file.
inline std::string QuotedName(const std::string& name) {
  return "\"" + name + "\"";
}

}  // namespace lwhost
