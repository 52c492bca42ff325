#include "masks/svg_arc.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace lwhost {
namespace {

constexpr double kQuarterTurn = std::numbers::pi / 2.0;
// A sweep that is a whole number of quarter turns up to rounding keeps that number of segments
// rather than gaining a sliver one.
constexpr double kTurnSlack = 1e-9;

// Angle from u to v, signed, in (-pi, pi].
double AngleBetween(double ux, double uy, double vx, double vy) {
  return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
}

}  // namespace

std::vector<CubicBezier> SvgArcToCubics(const SvgArc& arc) {
  const Vec2 p1 = arc.from;
  const Vec2 p2 = arc.to;
  if (p1.x == p2.x && p1.y == p2.y) {
    return {};
  }
  double rx = std::fabs(arc.rx);
  double ry = std::fabs(arc.ry);
  if (rx == 0.0 || ry == 0.0) {
    return {{p1, p1, p2, p2}};
  }
  const double phi = arc.rotationDegrees * std::numbers::pi / 180.0;
  const double cosPhi = std::cos(phi);
  const double sinPhi = std::sin(phi);

  // The end points in the ellipse's own axes, relative to the chord's middle.
  const double hx = (p1.x - p2.x) / 2.0;
  const double hy = (p1.y - p2.y) / 2.0;
  const double x1 = cosPhi * hx + sinPhi * hy;
  const double y1 = -sinPhi * hx + cosPhi * hy;

  const double lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
  if (lambda > 1.0) {
    const double grow = std::sqrt(lambda);
    rx *= grow;
    ry *= grow;
  }

  // The centre: of the two ellipses through both points, the flags pick one.
  const double rx2 = rx * rx;
  const double ry2 = ry * ry;
  const double denominator = rx2 * y1 * y1 + ry2 * x1 * x1;
  const double radicand = std::max(0.0, (rx2 * ry2 - denominator) / denominator);
  const double coefficient = (arc.largeArc != arc.sweep ? 1.0 : -1.0) * std::sqrt(radicand);
  const double cx1 = coefficient * rx * y1 / ry;
  const double cy1 = -coefficient * ry * x1 / rx;
  const Vec2 centre = {cosPhi * cx1 - sinPhi * cy1 + (p1.x + p2.x) / 2.0,
                       sinPhi * cx1 + cosPhi * cy1 + (p1.y + p2.y) / 2.0};

  const double ux = (x1 - cx1) / rx;
  const double uy = (y1 - cy1) / ry;
  const double vx = (-x1 - cx1) / rx;
  const double vy = (-y1 - cy1) / ry;
  const double start = AngleBetween(1.0, 0.0, ux, uy);
  double sweep = AngleBetween(ux, uy, vx, vy);
  if (!arc.sweep && sweep > 0.0) {
    sweep -= 2.0 * std::numbers::pi;
  } else if (arc.sweep && sweep < 0.0) {
    sweep += 2.0 * std::numbers::pi;
  }

  if (!std::isfinite(start) || !std::isfinite(sweep) || !std::isfinite(centre.x) ||
      !std::isfinite(centre.y) || !std::isfinite(rx) || !std::isfinite(ry)) {
    throw std::domain_error("the arc's numbers are too large to work with");
  }
  const int count =
      std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / kQuarterTurn - kTurnSlack)));
  const double step = sweep / count;
  const double handle = 4.0 / 3.0 * std::tan(step / 4.0);
  const auto point = [&](double angle) {
    const double ex = rx * std::cos(angle);
    const double ey = ry * std::sin(angle);
    return Vec2{centre.x + cosPhi * ex - sinPhi * ey, centre.y + sinPhi * ex + cosPhi * ey};
  };
  // d/dangle of the point, scaled by the handle length.
  const auto handleAt = [&](double angle) {
    const double ex = -rx * std::sin(angle);
    const double ey = ry * std::cos(angle);
    return Vec2{handle * (cosPhi * ex - sinPhi * ey), handle * (sinPhi * ex + cosPhi * ey)};
  };

  std::vector<CubicBezier> cubics;
  cubics.reserve(count);
  Vec2 begin = p1;
  for (int i = 0; i < count; ++i) {
    const double a0 = start + step * i;
    const double a1 = start + step * (i + 1);
    const Vec2 end = i + 1 == count ? p2 : point(a1);
    const Vec2 h0 = handleAt(a0);
    const Vec2 h1 = handleAt(a1);
    cubics.push_back({begin, {begin.x + h0.x, begin.y + h0.y}, {end.x - h1.x, end.y - h1.y}, end});
    begin = end;
  }
  return cubics;
}

}  // namespace lwhost
