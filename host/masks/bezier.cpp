#include "masks/bezier.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lwhost {
namespace {

Vec2 operator+(Vec2 a, Vec2 b) {
  return {a.x + b.x, a.y + b.y};
}
Vec2 operator-(Vec2 a, Vec2 b) {
  return {a.x - b.x, a.y - b.y};
}
Vec2 operator*(double k, Vec2 a) {
  return {k * a.x, k * a.y};
}
double Dot(Vec2 a, Vec2 b) {
  return a.x * b.x + a.y * b.y;
}
double Cross(Vec2 a, Vec2 b) {
  return a.x * b.y - a.y * b.x;
}
double Norm(Vec2 a) {
  return std::hypot(a.x, a.y);
}

Vec2 Unit(Vec2 a) {
  const double n = Norm(a);
  return n > 0.0 ? Vec2{a.x / n, a.y / n} : Vec2{};
}

// 10-point Gauss-Legendre rule on [-1, 1]: exact for polynomials up to degree 19, so on a smooth
// stretch of the speed function one split is usually enough to confirm the result.
constexpr int kGaussHalf = 5;
constexpr double kGaussNode[kGaussHalf] = {0.1488743389816312, 0.4333953941292472,
                                           0.6794095682990244, 0.8650633666889845,
                                           0.9739065285171717};
constexpr double kGaussWeight[kGaussHalf] = {0.2955242247147529, 0.2692667193099963,
                                             0.2190863625159820, 0.1494513491505806,
                                             0.0666713443086881};

// Splits stop here: 2^-60 of the parameter range is below double resolution of t anyway. Only a
// kink of the speed function (a cusp) drives the recursion this deep.
constexpr int kMaxQuadratureDepth = 60;

// Quadrature and inversion work to this fraction of the control polygon's length, which bounds the
// arc length from above: comfortably inside the relative 1e-9 the host promises.
constexpr double kRelativeTolerance = 1e-13;

// Below this fraction of the coordinates' magnitude a distance is rounding noise: a segment that
// short is a point, a control point that close to the chord lies on it.
constexpr double kNoise = 1e-12;

// A parametric derivative this small against the polygon's length is treated as vanishing; its
// direction would be rounding noise, so the next derivative gives the direction instead.
constexpr double kVanishing = 1e-9;

// Newton steps of the inversion; it converges in a handful, the rest is the bisection's budget.
constexpr int kMaxInversionSteps = 100;

double Speed(const CubicBezier& c, double t) {
  return Norm(BezierDerivative(c, t));
}

double GaussRule(const CubicBezier& c, double a, double b) {
  const double half = 0.5 * (b - a);
  const double mid = 0.5 * (a + b);
  double sum = 0.0;
  for (int i = 0; i < kGaussHalf; ++i) {
    sum += kGaussWeight[i] *
           (Speed(c, mid - half * kGaussNode[i]) + Speed(c, mid + half * kGaussNode[i]));
  }
  return sum * half;
}

double AdaptiveLength(const CubicBezier& c, double a, double b, double whole, double tolerance,
                      int depth) {
  const double m = 0.5 * (a + b);
  const double left = GaussRule(c, a, m);
  const double right = GaussRule(c, m, b);
  // Written so that a NaN estimate stops too: it never gets better by splitting.
  if (depth >= kMaxQuadratureDepth || !(std::fabs(left + right - whole) > tolerance)) {
    return left + right;
  }
  return AdaptiveLength(c, a, m, left, 0.5 * tolerance, depth + 1) +
         AdaptiveLength(c, m, b, right, 0.5 * tolerance, depth + 1);
}

double PolygonLength(const CubicBezier& c) {
  return Norm(c.p1 - c.p0) + Norm(c.p2 - c.p1) + Norm(c.p3 - c.p2);
}

// The largest distance between two of the four control points.
double Spread(const CubicBezier& c) {
  const Vec2 p[4] = {c.p0, c.p1, c.p2, c.p3};
  double spread = 0.0;
  for (int i = 0; i < 4; ++i) {
    for (int j = i + 1; j < 4; ++j) {
      spread = std::max(spread, Norm(p[j] - p[i]));
    }
  }
  return spread;
}

double Magnitude(const CubicBezier& c) {
  double m = 0.0;
  for (Vec2 p : {c.p0, c.p1, c.p2, c.p3}) {
    m = std::max({m, std::fabs(p.x), std::fabs(p.y)});
  }
  return m;
}

bool Finite(const CubicBezier& c) {
  for (Vec2 p : {c.p0, c.p1, c.p2, c.p3}) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      return false;
    }
  }
  return true;
}

// Multiplies by 2^exponent: exact, so a curve scaled down and back is the same curve.
Vec2 Scaled(Vec2 p, int exponent) {
  return exponent == 0 ? p : Vec2{std::ldexp(p.x, exponent), std::ldexp(p.y, exponent)};
}

