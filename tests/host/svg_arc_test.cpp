// SVG arcs in path data against the exact circle and ellipse: lengths, end points, the four
// candidates the flags choose among, and SVG's special cases.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "masks/svg_path.h"

namespace lwhost {
namespace {

constexpr double kPi = std::numbers::pi;
// The cubic approximation of a quarter turn bulges by under 0.03% of the radius; lengths come out
// closer than that.
constexpr double kLengthTolerance = 3e-4;

double MaskLength(const Mask& mask) {
  double length = 0.0;
  for (int i = 0; i < MaskSegmentCount(mask); ++i) {
    length += BezierLength(MaskSegment(mask, i));
  }
  return length;
}

// Perimeter of the ellipse between two angles by Simpson's rule on a fine grid: an independent
// number for the approximation to meet.
double EllipseArcLength(double rx, double ry, double from, double to) {
  const int steps = 20000;
  const double h = (to - from) / steps;
  const auto speed = [&](double t) { return std::hypot(rx * std::sin(t), ry * std::cos(t)); };
  double sum = speed(from) + speed(to);
  for (int k = 1; k < steps; ++k) {
    sum += speed(from + k * h) * (k % 2 == 1 ? 4.0 : 2.0);
  }
  return sum * h / 3.0;
}

std::string Num(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

TEST(SvgArcTest, CircularArcsHaveTheCircleLengthAndEndExactly) {
  for (const double r : {1.0, 10.0, 250.0}) {
    for (const double degrees : {30.0, 90.0, 135.0, 180.0, 270.0, 350.0}) {
      const double a = degrees * kPi / 180.0;
      const double x = 100.0 + r * std::cos(a);
      const double y = 50.0 + r * std::sin(a);
      const std::string large = degrees > 180.0 ? "1" : "0";
      const std::string data = "M " + Num(100.0 + r) + " 50 A " + Num(r) + " " + Num(r) + " 0 " +
                               large + " 1 " + Num(x) + " " + Num(y);
      const Mask m = ParseSvgPath(data);
      const std::string what = data;
      EXPECT_NEAR(MaskLength(m), r * a, r * a * kLengthTolerance) << what;
      EXPECT_EQ(MaskSegmentCount(m), static_cast<int>(std::ceil(degrees / 90.0))) << what;
      EXPECT_EQ(m.vertices.back().point.x, x) << what;
      EXPECT_EQ(m.vertices.back().point.y, y) << what;
      for (const MaskVertex& v : m.vertices) {
        EXPECT_NEAR(std::hypot(v.point.x - 100.0, v.point.y - 50.0), r, 1e-9 * r) << what;
      }
    }
  }
}

TEST(SvgArcTest, EllipticalArcsHaveTheEllipseLength) {
  // Half an ellipse with radii 40 and 10 whose major axis is turned by 30 degrees, from one end
  // of that axis to the other, then the other half back to a closed outline.
  const double c = std::cos(kPi / 6);
  const double s = std::sin(kPi / 6);
  const std::string a = Num(200 + 40 * c) + " " + Num(100 + 40 * s);
  const std::string b = Num(200 - 40 * c) + " " + Num(100 - 40 * s);
  const double half = EllipseArcLength(40, 10, 0, kPi);
  const Mask halfArc = ParseSvgPath("M " + a + " A 40 10 30 0 1 " + b);
  EXPECT_NEAR(MaskLength(halfArc), half, half * kLengthTolerance);
  EXPECT_EQ(MaskSegmentCount(halfArc), 2);
  const Mask whole =
      ParseSvgPath("M " + a + " A 40 10 30 0 1 " + b + " A 40 10 30 0 1 " + a + " Z");
  EXPECT_TRUE(whole.closed);
  EXPECT_EQ(whole.vertices.size(), 4u) << "the arc back to the start is not a repeated vertex";
  EXPECT_NEAR(MaskLength(whole), 2 * half, 2 * half * kLengthTolerance);
  // The same ellipse described with its axes swapped and turned a further 90 degrees.
  const Mask swapped = ParseSvgPath("M " + a + " A 10 40 120 0 1 " + b);
  ASSERT_EQ(swapped.vertices.size(), halfArc.vertices.size());
  for (size_t i = 0; i < swapped.vertices.size(); ++i) {
    EXPECT_NEAR(swapped.vertices[i].point.x, halfArc.vertices[i].point.x, 1e-9);
    EXPECT_NEAR(swapped.vertices[i].point.y, halfArc.vertices[i].point.y, 1e-9);
  }
}

TEST(SvgArcTest, RadiiTooSmallGrowUntilTheArcReachesTheEndPoint) {
  // Radius 1 across a chord of 10 becomes the half circle of radius 5.
  const Mask circle = ParseSvgPath("M 0 0 A 1 1 0 0 1 10 0");
  EXPECT_NEAR(MaskLength(circle), 5 * kPi, 5 * kPi * kLengthTolerance);
  // Radii 2 and 1 keep their ratio: a half ellipse of radii 5 and 2.5.
  const Mask ellipse = ParseSvgPath("M 0 0 a -2 1 0 1 0 10 0");
  const double expected = EllipseArcLength(5, 2.5, 0, kPi);
  EXPECT_NEAR(MaskLength(ellipse), expected, expected * kLengthTolerance);
  EXPECT_NEAR(ellipse.vertices[1].point.y, 2.5, 1e-9) << "sweep 0 from (0,0) to (10,0) bulges down";
}

TEST(SvgArcTest, TheFlagsPickOneOfFourArcs) {
  // Radius 10 between (0, 0) and (10, 0): the centres are (5, +-5 sqrt 3), the arcs 60 or 300
  // degrees; the sweep flag turns towards increasing angle (clockwise with y down).
  const double h = 5 * std::sqrt(3.0);
  struct Case {
    int large, sweep;
    double centreY, degrees;
  };
  const Case cases[] = {{0, 0, -h, 60}, {0, 1, h, 60}, {1, 0, h, 300}, {1, 1, -h, 300}};
  for (const Case& k : cases) {
    const std::string data =
        "M 0 0 A 10 10 0 " + std::to_string(k.large) + " " + std::to_string(k.sweep) + " 10 0";
    const Mask m = ParseSvgPath(data);
    EXPECT_NEAR(MaskLength(m), 10 * k.degrees * kPi / 180,
                10 * k.degrees * kPi / 180 * kLengthTolerance)
        << data;
    EXPECT_EQ(m.vertices.back().point.x, 10.0) << data;
    EXPECT_EQ(m.vertices.back().point.y, 0.0) << data;
    for (const MaskVertex& v : m.vertices) {
      EXPECT_NEAR(std::hypot(v.point.x - 5, v.point.y - k.centreY), 10, 1e-9) << data;
    }
    // Leaving the start: (start - centre) x direction is positive for a positive-angle sweep.
    const Vec2 out = m.vertices[0].outTangent;
    const double turn = (0 - 5) * out.y - (0 - k.centreY) * out.x;
    EXPECT_EQ(turn > 0, k.sweep == 1) << data;
  }
}

TEST(SvgArcTest, SpecialCasesAndTheCompactForm) {
  // A zero radius is a straight line; an arc that ends where it starts is dropped.
  const Mask line = ParseSvgPath("M 0 0 A 0 5 0 0 1 10 0");
  ASSERT_EQ(line.vertices.size(), 2u);
  EXPECT_NEAR(MaskLength(line), 10.0, 1e-12);
  const Mask dropped = ParseSvgPath("M 3 3 A 5 5 0 1 1 3 3 L 10 3");
  ASSERT_EQ(dropped.vertices.size(), 2u);
  EXPECT_EQ(dropped.vertices[1].point.x, 10.0);
  // Flags may run into the next number, and relative arcs end relative to the current point.
  const Mask compact = ParseSvgPath("M 5 5 a5 5 0 1110 10");
  const Mask spaced = ParseSvgPath("M 5 5 A 5 5 0 1 1 15 15");
  ASSERT_EQ(compact.vertices.size(), spaced.vertices.size());
  for (size_t i = 0; i < compact.vertices.size(); ++i) {
    EXPECT_NEAR(compact.vertices[i].point.x, spaced.vertices[i].point.x, 1e-12);
    EXPECT_NEAR(compact.vertices[i].outTangent.y, spaced.vertices[i].outTangent.y, 1e-12);
  }
  EXPECT_THROW(ParseSvgPath("M 0 0 A 1e200 1e-200 0 0 1 1e300 -1e300"), SvgPathError)
      << "an ellipse that overflows is refused, not drawn from NaNs";
  try {
    ParseSvgPath("M 0 0 A 5 5 0 2 1 10 0");
    ADD_FAILURE() << "a flag of 2 was taken";
  } catch (const SvgPathError& e) {
    EXPECT_NE(std::string(e.what()).find("bad flag \"2\""), std::string::npos) << e.what();
    EXPECT_EQ(e.offset(), 14u);
  }
}

}  // namespace
}  // namespace lwhost
