#include "render/walk_skip.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "fake_spine_host.h"

namespace lwd {
namespace {

TEST(WalkSkipTest, PointsOutOfReachKeepAFourPixelSlackAndFourBillionthsOfThePath) {
  EXPECT_EQ(PointsOutOfReach(0.0, 24.0, 2.0), 10);   // (24 - 4) / 2
  EXPECT_EQ(PointsOutOfReach(2.5e8, 24.0, 2.0), 9);  // the slack grows by 1 px per 2.5e8 px
  EXPECT_EQ(PointsOutOfReach(0.0, 5.9, 2.0), 0);
  EXPECT_EQ(PointsOutOfReach(0.0, std::numeric_limits<double>::quiet_NaN(), 2.0), 0);
  EXPECT_EQ(PointsOutOfReach(0.0, 1e300, 0.5), 1000000000000000);
}

TEST(WalkSkipTest, PointsBeforeBreakStayOneShortOfTheNextBreakWithTheirTaps) {
  const std::vector<double> breaks = {100.0, 300.0};
  EXPECT_EQ(PointsBeforeBreak(breaks, 50.0, 0.0, 1.0), 49);
  EXPECT_EQ(PointsBeforeBreak(breaks, 50.0, 10.0, 1.0), 39);  // the last tap stays before 100
  EXPECT_EQ(PointsBeforeBreak(breaks, 99.5, 1.0, 1.0), 0);    // its own taps straddle the break
  EXPECT_EQ(PointsBeforeBreak(breaks, 150.0, 0.0, 2.0), 74);  // past the first: up to the second
  EXPECT_EQ(PointsBeforeBreak(breaks, 400.0, 0.0, 2.0), 1000000000000000);
  EXPECT_EQ(PointsBeforeBreak({}, 0.0, 5.0, 1.0), 1000000000000000);
}

// The breaks cost host evaluations: they are asked for only once a skip is worth making.
TEST(WalkSkipTest, PointsToSkipAsksForTheBreaksOnlyWhenWorthIt) {
  struct CountingHost : FakeSpineHost {
    int breakCalls = 0;
    PF_Err PathBreaks(const std::vector<double>** out) override {
      ++breakCalls;
      return FakeSpineHost::PathBreaks(out);
    }
  } host;
  host.points = {{0.0, 0.0}, {100.0, 0.0}, {500.0, 500.0}, {600.0, 500.0}};
  host.disjoint = true;  // a break at arc length 100
  LWD_RenderSettings s;
  s.pathLength = 200.0;
  std::int64_t points = -1;
  ASSERT_EQ(PointsToSkip(host, s, 7.0, 10.0, 1.0, 2, &points), PF_Err_NONE);
  EXPECT_EQ(points, 2);  // (7 - 4) / 1 points, far from the break
  EXPECT_EQ(host.breakCalls, 1);
  ASSERT_EQ(PointsToSkip(host, s, 6.0, 10.0, 1.0, 2, &points), PF_Err_NONE);
  EXPECT_EQ(points, 1);  // one point is not worth a skip: returned unclipped, nothing asked
  EXPECT_EQ(host.breakCalls, 1);
  ASSERT_EQ(PointsToSkip(host, s, 1000.0, 10.0, 1.0, 1, &points), PF_Err_NONE);
  EXPECT_EQ(points, 89);  // clipped one short of the break at 100
  EXPECT_EQ(host.breakCalls, 2);
}

}  // namespace
}  // namespace lwd
