// The per-frame record of derived render values, and the plain functions that derive it from the
// raw parameter values. Nothing here talks to the host: the render reads the parameters into
// LWD_RenderInputs once, and everything after that is arithmetic a unit test can check.
#pragma once

#include <cstdint>
#include <vector>

#include "ae_basic_types.h"
#include "curve/curve_data.h"
#include "render/render_inputs.h"

namespace lwd {

struct LWD_RenderSettings {
  // Host and output.
  double downsampleScale = 1.0;
  double outputOriginX = 0.0;
  double outputOriginY = 0.0;
  std::int32_t outputWidth = 0;
  std::int32_t outputHeight = 0;
  bool deepColor = false;
  A_long quality = LWD_QUALITY_NORMAL;

  // Source.
  bool sourceEmpty = true;
  A_long stretchAlong = LWD_STRETCH_WIDTH;
  double sourceAlong = 100.0;
  double sourceAcross = 100.0;

  // Spine.
  double pathLength = 0.0;
  double smoothRadius = 0.0;

  // Thickness.
  double thicknessParam = 0.0;
  double thickness = 0.0;
  double thicknessClamped = 1.0;

  // Range along the path.
  A_long fitMode = LWD_FIT_STRETCH;
  double trimStart = 0.0;
  double trimEnd = 1.0;
  double offsetLength = 0.0;
  double segmentLength = 0.0;
  double segmentStart = 0.0;
  double visibleStart = 0.0;
  double visibleEnd = 0.0;
  double visibleLength = 0.0;

  // Taper.
  double taperStart = 0.0;
  double taperEnd = 0.0;
  double oneMinusTaperEnd = 1.0;
  A_long taperShape = LWD_TAPER_SMOOTH;

  // Width.
  double startWidth = 1.0;
  double endWidth = 1.0;
  double widthDelta = 0.0;
  std::vector<double> widthProfile;      // empty, or kWidthProfileBins entries in [0, 1]
  const LWD_CurveData* curve = nullptr;  // the locked Width Graph value, or none

  // Bank and surface.
  double bankAngle = 0.0;
  double bankAbsCos = 1.0;
  double autoBank = 0.0;
  double autoBankAngle = 0.0;
  double bankFalloff = 0.35;
  A_long surface = LWD_SURFACE_TUBE;
  double flatPosition = 0.5;
  double flatHalfWidth = 0.1;

  // Shading.
  double shading = 0.0;
  double lightDirX = 0.0;
  double lightDirY = -1.0;

  // Depth.
  double depth = 0.0;
  std::int32_t depthSteps = 0;
  double depthDirX = 0.0;
  double depthDirY = 1.0;
  double depthShade = 0.45;
  double depthShadeFactor = 0.55;

  // Opacity.
  double opacity = 1.0;

  // Sampling and bounds.
  double baseStep = 0.5;
  double stepScale = 1.0;
  double sampleStep = 0.5;
  std::int32_t alongSteps = 0;
  double maxWidthFactor = 1.0;
  double boundsMargin = 0.0;
  std::int32_t boxX0 = 0;
  std::int32_t boxY0 = 0;
  std::int32_t boxX1 = 0;
  std::int32_t boxY1 = 0;
  std::int32_t boxWidth = 0;
  std::int32_t boxHeight = 0;
};

// Degrees in 16.16 fixed point to radians.
double FixedDegreesToRadians(PF_Fixed value);

// Every field that follows from the raw values and the spine's length alone: host and output,
// source, thickness, range, taper, width, bank and surface, shading, depth, opacity, the smoothing
// radius and the sample step. The width profile, the curve, the width bound and the box are left
// for the render to fill.
LWD_RenderSettings DeriveRenderSettings(const LWD_RenderInputs& in, double pathLength);

// baseStep, stepScale, sampleStep and alongSteps from quality, thicknessClamped and visibleLength.
void ChooseSampleStep(LWD_RenderSettings& s);

// The largest factor the local width can be multiplied by: widths, bank, profile and curve.
double MaxWidthFactor(const LWD_RenderSettings& s);

// Half-open box from the running extremes of the bounds scan, clipped to the output. The
// extremes stay in double until clipped, so a far-away or non-finite point never converts out of
// range.
struct LWD_BoundsScan {
  double minX, minY, maxX, maxY;
};
LWD_BoundsScan StartBoundsScan(const LWD_RenderSettings& s);
void GrowBoundsScan(LWD_BoundsScan& scan, double px, double py, double margin);
void FinishBoundsScan(const LWD_BoundsScan& scan, LWD_RenderSettings& s);

}  // namespace lwd
