#include "render/frame_setup.h"

#include <gtest/gtest.h>

#include <cmath>

#include "params/param_index.h"
#include "render/render.h"

namespace lwd {
namespace {

TEST(FrameSetupTest, ExpandBoundsRoundsHalfUp) {
  EXPECT_EQ(ExpandBoundsPixels(0.0), 0);
  EXPECT_EQ(ExpandBoundsPixels(0.4), 0);
  EXPECT_EQ(ExpandBoundsPixels(0.5), 1);
  EXPECT_EQ(ExpandBoundsPixels(10.7), 11);
  EXPECT_EQ(ExpandBoundsPixels(2000.0), 2000);
  // Outside the slider's range or not a number: never converted out of range.
  EXPECT_EQ(ExpandBoundsPixels(-3.0), 0);
  EXPECT_EQ(ExpandBoundsPixels(NAN), 0);
  EXPECT_EQ(ExpandBoundsPixels(1e30), 2000);
}

TEST(FrameSetupTest, GrowsTheOutputOnEverySide) {
  PF_ParamDef defs[LWD_NUM_PARAMS] = {};
  PF_ParamDef* params[LWD_NUM_PARAMS];
  for (int i = 0; i < LWD_NUM_PARAMS; ++i)
    params[i] = &defs[i];
  PF_InData in{};
  in.width = 320;
  in.height = 240;
  PF_OutData out{};
  out.width = 320;
  out.height = 240;

  defs[LWD_EXPAND_BOUNDS].u.fs_d.value = 0.4;
  EXPECT_EQ(FrameSetup(&in, &out, params), PF_Err_NONE);
  EXPECT_EQ(out.width, 320);
  EXPECT_EQ(out.origin.h, 0);

  defs[LWD_EXPAND_BOUNDS].u.fs_d.value = 10.7;
  EXPECT_EQ(FrameSetup(&in, &out, params), PF_Err_NONE);
  EXPECT_EQ(out.width, 342);
  EXPECT_EQ(out.height, 262);
  EXPECT_EQ(out.origin.h, 11);
  EXPECT_EQ(out.origin.v, 11);
}

}  // namespace
}  // namespace lwd