CubicBezier Scaled(const CubicBezier& c, int exponent) {
  return {Scaled(c.p0, exponent), Scaled(c.p1, exponent), Scaled(c.p2, exponent),
          Scaled(c.p3, exponent)};
}

// p lies on the chord a -> b (within rounding) and between its ends.
bool OnChord(Vec2 p, Vec2 a, Vec2 b, double noise) {
  const Vec2 d = b - a;
  const Vec2 v = p - a;
  const double len = Norm(d);
  if (std::fabs(Cross(d, v)) > noise * len) {
    return false;
  }
  const double u = Dot(v, d);  // projection, scaled by len^2
  return u >= -noise * len && u <= len * len + noise * len;
}

}  // namespace

Vec2 BezierPoint(const CubicBezier& c, double t) {
  const double s = 1.0 - t;
  const double b0 = s * s * s;
  const double b1 = 3.0 * s * s * t;
  const double b2 = 3.0 * s * t * t;
  const double b3 = t * t * t;
  return {b0 * c.p0.x + b1 * c.p1.x + b2 * c.p2.x + b3 * c.p3.x,
          b0 * c.p0.y + b1 * c.p1.y + b2 * c.p2.y + b3 * c.p3.y};
}

Vec2 BezierDerivative(const CubicBezier& c, double t) {
  const double s = 1.0 - t;
  const Vec2 d0 = c.p1 - c.p0;
  const Vec2 d1 = c.p2 - c.p1;
  const Vec2 d2 = c.p3 - c.p2;
  return (3.0 * s * s) * d0 + (6.0 * s * t) * d1 + (3.0 * t * t) * d2;
}

Vec2 BezierSecondDerivative(const CubicBezier& c, double t) {
  const Vec2 e0 = c.p2 - 2.0 * c.p1 + c.p0;
  const Vec2 e1 = c.p3 - 2.0 * c.p2 + c.p1;
  return (6.0 * (1.0 - t)) * e0 + (6.0 * t) * e1;
}

Vec2 BezierThirdDerivative(const CubicBezier& c) {
  return 6.0 * (c.p3 - 3.0 * c.p2 + 3.0 * c.p1 - c.p0);
}

double BezierArcLength(const CubicBezier& c, double t0, double t1, double tolerance) {
  if (!(t1 > t0)) {
    return 0.0;
  }
  return AdaptiveLength(c, t0, t1, GaussRule(c, t0, t1), tolerance, 0);
}

double BezierLength(const CubicBezier& c) {
  return BezierArcLength(c, 0.0, 1.0, kRelativeTolerance * PolygonLength(c));
}

//   B'(t) ~ (t - tc) B''(tc) near a simple zero tc of the derivative: the curve arrives along
//   -B'' and leaves along +B''. Where B'' vanishes too, B' ~ (t - tc)^2 / 2 B''' points along
//   +B''' on both sides.
Vec2 BezierDirection(const CubicBezier& c, double t) {
  const double scale = PolygonLength(c);
  const double small = kVanishing * scale;
  const Vec2 d1 = BezierDerivative(c, t);
  if (Norm(d1) > small) {
    return Unit(d1);
  }
  const Vec2 d2 = BezierSecondDerivative(c, t);
  if (Norm(d2) > small) {
    const double side = Dot(d1, d2);
    const bool arriving = side < 0.0 || (side == 0.0 && t >= 1.0);
    return Unit(arriving ? -1.0 * d2 : d2);
  }
  return Unit(BezierThirdDerivative(c));
}

namespace {

// Classifies and measures prep.curve, already scaled into range; lengths in scaled units.
void MeasureScaled(SegmentPrep& prep, int frequency) {
  const CubicBezier& c = prep.curve;
  const double noise = kNoise * (1.0 + Magnitude(c));
  // Control points that all lie within rounding noise of each other: any direction would be noise.
  if (Spread(c) <= noise) {
    prep.kind = SegmentKind::kPoint;
    return;
  }
  if (Norm(c.p3 - c.p0) > noise && OnChord(c.p1, c.p0, c.p3, noise) &&
      OnChord(c.p2, c.p0, c.p3, noise)) {
    // Control points on the chord make the curve run monotonically along it (its derivative's
    // Bernstein coefficients cannot dip below zero), so arc length is distance along the chord.
    prep.kind = SegmentKind::kStraight;
    prep.length = Norm(c.p3 - c.p0);
    prep.lineDirection = Unit(c.p3 - c.p0);
    return;
  }
  prep.kind = SegmentKind::kCurved;
  prep.tolerance = kRelativeTolerance * PolygonLength(c);
  const int intervals = std::clamp(frequency, kMinTableIntervals, kMaxTableIntervals);
  prep.tableLength.assign(static_cast<size_t>(intervals) + 1, 0.0);
  for (int k = 0; k < intervals; ++k) {
    const double t0 = static_cast<double>(k) / intervals;
    const double t1 = static_cast<double>(k + 1) / intervals;
    prep.tableLength[k + 1] =
        prep.tableLength[k] + BezierArcLength(c, t0, t1, prep.tolerance / intervals);
  }
  prep.length = prep.tableLength.back();
}

}  // namespace

