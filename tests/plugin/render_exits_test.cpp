// Every way a render can end early, through the loaded effect: the frame stays transparent, the
// result is the one the situation calls for, and the host gets back everything it lent.
#include <gtest/gtest.h>

#include "ae_path_suites.h"
#include "layers/layers.h"
#include "masks/path_suites.h"
#include "scene_builder.h"

namespace lwtest {
namespace {

class RenderExitTest : public RenderTest {
 protected:
  // A white ribbon along a 200 px horizontal path, with a V-shaped mask available for
  // "Width Curve".
  static lwhost::Scene Scene() {
    lwhost::Scene scene = MakeScene(300, 200);
    AddSvgMask(scene, "line", "M 50 100 L 250 100");
    AddSvgMask(scene, "vee", "M 0 0 L 50 80 L 100 0");
    AddEmptyLayer(scene, "nothing");
    SetText(scene, "Path", "line");
    SetNumber(scene, "Thickness (0 = from source)", 30);
    return scene;
  }

  // Renders and expects `err`, a transparent frame and a balanced host, whatever failed.
  void ExpectTransparentExit(const lwhost::Scene& scene, PF_Err err, const std::string& what,
                             const lwhost::RenderOptions& options = {}) {
    const lwhost::FrameOutput out = Render(scene, 0, options);
    EXPECT_EQ(out.err, err) << what;
    EXPECT_TRUE(IsTransparent(out.image)) << what;
    EXPECT_EQ(session.ledger.Outstanding(lwhost::kParamCheckoutKind), 0) << what;
    EXPECT_EQ(session.ledger.Outstanding(lwhost::kPathCheckoutKind), 0) << what;
    EXPECT_EQ(session.ledger.Outstanding(lwhost::kSegPrepKind), 0) << what;
    session.faults.Clear();
  }
};

TEST_F(RenderExitTest, TheUndisturbedSceneDrawsSomething) {
  // The baseline the exits below are measured against.
  const lwhost::FrameOutput out = Render(Scene());
  ASSERT_EQ(out.err, PF_Err_NONE);
  EXPECT_FALSE(IsTransparent(out.image));
  EXPECT_GT(out.progressCalls, 0) << "the effect reports progress";
  EXPECT_GT(out.abortCalls, 0) << "the effect polls for a cancel";
}

TEST_F(RenderExitTest, AFailedClearIsTheResultAndLeavesTheOutputAsItWas) {
  session.faults.FailCall("fill", lwhost::Faults::kEveryCall, PF_Err_OUT_OF_MEMORY);
  const lwhost::FrameOutput out = Render(Scene());
  EXPECT_EQ(out.err, PF_Err_OUT_OF_MEMORY);
  // Nothing was drawn over the stale pixels the host handed over.
  EXPECT_EQ(lwhost::GetChannels(out.image, 150, 100), (lwhost::Channels{255, 255, 0, 255}));
}

TEST_F(RenderExitTest, CheckoutFailuresEndTheRenderWithTheirError) {
  session.faults.FailCall("checkout_param", 1, PF_Err_OUT_OF_MEMORY);
  ExpectTransparentExit(Scene(), PF_Err_OUT_OF_MEMORY, "Source checkout fails");

  session.faults.FailCall("PF_CheckoutPath", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
  ExpectTransparentExit(Scene(), PF_Err_INTERNAL_STRUCT_DAMAGED, "Path checkout fails");

  // A refused check-in is the render's result (the host keeps the layer counted as lent).
  session.faults.FailCall("checkin_param", 1, PF_Err_INVALID_INDEX);
  lwhost::SceneRenderer renderer(session, Scene());
  const lwhost::FrameOutput out = renderer.RenderFrame(0);
  EXPECT_EQ(out.err, PF_Err_INVALID_INDEX) << "Source check-in fails";
  EXPECT_EQ(session.ledger.Outstanding(lwhost::kParamCheckoutKind), 1);
  session.faults.Clear();
}

TEST_F(RenderExitTest, WalkFailuresAndZeroLengthMasksDrawNothing) {
  session.faults.FailCall("PF_PathGetSegLength", 1, PF_Err_OUT_OF_MEMORY);
  ExpectTransparentExit(Scene(), PF_Err_OUT_OF_MEMORY, "walk build fails");

  session.faults.FailCall("PF_PathNumSegments", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
  ExpectTransparentExit(Scene(), PF_Err_INTERNAL_STRUCT_DAMAGED, "segment count fails");

  lwhost::Scene dot = Scene();
  AddSvgMask(dot, "dot", "M 80 80 L 80 80");
  SetText(dot, "Path", "dot");
  ExpectTransparentExit(dot, PF_Err_NONE, "zero-length mask");
}

TEST_F(RenderExitTest, WidthProfileFailuresAreTheResultAndDrawNothing) {
  lwhost::Scene scene = Scene();
  SetText(scene, "Width Curve", "vee");
  // The second checkout of the render is the profile's mask.
  session.faults.FailCall("PF_CheckoutPath", 2, PF_Err_OUT_OF_MEMORY);
  ExpectTransparentExit(scene, PF_Err_OUT_OF_MEMORY, "profile checkout fails");

  // Even when nothing would be drawn anyway, the profile's error is the result.
  lwhost::Scene invisible = scene;
  SetNumber(invisible, "Opacity", 0);
  session.faults.FailCall("PF_CheckoutPath", 2, PF_Err_OUT_OF_MEMORY);
  ExpectTransparentExit(invisible, PF_Err_OUT_OF_MEMORY, "profile fails at opacity 0");

  // A refused check-in of the profile's mask is the result; the host still counts that mask as
  // out, and nothing else.
  session.faults.FailCall("PF_CheckinPath", 1, PF_Err_INTERNAL_STRUCT_DAMAGED);
  lwhost::SceneRenderer renderer(session, scene);
  const lwhost::FrameOutput out = renderer.RenderFrame(0);
  EXPECT_EQ(out.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(IsTransparent(out.image));
  EXPECT_EQ(session.ledger.Outstanding(lwhost::kPathCheckoutKind), 1);
  EXPECT_EQ(session.ledger.Outstanding(lwhost::kSegPrepKind), 0);
  EXPECT_EQ(session.ledger.Outstanding(lwhost::kParamCheckoutKind), 0);
}

TEST_F(RenderExitTest, NothingVisibleGivesATransparentFrameAndNoError) {
  lwhost::Scene trimmed = Scene();
  SetNumber(trimmed, "Trim Start", 50);
  SetNumber(trimmed, "Trim End", 50);
  ExpectTransparentExit(trimmed, PF_Err_NONE, "trim start = trim end");

  lwhost::Scene clear = Scene();
  SetNumber(clear, "Opacity", 0);
  ExpectTransparentExit(clear, PF_Err_NONE, "opacity 0");

  lwhost::Scene outside = Scene();
  AddSvgMask(outside, "far", "M -500 -500 L -400 -500");
  SetText(outside, "Path", "far");
  ExpectTransparentExit(outside, PF_Err_NONE, "empty box");
}

TEST_F(RenderExitTest, AFailedEvaluationDuringTheBoundsScanIsTheResult) {
  session.faults.FailCall("PF_PathEvalSegLengthDeriv1", 1, PF_Err_OUT_OF_MEMORY);
  ExpectTransparentExit(Scene(), PF_Err_OUT_OF_MEMORY, "first evaluation fails");
  // Later evaluations fail inside the ribbon walk, after the scan.
  session.faults.FailCall("PF_PathEvalSegLengthDeriv1", 500, PF_Err_INTERNAL_STRUCT_DAMAGED);
  ExpectTransparentExit(Scene(), PF_Err_INTERNAL_STRUCT_DAMAGED, "evaluation in the walk fails");
}

TEST_F(RenderExitTest, AMissingSuiteMidRenderGives516AndEverythingComesBack) {
  session.faults.MissingSuite(kPFPathDataSuite, 1);
  ExpectTransparentExit(Scene(), PF_Err_BAD_CALLBACK_PARAM, "Path Data suite missing");
}

TEST_F(RenderExitTest, ACancelThroughAbortOrProgressLeavesTheFrameTransparent) {
  session.options.cancelAtAbortCall = 2;
  ExpectTransparentExit(Scene(), PF_Interrupt_CANCEL, "abort answers cancel");
  session.options.cancelAtAbortCall = 0;

  int calls = 0;
  lwhost::RenderOptions options;
  options.progress = [&calls](A_long current, A_long total) {
    EXPECT_LE(current, total);
    return ++calls < 3;  // the third report cancels
  };
  ExpectTransparentExit(Scene(), PF_Interrupt_CANCEL, "progress listener cancels", options);
  EXPECT_EQ(calls, 3);
}

TEST_F(RenderExitTest, AnEmptySourceDrawsAWhiteRibbon) {
  lwhost::Scene scene = Scene();
  SetText(scene, "Source", "nothing");
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  EXPECT_EQ(lwhost::GetChannels(out.image, 150, 100), (lwhost::Channels{255, 255, 255, 255}));
  EXPECT_TRUE(IsDrawnWidth(ColumnCoverage(out.image, 150), 30.0));
}

}  // namespace
}  // namespace lwtest
