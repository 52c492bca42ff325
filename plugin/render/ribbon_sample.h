// The ribbon as plain data: what the walk along the path works out for one sample (its place,
// normal, width, turn fan and spacing), ready to be drawn without the host. The walk fills these
// in path order; the raster draws them (render/ribbon_raster.h).
#pragma once

#include <cstdint>

#include "render/render_settings.h"

namespace lwd {

// One sample that draws: the cross-sections of its turn fan and its own.
struct LWD_RibbonSample {
  double x, y;            // output position of the spine point
  double nx, ny;          // unit normal, to the right of the direction of travel
  double dphi;            // signed turn from the previous normal, 0 without a fan
  double fanStep;         // angle between two fan normals
  double width;           // W, px
  double spacing;         // path length this sample's own cross-section stands for
  double alongCoord;      // texture position along the path, source px
  double sinTau, cosTau;  // flat tilt
  std::int64_t points;    // M: the cross-section has M + 2 points
  std::int32_t fan;       // n fan cross-sections before the sample's own
  // The points drawn, [firstPoint, endPoint), counted through the fan cross-sections and then the
  // sample's own, M + 2 to each. A sample too big to draw between two polls of the host is drawn
  // as consecutive pieces.
  std::int64_t firstPoint = 0;
  std::int64_t endPoint = INT64_MAX;
};

// Loop state carried from one evaluated sample to the next.
struct LWD_WalkState {
  double prevX = 0.0;
  double prevY = 0.0;
  bool prevPositionValid = false;
  double prevNormalX = 0.0;
  double prevNormalY = 0.0;
  bool prevNormalValid = false;
};

// A sample the path has been evaluated at: output position, unnormalised direction, texture
// position along the path and width position t.
struct LWD_SpinePoint {
  double x, y;
  double tx, ty;
  double alongCoord;
  double t;
};

enum class LWD_SampleOutcome {
  kSkipped,        // no direction or too narrow: nothing drawn, the previous normal kept
  kNothingToDraw,  // reached the fan stage, yet draws nothing (a count beyond 32 bits)
  kDrawn,          // reached the fan stage and `out` holds what to draw
};

// Texture position along the path and width position t of arc length `arc`. False when the
// sample lies outside the texture (Stretch, Segment) and is skipped before evaluation.
bool MapAlongPath(const LWD_RenderSettings& s, double arc, double* alongCoord, double* t);

// Spacing, normal, taper, bank, width, fan and flat tilt of one evaluated sample; updates the
// previous normal of `state` (the previous position is the caller's). Pure arithmetic.
LWD_SampleOutcome PrepareRibbonSample(const LWD_RenderSettings& s, const LWD_SpinePoint& p,
                                      LWD_WalkState& state, LWD_RibbonSample* out);

}  // namespace lwd
