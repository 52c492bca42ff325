// Background plates: a rendered frame composited over a colour or over another layer's pixels,
// premultiplied "over" in the world's own scale.
#pragma once

#include <optional>
#include <string_view>

#include "layers/image.h"

namespace lwhost {

// "#RRGGBB" (opaque) or "#RRGGBBAA", hex digits in either case; nullopt for anything else.
std::optional<StraightColor8> ParseHexColor(std::string_view text);

// Composites every pixel of `image` over `color`, in the stored (premultiplied) values:
// c' = c + b x (S - a) / S for the colour channels and the alpha alike, b being the colour's stored
// value, rounded to nearest. An opaque colour leaves every pixel opaque.
void CompositeOverColor(Image& image, const StraightColor8& color);

// Composites `image` over `plate` (a world of the same bit depth, as the layer store lends it)
// the same way. The plate's
// top-left pixel lies under image pixel (originX, originY), the layer's origin; pixels of the
// image outside the plate stay as they are. A plate of another depth throws
// std::invalid_argument.
//
//   image  +-------------------+
//          |  origin           |
//          |    +---------+    |
//          |    |  plate  |    |
//          |    +---------+    |
//          +-------------------+
void CompositeOverPlate(Image& image, int32_t originX, int32_t originY,
                        const PF_EffectWorld& plate);

}  // namespace lwhost
