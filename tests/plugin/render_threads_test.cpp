// One frame on several threads: the host grants threads through iterate_generic and the effect
// splits the box into row bands. The output must not depend on the thread count, and a cancel
// must end the render and leave the host balanced however many threads are drawing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "scene_builder.h"

namespace lwtest {
namespace {

class RenderThreadsTest : public RenderTest {
 protected:
  // Sharp corners, depth going up and to the left, Tube shading at 16 bits: fans, depth copies
  // and deposits that cross band borders in both directions.
  static lwhost::Scene Scene() {
    lwhost::Scene scene = MakeScene(220, 140, 16);
    AddSvgMask(scene, "zz", "M 20 120 L 70 20 L 120 120 L 170 20 L 200 110");
    AddEmptyLayer(scene, "none");
    SetText(scene, "Path", "zz");
    SetNumber(scene, "Thickness (0 = from source)", 26);
    SetText(scene, "Surface", "Tube");
    SetNumber(scene, "Shading", 70);
    SetNumber(scene, "Depth", 12);
    SetNumber(scene, "Depth Direction", 300);
    SetText(scene, "Quality", "High");
    return scene;
  }

  lwhost::FrameOutput RenderOn(int32_t threads, const lwhost::Scene& scene) {
    lwhost::RenderOptions options;
    options.threads = threads;
    return Render(scene, 0, options);
  }
};

TEST_F(RenderThreadsTest, EveryThreadCountDrawsTheSameBytes) {
  const lwhost::Scene scene = Scene();
  const lwhost::FrameOutput serial = RenderOn(1, scene);
  ASSERT_EQ(serial.err, PF_Err_NONE);
  ASSERT_FALSE(IsTransparent(serial.image));
  for (const int32_t threads : {2, 3, 7}) {
    const lwhost::FrameOutput banded = RenderOn(threads, scene);
    ASSERT_EQ(banded.err, PF_Err_NONE) << threads << " threads";
    EXPECT_TRUE(banded.image.bytes == serial.image.bytes) << threads << " threads";
    // The host is polled exactly as on one thread.
    EXPECT_EQ(banded.abortCalls, serial.abortCalls) << threads << " threads";
    EXPECT_EQ(banded.progressCalls, serial.progressCalls) << threads << " threads";
  }
}

TEST_F(RenderThreadsTest, AFailedIterationIsTheRendersError) {
  session.faults.FailCall("iterate_generic", 1, PF_Err_OUT_OF_MEMORY);
  const lwhost::FrameOutput out = RenderOn(3, Scene());
  EXPECT_EQ(out.err, PF_Err_OUT_OF_MEMORY);
  EXPECT_TRUE(IsTransparent(out.image));
}

TEST_F(RenderThreadsTest, ACancelMidwayOnManyThreadsEndsBalanced) {
  for (const int32_t threads : {1, 4, 7}) {
    std::atomic<int> polls{0};
    lwhost::RenderOptions options;
    options.threads = threads;
    options.cancelled = [&polls] { return ++polls >= 3; };
    const lwhost::FrameOutput out = Render(Scene(), 0, options);  // checks the balance
    EXPECT_EQ(out.err, PF_Interrupt_CANCEL) << threads << " threads";
    EXPECT_EQ(out.abortCalls, 3) << threads << " threads: the walk stops at the cancel";
    EXPECT_TRUE(IsTransparent(out.image)) << threads << " threads";
  }
}

// A path two billion pixels long over a 64 x 36 frame: the bounds scan alone would take minutes.
// A cancel from the host after a short delay ends it, and everything goes back.
TEST_F(RenderThreadsTest, ACancelEndsTheBoundsScanOfAnEnormousPath) {
  lwhost::Scene scene = MakeScene(64, 36);
  AddSvgMask(scene, "far", "M 10 10 L 50 -2147483649 L 30 30");
  AddEmptyLayer(scene, "none");
  SetText(scene, "Path", "far");
  SetNumber(scene, "Thickness (0 = from source)", 8);
  const auto start = std::chrono::steady_clock::now();
  lwhost::RenderOptions options;
  options.threads = 2;
  options.cancelled = [start] {
    return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(200);
  };
  const lwhost::FrameOutput out = Render(scene, 0, options);  // checks the balance
  EXPECT_EQ(out.err, PF_Interrupt_CANCEL);
  EXPECT_GT(out.abortCalls, 0);
  EXPECT_TRUE(IsTransparent(out.image));
}

}  // namespace
}  // namespace lwtest
