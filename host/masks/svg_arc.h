// SVG elliptical arcs ("A rx ry rotation large-arc sweep x y") as cubic Bezier segments.
#pragma once

#include <vector>

#include "masks/bezier.h"

namespace lwhost {

struct SvgArc {
  Vec2 from;
  double rx = 0.0;
  double ry = 0.0;
  double rotationDegrees = 0.0;  // of the ellipse's x axis
  bool largeArc = false;
  bool sweep = false;  // true: the direction of increasing angle (clockwise with y down)
  Vec2 to;
};

// The arc as SVG draws it: radii too small to reach from `from` to `to` are scaled up, negative
// radii count as their magnitude, a zero radius gives the straight line, and an arc that ends
// where it starts gives no segment at all. Otherwise n = ceil(|sweep angle| / 90 degrees) cubics
// of equal angle theta, each with its control points 4/3 tan(theta / 4) of the way along the
// ellipse's tangents at its ends. The first segment starts exactly at `from`, the last ends
// exactly at `to`. Numbers so large that the ellipse overflows throw std::domain_error.
std::vector<CubicBezier> SvgArcToCubics(const SvgArc& arc);

}  // namespace lwhost
