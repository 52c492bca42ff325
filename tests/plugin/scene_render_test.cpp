// The ribbon through the loaded effect, rendered by the host's scene renderer. Expectations come
// from the geometry of each scene: where the ribbon lies, how wide it is, which source texel
// belongs to which output pixel.
#include <gtest/gtest.h>

#include <unistd.h>
#include <thread>

#include "scene_builder.h"

namespace lwtest {
namespace {

namespace fs = std::filesystem;

// The gradient source: 100 x 20, opaque, red = 20 + 2x and green = 30 + 10y at texel (x, y),
// blue 128. Linear in both directions, so bilinear fetches and splats reproduce it exactly away
// from its borders.
constexpr int32_t kSourceW = 100;
constexpr int32_t kSourceH = 20;
uint32_t GradientRed(int32_t x) {
  return 20 + 2 * static_cast<uint32_t>(x);
}
uint32_t GradientGreen(int32_t y) {
  return 30 + 10 * static_cast<uint32_t>(y);
}

class SceneRenderTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    dir = fs::temp_directory_path() / ("lw_frames_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    lwhost::Image source = lwhost::MakeImage(kSourceW, kSourceH, 8);
    for (int32_t y = 0; y < kSourceH; ++y) {
      for (int32_t x = 0; x < kSourceW; ++x) {
        lwhost::SetChannels(source, x, y, {255, GradientRed(x), GradientGreen(y), 128});
      }
    }
    lwhost::WritePng(dir / "gradient.png", source, lwhost::PngAlpha::kRaw);
  }
  void TearDown() override { fs::remove_all(dir); }

  // 200 x 100 layer, a horizontal 100 px path from (50, 50) to (150, 50), the gradient as Source,
  // Stretch, Thickness 20: the ribbon should cover x 50..150, y 40..60.
  lwhost::Scene StraightScene(int bitDepth = 8) {
    lwhost::Scene scene = MakeScene(200, 100, bitDepth);
    AddSvgMask(scene, "line", "M 50 50 L 150 50");
    AddImageLayer(scene, "gradient", dir / "gradient.png");
    SetText(scene, "Path", "line");
    SetText(scene, "Source", "gradient");
    SetNumber(scene, "Thickness (0 = from source)", 20);
    return scene;
  }

  // A white (no Source) ribbon along a horizontal 200 px path from (50, 100) to (250, 100), on a
  // 300 x 200 layer, Thickness 40.
  lwhost::Scene WhiteScene() {
    lwhost::Scene scene = MakeScene(300, 200);
    AddSvgMask(scene, "line", "M 50 100 L 250 100");
    SetText(scene, "Path", "line");
    SetNumber(scene, "Thickness (0 = from source)", 40);
    return scene;
  }

