#include "layers/image.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace lwhost {
namespace {

// floor(numerator / denominator + 1/2) for a non-negative numerator and a positive denominator.
uint64_t RoundedQuotient(uint64_t numerator, uint64_t denominator) {
  return (2 * numerator + denominator) / (2 * denominator);
}

void CheckDepth(int bitDepth) {
  if (bitDepth != 8 && bitDepth != 16) {
    throw std::invalid_argument("bit depth must be 8 or 16, not " + std::to_string(bitDepth));
  }
}

// Byte offset of pixel (x, y); callers keep (x, y) inside the image.
size_t Offset(const Image& image, int32_t x, int32_t y) {
  return static_cast<size_t>(y) * static_cast<size_t>(image.rowBytes) +
         static_cast<size_t>(x) * static_cast<size_t>(PixelBytes(image.bitDepth));
}

}  // namespace

uint32_t FullScale(int bitDepth) {
  return bitDepth == 16 ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
}

int32_t PixelBytes(int bitDepth) {
  return bitDepth == 16 ? static_cast<int32_t>(sizeof(PF_Pixel16))
                        : static_cast<int32_t>(sizeof(PF_Pixel));
}

Image MakeImage(int32_t width, int32_t height, int bitDepth, int32_t rowPadding) {
  CheckDepth(bitDepth);
  if (width < 0 || height < 0 || rowPadding < 0) {
    throw std::invalid_argument("image size and row padding must not be negative");
  }
  if (bitDepth == 16 && rowPadding % static_cast<int32_t>(alignof(PF_Pixel16)) != 0) {
    throw std::invalid_argument("16-bit rows need even padding to keep pixels aligned");
  }
  Image image;
  image.bitDepth = bitDepth;
  if (width == 0 || height == 0) {
    return image;  // a world without pixels
  }
  const int64_t rowBytes = int64_t{width} * PixelBytes(bitDepth) + rowPadding;
  if (rowBytes > std::numeric_limits<int32_t>::max()) {
    throw std::invalid_argument("image rows too long: " + std::to_string(rowBytes) + " bytes");
  }
  image.width = width;
  image.height = height;
  image.rowBytes = static_cast<int32_t>(rowBytes);
  image.bytes.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(height), 0);
  return image;
}

PF_Pixel* Pixel8(Image& image, int32_t x, int32_t y) {
  return reinterpret_cast<PF_Pixel*>(image.bytes.data() + Offset(image, x, y));
}
const PF_Pixel* Pixel8(const Image& image, int32_t x, int32_t y) {
  return reinterpret_cast<const PF_Pixel*>(image.bytes.data() + Offset(image, x, y));
}
PF_Pixel16* Pixel16(Image& image, int32_t x, int32_t y) {
  return reinterpret_cast<PF_Pixel16*>(image.bytes.data() + Offset(image, x, y));
}
const PF_Pixel16* Pixel16(const Image& image, int32_t x, int32_t y) {
  return reinterpret_cast<const PF_Pixel16*>(image.bytes.data() + Offset(image, x, y));
}

Channels GetChannels(const Image& image, int32_t x, int32_t y) {
  if (image.bitDepth == 16) {
    const PF_Pixel16* p = Pixel16(image, x, y);
    return {p->alpha, p->red, p->green, p->blue};
  }
  const PF_Pixel* p = Pixel8(image, x, y);
  return {p->alpha, p->red, p->green, p->blue};
}

void SetChannels(Image& image, int32_t x, int32_t y, const Channels& value) {
  if (image.bitDepth == 16) {
    PF_Pixel16* p = Pixel16(image, x, y);
    p->alpha = static_cast<A_u_short>(value.alpha);
    p->red = static_cast<A_u_short>(value.red);
    p->green = static_cast<A_u_short>(value.green);
    p->blue = static_cast<A_u_short>(value.blue);
    return;
  }
  PF_Pixel* p = Pixel8(image, x, y);
  p->alpha = static_cast<A_u_char>(value.alpha);
  p->red = static_cast<A_u_char>(value.red);
  p->green = static_cast<A_u_char>(value.green);
  p->blue = static_cast<A_u_char>(value.blue);
}

