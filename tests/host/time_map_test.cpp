#include "media/time_map.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>

#include "media/exr_read.h"

namespace lwhost {
namespace {

// Scene frame f of a 24 fps scene, as the host asks for it.
SceneTime At24(int64_t frame) {
  return {frame * 1000, 1000, 24000};
}

ClipTimeline Regular(int64_t frames, int64_t timeBaseDen) {
  ClipTimeline timeline;
  for (int64_t k = 0; k < frames; ++k) {
    timeline.starts.push_back(k);
  }
  timeline.end = frames;
  timeline.timeBaseDen = timeBaseDen;
  return timeline;
}

TEST(TimeMapTest, A25FpsClipShowsTheFrameWhoseTimeCoversTheSceneFrame) {
  const ClipTimeline clip = Regular(50, 25);
  for (int64_t f = 0; f < 48; ++f) {
    // Frame k covers [k / 25, (k + 1) / 25): the one holding f / 24 is floor(25 f / 24), exactly
    // at the boundaries f = 24, 48 too.
    EXPECT_EQ(ClipIndexAt(At24(f), {}, clip), (25 * f) / 24) << f;
  }
}

TEST(TimeMapTest, StampsRoundedToMillisecondsStillMatchTheirSceneFrames) {
  // 24 fps in Matroska: frame k at round(1000 k / 24) ms, so frame 1 at 42 ms, after 1 / 24 s.
  ClipTimeline clip;
  for (int64_t k = 0; k < 48; ++k) {
    clip.starts.push_back((1000 * k + 12) / 24);
  }
  clip.end = 2000;
  clip.timeBaseDen = 1000;
  for (int64_t f = 0; f < 48; ++f) {
    EXPECT_EQ(ClipIndexAt(At24(f), {}, clip), f) << f;
  }
}

TEST(TimeMapTest, StartHoldsTheFirstFrameBeforeAndTheLastAfter) {
  const ClipTimeline clip = Regular(10, 24);
  const ClipPlacement placed{5, false};
  EXPECT_EQ(ClipIndexAt(At24(0), placed, clip), 0);
  EXPECT_EQ(ClipIndexAt(At24(5), placed, clip), 0);
  EXPECT_EQ(ClipIndexAt(At24(9), placed, clip), 4);
  EXPECT_EQ(ClipIndexAt(At24(14), placed, clip), 9);
  EXPECT_EQ(ClipIndexAt(At24(400), placed, clip), 9);
  EXPECT_EQ(SequenceIndexAt(At24(2), placed, 10), 0);
  EXPECT_EQ(SequenceIndexAt(At24(7), placed, 10), 2);
  EXPECT_EQ(SequenceIndexAt(At24(99), placed, 10), 9);
}

TEST(TimeMapTest, LoopWrapsAtTheClipsDuration) {
  const ClipTimeline clip = Regular(10, 24);
  const ClipPlacement looped{-3, true};
  for (int64_t f = 0; f < 40; ++f) {
    EXPECT_EQ(ClipIndexAt(At24(f), looped, clip), (f + 3) % 10) << f;
    EXPECT_EQ(SequenceIndexAt(At24(f), looped, 10), (f + 3) % 10) << f;
  }
}

TEST(TimeMapTest, VariableFrameRateFollowsTheTimestamps) {
  // Frames at 0, 0.1, 0.5 and 0.52 s (milliseconds), the last lasting 0.2 s.
  ClipTimeline clip;
  clip.starts = {0, 100, 500, 520};
  clip.end = 720;
  clip.timeBaseDen = 1000;
  const SceneTime tenths[] = {{0, 1, 10}, {1, 1, 10}, {4, 1, 10}, {5, 1, 10}, {6, 1, 10}};
  const int64_t expected[] = {0, 1, 1, 2, 3};
  for (size_t i = 0; i < std::size(tenths); ++i) {
    EXPECT_EQ(ClipIndexAt(tenths[i], {}, clip), expected[i]) << i;
  }
  EXPECT_EQ(ClipIndexAt({8, 1, 10}, {0, true}, clip), 0);  // 0.8 s wraps to 0.08 s
}

TEST(TimeMapTest, ExrValuesClampToTheWorldAndNanIsZero) {
  EXPECT_EQ(ExrToStored(0.5f, 255), 128u);
  EXPECT_EQ(ExrToStored(0.5f, 32768), 16384u);
  EXPECT_EQ(ExrToStored(-2.0f, 255), 0u);
  EXPECT_EQ(ExrToStored(7.0f, 32768), 32768u);
  EXPECT_EQ(ExrToStored(std::numeric_limits<float>::quiet_NaN(), 255), 0u);
  EXPECT_EQ(ExrToStored(std::numeric_limits<float>::infinity(), 255), 255u);
}

}  // namespace
}  // namespace lwhost
