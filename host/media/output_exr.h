// OpenEXR output: half-float RGBA, ZIP-compressed, premultiplied as EXR stores colour.
#pragma once

#include <cstdint>
#include <filesystem>

#include "layers/image.h"

namespace lwhost {

// Where a rendered world sits: the layer's rectangle at the render's resolution is the display
// window (0, 0)-(layerWidth - 1, layerHeight - 1); the world is the data window, its pixel
// (originX, originY) being the layer's (0, 0), so a frame grown by Expand Bounds keeps the
// layer's place.
struct ExrPlacement {
  int32_t layerWidth = 0;
  int32_t layerHeight = 0;
  int32_t originX = 0;
  int32_t originY = 0;
};

// Writes `image` (each channel c = stored / S) to `file`, which names the output in messages as
// `name`. Throws OutputError.
void WriteExr(const std::filesystem::path& file, const std::filesystem::path& name,
              const Image& image, const ExrPlacement& placement);

}  // namespace lwhost
