// The mask path walk driven through a real suite cache, over a small in-test host that serves the
// path data suite over polylines (each segment a straight piece, parametrised by arc length) and
// can fail the k-th call of any of its functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "path/path_walk.h"

namespace lwd {
namespace {

struct Pt {
  double x, y;
};

struct FakePrep {
  int segment;
};

struct FakeHost {
  std::vector<Pt> points;  // segment i runs from points[i] to points[i + 1]
  int prepareFrequency = -1;
  int livePreps = 0;
  int cleanups = 0;
  int isOpenCalls = 0;
  std::map<std::string, int> calls;
  std::string failName;  // fail the failAt-th call (1-based) of this function
  int failAt = 0;
  PF_Err failWith = 0;

  // Counts the call and says whether it is the one to fail.
  bool Fails(const char* name) {
    const int n = ++calls[name];
    return failName == name && n == failAt;
  }
};

FakeHost* g_host = nullptr;

double SegLength(int seg) {
  const Pt a = g_host->points[seg];
  const Pt b = g_host->points[seg + 1];
  return std::hypot(b.x - a.x, b.y - a.y);
}

PF_Err IsOpen(PF_ProgPtr, PF_PathOutlinePtr, PF_Boolean* open) {
  ++g_host->isOpenCalls;
  *open = 1;
  return PF_Err_NONE;
}

PF_Err NumSegments(PF_ProgPtr, PF_PathOutlinePtr, A_long* count) {
  if (g_host->Fails("NumSegments")) {
    return g_host->failWith;
  }
  *count = static_cast<A_long>(g_host->points.size()) - 1;
  return PF_Err_NONE;
}

PF_Err Prepare(PF_ProgPtr, PF_PathOutlinePtr, A_long seg, A_long frequency,
               PF_PathSegPrepPtr* prep) {
  g_host->prepareFrequency = frequency;
  if (g_host->Fails("Prepare")) {
    return g_host->failWith;
  }
  *prep = reinterpret_cast<PF_PathSegPrepPtr>(new FakePrep{seg});
  ++g_host->livePreps;
  return PF_Err_NONE;
}

PF_Err GetLength(PF_ProgPtr, PF_PathOutlinePtr, A_long seg, PF_PathSegPrepPtr* prep,
                 PF_FpLong* length) {
  if (g_host->Fails("GetLength")) {
    *length = 999.0;  // garbage the walk must not use
    return g_host->failWith;
  }
  EXPECT_EQ(reinterpret_cast<FakePrep*>(*prep)->segment, seg);
  *length = SegLength(seg);
  return PF_Err_NONE;
}

PF_Err EvalDeriv(PF_ProgPtr, PF_PathOutlinePtr, PF_PathSegPrepPtr* prep, A_long seg, PF_FpLong l,
                 PF_FpLong* x, PF_FpLong* y, PF_FpLong* dx, PF_FpLong* dy) {
  if (g_host->Fails("Eval")) {
    return g_host->failWith;
  }
  EXPECT_NE(*prep, nullptr) << "segment " << seg << " evaluated before it was prepared";
  const Pt a = g_host->points[seg];
  const Pt b = g_host->points[seg + 1];
  const double len = SegLength(seg);
  *dx = (b.x - a.x) / len;
  *dy = (b.y - a.y) / len;
  *x = a.x + l * *dx;
  *y = a.y + l * *dy;
  return PF_Err_NONE;
}

PF_Err Cleanup(PF_ProgPtr, PF_PathOutlinePtr, A_long seg, PF_PathSegPrepPtr* prep) {
  if (g_host->Fails("Cleanup")) {
    return g_host->failWith;
  }
  EXPECT_EQ(reinterpret_cast<FakePrep*>(*prep)->segment, seg);
  delete reinterpret_cast<FakePrep*>(*prep);
  *prep = nullptr;
  --g_host->livePreps;
  ++g_host->cleanups;
  return PF_Err_NONE;
}

const PF_PathDataSuite1 kDataSuite = {IsOpen,    NumSegments, nullptr, Prepare, GetLength, nullptr,
                                      EvalDeriv, Cleanup,     nullptr, nullptr, nullptr};

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  if (std::strcmp(name, kPFPathDataSuite) == 0 && version == kPFPathDataSuiteVersion1) {
    *suite = &kDataSuite;
    return 0;
  }
  *suite = nullptr;
  return 1;
}

SPErr ReleaseSuite(const char*, int32_t) {
  return 0;
}

const SPBasicSuite kBasic = {AcquireSuite, ReleaseSuite, nullptr, nullptr,
                             nullptr,      nullptr,      nullptr};

class PathWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_host = &host;
    inData.effect_ref = nullptr;
  }
  void TearDown() override {
    EXPECT_EQ(host.livePreps, 0) << "preparations left with the host";
    EXPECT_EQ(host.isOpenCalls, 0) << "the walk asked whether the mask is closed";
    g_host = nullptr;
  }

  PF_Err Build() { return BuildPathWalk(&inData, suites, outline, walk); }
  PF_Err Release(PF_Err err = PF_Err_NONE) {
    return ReleasePathWalk(&inData, suites, outline, walk, err);
  }
  void Exact(double s, double* x, double* y, double* dx, double* dy) {
    ASSERT_EQ(EvalPathExact(&inData, suites, outline, walk, s, x, y, dx, dy), PF_Err_NONE)
        << "s = " << s;
  }

  FakeHost host;
  PF_InData inData{};
  AEGP_SuiteHandler suites{&kBasic};
  PF_PathOutlinePtr outline = reinterpret_cast<PF_PathOutlinePtr>(&host);
  LWD_PathWalk walk;
};

