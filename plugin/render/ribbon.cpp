#include "render/ribbon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "curve/curve_data.h"

namespace {

constexpr double kMinDirection = 1e-9;  // a shorter tangent has no usable normal
constexpr double kMinWidth = 0.25;      // px: narrower cross-sections are not drawn
constexpr double kMaxGapSteps = 4.0;    // a jump beyond 4 steps breaks continuity (a seam)
constexpr double kMinSpacingSteps = 0.25;
constexpr int kMaxFan = 512;  // cross-sections fanned around one turn at most
// A flat ribbon facing the viewer is lit as if tilted by 35 degrees.
constexpr double kFlatMinTilt = 0.6108652381980153;
constexpr double kHalfPi = 1.5707963267948966;  // a tube's surface turns from -90 to +90 degrees
constexpr double kLightComponent = 0.707;       // light comes in at 45 degrees to the screen
constexpr std::int64_t kPollMask = 63;          // the host is polled every 64 samples
// A fan count or a cross-section's point count M draws only while it fits a 32-bit signed
// integer, that is while it stays below 2^31.
constexpr double kCountLimit = 2147483648.0;
constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
constexpr double kMaxIndex = std::numeric_limits<std::int32_t>::max() - 1;

constexpr LWD_Color kOpaqueWhite = {1.0f, 1.0f, 1.0f, 1.0f};

// Adds one source tap, channel / full scale x tap weight, rounded to float.
template <typename Pixel>
void AddSourceTap(LWD_Color& sum, const Pixel& p, double scale, double wt) {
  sum.red += static_cast<float>(p.red / scale * wt);
  sum.green += static_cast<float>(p.green / scale * wt);
  sum.blue += static_cast<float>(p.blue / scale * wt);
  sum.alpha += static_cast<float>(p.alpha / scale * wt);
}

template <typename Pixel>
LWD_Color SampleRows(const PF_LayerDef& source, std::int64_t cx0, std::int64_t cx1,
                     std::int64_t cy0, std::int64_t cy1, double fx, double fy, double scale) {
  LWD_Color sum = {0.0f, 0.0f, 0.0f, 0.0f};
  const auto* base = reinterpret_cast<const char*>(source.data);
  const auto row = [&](std::int64_t r) {
    return reinterpret_cast<const Pixel*>(base + r * static_cast<std::int64_t>(source.rowbytes));
  };
  if (1.0 - fy > 0.0) {
    const Pixel* p = row(cy0);
    const double w00 = (1.0 - fx) * (1.0 - fy);
    if (w00 > 0.0) {
      AddSourceTap(sum, p[cx0], scale, w00);
    }
    const double w10 = fx * (1.0 - fy);
    if (w10 > 0.0) {
      AddSourceTap(sum, p[cx1], scale, w10);
    }
  }
  if (fy > 0.0) {
    const Pixel* p = row(cy1);
    const double w01 = (1.0 - fx) * fy;
    if (w01 > 0.0) {
      AddSourceTap(sum, p[cx0], scale, w01);
    }
    const double w11 = fx * fy;
    if (w11 > 0.0) {
      AddSourceTap(sum, p[cx1], scale, w11);
    }
  }
  return sum;
}

// Loop state carried from one sample to the next.
struct WalkState {
  double prevX = 0.0;
  double prevY = 0.0;
  bool prevPositionValid = false;
  double prevNormalX = 0.0;
  double prevNormalY = 0.0;
  bool prevNormalValid = false;
};

// One sample's place on the path and in the texture.
struct Sample {
  std::int64_t index;
  double x, y;    // output position
  double tx, ty;  // direction, not normalised
  double alongCoord;
  double t;  // position for the width rules
};

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

// The texture position along the path and the width position t of arc length s. False when the
// sample lies outside the texture (Stretch, Segment) and is skipped.
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

struct Raster {
  PF_InData* inData;
  const LWD_RenderSettings& s;
  const PF_LayerDef& source;
  LWD_Accum* accum;
  LWD_Accum* depthAccum;

