#include "layers/background.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lwhost {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

Channels OverPixel(const Channels& c, const Channels& backdrop, uint32_t scale);

// c + b x (S - a) / S, rounded: floor((2 (c S + b (S - a)) + S) / 2S) in exact integers.
uint32_t Over(uint32_t value, uint32_t backdrop, uint32_t alpha, uint32_t scale) {
  const uint64_t numerator = uint64_t{value} * scale + uint64_t{backdrop} * (scale - alpha);
  return static_cast<uint32_t>((2 * numerator + scale) / (2 * uint64_t{scale}));
}

Channels OverPixel(const Channels& c, const Channels& backdrop, uint32_t scale) {
  return Channels{
      Over(c.alpha, backdrop.alpha, c.alpha, scale), Over(c.red, backdrop.red, c.alpha, scale),
      Over(c.green, backdrop.green, c.alpha, scale), Over(c.blue, backdrop.blue, c.alpha, scale)};
}

// Pixel (x, y) of a lent world, alpha first as the host stores it.
Channels WorldChannels(const PF_EffectWorld& world, bool deep, int64_t x, int64_t y) {
  const auto* row = reinterpret_cast<const unsigned char*>(world.data) + y * world.rowbytes;
  if (deep) {
    const auto* p = reinterpret_cast<const PF_Pixel16*>(row) + x;
    return {p->alpha, p->red, p->green, p->blue};
  }
  const auto* p = reinterpret_cast<const PF_Pixel*>(row) + x;
  return {p->alpha, p->red, p->green, p->blue};
}

}  // namespace

std::optional<StraightColor8> ParseHexColor(std::string_view text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') {
    return std::nullopt;
  }
  uint8_t channels[4] = {0, 0, 0, 255};
  for (size_t i = 0; 1 + 2 * i < text.size(); ++i) {
    const int high = HexValue(text[1 + 2 * i]);
    const int low = HexValue(text[2 + 2 * i]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    channels[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return StraightColor8{channels[0], channels[1], channels[2], channels[3]};
}

void CompositeOverColor(Image& image, const StraightColor8& color) {
  const uint32_t scale = FullScale(image.bitDepth);
  const Channels backdrop = ColorToStored(color, image.bitDepth);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      SetChannels(image, x, y, OverPixel(GetChannels(image, x, y), backdrop, scale));
    }
  }
}

void CompositeOverPlate(Image& image, int32_t originX, int32_t originY,
                        const PF_EffectWorld& plate) {
  if (plate.data == nullptr || plate.width <= 0 || plate.height <= 0) {
    return;
  }
  const bool deep = (plate.world_flags & PF_WorldFlag_DEEP) != 0;
  if (deep != (image.bitDepth == 16)) {
    throw std::invalid_argument("a plate of another bit depth than the frame");
  }
  const uint32_t scale = FullScale(image.bitDepth);
  // The rows and columns of the image the plate covers, in 64 bits: an origin far outside the
  // image must not wrap.
  const int64_t top = std::max<int64_t>(0, originY);
  const int64_t bottom = std::min<int64_t>(image.height, int64_t{originY} + plate.height);
  const int64_t left = std::max<int64_t>(0, originX);
  const int64_t right = std::min<int64_t>(image.width, int64_t{originX} + plate.width);
  for (int64_t y = top; y < bottom; ++y) {
    for (int64_t x = left; x < right; ++x) {
      const auto ix = static_cast<int32_t>(x);
      const auto iy = static_cast<int32_t>(y);
      const Channels backdrop = WorldChannels(plate, deep, x - originX, y - originY);
      SetChannels(image, ix, iy, OverPixel(GetChannels(image, ix, iy), backdrop, scale));
    }
  }
}

}  // namespace lwhost
