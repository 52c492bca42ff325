// Flattening a rendered frame onto a colour, for outputs that should not keep transparency.
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

}  // namespace lwhost
