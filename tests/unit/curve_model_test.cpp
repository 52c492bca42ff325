// The width curve record: its default image, the stable point sort and the Hermite evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "curve/curve_data.h"
#include "fake_handle_host.h"
#include "test_curves.h"

namespace lwd {
namespace {

// The stored image of the default curve, byte for byte: tag 1, two points, (0, 1) and (1, 1).
constexpr unsigned char kDefaultImage[100] = {
    0x01, 0x02, 0x00, 0x00,                          // tag, numPoints, reserved
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F,  // x[0] = 0, x[1] = 1
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // x[2..11]
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F,  // y[0] = 1, y[1] = 1
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // y[2..11]
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
};

TEST(CurveModelTest, DefaultCurveImageIsByteExact) {
  LWD_CurveData c;
  std::memset(&c, 0xEE, sizeof c);  // every byte must be rewritten
  WriteDefaultCurve(&c);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&c);
  for (std::size_t i = 0; i < kCurveDataSize; ++i) {
    EXPECT_EQ(bytes[i], kDefaultImage[i]) << "byte " << i;
  }
}

TEST(CurveModelTest, CreateDefaultCurveHandsOutAnUnlockedDefaultHandle) {
  FakeHandleHost host;
  PF_Handle h = nullptr;
  ASSERT_EQ(CreateDefaultCurve(host.inData(), nullptr, &h), PF_Err_NONE);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(host.requestedSizes.size(), 1u);
  EXPECT_EQ(host.requestedSizes[0], 100u);
  EXPECT_EQ(std::memcmp(host.Find(h)->bytes.data(), kDefaultImage, 100), 0);
  EXPECT_EQ(host.Problems(), "");
}

TEST(CurveModelTest, CreateDefaultCurveFailsWithOutOfMemoryAndLeavesNothing) {
  FakeHandleHost host;
  PF_Handle sentinel = reinterpret_cast<PF_Handle>(&host);
  PF_Handle h = sentinel;

  host.failNew = true;
  EXPECT_EQ(CreateDefaultCurve(host.inData(), nullptr, &h), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(h, sentinel) << "out-parameter written on failure";

  // A handle that cannot be locked is given back.
  host.failNew = false;
  host.failLockOfNew = true;
  EXPECT_EQ(CreateDefaultCurve(host.inData(), nullptr, &h), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(h, sentinel);
  EXPECT_EQ(host.newCalls, 2);
  EXPECT_EQ(host.Live(), 0);
  EXPECT_EQ(host.Problems(), "");
}

TEST(CurveModelTest, CreateDefaultCurveWithoutHandleCallbacksReportsBadCallback) {
  FakeHandleHost host;
  host.utils()->host_lock_handle = nullptr;
  PF_Handle h = nullptr;
  EXPECT_EQ(CreateDefaultCurve(host.inData(), nullptr, &h), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.newCalls, 0);
  PF_InData noUtils{};
  EXPECT_EQ(CreateDefaultCurve(&noUtils, nullptr, &h), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(h, nullptr);
}

TEST(CurveModelTest, SortIsStableAndMovesXAndYTogether) {
  LWD_CurveData c = Curve({{0.5f, 0.1f}, {0.2f, 0.2f}, {0.2f, 0.3f}, {0.9f, 0.4f}});
  CurveSort(&c);
  const float wantX[] = {0.2f, 0.2f, 0.5f, 0.9f};
  const float wantY[] = {0.2f, 0.3f, 0.1f, 0.4f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(c.x[i], wantX[i]) << "point " << i;
    EXPECT_EQ(c.y[i], wantY[i]) << "point " << i;
  }
}

TEST(CurveModelTest, AppendedPointStaysBehindPointsWithTheSameX) {
  LWD_CurveData c = Curve({{0.0f, 0.1f}, {0.4f, 0.2f}, {1.0f, 0.3f}, {0.4f, 0.9f}});
  CurveSort(&c);
  EXPECT_EQ(c.x[1], 0.4f);
  EXPECT_EQ(c.y[1], 0.2f) << "the existing point keeps its place";
  EXPECT_EQ(c.x[2], 0.4f);
  EXPECT_EQ(c.y[2], 0.9f) << "the appended point follows it";
  EXPECT_EQ(c.x[3], 1.0f);
}

TEST(CurveModelTest, SortLeavesUnusedSlotsAndHeaderAlone) {
  LWD_CurveData c = Curve({{0.8f, 0.1f}, {0.3f, 0.2f}, {0.1f, 0.3f}});
  c.tag = 7;
  c.reserved[0] = 0xAB;
  for (int i = 3; i < kCurveMaxPoints; ++i) {
    c.x[i] = 0.05f;  // smaller than every used x: a sort over all slots would pull them in
    c.y[i] = -1.0f;
  }
  CurveSort(&c);
  EXPECT_EQ(c.x[0], 0.1f);
  EXPECT_EQ(c.x[1], 0.3f);
  EXPECT_EQ(c.x[2], 0.8f);
  EXPECT_EQ(c.tag, 7);
  EXPECT_EQ(c.reserved[0], 0xAB);
  for (int i = 3; i < kCurveMaxPoints; ++i) {
    EXPECT_EQ(c.x[i], 0.05f) << "slot " << i;
    EXPECT_EQ(c.y[i], -1.0f) << "slot " << i;
  }
}

TEST(CurveModelTest, MissingOrEmptyCurveIsFullWidth) {
  LWD_CurveData empty = Curve({});
  empty.y[0] = 0.25f;  // an unused slot must not be read
  for (double t : {-2.0, 0.0, 0.3, 1.0, 5.0}) {
    EXPECT_EQ(CurveEval(nullptr, t), 1.0) << "t = " << t;
    EXPECT_EQ(CurveEval(&empty, t), 1.0) << "t = " << t;
  }
}

TEST(CurveModelTest, OnePointCurveIsConstant) {
  const LWD_CurveData c = Curve({{0.3f, 0.4f}});
  for (double t : {-3.0, 0.0, 0.3, 0.9, 12.0}) {
    EXPECT_EQ(CurveEval(&c, t), static_cast<double>(0.4f)) << "t = " << t;
  }
}

TEST(CurveModelTest, DefaultCurveIsOneEverywhere) {
  LWD_CurveData c;
  WriteDefaultCurve(&c);
  for (int k = -10; k <= 30; ++k) {
    const double t = k / 20.0;
    EXPECT_EQ(CurveEval(&c, t), 1.0) << "t = " << t;
  }
}

TEST(CurveModelTest, RampHasHalvedEndTangents) {
  // With phantom end points both tangents are 0.5, which bends the ramp into an S.
  const LWD_CurveData c = Curve({{0.0f, 0.0f}, {1.0f, 1.0f}});
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.25), 0.203125);
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.5), 0.5);
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.75), 0.796875);
}