// An L: 10 along x, then 20 down y, then 5 back along x.
const std::vector<Pt> kThreeSegments = {{0, 0}, {10, 0}, {10, 20}, {5, 20}};

TEST_F(PathWalkTest, BuildMeasuresEverySegmentAtFrequency200) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  EXPECT_EQ(walk.numSegments, 3);
  ASSERT_EQ(walk.cumLength.size(), 4u);
  EXPECT_EQ(walk.cumLength[0], 0.0);
  EXPECT_EQ(walk.cumLength[1], 10.0);
  EXPECT_EQ(walk.cumLength[2], 30.0);
  EXPECT_EQ(walk.cumLength[3], 35.0);
  EXPECT_EQ(walk.totalLength, 35.0);
  EXPECT_EQ(host.prepareFrequency, 200);
  EXPECT_EQ(Release(), PF_Err_NONE);
  EXPECT_EQ(host.cleanups, 3);
}

TEST_F(PathWalkTest, FindSegmentPutsBoundariesInTheLaterSegment) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  const std::pair<double, int> cases[] = {{0.0, 0},  {9.999, 0}, {10.0, 1}, {29.0, 1},
                                          {30.0, 2}, {35.0, 2},  {99.0, 2}};
  for (const auto& [s, seg] : cases) {
    EXPECT_EQ(FindSegment(walk, s), seg) << "s = " << s;
  }
  double x, y, dx, dy;
  Exact(10.0, &x, &y, &dx, &dy);  // start of the second segment, not the end of the first
  EXPECT_EQ(x, 10.0);
  EXPECT_EQ(y, 0.0);
  EXPECT_EQ(dx, 0.0);
  EXPECT_EQ(dy, 1.0);
  Exact(35.0, &x, &y, &dx, &dy);  // the very end belongs to the last segment at its full length
  EXPECT_EQ(x, 5.0);
  EXPECT_EQ(y, 20.0);
  EXPECT_EQ(dx, -1.0);
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, DistancesOutsideThePathClampToItsEndsWithoutWrapping) {
  // A closed square: the last point repeats the first; a wrap would land near the start again.
  host.points = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  ASSERT_EQ(Build(), PF_Err_NONE);
  double x, y, dx, dy;
  Exact(-5.0, &x, &y, &dx, &dy);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 0.0);
  EXPECT_EQ(dx, 1.0) << "below 0 evaluates the first segment at its start";
  Exact(45.0, &x, &y, &dx, &dy);
  EXPECT_EQ(x, 0.0);
  EXPECT_EQ(y, 0.0);
  EXPECT_EQ(dy, -1.0) << "beyond the end evaluates the last segment at its end";
  Exact(std::nan(""), &x, &y, &dx, &dy);
  EXPECT_EQ(dx, 1.0) << "a NaN distance is taken as the start";
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, SmoothedWithZeroRadiusIsTheExactPointAndDerivative) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  for (double s : {0.0, 4.0, 10.0, 17.5, 35.0}) {
    double ex, ey, edx, edy, x, y, tx, ty;
    Exact(s, &ex, &ey, &edx, &edy);
    ASSERT_EQ(EvalPathSmoothed(&inData, suites, outline, walk, s, 0.0, &x, &y, &tx, &ty),
              PF_Err_NONE);
    EXPECT_EQ(x, ex) << "s = " << s;
    EXPECT_EQ(y, ey) << "s = " << s;
    EXPECT_EQ(tx, edx) << "s = " << s;
    EXPECT_EQ(ty, edy) << "s = " << s;
  }
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, SmoothedAtTheStartWeighsTheStartPointByThreeTaps) {
  host.points = {{2, 3}, {2, 103}};  // straight down, 100 long
  ASSERT_EQ(Build(), PF_Err_NONE);
  const double r = 8.0;
  double x, y, tx, ty;
  ASSERT_EQ(EvalPathSmoothed(&inData, suites, outline, walk, 0.0, r, &x, &y, &tx, &ty),
            PF_Err_NONE);
  // Taps 0..2 sit on the start point (weight 0.6526), taps 3 and 4 at r/2 and r.
  const double expectY = 0.6526 * 3.0 + 0.2411 * (3.0 + r / 2) + 0.1063 * (3.0 + r);
  EXPECT_NEAR(x, 2.0, 1e-12);
  EXPECT_NEAR(y, expectY, 1e-12);
  // (P3 + P4) - 2 P0 = (0, r/2 + r).
  EXPECT_NEAR(tx, 0.0, 1e-12);
  EXPECT_NEAR(ty, 1.5 * r, 1e-12);
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, SmoothedOnAStraightLineKeepsThePointAndGivesDirectionOfLengthThreeR) {
  host.points = {{0, 0}, {30, 40}, {60, 80}};  // one straight line in two segments, 100 long
  ASSERT_EQ(Build(), PF_Err_NONE);
  const double r = 6.0;
  for (double s : {20.0, 50.0, 80.0}) {
    double x, y, tx, ty;
    ASSERT_EQ(EvalPathSmoothed(&inData, suites, outline, walk, s, r, &x, &y, &tx, &ty),
              PF_Err_NONE);
    EXPECT_NEAR(x, 0.6 * s, 1e-9) << "s = " << s;
    EXPECT_NEAR(y, 0.8 * s, 1e-9) << "s = " << s;
    EXPECT_NEAR(tx, 0.6 * 3 * r, 1e-9) << "s = " << s;
    EXPECT_NEAR(ty, 0.8 * 3 * r, 1e-9) << "s = " << s;
  }
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, SmoothedWithEveryTapClampedOntoTheEndFallsBackToExact) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  double x, y, tx, ty;
  // Far beyond the end: all five taps land on the end point, the window collapses.
  ASSERT_EQ(EvalPathSmoothed(&inData, suites, outline, walk, 500.0, 2.0, &x, &y, &tx, &ty),
            PF_Err_NONE);
  EXPECT_EQ(x, 5.0);
  EXPECT_EQ(y, 20.0);
  EXPECT_EQ(tx, -1.0);
  EXPECT_EQ(ty, 0.0);
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, FailedThirdLengthOnFiveSegmentsStopsWithTotalZeroAndReleasesWhatWasMade) {
  host.points = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}};
  host.failName = "GetLength";
  host.failAt = 3;
  host.failWith = PF_Err_OUT_OF_MEMORY;
  EXPECT_EQ(Build(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(walk.numSegments, 5);
  EXPECT_EQ(walk.totalLength, 0.0);
  ASSERT_EQ(walk.cumLength.size(), 6u);
  EXPECT_EQ(walk.cumLength[2], 2.0);
  EXPECT_EQ(walk.cumLength[3], 2.0) << "the failing segment adds a length of 0, not the garbage";
  EXPECT_EQ(host.calls["Prepare"], 3) << "no segment after the failing one is prepared";
  EXPECT_EQ(host.livePreps, 3);
  // Release carries the build's error and still gives back all three preparations.
  EXPECT_EQ(Release(PF_Err_OUT_OF_MEMORY), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host.cleanups, 3);
}

TEST_F(PathWalkTest, FailedLastLengthKeepsTheRunningTotal) {
  host.points = {{0, 0}, {1, 0}, {3, 0}};
  host.failName = "GetLength";
  host.failAt = 2;
  host.failWith = PF_Err_INVALID_INDEX;
  EXPECT_EQ(Build(), PF_Err_INVALID_INDEX);
  EXPECT_EQ(walk.totalLength, 1.0) << "the failing segment was the last, so its entry is the total";
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, FailedPreparationSkipsTheLengthCallAndLeavesItsEntryNull) {
  host.points = kThreeSegments;
  host.failName = "Prepare";
  host.failAt = 2;
  host.failWith = PF_Err_OUT_OF_MEMORY;
  EXPECT_EQ(Build(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host.calls["GetLength"], 1);
  EXPECT_EQ(walk.segPreps[1], nullptr);
  EXPECT_EQ(walk.totalLength, 0.0);
  EXPECT_EQ(Release(), PF_Err_NONE);
  EXPECT_EQ(host.cleanups, 1);
}

TEST_F(PathWalkTest, EmptyOrFailedSegmentCountGivesAnEmptyWalk) {
  host.points = {{4, 4}};  // no segments
  EXPECT_EQ(Build(), PF_Err_NONE);
  EXPECT_EQ(walk.numSegments, 0);
  EXPECT_EQ(walk.totalLength, 0.0);
  double x = -1, y = -1, dx = -1, dy = -1;
  EXPECT_NE(EvalPathExact(&inData, suites, outline, walk, 0.0, &x, &y, &dx, &dy), PF_Err_NONE)
      << "a walk without segments has nothing to evaluate";
  EXPECT_EQ(x, -1.0);
  EXPECT_EQ(Release(), PF_Err_NONE);

  host.points = kThreeSegments;
  host.failName = "NumSegments";
  host.failAt = 2;
  host.failWith = PF_Err_INTERNAL_STRUCT_DAMAGED;
  EXPECT_EQ(Build(), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(walk.numSegments, 0);
  EXPECT_EQ(host.calls["Prepare"], 0);
}

TEST_F(PathWalkTest, FailingTapReturnsItsErrorAndLeavesEveryOutputUnwritten) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  for (int tap = 1; tap <= 5; ++tap) {
    host.calls["Eval"] = 0;
    host.failName = "Eval";
    host.failAt = tap;
    host.failWith = PF_Interrupt_CANCEL;
    double x = -7, y = -7, tx = -7, ty = -7;
    EXPECT_EQ(EvalPathSmoothed(&inData, suites, outline, walk, 12.0, 3.0, &x, &y, &tx, &ty),
              PF_Interrupt_CANCEL)
        << "tap " << tap;
    EXPECT_EQ(host.calls["Eval"], tap) << "no tap is evaluated after the failing one";
    EXPECT_EQ(x, -7.0) << "tap " << tap;
    EXPECT_EQ(y, -7.0) << "tap " << tap;
    EXPECT_EQ(tx, -7.0) << "tap " << tap;
    EXPECT_EQ(ty, -7.0) << "tap " << tap;
  }
  host.failName.clear();
  EXPECT_EQ(Release(), PF_Err_NONE);
}

TEST_F(PathWalkTest, ReleaseKeepsTheFirstErrorAndCleansUpEverySegment) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  host.failName = "Cleanup";
  host.failAt = 1;
  host.failWith = PF_Err_INVALID_INDEX;
  PF_PathSegPrepPtr kept = walk.segPreps[0];
  EXPECT_EQ(Release(), PF_Err_INVALID_INDEX);
  EXPECT_EQ(host.calls["Cleanup"], 3) << "a failed clean-up does not stop the others";
  EXPECT_EQ(walk.segPreps[0], nullptr) << "a handle is never offered back twice";
  EXPECT_EQ(Release(), PF_Err_NONE);
  EXPECT_EQ(host.calls["Cleanup"], 3);
  // The host kept the failed one; drop it so the balance check passes.
  delete reinterpret_cast<FakePrep*>(kept);
  --host.livePreps;
}

TEST_F(PathWalkTest, EarlierRunningErrorWinsOverCleanUpFailures) {
  host.points = kThreeSegments;
  ASSERT_EQ(Build(), PF_Err_NONE);
  EXPECT_EQ(Release(PF_Err_OUT_OF_MEMORY), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host.cleanups, 3);
}

}  // namespace
}  // namespace lwd
