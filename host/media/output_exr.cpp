#include "media/output_exr.h"

#include <exception>
#include <vector>

#include <ImfHeader.h>
#include <ImfRgbaFile.h>

#include "media/output_file.h"
#include "media/output_pixels.h"

namespace lwhost {

void WriteExr(const std::filesystem::path& file, const std::filesystem::path& name,
              const Image& image, const ExrPlacement& placement) {
  if (image.width <= 0 || image.height <= 0) {
    FailOutput(name, "the image has no pixels");
  }
  const std::vector<float> scaled = ScaledSamples(image);
  std::vector<Imf::Rgba> pixels(scaled.size() / 4);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = Imf::Rgba(scaled[4 * i], scaled[4 * i + 1], scaled[4 * i + 2], scaled[4 * i + 3]);
  }
  const Imath::Box2i display({0, 0}, {placement.layerWidth - 1, placement.layerHeight - 1});
  const Imath::V2i min{-placement.originX, -placement.originY};
  const Imath::Box2i data(min, {min.x + image.width - 1, min.y + image.height - 1});
  try {
    Imf::Header header(display, data, 1.0f, Imath::V2f(0, 0), 1.0f, Imf::INCREASING_Y,
                       Imf::ZIP_COMPRESSION);
    Imf::RgbaOutputFile out(file.c_str(), header, Imf::WRITE_RGBA);
    // The frame buffer is addressed by data-window coordinates: pixel (x, y) of the window is
    // element (x - min.x) + (y - min.y) x width.
    const ptrdiff_t shift = -static_cast<ptrdiff_t>(min.x) -
                            static_cast<ptrdiff_t>(min.y) * static_cast<ptrdiff_t>(image.width);
    out.setFrameBuffer(pixels.data() + shift, 1, static_cast<size_t>(image.width));
    out.writePixels(image.height);
  } catch (const std::exception& e) {
    FailOutput(name, e.what());
  }
}

}  // namespace lwhost
