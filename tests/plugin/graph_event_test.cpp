// The width graph through the loaded plug-in: draw and click events sent by the host, drawn with
// the host's Cairo drawing API, with the balance ledger checked after every event.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "drawing/drawing_service.h"
#include "plugin_session.h"

namespace lwtest {
namespace {

constexpr int kWidthGraphIndex = 14;
constexpr int kNumParams = 37;

// The curve record as stored: tag, count, two reserved bytes, then 12 x and 12 y floats.
struct CurveImage {
  std::uint8_t tag = 1;
  std::uint8_t numPoints = 0;
  std::uint8_t reserved[2] = {};
  float x[12] = {};
  float y[12] = {};
};
static_assert(sizeof(CurveImage) == 100);

class GraphEventTest : public PluginTest {
 protected:
  void SetUp() override {
    lwhost::RegisterDrawingSuites(session);
    drawing.SetObserver(&observer);
    value = session.handles.New(sizeof(CurveImage), nullptr);
    ASSERT_NE(value, nullptr);
    session.handles.MarkHostOwned(value);
    CurveImage flat;
    flat.numPoints = 2;
    flat.x[1] = 1.0f;
    flat.y[0] = flat.y[1] = 1.0f;
    SetCurve(flat);
    for (int i = 0; i < kNumParams; ++i) {
      params[i] = &defs[i];
    }
    defs[kWidthGraphIndex].u.arb_d.value = value;
    event.contextH = drawing.ContextHandle();
    event.effect_win.index = kWidthGraphIndex;
    event.effect_win.area = PF_EA_CONTROL;
    event.effect_win.current_frame = {0, 0, 220, 150};
  }
  void TearDown() override { session.handles.ReleaseHostOwned(value); }

  void SetCurve(const CurveImage& curve) {
    std::memcpy(session.handles.Peek(value), &curve, sizeof(curve));
  }
  CurveImage Curve() const {
    CurveImage curve;
    std::memcpy(&curve, session.handles.Peek(value), sizeof(curve));
    return curve;
  }

  lwhost::CommandResult Send(PF_EventType type, A_long h = 0, A_long v = 0) {
    event.e_type = type;
    event.evt_out_flags = 0;
    event.u.do_click.screen_point = {h, v};
    lwhost::CommandInput input;
    input.params = params;
    input.extra = &event;
    input.numParams = kNumParams;
    return session.Send(PF_Cmd_EVENT, input);
  }

  // Colour at a pixel, within one level of the expected 0..1 components (opaque).
  void ExpectPixel(int x, int y, double r, double g, double b, const char* what) {
    const lwhost::Rgba8 p = drawing.Pixel(x, y);
    EXPECT_NEAR(p.r, r * 255, 1.01) << what << " at " << x << ", " << y;
    EXPECT_NEAR(p.g, g * 255, 1.01) << what << " at " << x << ", " << y;
    EXPECT_NEAR(p.b, b * 255, 1.01) << what << " at " << x << ", " << y;
    EXPECT_EQ(p.a, 255) << what << " at " << x << ", " << y;
  }

  lwhost::DrawingContext drawing;
  lwhost::SessionDrawingObserver observer{session};
  PF_Handle value = nullptr;
  PF_ParamDef defs[kNumParams] = {};
  PF_ParamDef* params[kNumParams] = {};
  PF_EventExtra event = {};
};

TEST_F(GraphEventTest, DrawsTheDefaultCurveAndReleasesEverything) {
  const lwhost::CommandResult r = Send(PF_Event_DRAW);
  EXPECT_EQ(r.err, PF_Err_NONE);
  EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
  ExpectBalanced(r, "draw");
  // Background, three grid paths and their pen, the curve's path and pen, two markers and
  // their brush.
  EXPECT_EQ(drawing.ObjectsMade(), 11);
  EXPECT_EQ(drawing.LiveObjects(), 0);
  EXPECT_EQ(drawing.Misuses(), 0);

  ExpectPixel(30, 100, 0.13, 0.13, 0.13, "background");
  ExpectPixel(100, 0, 0.9, 0.9, 0.9, "the flat curve along the top edge");
  ExpectPixel(1, 1, 1.0, 0.72, 0.1, "marker of point 0");
  ExpectPixel(218, 1, 1.0, 0.72, 0.1, "marker of point 1");
  // The grid's middle row is at 0.5 + 74.5 = 75, between rows 74 and 75: both get half.
  EXPECT_GT(drawing.Pixel(30, 75).r, drawing.Pixel(30, 100).r) << "grid line";
}

TEST_F(GraphEventTest, ClickAddsAPointThatTheNextDrawShows) {
  const lwhost::CommandResult click = Send(PF_Event_DO_CLICK, 110, 75);
  EXPECT_EQ(click.err, PF_Err_NONE);
  ExpectBalanced(click, "click");
  EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT | PF_EO_UPDATE_NOW);
  EXPECT_EQ(defs[kWidthGraphIndex].uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
  ASSERT_EQ(Curve().numPoints, 3);
  EXPECT_EQ(Curve().x[1], 0.5f);
  const auto invalidations = session.Invalidations();
  ASSERT_EQ(invalidations.size(), 1u);
  EXPECT_EQ(invalidations[0].context, drawing.ContextHandle());

  const lwhost::CommandResult draw = Send(PF_Event_DRAW);
  ExpectBalanced(draw, "draw");
  ExpectPixel(110, 75, 1.0, 0.72, 0.1, "marker of the new point");
  EXPECT_EQ(drawing.LiveObjects(), 0);
}

TEST_F(GraphEventTest, FailingStrokeStillReleasesEveryObject) {
  session.faults.FailCall("StrokePath", 2, 77);
  const lwhost::CommandResult r = Send(PF_Event_DRAW);
  EXPECT_EQ(r.err, 77);
  EXPECT_EQ(event.evt_out_flags, PF_EO_HANDLED_EVENT);
  ExpectBalanced(r, "draw with a failing stroke");
  EXPECT_EQ(drawing.LiveObjects(), 0);
  // Row 0 shows only the half of the background that reaches it: no light curve on top.
  EXPECT_LT(drawing.Pixel(100, 0).r, 128) << "the curve is not drawn after the failure";
}

TEST_F(GraphEventTest, MissingSurfaceSuiteGivesBackOnlyTheSuitesObtained) {
  session.faults.MissingSuite(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2);
  const lwhost::CommandResult r = Send(PF_Event_DRAW);
  EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(event.evt_out_flags, 0);
  EXPECT_STREQ(r.out.return_msg, "Not able to acquire AEFX Suite.");
  ExpectBalanced(r, "draw without a surface suite");
  EXPECT_EQ(drawing.ObjectsMade(), 0);
}

}  // namespace
}  // namespace lwtest
