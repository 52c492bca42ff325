// Drawing the width graph, recorded call by call through an in-test host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "curve/graph_editor.h"
#include "graph_fake_host.h"

namespace lwd {
namespace {

using graphtest::DrawCall;
using graphtest::FakeGraphHost;
using graphtest::kFrameLeft;
using graphtest::kFrameTop;

// G's corner in the control's frame coordinates.
constexpr float kLeft = kFrameLeft + 0.5f;
constexpr float kTop = kFrameTop + 0.5f;

class GraphDrawTest : public ::testing::Test {
 protected:
  PF_Err Draw() {
    host.event.e_type = PF_Event_DRAW;
    return DrawCurveGraph(&host.in, &host.out, host.params, &host.event);
  }
  // Every object made was released once, and every suite and lock was given back.
  void ExpectCleanedUp() {
    EXPECT_TRUE(host.liveObjects.empty()) << host.liveObjects.size() << " objects not released";
    EXPECT_EQ(host.badReleases, 0) << "released an object that was not live";
    EXPECT_TRUE(host.HeldSuites().empty()) << "a suite was not given back";
    EXPECT_EQ(host.locks, host.unlocks) << "value handle left locked";
  }
  static void ExpectColour(const DrawCall& call, float r, float g, float b) {
    ASSERT_GE(call.f.size(), 4u) << call.fn;
    EXPECT_FLOAT_EQ(call.f[0], r) << call.fn;
    EXPECT_FLOAT_EQ(call.f[1], g) << call.fn;
    EXPECT_FLOAT_EQ(call.f[2], b) << call.fn;
    EXPECT_FLOAT_EQ(call.f[3], 1.0f) << call.fn;
  }
  static void ExpectRect(const DrawCall& call, float left, float top, float w, float h) {
    ASSERT_EQ(call.f.size(), 4u);
    EXPECT_NEAR(call.f[0], left, 1e-4) << "rect left";
    EXPECT_NEAR(call.f[1], top, 1e-4) << "rect top";
    EXPECT_EQ(call.f[2], w);
    EXPECT_EQ(call.f[3], h);
  }