  fs::path dir;
};

// Output pixel (x0 + i, y0 + j) against texel (i, mirrored ? 19 - j : j) over the interior.
void ExpectGradientAt(const lwhost::Image& out, int32_t x0, int32_t y0, int32_t fromI, int32_t toI,
                      bool mirrored, const std::string& what) {
  int failures = 0;
  for (int32_t i = fromI; i <= toI && failures < 5; ++i) {
    for (int32_t j = 2; j <= kSourceH - 3 && failures < 5; ++j) {
      const lwhost::Channels c = lwhost::GetChannels(out, x0 + i, y0 + j);
      const int32_t row = mirrored ? kSourceH - 1 - j : j;
      const int32_t texel = i % kSourceW;
      const bool ok = c.alpha >= 254 && std::abs(int(c.red) - int(GradientRed(texel))) <= 1 &&
                      std::abs(int(c.green) - int(GradientGreen(row))) <= 1 &&
                      std::abs(int(c.blue) - 128) <= 1;
      if (!ok) {
        ++failures;
        ADD_FAILURE() << what << ": output (" << x0 + i << ", " << y0 + j << ") is " << c.alpha
                      << "/" << c.red << "/" << c.green << "/" << c.blue << ", texel (" << texel
                      << ", " << row << ") is 255/" << GradientRed(texel) << "/"
                      << GradientGreen(row) << "/128";
      }
    }
  }
}

TEST_F(SceneRenderTest, StretchWithThicknessOfTheSourceReproducesTheSource) {
  const lwhost::FrameOutput out = Render(StraightScene());
  ASSERT_EQ(out.err, PF_Err_NONE);
  ASSERT_EQ(out.image.width, 200);
  ASSERT_EQ(out.image.height, 100);
  ExpectGradientAt(out.image, 50, 40, 2, kSourceW - 3, false, "stretch");
  // Nothing beyond the ribbon's edges and ends (one pixel of splat blur allowed).
  for (int32_t x = 0; x < 200; ++x) {
    EXPECT_EQ(Alpha(out.image, x, 37), 0) << "above the ribbon at x = " << x;
    EXPECT_EQ(Alpha(out.image, x, 62), 0) << "below the ribbon at x = " << x;
  }
  for (int32_t y = 0; y < 100; ++y) {
    EXPECT_EQ(Alpha(out.image, 47, y), 0) << "before the path's start at y = " << y;
    EXPECT_EQ(Alpha(out.image, 152, y), 0) << "past the path's end at y = " << y;
  }
}

TEST_F(SceneRenderTest, NegativeThicknessMirrorsTheSourceAcrossTheRibbon) {
  lwhost::Scene scene = StraightScene();
  SetNumber(scene, "Thickness (0 = from source)", -20);
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  ExpectGradientAt(out.image, 50, 40, 2, kSourceW - 3, true, "mirrored");
}

TEST_F(SceneRenderTest, TileRepeatsTheSourceWithItsOwnPeriod) {
  lwhost::Scene scene = MakeScene(400, 100);
  AddSvgMask(scene, "line", "M 50 50 L 350 50");
  AddImageLayer(scene, "gradient", dir / "gradient.png");
  SetText(scene, "Path", "line");
  SetText(scene, "Source", "gradient");
  SetText(scene, "Fit", "Tile");
  SetNumber(scene, "Thickness (0 = from source)", 20);
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  // Three unscaled copies, each checked away from the seams where the gradient wraps.
  for (int32_t copy = 0; copy < 3; ++copy) {
    ExpectGradientAt(out.image, 50 + copy * kSourceW, 40, 2, kSourceW - 3, false,
                     "tile copy " + std::to_string(copy));
  }
}

TEST_F(SceneRenderTest, SegmentDrawsOnlyBetweenItsEnds) {
  lwhost::Scene scene = WhiteScene();
  SetText(scene, "Fit", "Segment");
  SetNumber(scene, "Segment Position", 25);  // starts 50 px along the 200 px path
  SetNumber(scene, "Segment Length", 50);    // and is 100 px long: x 100..200
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  for (int32_t x = 0; x < 300; ++x) {
    const double coverage = ColumnCoverage(out.image, x);
    if (x < 98 || x > 201) {
      EXPECT_EQ(coverage, 0.0) << "outside the segment at x = " << x;
    } else if (x >= 102 && x <= 197) {
      EXPECT_TRUE(IsDrawnWidth(coverage, 40.0)) << "inside the segment at x = " << x;
    }
  }
}

TEST_F(SceneRenderTest, LinearTaperNarrowsTheRibbonToNothingAtItsEnds) {
  lwhost::Scene scene = WhiteScene();
  SetNumber(scene, "Taper Start", 50);
  SetNumber(scene, "Taper End", 50);
  SetText(scene, "Taper Shape", "Linear");
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  // t = (x + 0.5 - 50) / 200; the width is 40 x t / 0.5 up to the middle, then falls again.
  for (int32_t x = 55; x <= 245; x += 10) {
    const double t = (x + 0.5 - 50.0) / 200.0;
    const double expected = 40.0 * std::min(t, 1.0 - t) / 0.5;
    EXPECT_NEAR(ColumnCoverage(out.image, x), expected, 1.0) << "at x = " << x << ", t = " << t;
  }
  EXPECT_LT(ColumnCoverage(out.image, 50), 1.0) << "the start is a point";
  EXPECT_LT(ColumnCoverage(out.image, 249), 1.0) << "the end is a point";
}

TEST_F(SceneRenderTest, StartAndEndWidthsGiveTheStatedWidths) {
  lwhost::Scene scene = WhiteScene();
  SetNumber(scene, "Start Width", 100);
  SetNumber(scene, "End Width", 50);
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  for (double t : {0.05, 0.25, 0.5, 0.75, 0.95}) {
    const auto x = static_cast<int32_t>(50 + 200 * t);
    const double expected = 40.0 * (1.0 - 0.5 * t);  // 40 px at the start, 20 px at the end
    EXPECT_TRUE(IsDrawnWidth(ColumnCoverage(out.image, x), expected)) << "at t = " << t;
  }
}

TEST_F(SceneRenderTest, OpacityFiftyHalvesAlphaAndColour) {
  const lwhost::FrameOutput full = Render(StraightScene());
  lwhost::Scene scene = StraightScene();
  SetNumber(scene, "Opacity", 50);
  const lwhost::FrameOutput half = Render(scene);
  ASSERT_EQ(full.err, PF_Err_NONE);
  ASSERT_EQ(half.err, PF_Err_NONE);
  for (int32_t y = 38; y < 62; ++y) {
    for (int32_t x = 48; x < 152; ++x) {
      const lwhost::Channels f = lwhost::GetChannels(full.image, x, y);
      const lwhost::Channels h = lwhost::GetChannels(half.image, x, y);
      ASSERT_NEAR(h.alpha, f.alpha * 0.5, 1.0) << "at (" << x << ", " << y << ")";
      ASSERT_NEAR(h.red, f.red * 0.5, 1.0) << "at (" << x << ", " << y << ")";
    }
  }
}

TEST_F(SceneRenderTest, DepthDrawsDarkenedCopiesOffsetAlongItsDirection) {
  lwhost::Scene scene = WhiteScene();
  SetNumber(scene, "Thickness (0 = from source)", 20);  // front y 90..110
  SetNumber(scene, "Depth", 10);                        // copies down to y 120
  SetNumber(scene, "Depth Direction", 180);             // straight down
  SetNumber(scene, "Depth Shade", 40);                  // 60 % of the colour
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  for (int32_t x = 60; x < 240; x += 20) {
    const lwhost::Channels front = lwhost::GetChannels(out.image, x, 100);
    EXPECT_EQ(front, (lwhost::Channels{255, 255, 255, 255})) << "front at x = " << x;
    for (int32_t y = 112; y <= 117; ++y) {
      const lwhost::Channels side = lwhost::GetChannels(out.image, x, y);
      EXPECT_EQ(side.alpha, 255u) << "extrusion at (" << x << ", " << y << ")";
      EXPECT_NEAR(side.red, 0.6 * 255, 1.0) << "extrusion at (" << x << ", " << y << ")";
    }
    EXPECT_EQ(Alpha(out.image, x, 87), 0) << "nothing above the front at x = " << x;
    EXPECT_EQ(Alpha(out.image, x, 122), 0) << "nothing past the depth at x = " << x;
  }
}

TEST_F(SceneRenderTest, NoMaskOrAPathOutsideTheOutputGivesATransparentFrame) {
  lwhost::Scene none = StraightScene();
  none.params.erase(none.params.begin());  // "Path" back to none
  const lwhost::FrameOutput a = Render(none);
  EXPECT_EQ(a.err, PF_Err_NONE);
  EXPECT_TRUE(IsTransparent(a.image)) << "no mask chosen";

  lwhost::Scene outside = MakeScene(200, 100);
  AddSvgMask(outside, "far", "M 1000 1000 L 1100 1000");
  SetText(outside, "Path", "far");
  const lwhost::FrameOutput b = Render(outside);
  EXPECT_EQ(b.err, PF_Err_NONE);
  EXPECT_TRUE(IsTransparent(b.image)) << "path far outside the output";
}

TEST_F(SceneRenderTest, SixteenBitOutputMatchesEightBitWithinRounding) {
  const lwhost::FrameOutput eight = Render(StraightScene(8));
  const lwhost::FrameOutput sixteen = Render(StraightScene(16));
  ASSERT_EQ(eight.err, PF_Err_NONE);
  ASSERT_EQ(sixteen.err, PF_Err_NONE);
  ASSERT_EQ(sixteen.image.bitDepth, 16);
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 200; ++x) {
      const lwhost::Channels e = lwhost::GetChannels(eight.image, x, y);
      const lwhost::Channels s = lwhost::GetChannels(sixteen.image, x, y);
      const auto to8 = [](uint32_t v) { return v * 255.0 / 32768.0; };
      // One level for the 8-bit render's rounding, a little more for its 8-bit source.
      ASSERT_NEAR(to8(s.alpha), e.alpha, 1.5) << "alpha at (" << x << ", " << y << ")";
      ASSERT_NEAR(to8(s.red), e.red, 1.5) << "red at (" << x << ", " << y << ")";
      ASSERT_NEAR(to8(s.green), e.green, 1.5) << "green at (" << x << ", " << y << ")";
    }
  }
}

