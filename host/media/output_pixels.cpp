#include "media/output_pixels.h"

namespace lwhost {
namespace {

FileFrame EmptyFrame(const Image& image, int bits) {
  FileFrame frame;
  frame.width = image.width;
  frame.height = image.height;
  frame.bits = bits;
  frame.samples.resize(static_cast<size_t>(image.width) * image.height * 4);
  return frame;
}

// Calls put(pixelIndex, channels) for every pixel in row order.
template <typename Put>
void EachPixel(const Image& image, Put put) {
  size_t index = 0;
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      put(index++, GetChannels(image, x, y));
    }
  }
}

void Store(FileFrame& frame, size_t index, const Channels& c) {
  uint16_t* out = frame.samples.data() + index * 4;
  out[0] = static_cast<uint16_t>(c.red);
  out[1] = static_cast<uint16_t>(c.green);
  out[2] = static_cast<uint16_t>(c.blue);
  out[3] = static_cast<uint16_t>(c.alpha);
}

}  // namespace

FileFrame StraightSamples(const Image& image) {
  FileFrame frame = EmptyFrame(image, image.bitDepth);
  for (int32_t y = 0; y < image.height; ++y) {
    StraightFileRow(image, y, frame.samples.data() + static_cast<size_t>(y) * image.width * 4);
  }
  return frame;
}

FileFrame StoredSamples(const Image& image) {
  FileFrame frame = EmptyFrame(image, image.bitDepth);
  EachPixel(image, [&](size_t index, const Channels& c) { Store(frame, index, c); });
  return frame;
}

FileFrame FlattenedSamples8(const Image& image) {
  FileFrame frame = EmptyFrame(image, 8);
  const bool deep = image.bitDepth == 16;
  // v x 255 / 32768, rounded, in exact integers.
  const auto to8 = [deep](uint32_t v) { return deep ? (2 * v * 255 + 32768) / (2 * 32768) : v; };
  EachPixel(image, [&](size_t index, const Channels& c) {
    Store(frame, index, Channels{255, to8(c.red), to8(c.green), to8(c.blue)});
  });
  return frame;
}

std::vector<float> ScaledSamples(const Image& image) {
  std::vector<float> out(static_cast<size_t>(image.width) * image.height * 4);
  const float scale = static_cast<float>(FullScale(image.bitDepth));
  EachPixel(image, [&](size_t index, const Channels& c) {
    float* p = out.data() + index * 4;
    p[0] = static_cast<float>(c.red) / scale;
    p[1] = static_cast<float>(c.green) / scale;
    p[2] = static_cast<float>(c.blue) / scale;
    p[3] = static_cast<float>(c.alpha) / scale;
  });
  return out;
}

}  // namespace lwhost