SegmentPrep PrepareSegment(const CubicBezier& original, int frequency) {
  SegmentPrep prep;
  prep.curve = original;
  if (!Finite(original)) {
    prep.kind = SegmentKind::kUnmeasurable;
    return prep;
  }
  const double magnitude = Magnitude(original);
  prep.exponent = magnitude > kScaleAbove ? std::ilogb(magnitude) : 0;
  const CubicBezier c = Scaled(original, -prep.exponent);
  prep.curve = c;
  MeasureScaled(prep, frequency);
  prep.length = std::ldexp(prep.length, prep.exponent);
  if (!std::isfinite(prep.length)) {
    prep = SegmentPrep{};
    prep.curve = original;
    prep.kind = SegmentKind::kUnmeasurable;
  }
  return prep;
}

std::string WhyUnmeasurable(const CubicBezier& c) {
  if (!Finite(c)) {
    return "a control point is not a finite number";
  }
  // Below the scale limit the length is at most the control polygon's: surely finite.
  if (Magnitude(c) > kScaleAbove &&
      PrepareSegment(c, kMinTableIntervals).kind == SegmentKind::kUnmeasurable) {
    return "its length is beyond the largest number the host measures (1.8e308)";
  }
  return "";
}

double SegmentParamAtLength(const SegmentPrep& prep, double lengthInCurveUnits) {
  if (prep.kind == SegmentKind::kPoint || prep.kind == SegmentKind::kUnmeasurable ||
      !(lengthInCurveUnits > 0.0)) {
    return 0.0;
  }
  if (lengthInCurveUnits >= prep.length) {
    return 1.0;
  }
  if (prep.kind == SegmentKind::kStraight) {
    return lengthInCurveUnits / prep.length;
  }
  const double l = std::ldexp(lengthInCurveUnits, -prep.exponent);
  // The table interval holding l brackets the answer.
  const std::vector<double>& table = prep.tableLength;
  const int intervals = static_cast<int>(table.size()) - 1;
  const auto above = std::upper_bound(table.begin(), table.end(), l);
  const int k = std::clamp(static_cast<int>(above - table.begin()) - 1, 0, intervals - 1);
  double lo = static_cast<double>(k) / intervals;
  double hi = static_cast<double>(k + 1) / intervals;
  const double base = table[k];
  const double span = table[k + 1] - base;
  if (!(span > 0.0)) {
    return lo;
  }
  const double tStart = lo;
  double t = lo + (hi - lo) * (l - base) / span;
  for (int step = 0; step < kMaxInversionSteps; ++step) {
    // Exact arc length from the table's knot, not an interpolation of the table.
    const double f =
        base + BezierArcLength(prep.curve, tStart, t, 0.1 * prep.tolerance / intervals) - l;
    if (std::fabs(f) <= prep.tolerance) {
      return t;
    }
    (f < 0.0 ? lo : hi) = t;
    const double speed = Speed(prep.curve, t);
    double next = speed > 0.0 ? t - f / speed : lo;
    if (!(next > lo && next < hi)) {
      next = 0.5 * (lo + hi);  // Newton left the bracket (or the speed vanished): bisect
    }
    if (next == t || hi - lo <= 4.0 * std::numeric_limits<double>::epsilon()) {
      return next;
    }
    t = next;
  }
  return t;
}

SegmentSample EvalSegmentAtLength(const SegmentPrep& prep, double l) {
  switch (prep.kind) {
    case SegmentKind::kPoint:
      return {Scaled(prep.curve.p0, prep.exponent), Vec2{}};
    case SegmentKind::kUnmeasurable:
      return {prep.curve.p0, Vec2{}};
    case SegmentKind::kStraight: {
      const double along = l > 0.0 ? std::min(l, prep.length) : 0.0;  // NaN goes to the start
      const double d = std::ldexp(along, -prep.exponent);
      const Vec2 a = prep.curve.p0;
      return {Scaled(Vec2{a.x + d * prep.lineDirection.x, a.y + d * prep.lineDirection.y},
                     prep.exponent),
              prep.lineDirection};
    }
    case SegmentKind::kCurved:
      break;
  }
  const double t = SegmentParamAtLength(prep, l);
  return {Scaled(BezierPoint(prep.curve, t), prep.exponent), BezierDirection(prep.curve, t)};
}

}  // namespace lwhost