PF_EffectWorld MakeWorldView(Image& image) {
  PF_EffectWorld world{};
  world.world_flags = PF_WorldFlag_WRITEABLE | (image.bitDepth == 16 ? PF_WorldFlag_DEEP : 0);
  world.data = image.bytes.empty() ? nullptr : reinterpret_cast<PF_PixelPtr>(image.bytes.data());
  world.rowbytes = image.rowBytes;
  world.width = image.width;
  world.height = image.height;
  world.extent_hint = {0, 0, image.width, image.height};
  world.pix_aspect_ratio = {1, 1};  // square pixels
  return world;
}

uint32_t ScaleToWorld(uint32_t value, int bits, uint32_t scale) {
  const uint64_t fileMax = (uint64_t{1} << bits) - 1;
  return static_cast<uint32_t>(RoundedQuotient(uint64_t{value} * scale, fileMax));
}

uint32_t Premultiply(uint32_t color, uint32_t alpha, uint32_t scale) {
  return static_cast<uint32_t>(RoundedQuotient(uint64_t{color} * alpha, scale));
}

uint32_t Unpremultiply(uint32_t color, uint32_t alpha, uint32_t scale) {
  if (alpha == 0) {
    return 0;
  }
  const uint64_t straight = RoundedQuotient(uint64_t{color} * scale, alpha);
  return static_cast<uint32_t>(std::min<uint64_t>(straight, scale));
}

uint32_t Scale16ToFile(uint32_t value) {
  constexpr uint64_t kFileMax = 65535;
  // Stored values above full scale are not valid premultiplied data; clamp rather than wrap.
  return static_cast<uint32_t>(
      std::min<uint64_t>(RoundedQuotient(uint64_t{value} * kFileMax, PF_MAX_CHAN16), kFileMax));
}

namespace {

// Unpremultiply(c, a, 255) for every (a, c), at index a x 256 + c: a lookup instead of a division.
const std::array<uint8_t, 256 * 256>& StraightTable8() {
  static const std::array<uint8_t, 256 * 256> table = [] {
    std::array<uint8_t, 256 * 256> t{};
    for (uint32_t a = 0; a < 256; ++a) {
      for (uint32_t c = 0; c < 256; ++c) {
        t[a * 256 + c] = static_cast<uint8_t>(Unpremultiply(c, a, PF_MAX_CHAN8));
      }
    }
    return t;
  }();
  return table;
}

// Row y of an 8-bit image as straight R, G, B, A samples of any integer type.
template <typename Sample>
void StraightRowOf8(const Image& image, int32_t y, Sample* rgba) {
  const std::array<uint8_t, 256 * 256>& straight = StraightTable8();
  const PF_Pixel* in = Pixel8(image, 0, y);
  for (int32_t x = 0; x < image.width; ++x, rgba += 4) {
    const PF_Pixel& p = in[x];
    const uint8_t* row = &straight[static_cast<size_t>(p.alpha) * 256];
    rgba[0] = row[p.red];
    rgba[1] = row[p.green];
    rgba[2] = row[p.blue];
    rgba[3] = p.alpha;
  }
}

uint16_t Straight16(uint32_t color, uint32_t alpha) {
  // A fully opaque pixel's straight value is its stored value: no division.
  const uint32_t straight = alpha == PF_MAX_CHAN16 ? std::min<uint32_t>(color, PF_MAX_CHAN16)
                                                   : Unpremultiply(color, alpha, PF_MAX_CHAN16);
  return static_cast<uint16_t>(Scale16ToFile(straight));
}

}  // namespace

