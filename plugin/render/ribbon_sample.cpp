#include "render/ribbon_sample.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "curve/curve_data.h"

namespace lwd {

namespace {

constexpr double kMinDirection = 1e-9;  // a shorter tangent has no usable normal
constexpr double kMinWidth = 0.25;      // px: narrower cross-sections are not drawn
constexpr double kMaxGapSteps = 4.0;    // a jump beyond 4 steps breaks continuity (a seam)
constexpr double kMinSpacingSteps = 0.25;
constexpr int kMaxFan = 512;  // cross-sections fanned around one turn at most
// A flat ribbon facing the viewer is lit as if tilted by 35 degrees.
constexpr double kFlatMinTilt = 0.6108652381980153;
// A fan count or a cross-section's point count M draws only while it fits a 32-bit signed
// integer, that is while it stays below 2^31.
constexpr double kCountLimit = 2147483648.0;

double TaperFactor(const LWD_RenderSettings& s, double t) {
  double k = 1.0;
  if (s.taperStart > 0.0 && t < s.taperStart) {
    k = t / s.taperStart;
  }
  if (s.taperEnd > 0.0 && t > s.oneMinusTaperEnd) {
    k = std::min(k, (1.0 - t) / s.taperEnd);
  }
  k = std::max(0.0, k);
  if (s.taperShape == LWD_TAPER_SMOOTH) {
    k = k * k * (3.0 - 2.0 * k);
  }
  return k;
}

double ProfileFactor(const LWD_RenderSettings& s, double t) {
  const std::vector<double>& profile = s.widthProfile;
  if (profile.empty()) {
    return 1.0;
  }
  const int n = static_cast<int>(profile.size());
  const double x = std::min(1.0, std::max(0.0, t)) * (n - 1);
  const int i = static_cast<int>(x);
  if (i < n - 1) {
    const double f = x - i;
    return std::max(0.0, (1.0 - f) * profile[i] + f * profile[i + 1]);
  }
  return profile[n - 1];
}

// The bank angle at width position t and the factor it narrows the ribbon by. Auto Bank keeps a
// flat zone around Flat Position and twists outside it, with opposite signs before and after,
// reaching the full twist over Bank Falloff.
struct BankAngle {
  double beta;
  double factor;
};

BankAngle BankAt(const LWD_RenderSettings& s, double t) {
  if (!(s.autoBank > 0.0)) {
    return {s.bankAngle, s.bankAbsCos};
  }
  const double dist = std::fabs(t - s.flatPosition);
  double f = 0.0;
  if (dist > s.flatHalfWidth) {
    f = std::min(1.0, (dist - s.flatHalfWidth) / s.bankFalloff);
    f = f * f * (3.0 - 2.0 * f);
  }
  double a = f * s.autoBankAngle;
  if (t < s.flatPosition) {
    a = -a;
  }
  const double beta = s.bankAngle + a;
  return {beta, std::fabs(std::cos(beta))};
}

// The gap from the previous position: capped, it is the path this cross-section stands for; a
// gap beyond four steps is a seam.
void SpacingFrom(const LWD_WalkState& st, const LWD_SpinePoint& p, double step, double* spacing,
                 bool* continuous) {
  if (!st.prevPositionValid) {
    return;
  }
  const double dx = p.x - st.prevX;
  const double dy = p.y - st.prevY;
  const double gap = std::sqrt(dx * dx + dy * dy);
  *spacing = std::min(kMaxGapSteps * step, std::max(kMinSpacingSteps * step, gap));
  *continuous = gap <= kMaxGapSteps * step;
}

}  // namespace

bool MapAlongPath(const LWD_RenderSettings& s, double arc, double* alongCoord, double* t) {
  const double d = arc - s.offsetLength;
  if (s.fitMode == LWD_FIT_TILE) {
    double c = std::fmod(d, s.sourceAlong);
    if (c < 0.0) {
      c += s.sourceAlong;
    }
    *alongCoord = c;
    *t = arc / s.pathLength;
    return true;
  }
  if (s.fitMode == LWD_FIT_SEGMENT) {
    const double u = (d - s.segmentStart) / s.segmentLength;
    if (u < 0.0 || u > 1.0) {
      return false;
    }
    *alongCoord = u * s.sourceAlong;
    *t = u;
    return true;
  }
  const double u = d / s.pathLength;
  if (u < 0.0 || u > 1.0) {
    return false;
  }
  *alongCoord = u * s.sourceAlong;
  *t = arc / s.pathLength;
  return true;
}

LWD_SampleOutcome PrepareRibbonSample(const LWD_RenderSettings& s, const LWD_SpinePoint& p,
                                      LWD_WalkState& st, LWD_RibbonSample* out) {
  const double step = s.sampleStep;

  // How much path this cross-section stands for, and whether it continues the last one.
  double spacing = step;
  bool continuous = false;
  SpacingFrom(st, p, step, &spacing, &continuous);

  // Unit normal, to the right of the direction of travel on screen (y down).
  const double tangent = std::sqrt(p.tx * p.tx + p.ty * p.ty);
  if (tangent < kMinDirection) {
    return LWD_SampleOutcome::kSkipped;
  }
  const double nx = -p.ty / tangent;
  const double ny = p.tx / tangent;

  const double taper = TaperFactor(s, p.t);

  const BankAngle bank = BankAt(s, p.t);
  const double beta = bank.beta;
  const double bankFactor = bank.factor;

  const double width = (s.startWidth + s.widthDelta * p.t) * taper * s.thicknessClamped *
                       bankFactor * ProfileFactor(s, p.t) * CurveEval(s.curve, p.t);
  if (!(width >= kMinWidth)) {
    return LWD_SampleOutcome::kSkipped;
  }

  // Turn fan: where the normal turned since the last cross-section, the outer edge moved by
  // |dphi| x W / 2; fill that arc with extra cross-sections one step apart.
  //
  //        N_n = N
  //       /  N_k (k < n), weights grow with the distance from the centre line
  //      / /
  //     o----- Np
  double dphi = 0.0;
  if (continuous && st.prevNormalValid) {
    dphi = std::atan2(st.prevNormalX * ny - st.prevNormalY * nx,
                      st.prevNormalX * nx + st.prevNormalY * ny);
  }
  // The next fan is measured from this sample's own normal.
  st.prevNormalX = nx;
  st.prevNormalY = ny;
  st.prevNormalValid = true;

  const double turn = std::fabs(dphi);
  int fan = 0;
  double fanStep = 0.0;
  if (turn * width * 0.5 > step) {
    const double c = turn * width * 0.5 / step;
    if (!(c < kCountLimit)) {
      return LWD_SampleOutcome::kNothingToDraw;
    }
    fan = std::min(static_cast<int>(c), kMaxFan);
    fanStep = turn / (fan + 1);
  }
  // Across: a width whose M does not fit 32 bits draws nothing.
  const double across = width / step;
  if (!(across < kCountLimit)) {
    return LWD_SampleOutcome::kNothingToDraw;
  }

  double tau = beta;
  if (std::fabs(beta) < kFlatMinTilt) {
    tau = beta >= 0.0 ? kFlatMinTilt : -kFlatMinTilt;
  }
  out->x = p.x;
  out->y = p.y;
  out->nx = nx;
  out->ny = ny;
  out->dphi = dphi;
  out->fanStep = fanStep;
  out->width = width;
  out->spacing = spacing;
  out->alongCoord = p.alongCoord;
  out->sinTau = std::sin(tau);
  out->cosTau = std::cos(tau);
  out->points = static_cast<std::int32_t>(across);
  out->fan = fan;
  return LWD_SampleOutcome::kDrawn;
}

}  // namespace lwd
