// Clicking and dragging in the width graph, driven through an in-test host.
#include <gtest/gtest.h>

#include "curve/graph_editor.h"
#include "curve/graph_geometry.h"
#include "graph_fake_host.h"

namespace lwd {
namespace {

using graphtest::FakeGraphHost;

constexpr PF_EventOutFlags kEditedFlags = PF_EO_HANDLED_EVENT | PF_EO_UPDATE_NOW;

class GraphClickTest : public ::testing::Test {
 protected:
  void SetUp() override { g_dragIdx = -1; }

  // One event at (h, v) from the frame's corner, with the results of the last one cleared.
  PF_Err Send(PF_EventType type, A_long h, A_long v) {
    host.MouseAt(h, v);
    host.event.e_type = type;
    host.event.evt_out_flags = 0;
    host.event.u.do_click.send_drag = false;
    host.paramDefs[LWD_WIDTH_GRAPH].uu.change_flags = 0;
    host.invalidated.clear();
    host.invalidatedContexts.clear();
    return CurveClickEvent(&host.in, &host.out, host.params, &host.event, type == PF_Event_DRAG);
  }
  PF_Err Click(A_long h, A_long v) { return Send(PF_Event_DO_CLICK, h, v); }
  PF_Err Drag(A_long h, A_long v) { return Send(PF_Event_DRAG, h, v); }
  // What every event must leave behind: suites given back and the value handle unlocked.
  void ExpectHostBalanced() {
    EXPECT_TRUE(host.HeldSuites().empty()) << "a suite was not given back";
    EXPECT_EQ(host.locks, host.unlocks) << "value handle left locked";
  }
  void ExpectUnhandled(PF_Err err) {
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(host.event.evt_out_flags, 0);
    EXPECT_EQ(host.paramDefs[LWD_WIDTH_GRAPH].uu.change_flags, 0);
    EXPECT_TRUE(host.invalidated.empty());
    ExpectHostBalanced();
  }
  void ExpectEdited(PF_Err err) {
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(host.event.evt_out_flags, kEditedFlags);
    EXPECT_EQ(host.paramDefs[LWD_WIDTH_GRAPH].uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
    ASSERT_EQ(host.invalidated.size(), 1u);
    const PF_Rect& r = host.invalidated[0];
    const PF_Rect& f = host.event.effect_win.current_frame;
    EXPECT_TRUE(r.left == f.left && r.top == f.top && r.right == f.right && r.bottom == f.bottom)
        << "invalidated rect is not the control's frame";
    EXPECT_EQ(host.invalidatedContexts[0], host.contextH);
    ExpectHostBalanced();
  }

  FakeGraphHost host;
};

TEST_F(GraphClickTest, ClickWithinSevenPixelsPicksThePointWithoutChangingIt) {
  // Point 0 is drawn at (0.5, 0.5): (7, 3) is at squared distance 6.5^2 + 2.5^2 = 48.5.
  const PF_Err err = Click(7, 3);
  EXPECT_EQ(g_dragIdx.load(), 0);
  EXPECT_TRUE(host.event.u.do_click.send_drag);
  EXPECT_EQ(host.curve.numPoints, 2);
  EXPECT_EQ(host.curve.x[0], 0.0f);
  EXPECT_EQ(host.curve.y[0], 1.0f);
  ExpectEdited(err);  // a pick reports a change even when nothing moved
}

TEST_F(GraphClickTest, ClickAtTheFrameCornerPicksPointZero) {
  const PF_Err err = Click(0, 0);
  EXPECT_EQ(g_dragIdx.load(), 0);
  EXPECT_EQ(host.curve.numPoints, 2);
  ExpectEdited(err);
}

TEST_F(GraphClickTest, ClickJustOutsideThePickRadiusAddsAPointThere) {
  // (6, 5) is at squared distance 5.5^2 + 4.5^2 = 50.5 from point 0.
  const PF_Err err = Click(6, 5);
  ASSERT_EQ(host.curve.numPoints, 3);
  EXPECT_EQ(host.curve.x[1], static_cast<float>(5.5 / 219));
  EXPECT_EQ(host.curve.y[1], static_cast<float>(1 - 4.5 / 149));
  EXPECT_EQ(host.curve.x[2], 1.0f) << "the old last point moved behind the new one";
  EXPECT_EQ(g_dragIdx.load(), 1);
  EXPECT_TRUE(host.event.u.do_click.send_drag);
  ExpectEdited(err);
}

TEST_F(GraphClickTest, ClickInTheMiddleAddsTheHalfwayPoint) {
  const PF_Err err = Click(110, 75);
  ASSERT_EQ(host.curve.numPoints, 3);
  EXPECT_EQ(host.curve.x[1], 0.5f);
  EXPECT_EQ(host.curve.y[1], 0.5f);
  EXPECT_EQ(g_dragIdx.load(), 1);
  EXPECT_TRUE(host.event.u.do_click.send_drag);
  ExpectEdited(err);
}

TEST_F(GraphClickTest, AddedPointIsWorkedOutInSinglePrecision) {
  // At row 146 the float quotient 145.5f / 149 and the double one rounded to float differ in the
  // last bit of y.
  ExpectEdited(Click(110, 146));
  ASSERT_EQ(host.curve.numPoints, 3);
  EXPECT_EQ(host.curve.x[1], 109.5f / 219.0f);
  EXPECT_EQ(host.curve.y[1], 1.0f - 145.5f / 149.0f)
      << "double-rounded value would be " << static_cast<float>(1.0 - 145.5 / 149.0);
}

TEST_F(GraphClickTest, EquallyNearPointsGoToTheHigherIndexAndANearerOneWins) {
  // x = 124/256 and 132/256 are drawn 3.421875 pixels either side of column 110 (exact in
  // binary), both at row 75.
  host.SetCurve({{0.0f, 1.0f}, {0.484375f, 0.5f}, {0.515625f, 0.5f}, {1.0f, 1.0f}});
  Click(110, 75);
  EXPECT_EQ(g_dragIdx.load(), 2) << "a tie goes to the higher index";
  EXPECT_EQ(host.curve.numPoints, 4);

  Click(109, 75);
  EXPECT_EQ(g_dragIdx.load(), 1) << "the strictly nearer point wins";
}

TEST_F(GraphClickTest, FullCurveAddsNothingAndLeavesTheEventUnhandled) {
  std::vector<std::pair<float, float>> points;
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    points.push_back({i / 11.0f, 0.0f});  // along the bottom edge, far from the click
  }
  host.SetCurve(points);
  const PF_Err err = Click(110, 20);
  EXPECT_EQ(host.curve.numPoints, kCurveMaxPoints);
  EXPECT_EQ(g_dragIdx.load(), -1);
  EXPECT_FALSE(host.event.u.do_click.send_drag);
  EXPECT_TRUE(host.acquireLog.empty()) << "no redraw is asked for";
  ExpectUnhandled(err);
}

TEST_F(GraphClickTest, RecordClaimingMoreThanTwelvePointsIsReadAsTwelve) {
  std::vector<std::pair<float, float>> points;
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    points.push_back({i / 11.0f, 0.0f});
  }
  host.SetCurve(points);
  host.curve.numPoints = 200;  // as a damaged stored record might claim
  ExpectUnhandled(Click(110, 20));
  EXPECT_EQ(host.curve.numPoints, 200) << "an unhandled click leaves the record alone";

