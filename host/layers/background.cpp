#include "layers/background.h"

#include <cstdint>

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

// c + b x (S - a) / S, rounded: floor((2 (c S + b (S - a)) + S) / 2S) in exact integers.
uint32_t Over(uint32_t value, uint32_t backdrop, uint32_t alpha, uint32_t scale) {
  const uint64_t numerator = uint64_t{value} * scale + uint64_t{backdrop} * (scale - alpha);
  return static_cast<uint32_t>((2 * numerator + scale) / (2 * uint64_t{scale}));
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
      const Channels c = GetChannels(image, x, y);
      SetChannels(image, x, y,
                  Channels{Over(c.alpha, backdrop.alpha, c.alpha, scale),
                           Over(c.red, backdrop.red, c.alpha, scale),
                           Over(c.green, backdrop.green, c.alpha, scale),
                           Over(c.blue, backdrop.blue, c.alpha, scale)});
    }
  }
}

}  // namespace lwhost