TEST_F(SceneRenderTest, PaddedRowsAreUntouchedOutsideThePixels) {
  const lwhost::FrameOutput plain = Render(StraightScene());
  lwhost::RenderOptions options;
  options.rowPadding = 12;
  const lwhost::FrameOutput padded = Render(StraightScene(), 0, options);
  ASSERT_EQ(padded.err, PF_Err_NONE);
  const size_t pixelBytes = 200 * 4;
  for (int32_t y = 0; y < 100; ++y) {
    const unsigned char* row = padded.image.bytes.data() + size_t(y) * padded.image.rowBytes;
    for (size_t b = pixelBytes; b < size_t(padded.image.rowBytes); ++b) {
      ASSERT_EQ(row[b], lwhost::kRowPaddingSentinel) << "row " << y << " byte " << b;
    }
    for (int32_t x = 0; x < 200; ++x) {
      ASSERT_EQ(lwhost::GetChannels(padded.image, x, y), lwhost::GetChannels(plain.image, x, y))
          << "at (" << x << ", " << y << ")";
    }
  }
}

TEST_F(SceneRenderTest, SameSceneGivesSameBytesTwiceAndOnTwoThreadsAtOnce) {
  lwhost::Scene scene = WhiteScene();
  SetNumberKeys(scene, "Bank", 0, 0, 1, 60);  // frames 0 and 1 differ
  SetNumber(scene, "Shading", 80);
  SetNumber(scene, "Depth", 6);
  lwhost::SceneRenderer renderer(session, scene);
  const lwhost::FrameOutput first0 = renderer.RenderFrame(0);
  const lwhost::FrameOutput first1 = renderer.RenderFrame(1);
  ASSERT_EQ(first0.err, PF_Err_NONE);
  ASSERT_EQ(first1.err, PF_Err_NONE);
  ASSERT_NE(first0.image.bytes, first1.image.bytes) << "the two frames should differ";
  EXPECT_EQ(renderer.RenderFrame(0).image.bytes, first0.image.bytes) << "frame 0 again";

  lwhost::FrameOutput concurrent0, concurrent1;
  std::thread a([&] { concurrent0 = renderer.RenderFrame(0); });
  std::thread b([&] { concurrent1 = renderer.RenderFrame(1); });
  a.join();
  b.join();
  EXPECT_EQ(concurrent0.err, PF_Err_NONE);
  EXPECT_EQ(concurrent1.err, PF_Err_NONE);
  EXPECT_EQ(concurrent0.balance, "");
  EXPECT_EQ(concurrent1.balance, "");
  EXPECT_EQ(concurrent0.image.bytes, first0.image.bytes) << "frame 0 on its own thread";
  EXPECT_EQ(concurrent1.image.bytes, first1.image.bytes) << "frame 1 on its own thread";
  EXPECT_EQ(session.ledger.Report(), "");
}