void StraightFileRow(const Image& image, int32_t y, uint16_t* rgba) {
  if (image.bitDepth == 16) {
    const PF_Pixel16* in = Pixel16(image, 0, y);
    for (int32_t x = 0; x < image.width; ++x, rgba += 4) {
      const PF_Pixel16& p = in[x];
      if (p.alpha == 0) {
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
        continue;
      }
      rgba[0] = Straight16(p.red, p.alpha);
      rgba[1] = Straight16(p.green, p.alpha);
      rgba[2] = Straight16(p.blue, p.alpha);
      rgba[3] = static_cast<uint16_t>(Scale16ToFile(p.alpha));
    }
    return;
  }
  StraightRowOf8(image, y, rgba);
}

void StraightRow8(const Image& image, int32_t y, uint8_t* rgba) {
  StraightRowOf8(image, y, rgba);
}

Channels FileToStored(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha, int bits,
                      uint32_t scale) {
  const uint32_t a = ScaleToWorld(alpha, bits, scale);
  return {a, Premultiply(ScaleToWorld(red, bits, scale), a, scale),
          Premultiply(ScaleToWorld(green, bits, scale), a, scale),
          Premultiply(ScaleToWorld(blue, bits, scale), a, scale)};
}

Channels ColorToStored(const StraightColor8& color, int bitDepth) {
  constexpr int kColorBits = 8;  // scene colours are 8-bit
  return FileToStored(color.red, color.green, color.blue, color.alpha, kColorBits,
                      FullScale(bitDepth));
}

Image MakeChecker(int32_t width, int32_t height, double cell,
                  const std::array<StraightColor8, 2>& colors, int bitDepth) {
  if (!(cell > 0.0 && std::isfinite(cell))) {
    throw std::invalid_argument("checker cell must be a positive number, not " +
                                std::to_string(cell));
  }
  Image image = MakeImage(width, height, bitDepth);
  const std::array<Channels, 2> stored = {ColorToStored(colors[0], bitDepth),
                                          ColorToStored(colors[1], bitDepth)};
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const auto cells = static_cast<int64_t>(std::floor(x / cell) + std::floor(y / cell));
      SetChannels(image, x, y, stored[cells % 2]);
    }
  }
  return image;
}

Image Downsample(const Image& source, int32_t dx, int32_t dy) {
  if (dx < 1 || dy < 1) {
    throw std::invalid_argument("downsample factors must be at least 1");
  }
  const int32_t width = source.width / dx + (source.width % dx != 0 ? 1 : 0);
  const int32_t height = source.height / dy + (source.height % dy != 0 ? 1 : 0);
  Image result = MakeImage(width, height, source.bitDepth);
  for (int32_t by = 0; by < height; ++by) {
    const int32_t y0 = by * dy;
    const int32_t y1 = std::min(y0 + dy, source.height);
    for (int32_t bx = 0; bx < width; ++bx) {
      const int32_t x0 = bx * dx;
      const int32_t x1 = std::min(x0 + dx, source.width);
      uint64_t sum[4] = {0, 0, 0, 0};
      for (int32_t y = y0; y < y1; ++y) {
        for (int32_t x = x0; x < x1; ++x) {
          const Channels c = GetChannels(source, x, y);
          sum[0] += c.alpha;
          sum[1] += c.red;
          sum[2] += c.green;
          sum[3] += c.blue;
        }
      }
      const uint64_t count = static_cast<uint64_t>(x1 - x0) * static_cast<uint64_t>(y1 - y0);
      SetChannels(result, bx, by,
                  {static_cast<uint32_t>(RoundedQuotient(sum[0], count)),
                   static_cast<uint32_t>(RoundedQuotient(sum[1], count)),
                   static_cast<uint32_t>(RoundedQuotient(sum[2], count)),
                   static_cast<uint32_t>(RoundedQuotient(sum[3], count))});
    }
  }
  return result;
}

}  // namespace lwhost