  Click(219, 149);  // on point 11, drawn at (219.5, 149.5)
  EXPECT_EQ(g_dragIdx.load(), 11);
  Drag(100, 100);
  EXPECT_EQ(host.curve.x[11], 1.0f) << "point 11 is the last used point, pinned at x = 1";
}

TEST_F(GraphClickTest, ClicksOutsideTheGraphOrControlDoNothing) {
  // Column 220 is right of G's edge at 219.5, though inside the 220-wide control's frame.
  ExpectUnhandled(Click(220, 75));
  EXPECT_EQ(host.curve.numPoints, 2);
  ExpectUnhandled(Click(110, -1));
  EXPECT_EQ(host.curve.numPoints, 2);

  host.event.effect_win.area = PF_EA_PARAM_TITLE;
  const int locksBefore = host.locks;
  ExpectUnhandled(Click(110, 75));
  EXPECT_EQ(host.curve.numPoints, 2);
  EXPECT_EQ(host.locks, locksBefore) << "a title click must not touch the value";
}

TEST_F(GraphClickTest, MissingOrUnlockableValueLeavesTheEventUnhandled) {
  host.lockFails = true;
  ExpectUnhandled(Click(110, 75));
  EXPECT_EQ(host.failedLocks, 1);
  EXPECT_EQ(host.unlocks, 0) << "a failed lock is not undone";

  host.lockFails = false;
  host.ClearValueHandle();
  ExpectUnhandled(Click(110, 75));
  EXPECT_EQ(host.curve.numPoints, 2);
}

TEST_F(GraphClickTest, DraggingAnEndPointMovesOnlyItsHeight) {
  Click(0, 0);
  ExpectEdited(Drag(100, 100));
  EXPECT_EQ(host.curve.x[0], 0.0f);
  EXPECT_FLOAT_EQ(host.curve.y[0], 1.0f - 99.5f / 149.0f);

  Click(219, 0);
  ASSERT_EQ(g_dragIdx.load(), 1);
  Drag(50, 30);
  EXPECT_EQ(host.curve.x[1], 1.0f);
  EXPECT_FLOAT_EQ(host.curve.y[1], 1.0f - 29.5f / 149.0f);
}

TEST_F(GraphClickTest, DraggingBeyondTheGraphClampsTheHeight) {
  host.SetCurve({{0.0f, 1.0f}, {0.5f, 0.5f}, {1.0f, 1.0f}});
  Click(110, 75);
  ASSERT_EQ(g_dragIdx.load(), 1);
  Drag(110, -40);
  EXPECT_EQ(host.curve.y[1], 1.0f);
  Drag(110, 400);
  EXPECT_EQ(host.curve.y[1], 0.0f);
  EXPECT_EQ(host.curve.x[1], 0.5f);
}

TEST_F(GraphClickTest, DraggingAnInnerPointStopsShortOfItsNeighbours) {
  host.SetCurve({{0.0f, 1.0f}, {0.3f, 0.5f}, {0.6f, 0.5f}, {1.0f, 1.0f}});
  Click(66, 75);  // point 1 is drawn at (66.2, 75)
  ASSERT_EQ(g_dragIdx.load(), 1);

  Drag(219, 75);
  EXPECT_FLOAT_EQ(host.curve.x[1], 0.6f - 0.01f) << "past the right neighbour";
  Drag(-100, 75);
  EXPECT_FLOAT_EQ(host.curve.x[1], 0.01f) << "past the left neighbour at x = 0";
  EXPECT_EQ(host.curve.numPoints, 4);

  // Neighbours closer than two gaps: the right bound is applied last and wins.
  host.SetCurve({{0.0f, 1.0f}, {0.5f, 0.5f}, {0.51f, 0.5f}, {0.515f, 0.5f}, {1.0f, 1.0f}});
  g_dragIdx = 2;
  Drag(0, 75);
  EXPECT_FLOAT_EQ(host.curve.x[2], 0.515f - 0.01f);
}

TEST_F(GraphClickTest, DragWithoutAPickedPointChangesNothing) {
  ExpectUnhandled(Drag(110, 75));
  EXPECT_EQ(host.curve.y[0], 1.0f);
  EXPECT_EQ(host.curve.y[1], 1.0f);

  g_dragIdx = 5;  // left over from a longer curve in another instance
  Drag(110, 75);
  EXPECT_EQ(host.curve.numPoints, 2);
  EXPECT_EQ(host.curve.x[1], 1.0f);
  EXPECT_EQ(host.curve.y[1], 1.0f);
}

TEST_F(GraphClickTest, MissingAppSuiteAfterAnEditThrows516AndReportsNothing) {
  host.missingSuites.insert(kPFAppSuite);
  try {
    Click(110, 75);
    FAIL() << "expected the suite cache to throw";
  } catch (PF_Err thrown) {
    EXPECT_EQ(thrown, PF_Err_BAD_CALLBACK_PARAM);
  }
  EXPECT_EQ(host.curve.numPoints, 3) << "the edit happened before the suite was needed";
  EXPECT_EQ(host.event.evt_out_flags, 0);
  EXPECT_EQ(host.paramDefs[LWD_WIDTH_GRAPH].uu.change_flags, 0);
  ExpectHostBalanced();
}

TEST_F(GraphClickTest, InvalidateErrorIsTheResultButTheEditIsStillReported) {
  host.failures.push_back({"PF_InvalidateRect", 1, 7});
  const PF_Err err = Click(110, 75);
  EXPECT_EQ(err, 7);
  EXPECT_EQ(host.event.evt_out_flags, kEditedFlags);
  EXPECT_EQ(host.paramDefs[LWD_WIDTH_GRAPH].uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
  ExpectHostBalanced();
}

}  // namespace
}  // namespace lwd