TEST_F(SceneRenderTest, DownsampledSourceAndMaskKeepTheMappingAtHalfResolution) {
  lwhost::Scene scene = StraightScene();
  scene.downsampleX = 2;
  scene.downsampleY = 2;
  SetNumber(scene, "Thickness (0 = from source)", 20);  // 10 px at half resolution
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  ASSERT_EQ(out.image.width, 100);
  ASSERT_EQ(out.image.height, 50);
  // The 50 x 10 source averaged by 2 x 2 blocks is still linear: red = 21 + 4i, green 35 + 20j.
  for (int32_t i = 2; i <= 47; ++i) {
    for (int32_t j = 2; j <= 7; ++j) {
      const lwhost::Channels c = lwhost::GetChannels(out.image, 25 + i, 20 + j);
      ASSERT_NEAR(c.red, 21.0 + 4 * i, 1.0) << "at (" << 25 + i << ", " << 20 + j << ")";
      ASSERT_NEAR(c.green, 35.0 + 20 * j, 1.0) << "at (" << 25 + i << ", " << 20 + j << ")";
    }
  }
}

TEST_F(SceneRenderTest, ExpandBoundsGrowsTheOutputAndMovesTheRibbonByTheOrigin) {
  lwhost::Scene scene = StraightScene();
  SetNumber(scene, "Expand Bounds", 10.7);  // 11 px on every side
  const lwhost::FrameOutput out = Render(scene);
  ASSERT_EQ(out.err, PF_Err_NONE);
  EXPECT_EQ(out.image.width, 222);
  EXPECT_EQ(out.image.height, 122);
  EXPECT_EQ(out.originX, 11);
  EXPECT_EQ(out.originY, 11);
  ExpectGradientAt(out.image, 61, 51, 2, kSourceW - 3, false, "grown output");
}

}  // namespace
}  // namespace lwtest