TEST(CurveModelTest, ValleyUsesNeighbourSlopes) {
  const LWD_CurveData c = Curve({{0.0f, 1.0f}, {0.5f, 0.5f}, {1.0f, 1.0f}});
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.25), 0.71875);
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.75), 0.71875);
  EXPECT_DOUBLE_EQ(CurveEval(&c, 0.5), 0.5) << "an inner point's x gives its y";
}

TEST(CurveModelTest, OvershootIsClampedToTheUnitRange) {
  // A steep rise into a plateau overshoots to about 1.079 at t = 0.2.
  const LWD_CurveData up = Curve({{0.0f, 0.0f}, {0.1f, 1.0f}, {1.0f, 1.0f}});
  EXPECT_EQ(CurveEval(&up, 0.2), 1.0);
  // The mirrored curve undershoots by the same amount and stops at 0.
  const LWD_CurveData down = Curve({{0.0f, 1.0f}, {0.1f, 0.0f}, {1.0f, 0.0f}});
  EXPECT_EQ(CurveEval(&down, 0.2), 0.0);
  // Away from the overshoot the value is the smooth one, not a clamp artefact.
  EXPECT_GT(CurveEval(&up, 0.05), 0.0);
  EXPECT_LT(CurveEval(&up, 0.05), 1.0);
}

