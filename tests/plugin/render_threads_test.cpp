// One frame on several threads: the host grants threads through iterate_generic and the effect
// splits the box into row bands. The output must not depend on the thread count, and a cancel
// must end the render and leave the host balanced however many threads are drawing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

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

// A path two billion pixels long over a 64 x 36 frame. Evaluated every 2 px (the bounds scan) and
// at every sample (the walk), it took minutes; the render jumps over the stretches that surely
// stay out of reach, so it asks the host for a handful of points and still draws what crosses
// the frame. A cancel from the host ends it all the same, and everything goes back.
TEST_F(RenderThreadsTest, AnEnormousPathOverATinyFrameIsEvaluatedOnlyNearIt) {
  lwhost::Scene scene = MakeScene(64, 36);
  AddSvgMask(scene, "far", "M 10 10 L 50 -2147483649 L 30 30");
  AddEmptyLayer(scene, "none");
  SetText(scene, "Path", "far");
  SetNumber(scene, "Thickness (0 = from source)", 8);
  const auto evaluations = [this] {
    return session.faults.Calls("PF_PathEvalSegLength") +
           session.faults.Calls("PF_PathEvalSegLengthDeriv1");
  };
  lwhost::RenderOptions options;
  options.threads = 2;
  A_long lastProgress = -1;
  options.progress = [&lastProgress](A_long current, A_long total) {
    lastProgress = current == total ? total : -1;
    return true;
  };
  const lwhost::FrameOutput out = Render(scene, 0, options);  // checks the balance
  ASSERT_EQ(out.err, PF_Err_NONE);
  EXPECT_FALSE(IsTransparent(out.image)) << "the legs that cross the frame are drawn";
  EXPECT_LT(evaluations(), 100000) << "a billion points lie out of reach";
  EXPECT_GT(lastProgress, 0) << "the progress ends at 100%";
  options.progress = nullptr;

  options.cancelled = [] { return true; };
  const lwhost::FrameOutput cancelled = Render(scene, 0, options);
  EXPECT_EQ(cancelled.err, PF_Interrupt_CANCEL);
  EXPECT_GT(cancelled.abortCalls, 0);
  EXPECT_TRUE(IsTransparent(cancelled.image));
}

// A ribbon 16000 px wide, extruded, around a ring 20 px across: every sample fans into hundreds
// of cross-sections of 64000 points, each point with 160 depth copies; unbroken, one sample is
// a minute of work. The effect asks for a cancel after each block it draws (each draw is one
// iterate_generic call), and draws nothing more once cancelled.
TEST_F(RenderThreadsTest, ACancelIsSeenWithinOneBlockOfAHugeSample) {
  lwhost::Scene scene = MakeScene(64, 36);
  AddSvgMask(scene, "ring", "M 22 18 A 10 10 0 1 1 42 18 A 10 10 0 1 1 22 18");
  SetText(scene, "Path", "ring");
  SetNumber(scene, "Thickness (0 = from source)", 4000);
  SetNumber(scene, "Start Width", 400);
  SetNumber(scene, "End Width", 400);
  SetNumber(scene, "Depth", 200);
  SetText(scene, "Quality", "High");
  constexpr size_t kCancelAtPoll = 8;
  std::vector<int> drawsBeforePoll;
  int drawsSoFar = 0;
  lwhost::RenderOptions options;
  options.threads = 2;
  options.cancelled = [&] {
    const int draws = session.faults.Calls("iterate_generic");
    drawsBeforePoll.push_back(draws - drawsSoFar);
    drawsSoFar = draws;
    return drawsBeforePoll.size() >= kCancelAtPoll;
  };
  const lwhost::FrameOutput out = Render(scene, 0, options);  // checks the balance
  EXPECT_EQ(out.err, PF_Interrupt_CANCEL);
  EXPECT_TRUE(IsTransparent(out.image));
  EXPECT_EQ(session.faults.Calls("iterate_generic"), drawsSoFar) << "drawn after the cancel";
  ASSERT_EQ(drawsBeforePoll.size(), kCancelAtPoll);
  // The first draw also asks the host for its thread count.
  for (size_t poll = 0; poll < drawsBeforePoll.size(); ++poll) {
    EXPECT_LE(drawsBeforePoll[poll], poll == 0 ? 2 : 1) << "poll " << poll;
  }
}

// A thin ribbon across a 2600 x 2600 frame: the walk is short, but the box to resolve has nearly
// seven million pixels. The resolve asks for a cancel between slices of rows, and a cancel there
// leaves the frame transparent.
TEST_F(RenderThreadsTest, TheResolveOfABigBoxAsksForACancelBetweenSlices) {
  lwhost::Scene scene = MakeScene(2600, 2600);
  AddSvgMask(scene, "diagonal", "M 10 10 L 2590 2590");
  SetText(scene, "Path", "diagonal");
  SetNumber(scene, "Thickness (0 = from source)", 6);
  std::vector<int> drawsBeforePoll;
  lwhost::RenderOptions options;
  options.threads = 2;
  options.cancelled = [&] {
    drawsBeforePoll.push_back(session.faults.Calls("iterate_generic"));
    return false;
  };
  const lwhost::FrameOutput whole = Render(scene, 0, options);
  ASSERT_EQ(whole.err, PF_Err_NONE);
  ASSERT_FALSE(IsTransparent(whole.image));
  ASSERT_FALSE(drawsBeforePoll.empty());
  // After the last poll only the last slice of the resolve is left.
  EXPECT_EQ(session.faults.Calls("iterate_generic") - drawsBeforePoll.back(), 1);

  const size_t polls = drawsBeforePoll.size();
  drawsBeforePoll.clear();
  options.cancelled = [&] {
    drawsBeforePoll.push_back(0);
    return drawsBeforePoll.size() == polls;
  };
  const lwhost::FrameOutput cancelled = Render(scene, 0, options);  // checks the balance
  EXPECT_EQ(cancelled.err, PF_Interrupt_CANCEL);
  EXPECT_TRUE(IsTransparent(cancelled.image)) << "a frame half resolved";
}

}  // namespace
}  // namespace lwtest
