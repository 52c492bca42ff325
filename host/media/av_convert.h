// Decoded FFmpeg frames into host worlds.
//
// Formats that store RGB (or grey) are read at their own depth, component by component, so a
// channel v of b bits becomes v x S / (2^b - 1) exactly as a PNG's would. YUV is turned into RGB by
// swscale with the frame's own matrix and range (FFmpeg's defaults where the file says nothing),
// at 8 bits for 8-bit worlds and 16 for 16-bit worlds. Colours are then premultiplied.
#pragma once

#include <string>

#include "layers/image.h"

struct AVFrame;
struct SwsContext;

namespace lwhost {

// One conversion context kept across the frames of a stream.
class FrameConverter {
 public:
  FrameConverter() = default;
  ~FrameConverter();
  FrameConverter(const FrameConverter&) = delete;
  FrameConverter& operator=(const FrameConverter&) = delete;

  // Throws FootageError naming `name` when the pixel format is one the host cannot convert, or
  // the frame is larger than kMaxFootageSide.
  Image Convert(const AVFrame& frame, int bitDepth, const std::string& name);

 private:
  SwsContext* sws_ = nullptr;
};

// FFmpeg's text for an error code.
std::string AvErrorText(int code);

}  // namespace lwhost
