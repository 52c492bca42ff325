#include "render/ribbon_bounds.h"

#include <algorithm>
#include <cstdint>

#include "render/walk_skip.h"

namespace lwd {

namespace {

constexpr double kScanSpacing = 2.0;  // px of arc length between two scanned spine points
constexpr double kMarginSlack = 2.0;  // px added to the margin for the splat's footprint
// The host's abort is asked once per this many scanned points (16 km of path): a scan of a path
// billions of pixels long still ends promptly on a cancel, a usual one never asks.
constexpr std::int64_t kPointsPerAbort = 8192;

// How far (px) a point at (px, py) grown by `margin` lies outside the output; negative inside.
double GapToOutput(const LWD_RenderSettings& s, double px, double py, double margin) {
  return std::max(
      {-(px + margin), px - margin - s.outputWidth, -(py + margin), py - margin - s.outputHeight});
}

}  // namespace

PF_Err EstimateRibbonBounds(LWD_RenderHost& host, LWD_RenderSettings& settings) {
  LWD_RenderSettings& s = settings;
  s.boundsMargin = 0.5 * s.thicknessClamped * s.maxWidthFactor + s.depth + kMarginSlack;
  LWD_BoundsScan scan = StartBoundsScan(s);
  // A count past 2^63 does not fit the loop's integer. x86 has always turned such a count (and
  // NaN) into INT64_MIN, so a path that long was scanned not at all and its frame stays empty:
  // kept so, but without the undefined conversion.
  const double halfLength = 0.5 * s.visibleLength;
  const std::int64_t lastK =
      halfLength > -0x1p63 && halfLength < 0x1p63 ? static_cast<std::int64_t>(halfLength) + 1 : -1;
  std::int64_t scanned = 0;
  for (std::int64_t k = 0; k <= lastK; ++k) {
    const double arc = std::min(s.visibleEnd, s.visibleStart + kScanSpacing * k);
    LWD_SpinePosition spine;
    if (const PF_Err err = host.EvalSpine(arc, &spine); err != PF_Err_NONE) {
      return err;
    }
    const double px = spine.x + s.outputOriginX;
    const double py = spine.y + s.outputOriginY;
    GrowBoundsScan(scan, px, py, s.boundsMargin);
    // Points far outside the output cannot bring the box anything the points near it do not:
    // the scan jumps over the stretch of path that surely stays out, up to a break in the path.
    std::int64_t out = 0;
    if (const PF_Err err = PointsToSkip(host, s, GapToOutput(s, px, py, s.boundsMargin), arc,
                                        kScanSpacing, 1, &out);
        err != PF_Err_NONE) {
      return err;
    }
    k += out;
    if (++scanned % kPointsPerAbort == 0) {
      if (const PF_Err err = host.Abort(); err != PF_Err_NONE) {
        return err;
      }
    }
  }
  FinishBoundsScan(scan, s);
  return PF_Err_NONE;
}

}  // namespace lwd
