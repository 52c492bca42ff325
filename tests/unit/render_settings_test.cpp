#include "render/render_settings.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lwd {
namespace {

constexpr double kEps = 1e-12;

LWD_RenderInputs SourceInputs(A_long width, A_long height) {
  LWD_RenderInputs in;
  in.sourceEmpty = false;
  in.sourceWidth = width;
  in.sourceHeight = height;
  in.outputWidth = 640;
  in.outputHeight = 480;
  return in;
}

TEST(RenderSettingsTest, ReversedTrimsAreSwapped) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.trimStart = 80.0;
  in.trimEnd = 20.0;
  const LWD_RenderSettings swapped = DeriveRenderSettings(in, 1000.0);
  in.trimStart = 20.0;
  in.trimEnd = 80.0;
  const LWD_RenderSettings ordered = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(swapped.visibleStart, 200.0, kEps);
  EXPECT_NEAR(swapped.visibleEnd, 800.0, kEps);
  EXPECT_EQ(swapped.visibleStart, ordered.visibleStart);
  EXPECT_EQ(swapped.visibleEnd, ordered.visibleEnd);
  EXPECT_EQ(swapped.alongSteps, ordered.alongSteps);
}

TEST(RenderSettingsTest, VisibleRangeFollowsTrimsOutsideSegmentMode) {
  for (A_long fit : {LWD_FIT_STRETCH, LWD_FIT_TILE}) {
    LWD_RenderInputs in = SourceInputs(200, 50);
    in.fit = fit;
    in.offset = 37.0;  // moves the texture, not the visible range
    in.trimStart = 10.0;
    in.trimEnd = 60.0;
    const LWD_RenderSettings s = DeriveRenderSettings(in, 500.0);
    EXPECT_NEAR(s.visibleStart, 50.0, kEps) << "fit " << fit;
    EXPECT_NEAR(s.visibleEnd, 300.0, kEps) << "fit " << fit;
    EXPECT_NEAR(s.offsetLength, 185.0, kEps) << "fit " << fit;
  }
}

TEST(RenderSettingsTest, SegmentGrowingFromCentreIsClampedToThePath) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.fit = LWD_FIT_SEGMENT;
  in.segmentPosition = 0.0;
  in.segmentLength = 10.0;
  in.segmentGrowsFrom = LWD_GROW_CENTER;
  const LWD_RenderSettings s = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(s.segmentLength, 100.0, kEps);
  EXPECT_NEAR(s.segmentStart, -50.0, kEps);
  EXPECT_NEAR(s.visibleStart, 0.0, kEps);
  EXPECT_NEAR(s.visibleEnd, 50.0, kEps);  // the first 5 % of the path
  EXPECT_NEAR(s.visibleLength, 50.0, kEps);

  in.segmentGrowsFrom = LWD_GROW_END;
  in.segmentPosition = 50.0;
  in.offset = 10.0;
  const LWD_RenderSettings end = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(end.segmentStart, 400.0, kEps);
  EXPECT_NEAR(end.visibleStart, 500.0, kEps);  // moved by the offset in Segment mode
  EXPECT_NEAR(end.visibleEnd, 600.0, kEps);
}

TEST(RenderSettingsTest, OverlappingTapersAreNormalisedToTheirSum) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.taperStart = 80.0;
  in.taperEnd = 60.0;
  const LWD_RenderSettings s = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(s.taperStart, 4.0 / 7.0, kEps);
  EXPECT_NEAR(s.taperEnd, 3.0 / 7.0, kEps);
  EXPECT_NEAR(s.oneMinusTaperEnd, 4.0 / 7.0, kEps);

  in.taperStart = 30.0;
  in.taperEnd = 20.0;
  const LWD_RenderSettings kept = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(kept.taperStart, 0.3, kEps);
  EXPECT_NEAR(kept.taperEnd, 0.2, kEps);
}

TEST(RenderSettingsTest, ThicknessKeepsItsSignApartAndFollowsDownsampling) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.thickness = -20.0;
  in.downsampleXNum = 1;
  in.downsampleXDen = 2;
  in.downsampleYNum = 1;
  in.downsampleYDen = 2;
  const LWD_RenderSettings s = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(s.downsampleScale, 0.5, kEps);
  EXPECT_NEAR(s.thickness, 10.0, kEps);
  EXPECT_EQ(s.thicknessParam, -20.0);

  in = SourceInputs(200, 50);
  in.thickness = 0.5;
  const LWD_RenderSettings thin = DeriveRenderSettings(in, 1000.0);
  EXPECT_EQ(thin.thickness, 0.5);
  EXPECT_EQ(thin.thicknessClamped, 1.0);
}

TEST(RenderSettingsTest, ZeroThicknessTakesTheSourceExtentAcross) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  EXPECT_EQ(DeriveRenderSettings(in, 1000.0).thickness, 50.0);
  in.stretchAlong = LWD_STRETCH_HEIGHT;
  const LWD_RenderSettings height = DeriveRenderSettings(in, 1000.0);
  EXPECT_EQ(height.thickness, 200.0);
  EXPECT_EQ(height.sourceAlong, 50.0);

  LWD_RenderInputs empty;  // no pixels: nominal 100 x 100
  const LWD_RenderSettings e = DeriveRenderSettings(empty, 1000.0);
  EXPECT_TRUE(e.sourceEmpty);
  EXPECT_EQ(e.thickness, 100.0);
  EXPECT_EQ(e.sourceAlong, 100.0);
}

