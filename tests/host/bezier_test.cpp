// Mask geometry: arc lengths against an independent integration, the point at a length and the
// unit direction there, and the degenerate segments a user can draw.
#include <gtest/gtest.h>

#include <cmath>

#include "masks/bezier.h"
#include "masks/mask.h"

namespace lwhost {
namespace {

// Reference arc length of [t0, t1] by composite Simpson over the speed, written independently of
// the quadrature under test. With 1e6 panels its error on these curves is far below 1e-11.
double SimpsonLength(const CubicBezier& c, double t0, double t1, int panels = 1000000) {
  const auto speed = [&](double t) {
    const double s = 1.0 - t;
    const double dx = 3 * s * s * (c.p1.x - c.p0.x) + 6 * s * t * (c.p2.x - c.p1.x) +
                      3 * t * t * (c.p3.x - c.p2.x);
    const double dy = 3 * s * s * (c.p1.y - c.p0.y) + 6 * s * t * (c.p2.y - c.p1.y) +
                      3 * t * t * (c.p3.y - c.p2.y);
    return std::sqrt(dx * dx + dy * dy);
  };
  const double h = (t1 - t0) / panels;
  double sum = speed(t0) + speed(t1);
  for (int i = 1; i < panels; ++i) {
    sum += (i % 2 ? 4.0 : 2.0) * speed(t0 + i * h);
  }
  return sum * h / 3.0;
}

// Quarter circle of radius 100 with the usual 0.5523 handle length.
const CubicBezier kQuarter = {{100, 0}, {100, 55.22847498}, {55.22847498, 100}, {0, 100}};
// An S: leaves to the right, arrives from the left.
const CubicBezier kS = {{0, 0}, {120, 10}, {-20, 90}, {100, 100}};
// A cusp at t = 1/2, at (50, 75): the curve comes up to it and goes back down.
const CubicBezier kCusp = {{0, 0}, {100, 100}, {0, 100}, {100, 0}};

double Norm(Vec2 v) {
  return std::hypot(v.x, v.y);
}

TEST(BezierTest, CurvedLengthsMatchAnIndependentIntegrationToOnePartInABillion) {
  for (const CubicBezier& c : {kQuarter, kS, kCusp}) {
    const double reference = SimpsonLength(c, 0.0, 1.0);
    EXPECT_NEAR(BezierLength(c), reference, 1e-9 * reference) << "curve from " << c.p1.x;
    const SegmentPrep prep = PrepareSegment(c, 200);
    EXPECT_EQ(prep.kind, SegmentKind::kCurved);
    EXPECT_NEAR(prep.length, reference, 1e-9 * reference) << "curve from " << c.p1.x;
  }
  // The quarter circle is within 0.03% of the true circle's quarter.
  EXPECT_NEAR(PrepareSegment(kQuarter, 200).length, 50.0 * M_PI, 0.05);
}

TEST(BezierTest, PointAtLengthLiesAtThatArcLength) {
  for (const CubicBezier& c : {kQuarter, kS, kCusp}) {
    for (int frequency : {1, 200}) {  // a coarse table must not change the answer
      const SegmentPrep prep = PrepareSegment(c, frequency);
      for (double f : {0.1, 0.37, 0.5, 0.81, 0.999}) {
        const double l = f * prep.length;
        const double t = SegmentParamAtLength(prep, l);
        const double reference = SimpsonLength(c, 0.0, t, 200000);
        EXPECT_NEAR(reference, l, 1e-9 * prep.length)
            << "curve from " << c.p1.x << ", l = " << l << ", frequency " << frequency;
        const SegmentSample sample = EvalSegmentAtLength(prep, l);
        const Vec2 expect = BezierPoint(c, t);
        EXPECT_EQ(sample.point.x, expect.x);
        EXPECT_EQ(sample.point.y, expect.y);
      }
    }
  }
}

TEST(BezierTest, DerivativeIsAUnitVectorMatchingFiniteDifferences) {
  for (const CubicBezier* curve : {&kQuarter, &kS, &kCusp}) {
    const CubicBezier& c = *curve;
    const SegmentPrep prep = PrepareSegment(c, 200);
    const double h = 1e-4;
    for (double f = 0.05; f < 0.96; f += 0.05) {
      const double l = f * prep.length;
      if (curve == &kCusp && std::fabs(f - 0.5) < 0.02) {
        continue;  // the direction flips at the cusp; checked on its own below
      }
      const SegmentSample sample = EvalSegmentAtLength(prep, l);
      EXPECT_NEAR(Norm(sample.direction), 1.0, 1e-12) << "l = " << l;
      const Vec2 a = EvalSegmentAtLength(prep, l - h).point;
      const Vec2 b = EvalSegmentAtLength(prep, l + h).point;
      EXPECT_NEAR(sample.direction.x, (b.x - a.x) / (2 * h), 1e-6)
          << "curve from " << c.p1.x << ", l = " << l;
      EXPECT_NEAR(sample.direction.y, (b.y - a.y) / (2 * h), 1e-6)
          << "curve from " << c.p1.x << ", l = " << l;
    }
  }
}

TEST(BezierTest, CuspGivesTheArrivingThenLeavingDirection) {
  const SegmentPrep prep = PrepareSegment(kCusp, 200);
  const double half = 0.5 * prep.length;  // the curve is symmetric about its cusp
  const SegmentSample before = EvalSegmentAtLength(prep, half - 0.1);
  const SegmentSample after = EvalSegmentAtLength(prep, half + 0.1);
  EXPECT_GT(before.direction.y, 0.9) << "rising into the cusp";
  EXPECT_LT(after.direction.y, -0.9) << "falling out of it";
  const SegmentSample at = EvalSegmentAtLength(prep, half);
  EXPECT_NEAR(at.point.x, 50.0, 1e-6);
  EXPECT_NEAR(at.point.y, 75.0, 1e-6);
  EXPECT_NEAR(Norm(at.direction), 1.0, 1e-12);
  EXPECT_NEAR(std::fabs(at.direction.y), 1.0, 1e-6);
  // Exactly at the parameter of the cusp the parametric derivative is zero.
  EXPECT_NEAR(BezierDirection(kCusp, 0.5).y, -1.0, 1e-12) << "leaving side at the cusp itself";
}

TEST(BezierTest, StraightSegmentsAreExactWhateverTheirTangentsAlongTheChord) {
  const Vec2 a{10, 20};
  const Vec2 b{40, 60};  // 50 long
  const double ux = 30.0 / 50.0;
  const double uy = 40.0 / 50.0;
  const CubicBezier zeroTangents = {a, a, b, b};
  const CubicBezier thirds = {a, {20, 20 + 40.0 / 3}, {30, 20 + 80.0 / 3}, b};
  const CubicBezier bunched = {a, {35, 53.3333333333333333}, {15, 26.66666666666666}, b};
  for (const CubicBezier& c : {zeroTangents, thirds, bunched}) {
    const SegmentPrep prep = PrepareSegment(c, 200);
    ASSERT_EQ(prep.kind, SegmentKind::kStraight) << "handles at " << c.p1.x;
    EXPECT_EQ(prep.length, 50.0);
    for (double l : {0.0, 0.5, 17.25, 49.0, 50.0}) {
      const SegmentSample s = EvalSegmentAtLength(prep, l);
      EXPECT_DOUBLE_EQ(s.point.x, a.x + l * (b.x - a.x) / 50.0) << "l = " << l;
      EXPECT_DOUBLE_EQ(s.point.y, a.y + l * (b.y - a.y) / 50.0) << "l = " << l;
      EXPECT_DOUBLE_EQ(s.direction.x, ux) << "l = " << l;
      EXPECT_DOUBLE_EQ(s.direction.y, uy) << "l = " << l;
    }
    // Lengths outside the segment clamp to its ends.
    EXPECT_DOUBLE_EQ(EvalSegmentAtLength(prep, -3.0).point.x, a.x);
    EXPECT_DOUBLE_EQ(EvalSegmentAtLength(prep, 80.0).point.y, b.y);
  }
  // A handle beyond the chord's end makes the curve overshoot and come back: not straight.
  const SegmentPrep overshoot = PrepareSegment({a, {70, 100}, b, b}, 200);
  EXPECT_EQ(overshoot.kind, SegmentKind::kCurved);
  EXPECT_GT(overshoot.length, 50.0);
}

TEST(BezierTest, ZeroTangentAtACurvedEndTakesTheLimitingDirection) {
  const CubicBezier startFlat = {{0, 0}, {0, 0}, {100, 0}, {100, 100}};
  const SegmentPrep a = PrepareSegment(startFlat, 200);
  const SegmentSample s0 = EvalSegmentAtLength(a, 0.0);
  EXPECT_NEAR(s0.direction.x, 1.0, 1e-12) << "towards p2 when p1 sits on p0";
  EXPECT_NEAR(s0.direction.y, 0.0, 1e-12);

  const CubicBezier endFlat = {{0, 0}, {0, 100}, {100, 100}, {100, 100}};
  const SegmentPrep b = PrepareSegment(endFlat, 200);
  const SegmentSample s1 = EvalSegmentAtLength(b, b.length);
  EXPECT_EQ(s1.point.x, 100.0);
  EXPECT_EQ(s1.point.y, 100.0);
  EXPECT_NEAR(s1.direction.x, 1.0, 1e-12) << "arriving from p1 when p2 sits on p3";
  EXPECT_NEAR(s1.direction.y, 0.0, 1e-12);
  EXPECT_NEAR(b.length, SimpsonLength(endFlat, 0.0, 1.0), 1e-9 * b.length);
}

TEST(BezierTest, CoincidentPointsGiveALengthOfZeroAndNoDirection) {
  const SegmentPrep prep = PrepareSegment({{7, 8}, {7, 8}, {7, 8}, {7, 8}}, 200);
  EXPECT_EQ(prep.kind, SegmentKind::kPoint);
  EXPECT_EQ(prep.length, 0.0);
  for (double l : {0.0, 1.0}) {
    const SegmentSample s = EvalSegmentAtLength(prep, l);
    EXPECT_EQ(s.point.x, 7.0);
    EXPECT_EQ(s.point.y, 8.0);
    EXPECT_EQ(s.direction.x, 0.0);
    EXPECT_EQ(s.direction.y, 0.0);
  }
  // A point segment is one whose control points all lie within 1e-12 x (1 + their largest
  // magnitude) of each other, even when its control polygon is longer than that.
  const double noise = 1e-12 * (1 + 1000);
  const auto near = [&](double spread) {
    return PrepareSegment({{1000, 0}, {1000, spread}, {1000, spread}, {1000, 0}}, 200).kind;
  };
  EXPECT_EQ(near(0.9 * noise), SegmentKind::kPoint);
  EXPECT_NE(near(1.1 * noise), SegmentKind::kPoint);
  // Ends in one place but handles apart: a loop, with a real length.
  const CubicBezier loop = {{0, 0}, {100, 0}, {100, 100}, {0, 0}};
  const SegmentPrep looped = PrepareSegment(loop, 200);
  EXPECT_EQ(looped.kind, SegmentKind::kCurved);
  EXPECT_NEAR(looped.length, SimpsonLength(loop, 0.0, 1.0), 1e-9 * looped.length);
}

TEST(MaskTest, SegmentsFollowVerticesAndTangentsAndClosingAddsOne) {
  const Mask open = MakeMask({{0, 0}, {10, 0}, {10, 10}}, {{0, 0}, {-2, 0}, {0, -3}},
                             {{1, 0}, {0, 4}, {0, 0}}, false);
  ASSERT_EQ(MaskSegmentCount(open), 2);
  const CubicBezier s1 = MaskSegment(open, 1);
  EXPECT_EQ(s1.p0.x, 10.0);
  EXPECT_EQ(s1.p1.y, 4.0) << "out tangent of vertex 1";
  EXPECT_EQ(s1.p2.y, 7.0) << "in tangent of vertex 2";
  Mask closed = open;
  closed.closed = true;
  ASSERT_EQ(MaskSegmentCount(closed), 3);
  const CubicBezier back = MaskSegment(closed, 2);
  EXPECT_EQ(back.p0.y, 10.0);
  EXPECT_EQ(back.p3.x, 0.0) << "the closing segment returns to the first vertex";
  EXPECT_THROW(MakeMask({{0, 0}, {1, 1}}, {{0, 0}}, {}, false), std::invalid_argument);
}

TEST(MaskTest, OneVertexMasks) {
  EXPECT_EQ(MaskSegmentCount(MakeMask({{5, 5}}, {}, {}, false)), 0);
  const Mask dot = MakeMask({{5, 5}}, {}, {}, true);
  ASSERT_EQ(MaskSegmentCount(dot), 1);
  EXPECT_EQ(PrepareSegment(MaskSegment(dot, 0), 200).length, 0.0);
  const Mask drop = MakeMask({{5, 5}}, {{-20, 30}}, {{20, 30}}, true);
  const SegmentPrep loop = PrepareSegment(MaskSegment(drop, 0), 200);
  EXPECT_GT(loop.length, 20.0) << "tangents make a one-vertex closed mask a loop";
  EXPECT_EQ(EvalSegmentAtLength(loop, loop.length).point.x, 5.0);
}

TEST(MaskTest, ScaledMaskDividesEveryCoordinate) {
  const Mask m = MakeMask({{40, 30}}, {{-8, 6}}, {{4, -3}}, true);
  const Mask s = ScaledMask(m, 2.0, 3.0);
  EXPECT_EQ(s.vertices[0].point.x, 20.0);
  EXPECT_EQ(s.vertices[0].point.y, 10.0);
  EXPECT_EQ(s.vertices[0].inTangent.x, -4.0);
  EXPECT_EQ(s.vertices[0].outTangent.y, -1.0);
  EXPECT_TRUE(s.closed);
}

// Coordinates near the top of the double range: the speed overflows unless the curve is scaled
// first, and a NaN error estimate once drove the quadrature through 2^60 splits.
TEST(BezierTest, HugeCurvesAreMeasuredScaledAndTooLongOnesRefused) {
  const CubicBezier huge = {{10, 10}, {1e308, 10}, {300, 200}, {300, 200}};
  EXPECT_FALSE(std::isfinite(BezierArcLength(huge, 0.0, 1.0, 1.0))) << "ends, overflowing";
  const SegmentPrep prep = PrepareSegment(huge, 200);
  ASSERT_EQ(prep.kind, SegmentKind::kCurved);
  // A power of two scales every step of the measure exactly, so the same curve a 2^-1000 the
  // size, measured in range, gives the same length to the bit.
  const CubicBezier small = {{std::ldexp(10.0, -1000), std::ldexp(10.0, -1000)},
                             {std::ldexp(1e308, -1000), std::ldexp(10.0, -1000)},
                             {std::ldexp(300.0, -1000), std::ldexp(200.0, -1000)},
                             {std::ldexp(300.0, -1000), std::ldexp(200.0, -1000)}};
  EXPECT_EQ(prep.length, std::ldexp(PrepareSegment(small, 200).length, 1000));
  for (double f : {0.0, 0.25, 0.5, 1.0}) {
    const SegmentSample at = EvalSegmentAtLength(prep, f * prep.length);
    const Vec2 expected = BezierPoint(huge, SegmentParamAtLength(prep, f * prep.length));
    EXPECT_TRUE(std::isfinite(at.point.x) && std::isfinite(at.point.y)) << "at " << f;
    EXPECT_NEAR(at.point.x, expected.x, 1e-12 * 1e308) << "at " << f;
    EXPECT_NEAR(Norm(at.direction), 1.0, 1e-12) << "at " << f;
  }
  // Half the largest double on each side of the origin: no double holds the length.
  const CubicBezier tooLong = {{-1.7e308, 0}, {-1.7e308, 0}, {1.7e308, 0}, {1.7e308, 0}};
  EXPECT_EQ(PrepareSegment(tooLong, 200).kind, SegmentKind::kUnmeasurable);
  EXPECT_NE(WhyUnmeasurable(tooLong), "");
  EXPECT_EQ(WhyUnmeasurable(huge), "");
  EXPECT_EQ(WhyUnmeasurable(kS), "");
}

}  // namespace
}  // namespace lwhost