  // Depth copies, shading and the main deposit of one point.
  void DepositPoint(double px, double py, double nx, double ny, double v, double sinTau,
                    double cosTau, LWD_Color colour, double weight) const {
    if (s.depthSteps > 0 && depthAccum != nullptr) {
      const double f = s.depthShadeFactor;
      const LWD_Color dark = {static_cast<float>(colour.red * f),
                              static_cast<float>(colour.green * f),
                              static_cast<float>(colour.blue * f), colour.alpha};
      for (std::int32_t m = 1; m <= s.depthSteps; ++m) {
        const double e = s.depth * m / s.depthSteps;
        SplatBilinear(depthAccum, s.boxX0, s.boxY0, s.boxWidth, s.boxHeight, px + e * s.depthDirX,
                      py + e * s.depthDirY, dark, weight);
      }
    }
    if (s.shading > 0.0) {
      double sinTheta = sinTau;
      double cosTheta = cosTau;
      if (s.surface == LWD_SURFACE_TUBE) {
        // Across a tube the surface turns from facing -N, through the viewer, to facing +N.
        const double theta = (2.0 * v - 1.0) * kHalfPi;
        sinTheta = std::sin(theta);
        cosTheta = std::cos(theta);
      }
      const double facing = nx * s.lightDirX + ny * s.lightDirY;
      const double lambda =
          std::max(0.0, kLightComponent * cosTheta + kLightComponent * sinTheta * facing);
      const double shade = 1.0 - s.shading * (1.0 - lambda);
      colour.red = static_cast<float>(colour.red * shade);
      colour.green = static_cast<float>(colour.green * shade);
      colour.blue = static_cast<float>(colour.blue * shade);
    }
    SplatBilinear(accum, s.boxX0, s.boxY0, s.boxWidth, s.boxHeight, px, py, colour, weight);
  }

