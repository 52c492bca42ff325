// Golden images: a few small scenes that combine many features, rendered through the loaded
// effect and compared with the reviewed PNGs in tests/golden/. A pixel differs when any stored
// channel differs; a scene passes when no channel is off by more than kMaxChannelDiff and at most
// kMaxDifferingFraction of its pixels differ. Regenerate with LATHEWIND_UPDATE_GOLDEN=1 (and look
// at the new images before committing them).
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>

#include "golden_scenes.h"
#include "scene_builder.h"

namespace lwtest {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMaxChannelDiff = 1;          // rounding may move a channel by one level
constexpr double kMaxDifferingFraction = 0.001;  // 0.1 % of the pixels

fs::path GoldenPath(const std::string& name) {
  return fs::path(LATHEWIND_GOLDEN_DIR) / (name + ".png");
}

bool UpdateRequested() {
  const char* update = std::getenv("LATHEWIND_UPDATE_GOLDEN");
  return update != nullptr && std::string(update) == "1";
}

class GoldenTest : public RenderTest, public ::testing::WithParamInterface<GoldenScene> {};

TEST_P(GoldenTest, MatchesTheReviewedImage) {
  const GoldenScene& golden = GetParam();
  const lwhost::Scene scene =
      lwhost::ParseSceneText(golden.json, golden.name, LATHEWIND_GOLDEN_DIR);
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE) << golden.name;
  ASSERT_FALSE(IsTransparent(out.image)) << golden.name << " should draw something";

  const fs::path file = GoldenPath(golden.name);
  if (UpdateRequested()) {
    lwhost::WritePng(file, out.image, lwhost::PngAlpha::kStraight);
    GTEST_SKIP() << "wrote " << file;
  }
  ASSERT_TRUE(fs::exists(file)) << file << " is missing; run with LATHEWIND_UPDATE_GOLDEN=1";

  // The render goes through the same PNG conversion as the reviewed file, so both are compared in
  // the form they were stored in.
  const fs::path rendered =
      fs::temp_directory_path() / ("lw_golden_" + std::to_string(::getpid()) + ".png");
  lwhost::WritePng(rendered, out.image, lwhost::PngAlpha::kStraight);
  const lwhost::Image actual = lwhost::ReadPng(rendered, scene.bitDepth);
  fs::remove(rendered);
  const lwhost::Image expected = lwhost::ReadPng(file, scene.bitDepth);
  ASSERT_EQ(actual.width, expected.width) << golden.name;
  ASSERT_EQ(actual.height, expected.height) << golden.name;

  uint32_t maxDiff = 0;
  int64_t differing = 0;
  std::string firstDiff;
  for (int32_t y = 0; y < actual.height; ++y) {
    for (int32_t x = 0; x < actual.width; ++x) {
      const lwhost::Channels a = lwhost::GetChannels(actual, x, y);
      const lwhost::Channels e = lwhost::GetChannels(expected, x, y);
      const auto diff = [](uint32_t p, uint32_t q) { return p > q ? p - q : q - p; };
      const uint32_t d = std::max({diff(a.alpha, e.alpha), diff(a.red, e.red),
                                   diff(a.green, e.green), diff(a.blue, e.blue)});
      if (d > 0) {
        ++differing;
        if (firstDiff.empty()) {
          // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on `"(" + ...`.
          firstDiff = "(";
          firstDiff += std::to_string(x);
          firstDiff += ", ";
          firstDiff += std::to_string(y);
          firstDiff += ")";
        }
      }
      maxDiff = std::max(maxDiff, d);
    }
  }
  const double fraction = double(differing) / (double(actual.width) * actual.height);
  EXPECT_LE(maxDiff, kMaxChannelDiff) << golden.name << ": first difference at " << firstDiff;
  EXPECT_LE(fraction, kMaxDifferingFraction)
      << golden.name << ": " << differing << " pixels differ, first at " << firstDiff;
}

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenTest, ::testing::ValuesIn(kGoldenScenes),
                         [](const ::testing::TestParamInfo<GoldenScene>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace lwtest