TEST(CurveModelTest, ParameterOutsideTheUnitRangeIsClamped) {
  const LWD_CurveData c = Curve({{0.0f, 0.2f}, {1.0f, 0.8f}});
  EXPECT_EQ(CurveEval(&c, -5.0), static_cast<double>(0.2f));
  EXPECT_EQ(CurveEval(&c, 7.0), static_cast<double>(0.8f));
  EXPECT_EQ(CurveEval(&c, NAN), static_cast<double>(0.2f)) << "a NaN position reads as 0";
}

TEST(CurveModelTest, EndValuesAreReturnedAsStored) {
  // Points inside (0, 1): before the first and after the last x the ends hold, unclamped.
  const LWD_CurveData c = Curve({{0.25f, 1.5f}, {0.75f, -0.25f}});
  EXPECT_EQ(CurveEval(&c, 0.0), 1.5);
  EXPECT_EQ(CurveEval(&c, 0.25), 1.5);
  EXPECT_EQ(CurveEval(&c, 0.75), -0.25);
  EXPECT_EQ(CurveEval(&c, 1.0), -0.25);
  const double mid = CurveEval(&c, 0.5);
  EXPECT_GE(mid, 0.0);
  EXPECT_LE(mid, 1.0);
}

TEST(CurveModelTest, SegmentNarrowerThanTheCollapseLimitGivesItsRightEnd) {
  // Floats near 0.001 are about 1e-10 apart, so these two points form a segment far narrower
  // than 1e-9; evaluating inside it must not divide by that width.
  const float a = 0.001f;
  const float b = std::nextafter(a, 1.0f);
  const LWD_CurveData c = Curve({{0.0f, 0.0f}, {a, 0.3f}, {b, 0.7f}, {1.0f, 1.0f}});
  EXPECT_EQ(CurveEval(&c, static_cast<double>(b)), static_cast<double>(0.7f));
}

TEST(CurveModelTest, RecordClaimingMoreThanTwelvePointsIsReadAsTwelve) {
  // Twelve points in descending x; a stored count of 13 or 255 must not reach past x[11] (the
  // next float in memory is y[0]) nor past the record.
  struct Guarded {
    LWD_CurveData c;
    unsigned char guard[16];
  } g;
  std::memset(&g, 0xA7, sizeof g);
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    g.c.x[i] = 1.0f - static_cast<float>(i) / 11.0f;
    g.c.y[i] = static_cast<float>(i) / 11.0f;
  }
  LWD_CurveData twelve = g.c;
  twelve.numPoints = kCurveMaxPoints;
  CurveSort(&twelve);

  for (int claimed : {13, 255}) {
    Guarded h = g;
    h.c.numPoints = static_cast<std::uint8_t>(claimed);
    EXPECT_EQ(CurveUsedPoints(h.c), kCurveMaxPoints);
    CurveSort(&h.c);
    EXPECT_EQ(std::memcmp(h.c.x, twelve.x, sizeof twelve.x), 0) << "claimed " << claimed;
    EXPECT_EQ(std::memcmp(h.c.y, twelve.y, sizeof twelve.y), 0) << "claimed " << claimed;
    for (unsigned char byte : h.guard) {
      ASSERT_EQ(byte, 0xA7) << "sort wrote past the record, claimed " << claimed;
    }
    for (int k = 0; k <= 20; ++k) {
      const double t = k / 20.0;
      EXPECT_EQ(CurveEval(&h.c, t), CurveEval(&twelve, t)) << "claimed " << claimed << ", t " << t;
    }
  }
}

}  // namespace
}  // namespace lwd