  // Steps C to N of one evaluated sample. Returns the host's answer to abort/progress.
  PF_Err DrawSample(const Sample& smp, WalkState& st) const {
    const double step = s.sampleStep;

    // How much path this cross-section stands for, and whether it continues the last one.
    double spacing = step;
    bool continuous = false;
    if (st.prevPositionValid) {
      const double dx = smp.x - st.prevX;
      const double dy = smp.y - st.prevY;
      const double gap = std::sqrt(dx * dx + dy * dy);
      spacing = std::min(kMaxGapSteps * step, std::max(kMinSpacingSteps * step, gap));
      continuous = gap <= kMaxGapSteps * step;
    }

    // Unit normal, to the right of the direction of travel on screen (y down).
    const double tangent = std::sqrt(smp.tx * smp.tx + smp.ty * smp.ty);
    if (tangent < kMinDirection) {
      return PF_Err_NONE;
    }
    const double nx = -smp.ty / tangent;
    const double ny = smp.tx / tangent;

    const double taper = TaperFactor(s, smp.t);

    // Bank: Auto Bank keeps a flat zone around Flat Position and twists outside it, with
    // opposite signs before and after, reaching the full twist over Bank Falloff.
    double beta = s.bankAngle;
    double bankFactor = s.bankAbsCos;
    if (s.autoBank > 0.0) {
      const double dist = std::fabs(smp.t - s.flatPosition);
      double f = 0.0;
      if (dist > s.flatHalfWidth) {
        f = std::min(1.0, (dist - s.flatHalfWidth) / s.bankFalloff);
        f = f * f * (3.0 - 2.0 * f);
      }
      double a = f * s.autoBankAngle;
      if (smp.t < s.flatPosition) {
        a = -a;
      }
      beta = s.bankAngle + a;
      bankFactor = std::fabs(std::cos(beta));
    }

    const double width = (s.startWidth + s.widthDelta * smp.t) * taper * s.thicknessClamped *
                         bankFactor * ProfileFactor(s, smp.t) * CurveEval(s.curve, smp.t);
    if (!(width >= kMinWidth)) {
      return PF_Err_NONE;
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
    const double turn = std::fabs(dphi);
    int fan = 0;
    double fanStep = 0.0;
    bool drawable = true;
    if (turn * width * 0.5 > step) {
      const double c = turn * width * 0.5 / step;
      if (!(c < kCountLimit)) {
        drawable = false;
      } else {
        fan = std::min(static_cast<int>(c), kMaxFan);
        fanStep = turn / (fan + 1);
      }
    }
    // Across: a width whose M does not fit 32 bits draws nothing.
    const double across = width / step;
    if (!(across < kCountLimit)) {
      drawable = false;
    }

    if (drawable) {
      double tau = beta;
      if (std::fabs(beta) < kFlatMinTilt) {
        tau = beta >= 0.0 ? kFlatMinTilt : -kFlatMinTilt;
      }
      const double sinTau = std::sin(tau);
      const double cosTau = std::cos(tau);
      // M + 2 points; counted in 64 bits so j never overflows when M is the largest 32-bit value.
      const std::int64_t points = static_cast<std::int32_t>(across);

      for (int k = 0; k <= fan; ++k) {
        double kx = nx;
        double ky = ny;
        if (k < fan) {
          const double alpha = -dphi * (fan - k) / (fan + 1);
          const double ca = std::cos(alpha);
          const double sa = std::sin(alpha);
          kx = nx * ca - ny * sa;
          ky = nx * sa + ny * ca;
        }
        for (std::int64_t j = 0; j <= points + 1; ++j) {
          const double a = std::min(width, j * step);
          const double off = -width / 2.0 + a;
          const double v = a / width;
          const double span = k < fan ? std::fabs(off) * fanStep : spacing;
          const double weight = span * step;
          const double vTex = s.thicknessParam < 0.0 ? 1.0 - v : v;
          const double acrossCoord = vTex * s.sourceAcross;
          double sx = smp.alongCoord;
          double sy = acrossCoord;
          if (s.stretchAlong != LWD_STRETCH_WIDTH) {
            sx = acrossCoord;
            sy = smp.alongCoord;
          }
          const LWD_Color colour = s.sourceEmpty ? kOpaqueWhite : SampleSource(source, sx, sy);
          if (colour.alpha <= 0.0f) {
            continue;
          }
          DepositPoint(smp.x + kx * off, smp.y + ky * off, kx, ky, v, sinTau, cosTau, colour,
                       weight);
        }
      }
    }

    // The next fan is measured from this sample's own normal.
    st.prevNormalX = nx;
    st.prevNormalY = ny;
    st.prevNormalValid = true;

    PF_Err err = PF_Err_NONE;
    if ((smp.index & kPollMask) == 0) {
      if (inData->inter.abort != nullptr) {
        err = inData->inter.abort(inData->effect_ref);
      }
      if (err == PF_Err_NONE && inData->inter.progress != nullptr) {
        err = inData->inter.progress(inData->effect_ref, static_cast<A_long>(smp.index),
                                     static_cast<A_long>(s.alongSteps) + 1);
      }
    }
    return err;
  }
};

}  // namespace

LWD_Color SampleSource(const PF_LayerDef& source, double sx, double sy) {
  const LWD_Color none = {0.0f, 0.0f, 0.0f, 0.0f};
  if (source.data == nullptr || source.width <= 0 || source.height <= 0) {
    return none;
  }
  // Texel centres lie at integer + 0.5.
  const double xs = sx - 0.5;
  const double ys = sy - 0.5;
  const double xFloor = std::floor(xs);
  const double yFloor = std::floor(ys);
  if (!(xFloor >= kMinIndex && xFloor <= kMaxIndex && yFloor >= kMinIndex && yFloor <= kMaxIndex)) {
    return none;
  }
  const std::int64_t x0 = static_cast<std::int64_t>(xFloor);
  const std::int64_t y0 = static_cast<std::int64_t>(yFloor);
  const double fx = xs - xFloor;
  const double fy = ys - yFloor;
  const std::int64_t lastCol = source.width - 1;
  const std::int64_t lastRow = source.height - 1;
  const std::int64_t cx0 = std::clamp<std::int64_t>(x0, 0, lastCol);
  const std::int64_t cx1 = std::clamp<std::int64_t>(x0 + 1, 0, lastCol);
  const std::int64_t cy0 = std::clamp<std::int64_t>(y0, 0, lastRow);
  const std::int64_t cy1 = std::clamp<std::int64_t>(y0 + 1, 0, lastRow);
  if ((source.world_flags & PF_WorldFlag_DEEP) != 0) {
    return SampleRows<PF_Pixel16>(source, cx0, cx1, cy0, cy1, fx, fy, PF_MAX_CHAN16);
  }
  return SampleRows<PF_Pixel>(source, cx0, cx1, cy0, cy1, fx, fy, PF_MAX_CHAN8);
}

PF_Err RasterizeRibbon(PF_InData* in_data, AEGP_SuiteHandler& suites,
                       const LWD_RenderSettings& settings, PF_PathOutlinePtr outline,
                       LWD_PathWalk& walk, const PF_LayerDef& source, LWD_Accum* accum,
                       LWD_Accum* depthAccum) {
  const LWD_RenderSettings& s = settings;
  const Raster raster{in_data, s, source, accum, depthAccum};
  WalkState state;
  PF_Err err = PF_Err_NONE;
  // alongSteps + 2 samples; the last (and with an exact multiple also the one before) lies on
  // visibleEnd.
  const std::int64_t lastSample = static_cast<std::int64_t>(s.alongSteps) + 1;
  for (std::int64_t i = 0; i <= lastSample; ++i) {
    const double arc = std::min(s.visibleEnd, s.visibleStart + i * s.sampleStep);
    Sample smp{};
    smp.index = i;
    if (!MapAlongPath(s, arc, &smp.alongCoord, &smp.t)) {
      continue;
    }
    double x = 0.0;
    double y = 0.0;
    err = s.smoothRadius > 0.0
              ? EvalPathSmoothed(in_data, suites, outline, walk, arc, s.smoothRadius, &x, &y,
                                 &smp.tx, &smp.ty)
              : EvalPathExact(in_data, suites, outline, walk, arc, &x, &y, &smp.tx, &smp.ty);
    if (err != PF_Err_NONE) {
      break;
    }
    smp.x = x + s.outputOriginX;
    smp.y = y + s.outputOriginY;
    err = raster.DrawSample(smp, state);
    state.prevX = smp.x;
    state.prevY = smp.y;
    state.prevPositionValid = true;
    if (err != PF_Err_NONE) {
      break;
    }
  }
  return err;
}
