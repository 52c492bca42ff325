// Pixel buffers for the host's worlds, and the channel conversions between PNG files, scene
// colours and the host's stored values.
//
// The host stores pixels alpha first (PF_Pixel, PF_Pixel16), premultiplied, with full scale 255 at
// 8 bits and 32768 at 16 bits. Every conversion here is done in exact integer arithmetic: a
// rounded quotient floor(p / q + 1/2) is computed as (2p + q) / (2q), so no input can land on the
// wrong side of a half because of floating-point error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ae_world.h"

namespace lwhost {

// A world's pixels. `rowBytes` may exceed width x pixel size (padded rows); a world without pixels
// (an empty layer, a Source with nothing chosen) has zero size and no bytes.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  int bitDepth = 8;                  // bits per channel: 8 (PF_Pixel) or 16 (PF_Pixel16)
  int32_t rowBytes = 0;              // bytes from the start of one row to the start of the next
  std::vector<unsigned char> bytes;  // rowBytes x height, zero (transparent black) when made
};

// A pixel's four stored channel values, whatever the bit depth.
struct Channels {
  uint32_t alpha = 0;
  uint32_t red = 0;
  uint32_t green = 0;
  uint32_t blue = 0;
  friend bool operator==(const Channels&, const Channels&) = default;
};

// A straight-alpha colour with 8 bits per channel, as scene files write them ("#RRGGBBAA").
struct StraightColor8 {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
  friend bool operator==(const StraightColor8&, const StraightColor8&) = default;
};

// 255 at 8 bits, 32768 at 16 bits.
uint32_t FullScale(int bitDepth);
// Bytes of one pixel: 4 at 8 bits, 8 at 16 bits.
int32_t PixelBytes(int bitDepth);

// A transparent black world. `rowPadding` extra bytes follow each row (tests use padded rows to
// catch code that assumes rowBytes == width x pixel size); at 16 bits it must be even so that every
// PF_Pixel16 stays aligned. Throws std::invalid_argument for a bad depth, size or padding.
Image MakeImage(int32_t width, int32_t height, int bitDepth, int32_t rowPadding = 0);

PF_Pixel* Pixel8(Image& image, int32_t x, int32_t y);
const PF_Pixel* Pixel8(const Image& image, int32_t x, int32_t y);
PF_Pixel16* Pixel16(Image& image, int32_t x, int32_t y);
const PF_Pixel16* Pixel16(const Image& image, int32_t x, int32_t y);

// Stored values of pixel (x, y) at either depth.
Channels GetChannels(const Image& image, int32_t x, int32_t y);
void SetChannels(Image& image, int32_t x, int32_t y, const Channels& value);

// A PF_EffectWorld describing the image's pixels (no copy: the view points into `image`).
// A world without pixels has null data and zero size.
PF_EffectWorld MakeWorldView(Image& image);

// v x scale / (2^bits - 1), rounded: a file channel of `bits` bits (1 to 16) to a world's scale.
uint32_t ScaleToWorld(uint32_t value, int bits, uint32_t scale);
// c x a / scale, rounded.
uint32_t Premultiply(uint32_t color, uint32_t alpha, uint32_t scale);
// 0 where a is 0, else min(scale, c x scale / a), rounded.
uint32_t Unpremultiply(uint32_t color, uint32_t alpha, uint32_t scale);
// A 16-bit world's value on PNG's 0..65535 scale: v x 65535 / 32768, rounded, at most 65535.
uint32_t Scale16ToFile(uint32_t value);
// Row y's straight samples on a file's scale, R, G, B, A per pixel: Unpremultiply at the world's
// scale, then Scale16ToFile at 16 bits. The numbers a PNG of the image holds, made a row at a
// time because every output converts whole frames.
void StraightFileRow(const Image& image, int32_t y, uint16_t* rgba);
// The same for an 8-bit image, into 8-bit samples.
void StraightRow8(const Image& image, int32_t y, uint8_t* rgba);

// A straight-alpha file pixel of `bits` bits per channel to the stored (premultiplied) values of a
// world of full scale `scale`.
Channels FileToStored(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha, int bits,
                      uint32_t scale);
Channels ColorToStored(const StraightColor8& color, int bitDepth);

// The checker pattern layer: pixel (x, y) has colors[0] when floor(x / cell) + floor(y / cell) is
// even, else colors[1]. `cell` is any positive finite number (2.5 gives squares of 2 and 3
// pixels in turn); anything else throws std::invalid_argument.
Image MakeChecker(int32_t width, int32_t height, double cell,
                  const std::array<StraightColor8, 2>& colors, int bitDepth);

// Averages each dx x dy block of stored values (blocks at the right and bottom edges average the
// pixels they have), rounded to nearest; the result is ceil(w / dx) x ceil(h / dy).
Image Downsample(const Image& source, int32_t dx, int32_t dy);

}  // namespace lwhost
