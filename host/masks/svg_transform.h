// SVG `transform` attributes ("translate(10 20) rotate(45)") as affine maps, and masks moved by
// them.
#pragma once

#include <stdexcept>
#include <string_view>

#include "masks/mask.h"

namespace lwhost {

// x' = a x + c y + e, y' = b x + d y + f: SVG's matrix(a b c d e f).
struct Affine {
  double a = 1.0, b = 0.0, c = 0.0, d = 1.0, e = 0.0, f = 0.0;
};

// A transform list that cannot be read; the message says what and where.
class SvgTransformError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The map `outer` after `inner`: points go through `inner` first.
Affine Compose(const Affine& outer, const Affine& inner);
Vec2 ApplyAffine(const Affine& m, Vec2 p);

// matrix, translate, scale, rotate (with or without a centre), skewX and skewY, separated by
// white space or commas, applied right to left as SVG does. Empty text is the identity.
Affine ParseSvgTransform(std::string_view text);

// The mask with every vertex mapped by `m` and every tangent by its linear part: an affine map
// takes a Bezier's control points to the control points of the mapped curve.
Mask TransformedMask(const Mask& mask, const Affine& m);

}  // namespace lwhost
