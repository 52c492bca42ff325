// Cubic Bezier segments measured by arc length: the geometry behind the host's path data suite.
// A segment is prepared once (its kind, its length and a table of starting guesses), then
// evaluated at any length into it: the point there and the unit direction of travel.
#pragma once

#include <string>
#include <vector>

namespace lwhost {

struct Vec2 {
  double x = 0.0;
  double y = 0.0;
};

// The cubic (p0, p1, p2, p3): it starts at p0 heading towards p1 and ends at p3 coming from p2.
struct CubicBezier {
  Vec2 p0, p1, p2, p3;
};

Vec2 BezierPoint(const CubicBezier& c, double t);
Vec2 BezierDerivative(const CubicBezier& c, double t);  // d/dt
Vec2 BezierSecondDerivative(const CubicBezier& c, double t);
Vec2 BezierThirdDerivative(const CubicBezier& c);  // constant for a cubic

// Arc length of the curve between parameters t0 <= t1, by adaptive Gauss-Legendre quadrature to
// an absolute tolerance.
double BezierArcLength(const CubicBezier& c, double t0, double t1, double tolerance);
// Arc length of the whole curve, to a relative 1e-9 or better.
double BezierLength(const CubicBezier& c);

// Unit direction of travel at t. Where the parametric derivative vanishes (a zero tangent at an
// end, a cusp) it is the curve's limiting direction, taken from the second and then the third
// derivative: leaving t for t < 1, arriving at t = 1. Zero only when the curve is a point.
Vec2 BezierDirection(const CubicBezier& c, double t);

enum class SegmentKind {
  kPoint,         // every control point in one place: length 0, no direction
  kStraight,      // control points on the chord: evaluated in closed form
  kCurved,        // everything else: arc length by quadrature, inverted by Newton iteration
  kUnmeasurable,  // a control point that is not finite, or a length beyond the largest double
};

// What the host hands out as a segment's preparation.
//
// A curve whose coordinates reach past kScaleAbove is measured scaled down by 2^-exponent: the
// squares and sums inside the measure would overflow, and a power of two scales every result
// exactly. `curve`, `lineDirection`, `tableLength` and `tolerance` are then in scaled units;
// `length` is always in the curve's own units. Ordinary curves have exponent 0.
struct SegmentPrep {
  CubicBezier curve;
  SegmentKind kind = SegmentKind::kPoint;
  double length = 0.0;
  int exponent = 0;
  Vec2 lineDirection;  // unit chord direction of a straight segment
  // Curved segments: arc length at equally spaced parameters, tableLength[k] at
  // t = k / (tableLength.size() - 1); the starting bracket of the inversion.
  std::vector<double> tableLength;
  double tolerance = 0.0;  // absolute length tolerance for this segment
};

// The table gets one interval per unit of frequency, within [kMinTableIntervals,
// kMaxTableIntervals].
constexpr int kMinTableIntervals = 4;
constexpr int kMaxTableIntervals = 2000;

// Coordinates of larger magnitude are measured scaled (see SegmentPrep): the speed of the curve,
// three times a difference of two coordinates, and the squares hypot forms stay far from overflow.
constexpr double kScaleAbove = 0x1p500;

SegmentPrep PrepareSegment(const CubicBezier& c, int frequency);

struct SegmentSample {
  Vec2 point;
  Vec2 direction;  // derivative with respect to arc length: unit, or zero for a point segment
};

// The point at arc length l into the segment (clamped to [0, length]) and the direction there.
SegmentSample EvalSegmentAtLength(const SegmentPrep& prep, double l);

// Why a segment cannot be measured ("" when it can): a control point that is not finite, or a
// length that no double holds.
std::string WhyUnmeasurable(const CubicBezier& c);

// Curve parameter at arc length l (clamped); exposed for tests.
double SegmentParamAtLength(const SegmentPrep& prep, double l);

}  // namespace lwhost
