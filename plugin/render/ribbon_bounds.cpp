#include "render/ribbon_bounds.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr double kScanSpacing = 2.0;  // px of arc length between two scanned spine points
constexpr double kMarginSlack = 2.0;  // px added to the margin for the splat's footprint
// The host's abort is asked once per this many scanned points (16 km of path): a scan of a path
// billions of pixels long still ends promptly on a cancel, a usual one never asks.
constexpr std::int64_t kPointsPerAbort = 8192;

}  // namespace

PF_Err EstimateRibbonBounds(PF_InData* in_data, AEGP_SuiteHandler& suites,
                            PF_PathOutlinePtr outline, LWD_PathWalk& walk,
                            LWD_RenderSettings& settings) {
  LWD_RenderSettings& s = settings;
  s.boundsMargin = 0.5 * s.thicknessClamped * s.maxWidthFactor + s.depth + kMarginSlack;
  LWD_BoundsScan scan = StartBoundsScan(s);
  const auto lastK = static_cast<std::int64_t>(0.5 * s.visibleLength) + 1;
  std::int64_t scanned = 0;
  for (std::int64_t k = 0; k <= lastK; ++k) {
    const double arc = std::min(s.visibleEnd, s.visibleStart + kScanSpacing * k);
    double x = 0.0;
    double y = 0.0;
    double tx = 0.0;
    double ty = 0.0;
    const PF_Err err = s.smoothRadius > 0.0
                           ? EvalPathSmoothed(in_data, suites, outline, walk, arc, s.smoothRadius,
                                              &x, &y, &tx, &ty)
                           : EvalPathExact(in_data, suites, outline, walk, arc, &x, &y, &tx, &ty);
    if (err != PF_Err_NONE) {
      return err;
    }
    const double px = x + s.outputOriginX;
    const double py = y + s.outputOriginY;
    GrowBoundsScan(scan, px, py, s.boundsMargin);
    // Points far outside the output cannot bring the box anything the points near it do not:
    // the scan jumps over the stretch of path that surely stays out, up to a break in the path.
    std::int64_t out = ScanPointsOutside(s, px, py, s.boundsMargin, kScanSpacing);
    if (const PF_Err clipErr = ClipJumpToJoinedPath(in_data, suites, outline, walk, arc,
                                                    s.smoothRadius, kScanSpacing, &out);
        clipErr != PF_Err_NONE) {
      return clipErr;
    }
    k += out;
    if (++scanned % kPointsPerAbort == 0 && in_data->inter.abort != nullptr) {
      if (const PF_Err abortErr = in_data->inter.abort(in_data->effect_ref);
          abortErr != PF_Err_NONE) {
        return abortErr;
      }
    }
  }
  FinishBoundsScan(scan, s);
  return PF_Err_NONE;
}
