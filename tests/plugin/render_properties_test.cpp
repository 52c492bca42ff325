// Properties of a render that hold whatever the parameters, checked on a few random scenes
// (seeded: a failure names the seed that reproduces it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "scene_builder.h"

namespace lwtest {
namespace {

struct Vec {
  double x, y;
};

// A random ribbon on a random cubic, with the cubic's control points kept for measuring.
struct RandomRibbon {
  lwhost::Scene scene;
  Vec p[4];
  double reach = 0.0;  // no pixel farther than this from the spine may be drawn

  RandomRibbon(unsigned seed, int bitDepth) : scene(MakeScene(96, 64, bitDepth)) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto in = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
    for (Vec& v : p) {
      v = {in(8, 88), in(8, 56)};
    }
    AddSvgMask(scene, "spine",
               "M " + Num(p[0]) + " C " + Num(p[1]) + " " + Num(p[2]) + " " + Num(p[3]));
    lwhost::SceneLayer checker;
    checker.name = "board";
    checker.pointer = "/layers/board";
    checker.kind = lwhost::SceneLayerKind::kChecker;
    checker.width = 1 + static_cast<int32_t>(in(0, 40));
    checker.height = 1 + static_cast<int32_t>(in(0, 20));
    checker.cell = 1 + static_cast<int32_t>(in(0, 4));
    checker.colors = {lwhost::StraightColor8{255, 230, 80, 20},
                      lwhost::StraightColor8{static_cast<uint8_t>(in(0, 255)), 30, 140, 255}};
    scene.layers.push_back(checker);
    SetText(scene, "Path", "spine");
    SetText(scene, "Source", "board");

    const double thickness = in(-30, 30);
    const double startWidth = in(0, 400);
    const double endWidth = in(0, 400);
    const double depth = in(0, 12);
    SetNumber(scene, "Thickness (0 = from source)", thickness);
    SetNumber(scene, "Start Width", startWidth);
    SetNumber(scene, "End Width", endWidth);
    SetNumber(scene, "Depth", depth);
    SetNumber(scene, "Depth Direction", in(-360, 360));
    SetNumber(scene, "Fit", 1 + static_cast<int>(in(0, 3)));
    SetNumber(scene, "Stretch Along Path", 1 + static_cast<int>(in(0, 2)));
    SetNumber(scene, "Segment Position", in(-100, 200));
    SetNumber(scene, "Segment Length", in(0.1, 100));
    SetNumber(scene, "Taper Start", in(0, 100));
    SetNumber(scene, "Taper End", in(0, 100));
    SetNumber(scene, "Offset", in(-100, 100));
    SetNumber(scene, "Trim Start", in(0, 50));
    SetNumber(scene, "Trim End", in(50, 100));
    SetNumber(scene, "Bank", in(-180, 180));
    SetNumber(scene, "Auto Bank", in(0, 200));
    SetNumber(scene, "Surface", 1 + static_cast<int>(in(0, 2)));
    SetNumber(scene, "Shading", in(0, 100));
    SetNumber(scene, "Light Direction", in(-180, 180));
    SetNumber(scene, "Quality", 1 + static_cast<int>(in(0, 2)));
    SetNumber(scene, "Opacity", in(1, 100));
    // Half the width at its widest, the extrusion, and the splat's one-pixel softness.
    reach = std::abs(thickness) / 2 * std::max(startWidth, endWidth) / 100 + depth + 1.5;
  }

  static std::string Num(Vec v) { return std::to_string(v.x) + " " + std::to_string(v.y); }

  // Distance from `q` to the spine, sampled finely along the cubic.
  double DistanceToSpine(Vec q) const {
    double best = 1e300;
    constexpr int kSamples = 800;
    for (int i = 0; i <= kSamples; ++i) {
      const double t = static_cast<double>(i) / kSamples, u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      const double x = a * p[0].x + b * p[1].x + c * p[2].x + d * p[3].x;
      const double y = a * p[0].y + b * p[1].y + c * p[2].y + d * p[3].y;
      best = std::min(best, std::hypot(q.x - x, q.y - y));
    }
    return best;
  }
};

using RenderPropertiesTest = RenderTest;

TEST_F(RenderPropertiesTest, NothingIsDrawnBeyondTheRibbonsReach) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const RandomRibbon ribbon(seed, 8);
    const lwhost::FrameOutput out = Render(ribbon.scene);
    ASSERT_EQ(out.err, PF_Err_NONE) << "seed " << seed;
    int far = 0;
    for (int32_t y = 0; y < out.image.height; ++y) {
      for (int32_t x = 0; x < out.image.width; ++x) {
        if (Alpha(out.image, x, y) != 0 &&
            ribbon.DistanceToSpine({x + 0.5 - out.originX, y + 0.5 - out.originY}) >
                ribbon.reach + 0.75) {
          ++far;
        }
      }
    }
    EXPECT_EQ(far, 0) << "seed " << seed << ": pixels drawn beyond " << ribbon.reach << " px";
  }
}

TEST_F(RenderPropertiesTest, EightAndSixteenBitsAgreeWithinOneLevel) {
  for (unsigned seed = 11; seed <= 16; ++seed) {
    const lwhost::FrameOutput eight = Render(RandomRibbon(seed, 8).scene);
    const lwhost::FrameOutput sixteen = Render(RandomRibbon(seed, 16).scene);
    ASSERT_EQ(eight.err, PF_Err_NONE) << "seed " << seed;
    ASSERT_EQ(sixteen.err, PF_Err_NONE) << "seed " << seed;
    ASSERT_EQ(eight.image.width, sixteen.image.width);
    ASSERT_EQ(eight.image.height, sixteen.image.height);
    double worst = 0;
    for (int32_t y = 0; y < eight.image.height; ++y) {
      for (int32_t x = 0; x < eight.image.width; ++x) {
        const lwhost::Channels a = lwhost::GetChannels(eight.image, x, y);
        const lwhost::Channels b = lwhost::GetChannels(sixteen.image, x, y);
        for (auto [c8, c16] : {std::pair{a.alpha, b.alpha}, std::pair{a.red, b.red},
                               std::pair{a.green, b.green}, std::pair{a.blue, b.blue}}) {
          worst = std::max(worst, std::abs(c8 - c16 * 255.0 / 32768.0));
        }
      }
    }
    EXPECT_LE(worst, 1.0) << "seed " << seed << ": 8 and 16 bits differ by " << worst
                          << " 8-bit levels";
  }
}

}  // namespace
}  // namespace lwtest
