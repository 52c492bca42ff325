// The pixels an output file holds, made from a rendered world: plain functions over plain data.
//
// Worlds store premultiplied values alpha first at full scale S (255 or 32768); files want
// straight or premultiplied values in R, G, B, A order on their own scale.
#pragma once

#include <cstdint>
#include <vector>

#include "layers/image.h"

namespace lwhost {

// Interleaved R, G, B, A samples of `bits` bits (8 or 16) per channel, row by row, no padding.
struct FileFrame {
  int32_t width = 0;
  int32_t height = 0;
  int bits = 8;
  std::vector<uint16_t> samples;  // width x height x 4
  friend bool operator==(const FileFrame&, const FileFrame&) = default;
};

// The samples a PNG of the world holds: straight alpha (where alpha is 0 every channel is 0,
// else min(S, c x S / a), rounded), 16-bit worlds scaled to 0..65535. The same numbers WritePng
// writes.
FileFrame StraightSamples(const Image& image);

// The stored values unchanged (premultiplied; 0..32768 at 16 bits).
FileFrame StoredSamples(const Image& image);

// The world flattened over black and brought to 8 bits: over black a premultiplied colour is its
// own stored value, so R, G, B are the stored values (16-bit ones as v x 255 / 32768, rounded) and
// alpha is 255.
FileFrame FlattenedSamples8(const Image& image);

// The stored values as fractions of full scale (c = stored / S), R, G, B, A interleaved, for a
// half-float file.
std::vector<float> ScaledSamples(const Image& image);

}  // namespace lwhost