TEST(RenderSettingsTest, DepthStepsSkipShallowDepthAndAreCapped) {
  const struct {
    double depth;
    std::int32_t steps;
  } cases[] = {{0.0, 0}, {0.25, 0}, {0.3, 1}, {10.0, 14}, {200.0, 160}};
  for (const auto& c : cases) {
    LWD_RenderInputs in = SourceInputs(200, 50);
    in.depth = c.depth;
    EXPECT_EQ(DeriveRenderSettings(in, 1000.0).depthSteps, c.steps) << "depth " << c.depth;
  }
}

TEST(RenderSettingsTest, AnglesBecomeScreenDirections) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.lightDirection = 90 << 16;
  in.depthDirection = 180 << 16;
  in.bank = 60 << 16;
  const LWD_RenderSettings s = DeriveRenderSettings(in, 1000.0);
  EXPECT_NEAR(s.lightDirX, 1.0, 1e-12);
  EXPECT_NEAR(s.lightDirY, 0.0, 1e-12);
  EXPECT_NEAR(s.depthDirX, 0.0, 1e-12);
  EXPECT_NEAR(s.depthDirY, 1.0, 1e-12);  // 180 degrees points down the screen
  EXPECT_NEAR(s.bankAbsCos, 0.5, 1e-12);
}

TEST(RenderSettingsTest, SampleBudgetGrowsTheStep) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  in.quality = LWD_QUALITY_HIGH;
  in.thickness = 1000.0;
  // (1000 / 0.25) x (12000 / 0.25) = 4 x 48 000 000 samples.
  const LWD_RenderSettings s = DeriveRenderSettings(in, 12000.0);
  EXPECT_NEAR(s.stepScale, 2.0, 1e-12);
  EXPECT_NEAR(s.sampleStep, 0.5, 1e-12);
  EXPECT_EQ(s.alongSteps, 24000);

  in.quality = LWD_QUALITY_NORMAL;
  in.thickness = 10.0;
  const LWD_RenderSettings small = DeriveRenderSettings(in, 101.3);
  EXPECT_EQ(small.stepScale, 1.0);
  EXPECT_EQ(small.sampleStep, 0.5);
  EXPECT_EQ(small.alongSteps, 202);  // truncated
}

TEST(RenderSettingsTest, SmoothRadiusIsAFractionOfThePath) {
  LWD_RenderInputs in = SourceInputs(200, 50);
  EXPECT_EQ(DeriveRenderSettings(in, 1000.0).smoothRadius, 0.0);
  in.smoothCorners = 50.0;
  EXPECT_NEAR(DeriveRenderSettings(in, 1000.0).smoothRadius, 50.0, 1e-9);
}

TEST(RenderSettingsTest, WidthBoundTakesWidthsBankProfileAndCurve) {
  LWD_RenderSettings s;
  s.startWidth = 0.5;
  s.endWidth = 1.5;
  s.bankAbsCos = 0.5;
  EXPECT_NEAR(MaxWidthFactor(s), 0.75, kEps);
  s.autoBank = 0.2;  // the auto twist can bring the ribbon back flat
  EXPECT_NEAR(MaxWidthFactor(s), 1.5, kEps);
  s.widthProfile.assign(256, 0.25);
  s.widthProfile[100] = 0.5;
  EXPECT_NEAR(MaxWidthFactor(s), 0.75, kEps);

  LWD_CurveData curve{};
  curve.numPoints = 2;
  curve.x[1] = 1.0f;
  curve.y[0] = 0.2f;
  curve.y[1] = 0.4f;
  s.curve = &curve;
  EXPECT_NEAR(MaxWidthFactor(s), 0.75 * 0.4f, 1e-7);
}

TEST(RenderSettingsTest, BoundsScanIsClippedToTheOutput) {
  LWD_RenderSettings s;
  s.outputWidth = 100;
  s.outputHeight = 80;
  LWD_BoundsScan scan = StartBoundsScan(s);
  GrowBoundsScan(scan, 10.2, 20.7, 5.0);
  GrowBoundsScan(scan, 50.5, 30.0, 5.0);
  FinishBoundsScan(scan, s);
  EXPECT_EQ(s.boxX0, 5);  // floor(5.2)
  EXPECT_EQ(s.boxY0, 15);
  EXPECT_EQ(s.boxX1, 56);  // ceil(55.5)
  EXPECT_EQ(s.boxY1, 35);
  EXPECT_EQ(s.boxWidth, 51);
  EXPECT_EQ(s.boxHeight, 20);

  // Far outside, or not a number: clipped or ignored, never converted out of range.
  LWD_BoundsScan far = StartBoundsScan(s);
  GrowBoundsScan(far, -1e300, 1e300, 5.0);
  GrowBoundsScan(far, NAN, NAN, 5.0);
  FinishBoundsScan(far, s);
  EXPECT_EQ(s.boxX0, 0);
  EXPECT_EQ(s.boxX1, 0);
  EXPECT_EQ(s.boxWidth, 0);
  EXPECT_EQ(s.boxY0, 80);
  EXPECT_EQ(s.boxHeight, 0);
}

}  // namespace
}  // namespace lwd
