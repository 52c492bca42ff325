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
  if (depth >= kMaxQuadratureDepth || std::fabs(left + right - whole) <= tolerance) {
    return left + right;
  }
  return AdaptiveLength(c, a, m, left, 0.5 * tolerance, depth + 1) +
         AdaptiveLength(c, m, b, right, 0.5 * tolerance, depth + 1);
}

double PolygonLength(const CubicBezier& c) {
  return Norm(c.p1 - c.p0) + Norm(c.p2 - c.p1) + Norm(c.p3 - c.p2);
}

double Magnitude(const CubicBezier& c) {
  double m = 0.0;
  for (Vec2 p : {c.p0, c.p1, c.p2, c.p3}) {
    m = std::max({m, std::fabs(p.x), std::fabs(p.y)});
  }
  return m;
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

SegmentPrep PrepareSegment(const CubicBezier& c, int frequency) {
  SegmentPrep prep;
  prep.curve = c;
  const double polygon = PolygonLength(c);
  const double noise = kNoise * (1.0 + Magnitude(c));
  if (polygon <= noise) {
    prep.kind = SegmentKind::kPoint;
    return prep;
  }
  if (Norm(c.p3 - c.p0) > noise && OnChord(c.p1, c.p0, c.p3, noise) &&
      OnChord(c.p2, c.p0, c.p3, noise)) {
    // Control points on the chord make the curve run monotonically along it (its derivative's
    // Bernstein coefficients cannot dip below zero), so arc length is distance along the chord.
    prep.kind = SegmentKind::kStraight;
    prep.length = Norm(c.p3 - c.p0);
    prep.lineDirection = Unit(c.p3 - c.p0);
    return prep;
  }
  prep.kind = SegmentKind::kCurved;
  prep.tolerance = kRelativeTolerance * polygon;
  const int intervals = std::clamp(frequency, kMinTableIntervals, kMaxTableIntervals);
  prep.tableLength.assign(static_cast<size_t>(intervals) + 1, 0.0);
  for (int k = 0; k < intervals; ++k) {
    const double t0 = static_cast<double>(k) / intervals;
    const double t1 = static_cast<double>(k + 1) / intervals;
    prep.tableLength[k + 1] =
        prep.tableLength[k] + BezierArcLength(c, t0, t1, prep.tolerance / intervals);
  }
  prep.length = prep.tableLength.back();
  return prep;
}

double SegmentParamAtLength(const SegmentPrep& prep, double l) {
  if (prep.kind == SegmentKind::kPoint || !(l > 0.0)) {
    return 0.0;
  }
  if (l >= prep.length) {
    return 1.0;
  }
  if (prep.kind == SegmentKind::kStraight) {
    return l / prep.length;
  }
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
      return {prep.curve.p0, Vec2{}};
    case SegmentKind::kStraight: {
      const double d = l > 0.0 ? std::min(l, prep.length) : 0.0;  // NaN goes to the start
      const Vec2 a = prep.curve.p0;
      return {{a.x + d * prep.lineDirection.x, a.y + d * prep.lineDirection.y}, prep.lineDirection};
    }
    case SegmentKind::kCurved:
      break;
  }
  const double t = SegmentParamAtLength(prep, l);
  return {BezierPoint(prep.curve, t), BezierDirection(prep.curve, t)};
}

}  // namespace lwhost