  FakeGraphHost host;
};

TEST_F(GraphDrawTest, DefaultCurveDrawsBackgroundGridCurveAndMarkersInOrder) {
  ASSERT_EQ(Draw(), PF_Err_NONE);
  EXPECT_EQ(host.event.evt_out_flags, PF_EO_HANDLED_EVENT);
  ExpectCleanedUp();

  std::vector<std::string> expected = {"GetSupplier", "GetSurface",
                                       // background
                                       "NewPath", "AddRect", "NewBrush", "FillPath",
                                       "ReleaseObject", "ReleaseObject",
                                       // grid
                                       "NewPen"};
  for (int k = 0; k < 3; ++k) {
    for (const char* fn :
         {"NewPath", "MoveTo", "LineTo", "MoveTo", "LineTo", "StrokePath", "ReleaseObject"}) {
      expected.push_back(fn);
    }
  }
  expected.insert(expected.end(), {"ReleaseObject", "NewPen", "NewPath", "MoveTo"});
  expected.insert(expected.end(), 219, "LineTo");
  expected.insert(expected.end(), {"StrokePath", "ReleaseObject", "ReleaseObject", "NewBrush"});
  for (int j = 0; j < 2; ++j) {
    expected.insert(expected.end(), {"NewPath", "AddRect", "FillPath", "ReleaseObject"});
  }
  expected.push_back("ReleaseObject");
  EXPECT_EQ(host.CallNames(), expected);

  // Colours and pen widths, in the order made: background, grid, curve, markers.
  const auto brushes = host.CallsNamed("NewBrush");
  const auto pens = host.CallsNamed("NewPen");
  ASSERT_EQ(brushes.size(), 2u);
  ASSERT_EQ(pens.size(), 2u);
  ExpectColour(brushes[0], 0.13f, 0.13f, 0.13f);
  ExpectColour(pens[0], 0.32f, 0.32f, 0.32f);
  EXPECT_EQ(pens[0].f[4], 1.0f);
  ExpectColour(pens[1], 0.9f, 0.9f, 0.9f);
  EXPECT_EQ(pens[1].f[4], 1.5f);
  ExpectColour(brushes[1], 1.0f, 0.72f, 0.1f);

  for (const DrawCall& fill : host.CallsNamed("FillPath")) {
    EXPECT_EQ(fill.fillType, kDRAWBOT_FillType_Winding);
  }

  // Background is G; markers are 6 x 6 squares centred on (0, 1) and (1, 1).
  const auto rects = host.CallsNamed("AddRect");
  ASSERT_EQ(rects.size(), 3u);
  ExpectRect(rects[0], kLeft, kTop, 219.0f, 149.0f);
  ExpectRect(rects[1], kLeft - 3, kTop - 3, 6.0f, 6.0f);
  ExpectRect(rects[2], kLeft + 219 - 3, kTop - 3, 6.0f, 6.0f);
}

TEST_F(GraphDrawTest, GridLinesSplitGIntoQuarters) {
  ASSERT_EQ(Draw(), PF_Err_NONE);
  const auto moves = host.CallsNamed("MoveTo");
  const auto lines = host.CallsNamed("LineTo");
  ASSERT_GE(moves.size(), 6u);
  for (int k = 1; k <= 3; ++k) {
    const DrawCall& vMove = moves[2 * (k - 1)];
    const DrawCall& hMove = moves[2 * (k - 1) + 1];
    const DrawCall& vLine = lines[2 * (k - 1)];
    const DrawCall& hLine = lines[2 * (k - 1) + 1];
    const float x = kLeft + 219.0f * k / 4;
    const float y = kTop + 149.0f * k / 4;
    EXPECT_FLOAT_EQ(vMove.f[0], x) << "k = " << k;
    EXPECT_FLOAT_EQ(vMove.f[1], kTop) << "k = " << k;
    EXPECT_FLOAT_EQ(vLine.f[0], x) << "k = " << k;
    EXPECT_FLOAT_EQ(vLine.f[1], kTop + 149.0f) << "k = " << k;
    EXPECT_FLOAT_EQ(hMove.f[0], kLeft) << "k = " << k;
    EXPECT_FLOAT_EQ(hMove.f[1], y) << "k = " << k;
    EXPECT_FLOAT_EQ(hLine.f[0], kLeft + 219.0f) << "k = " << k;
    EXPECT_FLOAT_EQ(hLine.f[1], y) << "k = " << k;
  }
}

// The curve's 220 vertices: the MoveTo after the grid's six and the 219 LineTos after its six.
std::vector<std::pair<float, float>> CurveVertices(const FakeGraphHost& host) {
  const auto moves = host.CallsNamed("MoveTo");
  const auto lines = host.CallsNamed("LineTo");
  std::vector<std::pair<float, float>> v;
  if (moves.size() != 7 || lines.size() != 6 + 219) {
    return v;
  }
  v.push_back({moves[6].f[0], moves[6].f[1]});
  for (std::size_t i = 6; i < lines.size(); ++i) {
    v.push_back({lines[i].f[0], lines[i].f[1]});
  }
  return v;
}

TEST_F(GraphDrawTest, DefaultCurveIsOneVertexPerColumnAlongTheTopEdge) {
  ASSERT_EQ(Draw(), PF_Err_NONE);
  const auto v = CurveVertices(host);
  ASSERT_EQ(v.size(), 220u);
  for (int i = 0; i < 220; ++i) {
    EXPECT_FLOAT_EQ(v[i].first, kLeft + i) << "vertex " << i;
    EXPECT_FLOAT_EQ(v[i].second, kTop) << "vertex " << i;
  }
}

TEST_F(GraphDrawTest, CurveVerticesFollowTheCurveAndMarkersSitOnItsPoints) {
  host.SetCurve({{0.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 0.25f}});
  ASSERT_EQ(Draw(), PF_Err_NONE);
  const auto v = CurveVertices(host);
  ASSERT_EQ(v.size(), 220u);
  // The vertices pass through the points: bottom-left corner, top at column 109.5 (between
  // samples 109 and 110, both near the top), and three quarters down at the right edge.
  EXPECT_FLOAT_EQ(v[0].second, kTop + 149.0f);
  EXPECT_FLOAT_EQ(v[219].second, kTop + 149.0f * 0.75f);
  for (int i = 0; i < 220; ++i) {
    const double expected = kTop + 149.0 * (1.0 - CurveEval(&host.curve, i / 219.0));
    EXPECT_NEAR(v[i].second, expected, 1e-3) << "vertex " << i;
  }

  const auto rects = host.CallsNamed("AddRect");
  ASSERT_EQ(rects.size(), 4u);
  ExpectRect(rects[1], kLeft - 3, kTop + 149 - 3, 6, 6);
  ExpectRect(rects[2], kLeft + 109.5f - 3, kTop - 3, 6, 6);
  ExpectRect(rects[3], kLeft + 219 - 3, kTop + 111.75f - 3, 6, 6);
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, EmptyAndOnePointRecordsDrawAFlatLine) {
  host.SetCurve({});
  ASSERT_EQ(Draw(), PF_Err_NONE);
  auto v = CurveVertices(host);
  ASSERT_EQ(v.size(), 220u);
  EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](auto p) { return p.second == kTop; }));
  EXPECT_EQ(host.CallsNamed("AddRect").size(), 1u) << "no markers, only the background";

  host.calls.clear();
  host.SetCurve({{0.3f, 0.4f}});
  ASSERT_EQ(Draw(), PF_Err_NONE);
  v = CurveVertices(host);
  ASSERT_EQ(v.size(), 220u);
  const float row = kTop + 149.0f * 0.6f;
  for (int i = 0; i < 220; ++i) {
    EXPECT_NEAR(v[i].second, row, 1e-4) << "vertex " << i;
  }
  EXPECT_EQ(host.CallsNamed("AddRect").size(), 2u) << "one marker";
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, RecordClaimingMoreThanTwelvePointsDrawsTwelveMarkers) {
  std::vector<std::pair<float, float>> points;
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    points.push_back({i / 11.0f, 0.5f});
  }
  host.SetCurve(points);
  host.curve.numPoints = 255;
  ASSERT_EQ(Draw(), PF_Err_NONE);
  EXPECT_EQ(host.CallsNamed("AddRect").size(), 1u + kCurveMaxPoints);
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, MissingDrawbotSuiteGivesBackOnlyWhatWasObtained) {
  host.missingSuites.insert(kDRAWBOT_SurfaceSuite);
  EXPECT_EQ(Draw(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.locks + host.failedLocks, 0);
  const std::vector<std::string> released = {"DRAWBOT Draw Suite 1", "DRAWBOT Supplier Suite 1"};
  EXPECT_EQ(host.releaseLog, released);
  EXPECT_TRUE(host.out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
  EXPECT_STREQ(host.out.return_msg, "Not able to acquire AEFX Suite.");
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, MissingCustomUISuiteEndsTheEventUnhandled) {
  host.missingSuites.insert(kPFEffectCustomUISuite);
  EXPECT_EQ(Draw(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(host.releaseLog.size(), 4u) << "the four Drawbot suites, and not the missing one";
  EXPECT_TRUE(host.out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE);
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, DrawingReferenceFailureOrAbsenceEndsTheEventUnhandled) {
  host.drawingRefErr = 21;
  EXPECT_EQ(Draw(), 21);
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_TRUE(host.calls.empty());
  ExpectCleanedUp();

  host.drawingRefErr = PF_Err_NONE;
  host.giveDrawingRef = false;
  EXPECT_EQ(Draw(), PF_Err_NONE);
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_TRUE(host.calls.empty());
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, NoValueHandleTouchesNoSuite) {
  host.ClearValueHandle();
  EXPECT_EQ(Draw(), PF_Err_NONE);
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_TRUE(host.acquireLog.empty());
}

TEST_F(GraphDrawTest, UnlockableValueIsAnEmptyDrawStillHandled) {
  host.lockFails = true;
  EXPECT_EQ(Draw(), PF_Err_NONE);
  EXPECT_EQ(host.event.evt_out_flags, PF_EO_HANDLED_EVENT);
  EXPECT_EQ(host.failedLocks, 1);
  EXPECT_EQ(host.objectsMade, 0);
  EXPECT_EQ(host.unlocks, 0) << "a failed lock is not undone";
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, SupplierFailureDrawsNothingButIsHandled) {
  host.failures.push_back({"GetSupplier", 1, 31});
  EXPECT_EQ(Draw(), 31);
  EXPECT_EQ(host.event.evt_out_flags, PF_EO_HANDLED_EVENT);
  EXPECT_EQ(host.CallNames(), std::vector<std::string>{"GetSupplier"});
  EXPECT_EQ(host.locks + host.failedLocks, 0);
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, FailedDrawingCallSkipsTheRestButReleasesEveryObject) {
  // The second grid stroke fails: its path and the grid pen are still released, nothing after.
  host.failures.push_back({"StrokePath", 2, 77});
  EXPECT_EQ(Draw(), 77);
  EXPECT_EQ(host.event.evt_out_flags, PF_EO_HANDLED_EVENT);
  const auto names = host.CallNames();
  const auto failed = std::find(names.begin(), names.end(), "StrokePath") + 7;
  ASSERT_EQ(*failed, "StrokePath");
  const std::vector<std::string> tail(failed + 1, names.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"ReleaseObject", "ReleaseObject"}));
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, FailedMakeReleasesOnlyTheObjectsThatExist) {
  host.failures.push_back({"NewPath", 5, 12});  // the curve's path; its pen exists already
  EXPECT_EQ(Draw(), 12);
  EXPECT_EQ(host.CallNames().back(), "ReleaseObject");
  EXPECT_EQ(host.CallsNamed("LineTo").size(), 6u) << "no curve vertex after the failure";
  EXPECT_EQ(host.objectReleases, host.objectsMade);
  ExpectCleanedUp();
}

TEST_F(GraphDrawTest, ReleaseErrorCountsOnlyWhenNothingFailedBefore) {
  host.failures.push_back({"FillPath", 1, 40});
  host.failures.push_back({"ReleaseObject", 1, 50});
  EXPECT_EQ(Draw(), 40) << "the first error wins over a later release error";
  ExpectCleanedUp();

  FakeGraphHost fresh;
  fresh.failures.push_back({"ReleaseObject", 2, 50});  // the background's path
  fresh.event.e_type = PF_Event_DRAW;
  EXPECT_EQ(DrawCurveGraph(&fresh.in, &fresh.out, fresh.params, &fresh.event), 50);
  EXPECT_EQ(fresh.CallsNamed("NewPen").size(), 0u) << "drawing stops after a release error";
  EXPECT_TRUE(fresh.liveObjects.empty());
}

}  // namespace
}  // namespace lwd
