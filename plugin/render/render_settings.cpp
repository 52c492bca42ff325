#include "render/render_settings.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lwd {

namespace {

constexpr double kFixedOne = 1.52587890625e-05;  // 2^-16: one unit of a 16.16 fixed value
constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;  // Auto Bank 100 % twists by a quarter turn
constexpr double kMinSegmentLength = 1e-6;      // keeps the segment's texture division finite
constexpr double kMinBankFalloff = 1e-6;        // same for the bank's smoothstep
constexpr double kMinThickness = 1.0;           // thinner ribbons are laid out one pixel thick
constexpr double kDepthOff = 0.25;              // depth this shallow is not drawn
constexpr double kDepthSpacing = 0.75;          // px between two depth copies at most
constexpr std::int32_t kMaxDepthSteps = 160;    // copies per point, whatever the depth
constexpr double kSmoothScale = 0.01 * 0.1;     // 100 % averages over +-10 % of the path
constexpr double kNormalStep = 0.5;             // px between samples at Normal quality
constexpr double kHighStep = 0.25;              // and at High
constexpr double kSampleBudget = 48000000.0;    // samples per frame before the step grows
constexpr int kCurveBoundSteps = 64;            // the curve's bound looks at 65 points
constexpr double kCurveBoundStep = 0.015625;    // 1 / 64
// alongSteps + 1 is passed to the host's progress callback as a 32-bit count.
constexpr double kMaxAlongSteps = std::numeric_limits<std::int32_t>::max() - 1;

double Ratio(A_long num, A_u_long den) {
  // A host that reports a zero denominator is treated as rendering at full size.
  return den == 0 ? 1.0 : static_cast<double>(num) / static_cast<double>(den);
}

// Direction of an angle: 0 degrees points up and angles turn clockwise on screen (y down).
void AngleToDirection(PF_Fixed value, double* x, double* y) {
  const double a = FixedDegreesToRadians(value);
  *x = std::sin(a);
  *y = -std::cos(a);
}

}  // namespace

double FixedDegreesToRadians(PF_Fixed value) {
  return static_cast<double>(value) * kFixedOne * kPi / 180.0;
}

namespace {

// Host, output and source.
void DeriveOutputAndSource(const LWD_RenderInputs& in, LWD_RenderSettings& s) {
  // Host and output.
  s.downsampleScale = std::sqrt(Ratio(in.downsampleXNum, in.downsampleXDen) *
                                Ratio(in.downsampleYNum, in.downsampleYDen));
  s.outputOriginX = in.outputOriginX;
  s.outputOriginY = in.outputOriginY;
  s.outputWidth = in.outputWidth;
  s.outputHeight = in.outputHeight;
  s.deepColor = in.deepColor;
  s.quality = in.quality;

  // Source: an empty source is laid out with nominal 100 x 100 px extents.
  s.sourceEmpty = in.sourceEmpty || in.sourceWidth <= 0 || in.sourceHeight <= 0;
  s.stretchAlong = in.stretchAlong;
  if (s.sourceEmpty) {
    s.sourceAlong = 100.0;
    s.sourceAcross = 100.0;
  } else if (in.stretchAlong == LWD_STRETCH_WIDTH) {
    s.sourceAlong = in.sourceWidth;
    s.sourceAcross = in.sourceHeight;
  } else {
    s.sourceAlong = in.sourceHeight;
    s.sourceAcross = in.sourceWidth;
  }
}

// Spine, thickness and the range along a path `L` px long.
void DeriveRange(const LWD_RenderInputs& in, double L, LWD_RenderSettings& s) {
  // Spine.
  s.pathLength = L;
  s.smoothRadius = in.smoothCorners > 0.0 ? in.smoothCorners * kSmoothScale * L : 0.0;

  // Thickness: the sign only mirrors the source across the ribbon.
  s.thicknessParam = in.thickness;
  s.thickness = in.thickness != 0.0 ? std::fabs(in.thickness) * s.downsampleScale : s.sourceAcross;
  s.thicknessClamped = std::max(kMinThickness, s.thickness);

  // Range along the path. Reversed trims are swapped, not rejected.
  s.fitMode = in.fit;
  s.trimStart = std::min(in.trimStart / 100.0, in.trimEnd / 100.0);
  s.trimEnd = std::max(in.trimStart / 100.0, in.trimEnd / 100.0);
  s.offsetLength = in.offset / 100.0 * L;
  s.segmentLength = std::max(kMinSegmentLength, in.segmentLength / 100.0 * L);
  s.segmentStart = in.segmentPosition / 100.0 * L;
  if (in.segmentGrowsFrom == LWD_GROW_CENTER) {
    s.segmentStart -= s.segmentLength / 2.0;
  } else if (in.segmentGrowsFrom == LWD_GROW_END) {
    s.segmentStart -= s.segmentLength;
  }
  if (s.fitMode == LWD_FIT_SEGMENT) {
    const double segmentFrom = s.segmentStart + s.offsetLength;
    s.visibleStart = std::max({s.trimStart * L, segmentFrom, 0.0});
    s.visibleEnd = std::min({s.trimEnd * L, segmentFrom + s.segmentLength, L});
  } else {
    s.visibleStart = s.trimStart * L;
    s.visibleEnd = s.trimEnd * L;
  }
  s.visibleLength = s.visibleEnd - s.visibleStart;
}

// Taper and width.
void DeriveWidth(const LWD_RenderInputs& in, LWD_RenderSettings& s) {
  // Taper: two tapers that overlap share the ribbon in proportion.
  s.taperStart = in.taperStart / 100.0;
  s.taperEnd = in.taperEnd / 100.0;
  const double taperSum = s.taperStart + s.taperEnd;
  if (taperSum > 1.0) {
    s.taperStart /= taperSum;
    s.taperEnd /= taperSum;
  }
  s.oneMinusTaperEnd = 1.0 - s.taperEnd;
  s.taperShape = in.taperShape;

  // Width.
  s.startWidth = in.startWidth / 100.0;
  s.endWidth = in.endWidth / 100.0;
  s.widthDelta = s.endWidth - s.startWidth;
}

// Bank, surface, shading, depth and opacity.
void DeriveLook(const LWD_RenderInputs& in, LWD_RenderSettings& s) {
  // Bank and surface.
  s.bankAngle = FixedDegreesToRadians(in.bank);
  s.bankAbsCos = std::fabs(std::cos(s.bankAngle));
  s.autoBank = in.autoBank / 100.0;
  s.autoBankAngle = s.autoBank * kHalfPi;
  s.bankFalloff = std::max(kMinBankFalloff, in.bankFalloff / 100.0);
  s.surface = in.surface;
  s.flatPosition = in.flatPosition / 100.0;
  s.flatHalfWidth = in.flatWidth / 100.0 * 0.5;

  // Shading.
  s.shading = in.shading / 100.0;
  AngleToDirection(in.lightDirection, &s.lightDirX, &s.lightDirY);

  // Depth.
  s.depth = in.depth * s.downsampleScale;
  s.depthSteps = s.depth <= kDepthOff ? 0
                                      : static_cast<std::int32_t>(std::min<double>(
                                            kMaxDepthSteps, std::ceil(s.depth / kDepthSpacing)));
  AngleToDirection(in.depthDirection, &s.depthDirX, &s.depthDirY);
  s.depthShade = in.depthShade / 100.0;
  s.depthShadeFactor = 1.0 - s.depthShade;

  // Opacity.
  s.opacity = in.opacity / 100.0;
}

}  // namespace

