#include "render/render.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "curve/curve_data.h"
#include "params/param_index.h"
#include "render_fake_host.h"

namespace lwd {
namespace {

constexpr PF_PathID kLine = 3;

// Parameter values at their defaults, a horizontal mask chosen as "Path", and a 100 x 60
// output world, through the in-test host.
struct RenderCall : ::testing::Test {
  FakeRenderHost host;
  PF_UtilCallbacks utils{};
  PF_InData in{};
  PF_ParamDef defs[LWD_NUM_PARAMS] = {};
  PF_ParamDef* params[LWD_NUM_PARAMS] = {};
  LWD_CurveData curve{};
  void* curveBytes = &curve;
  std::vector<PF_Pixel> pixels;
  PF_LayerDef output{};

  void SetUp() override {
    g_fakeHost = &host;
    in = MakeFakeInData(&utils);
    host.masks[kLine].points = {{10.0, 30.0}, {90.0, 30.0}};
    for (int i = 0; i < LWD_NUM_PARAMS; ++i)
      params[i] = &defs[i];
    defs[LWD_PATH].u.path_d.path_id = kLine;
    defs[LWD_STRETCH_ALONG].u.pd.value = 1;
    defs[LWD_FIT].u.pd.value = 1;
    defs[LWD_SEGMENT_LENGTH].u.fs_d.value = 25.0;
    defs[LWD_SEGMENT_GROWS_FROM].u.pd.value = 1;
    defs[LWD_THICKNESS].u.fs_d.value = 10.0;
    defs[LWD_TAPER_SHAPE].u.pd.value = 2;
    defs[LWD_START_WIDTH].u.fs_d.value = 100.0;
    defs[LWD_END_WIDTH].u.fs_d.value = 100.0;
    defs[LWD_TRIM_END].u.fs_d.value = 100.0;
    defs[LWD_SURFACE].u.pd.value = 1;
    defs[LWD_DEPTH_DIRECTION].u.ad.value = 180 << 16;
    defs[LWD_DEPTH_SHADE].u.fs_d.value = 45.0;
    defs[LWD_QUALITY].u.pd.value = 1;
    defs[LWD_OPACITY].u.fs_d.value = 100.0;
    defs[LWD_FLAT_POSITION].u.fs_d.value = 50.0;
    defs[LWD_FLAT_WIDTH].u.fs_d.value = 20.0;
    defs[LWD_BANK_FALLOFF].u.fs_d.value = 35.0;
    WriteDefaultCurve(&curve);
    defs[LWD_WIDTH_GRAPH].u.arb_d.value = &curveBytes;

    pixels.assign(100 * 60, PF_Pixel{7, 7, 7, 7});  // not yet cleared
    output.width = 100;
    output.height = 60;
    output.rowbytes = 100 * sizeof(PF_Pixel);
    output.data = pixels.data();
  }
  void TearDown() override { g_fakeHost = nullptr; }

  void ExpectBalanced() const {
    EXPECT_EQ(host.sourceCheckins, host.sourceCheckouts);
    EXPECT_EQ(host.pathCheckins, host.pathCheckouts);
    EXPECT_EQ(host.cleanups, host.prepares);
    EXPECT_EQ(host.unlocks, host.locks);
    EXPECT_EQ(host.releasedSuites, host.acquired);
  }
  const PF_Pixel& At(int x, int y) const { return pixels[static_cast<size_t>(y * 100 + x)]; }
};

TEST_F(RenderCall, DrawsAnOpaqueRibbonAndGivesEverythingBack) {
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  // No source layer: the ribbon is opaque white, 10 px thick around y = 30.
  EXPECT_EQ(At(50, 30).alpha, 255);
  EXPECT_EQ(At(50, 30).red, 255);
  EXPECT_EQ(At(50, 20).alpha, 0);  // cleared, outside the ribbon
  EXPECT_EQ(At(5, 5).red, 0);
  EXPECT_EQ(host.sourceCheckouts, 1);
  EXPECT_EQ(host.pathCheckouts, 1);
  EXPECT_EQ(host.locks, 1);
  ExpectBalanced();
}

TEST_F(RenderCall, NoMaskChosenLeavesATransparentFrame) {
  defs[LWD_PATH].u.path_d.path_id = PF_PathID_NONE;
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  EXPECT_EQ(At(50, 30).alpha, 0);
  EXPECT_EQ(host.sourceCheckouts, 0);
  ExpectBalanced();
}

TEST_F(RenderCall, MissingPathSuiteStillGivesBackSourceMaskAndCurve) {
  host.pathDataMissing = true;
  PF_Err thrown = PF_Err_NONE;
  try {
    Render(&in, params, &output);
  } catch (PF_Err err) {
    thrown = err;
  }
  EXPECT_EQ(thrown, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.sourceCheckouts, 1);
  EXPECT_EQ(host.pathCheckouts, 1);
  EXPECT_EQ(host.prepares, 0);
  ExpectBalanced();
}

TEST_F(RenderCall, WidthCurveMaskIsCheckedBackInAndShapesTheRibbon) {
  // A V drawn as the width graph: full width at both ends, none in the middle.
  host.masks[kLine + 1].points = {{0.0, 0.0}, {50.0, 40.0}, {100.0, 0.0}};
  defs[LWD_WIDTH_CURVE].u.path_d.path_id = kLine + 1;
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  EXPECT_EQ(host.pathCheckouts, 2);
  EXPECT_EQ(At(12, 30).alpha, 255);  // near the start
  EXPECT_EQ(At(50, 30).alpha, 0);    // the middle has no width
  ExpectBalanced();
}

TEST_F(RenderCall, SameInputsGiveTheSameBytes) {
  defs[LWD_SHADING].u.fs_d.value = 60.0;
  defs[LWD_DEPTH].u.fs_d.value = 4.0;
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  const std::vector<PF_Pixel> first = pixels;
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  EXPECT_EQ(std::memcmp(first.data(), pixels.data(), pixels.size() * sizeof(PF_Pixel)), 0);
  ExpectBalanced();
}

TEST_F(RenderCall, RibbonWhollyOutsideTheOutputDrawsNothing) {
  // 100 px long, more than the margin (5 + 2 px) beyond the 100 x 60 output.
  host.masks[kLine].points = {{500.0, 500.0}, {600.0, 500.0}};
  ASSERT_EQ(Render(&in, params, &output), PF_Err_NONE);
  for (const PF_Pixel& p : pixels) {
    ASSERT_EQ(p.alpha, 0);
    ASSERT_EQ(p.red, 0);
  }
  // The scan's first point lies 440 px below the output, farther than the rest of the mask
  // can come: the scan jumps to the end, and the empty box ends the render before the ribbon is
  // walked.
  EXPECT_EQ(host.evaluations, 1);
  ExpectBalanced();
}

TEST_F(RenderCall, FailedBoundsEvaluationIsTheResultAfterTheRelease) {
  host.evalError = PF_Err_INVALID_INDEX;
  host.evalsBeforeError = 10;  // the scan of the 80 px mask makes 42 evaluations
  EXPECT_EQ(Render(&in, params, &output), PF_Err_INVALID_INDEX);
  EXPECT_EQ(host.evaluations, 11);
  for (const PF_Pixel& p : pixels)
    ASSERT_EQ(p.alpha, 0);
  ExpectBalanced();
}

}  // namespace
}  // namespace lwd