LWD_RenderSettings DeriveRenderSettings(const LWD_RenderInputs& in, double pathLength) {
  LWD_RenderSettings s;
  DeriveOutputAndSource(in, s);
  DeriveRange(in, pathLength, s);
  DeriveWidth(in, s);
  DeriveLook(in, s);
  ChooseSampleStep(s);
  return s;
}

void ChooseSampleStep(LWD_RenderSettings& s) {
  s.baseStep = s.quality == LWD_QUALITY_HIGH ? kHighStep : kNormalStep;
  const double estimate = (s.thicknessClamped / s.baseStep) * (s.visibleLength / s.baseStep);
  s.stepScale = estimate > kSampleBudget ? std::sqrt(estimate / kSampleBudget) : 1.0;
  s.sampleStep = s.baseStep * s.stepScale;
  const double steps = s.visibleLength / s.sampleStep;
  // Nothing is drawn below 0.5 px of visible length; a length too long for the host's progress
  // count is walked up to that count instead of converting out of range.
  if (!(steps > 0.0)) {
    s.alongSteps = 0;
  } else if (steps >= kMaxAlongSteps) {
    s.alongSteps = static_cast<std::int32_t>(kMaxAlongSteps);
  } else {
    s.alongSteps = static_cast<std::int32_t>(steps);
  }
}

double MaxWidthFactor(const LWD_RenderSettings& s) {
  double factor = std::max(s.startWidth, s.endWidth);
  factor *= s.autoBank > 0.0 ? 1.0 : s.bankAbsCos;
  if (!s.widthProfile.empty()) {
    double largest = 0.0;
    for (double v : s.widthProfile) {
      largest = std::max(largest, v);
    }
    factor *= largest;
  }
  if (s.curve != nullptr) {
    double largest = 0.0;
    for (int k = 0; k <= kCurveBoundSteps; ++k) {
      largest = std::max(largest, CurveEval(s.curve, k * kCurveBoundStep));
    }
    factor *= largest;
  }
  return factor;
}

LWD_BoundsScan StartBoundsScan(const LWD_RenderSettings& s) {
  return {static_cast<double>(s.outputWidth), static_cast<double>(s.outputHeight), 0.0, 0.0};
}

void GrowBoundsScan(LWD_BoundsScan& scan, double px, double py, double margin) {
  if (px - margin < scan.minX) {
    scan.minX = std::floor(px - margin);
  }
  if (px + margin > scan.maxX) {
    scan.maxX = std::ceil(px + margin);
  }
  if (py - margin < scan.minY) {
    scan.minY = std::floor(py - margin);
  }
  if (py + margin > scan.maxY) {
    scan.maxY = std::ceil(py + margin);
  }
}

void FinishBoundsScan(const LWD_BoundsScan& scan, LWD_RenderSettings& s) {
  // Clipping to [0, output size] first keeps every value in range of the 32-bit box.
  const auto clip = [](double v, std::int32_t size) {
    return static_cast<std::int32_t>(std::min<double>(std::max(v, 0.0), size));
  };
  s.boxX0 = clip(scan.minX, s.outputWidth);
  s.boxY0 = clip(scan.minY, s.outputHeight);
  s.boxX1 = clip(scan.maxX, s.outputWidth);
  s.boxY1 = clip(scan.maxY, s.outputHeight);
  s.boxWidth = s.boxX1 - s.boxX0;
  s.boxHeight = s.boxY1 - s.boxY0;
}

}  // namespace lwd
