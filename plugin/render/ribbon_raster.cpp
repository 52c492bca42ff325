#include "render/ribbon_raster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "render/source_fetch.h"
#include "render/splat.h"

namespace lwd {

namespace {

constexpr double kHalfPi = 1.5707963267948966;  // a tube's surface turns from -90 to +90 degrees
constexpr double kLightComponent = 0.707;       // light comes in at 45 degrees to the screen
constexpr LWD_Color kOpaqueWhite = {1.0f, 1.0f, 1.0f, 1.0f};
// A splat touches the rows and columns within 1.5 px of its point; one more for safety.
constexpr double kReachSlack = 2.5;

enum class Texture { kWhite, k8, k16 };
enum class Shade { kNone, kTube, kFlat };

// The first and last depth copy m in [1, steps] whose position p + m x stepLength (one axis)
// can land in [lo, hi]; widened by one copy on each side, so rounding never drops a copy.
void CopyRange(double p, double stepLength, double lo, double hi, std::int32_t steps,
               std::int32_t* first, std::int32_t* last) {
  if (std::fabs(stepLength) < 1e-12) {
    if (p < lo || p > hi) {
      *first = 1;
      *last = 0;
    }
    return;
  }
  double a = (lo - p) / stepLength;
  double b = (hi - p) / stepLength;
  if (a > b) {
    std::swap(a, b);
  }
  if (!(b >= *first - 1.0) || !(a <= *last + 1.0)) {
    *first = 1;
    *last = 0;
    return;
  }
  *first =
      std::max<std::int32_t>(*first, static_cast<std::int32_t>(std::max(1.0, std::floor(a) - 1.0)));
  *last = std::min<std::int32_t>(
      *last, static_cast<std::int32_t>(std::min<double>(steps, std::ceil(b) + 1.0)));
}

struct TubeAngle {
  double sine = 0.0;
  double cosine = 0.0;
  bool made = false;
};

// The tube's surface angle depends only on the cross-section's width W and the point's index j:
// point j of every cross-section of the same W (fan normals, and every sample of a ribbon whose
// width does not vary) shares it, so its sine and cosine are made once per W and j.
// Points beyond the first kTubeTableSize of a cross-section (a ribbon thousands of pixels wide,
// up to 2^31 points) are worked out each time: a table that grew with them would take gigabytes.
struct TubeTable {
  static constexpr std::int64_t kTubeTableSize = std::int64_t{1} << 16;
  double width = -1.0;
  std::vector<TubeAngle> angles;
  TubeAngle beyond;

  const TubeAngle& At(double w, std::int64_t j, double v) {
    if (j >= kTubeTableSize) {
      const double theta = (2.0 * v - 1.0) * kHalfPi;
      beyond = {std::sin(theta), std::cos(theta), true};
      return beyond;
    }
    if (w != width) {
      width = w;
      for (TubeAngle& a : angles) {
        a.made = false;
      }
    }
    if (static_cast<std::size_t>(j) >= angles.size()) {
      angles.resize(static_cast<std::size_t>(j) + 1);
    }
    TubeAngle& a = angles[static_cast<std::size_t>(j)];
    if (!a.made) {
      // Across a tube the surface turns from facing -N, through the viewer, to facing +N.
      const double theta = (2.0 * v - 1.0) * kHalfPi;
      a.sine = std::sin(theta);
      a.cosine = std::cos(theta);
      a.made = true;
    }
    return a;
  }
};

template <Texture kTexture, Shade kShade, bool kDepth>
struct BandRaster {
  const LWD_RenderSettings& s;
  const PF_LayerDef& source;
  splat::Target front;
  splat::Target back;
  // The band and box in output pixels, widened by a splat's reach.
  double top, bottom, left, right;
  double depthDX, depthDY;  // the full extrusion vector
  // Copy m lies at e x depthDir from its point, e = depth x m / depthSteps: the same products for
  // every point, made once.
  const double* copyOffsetX;
  const double* copyOffsetY;
  LWD_RowSpan* spans;  // null when nobody asked

  // Widens the spans of the band's rows over a rectangle that holds every point of a sample; a
  // point's taps lie in its own cell and the next, and one more cell each way absorbs rounding.
  void MarkRows(double minX, double maxX, double minY, double maxY) const {
    const double rowLo = std::max<double>(front.rowBegin, std::floor(minY - 0.5) - front.y0 - 1.0);
    const double rowHi =
        std::min<double>(front.rowEnd - 1, std::floor(maxY - 0.5) - front.y0 + 2.0);
    const double colLo = std::max(0.0, std::floor(minX - 0.5) - front.x0 - 1.0);
    const double colHi = std::min<double>(front.w - 1, std::floor(maxX - 0.5) - front.x0 + 2.0);
    if (!(rowLo <= rowHi) || !(colLo <= colHi)) {
      return;
    }
    const auto begin = static_cast<std::int32_t>(colLo);
    const auto end = static_cast<std::int32_t>(colHi) + 1;
    const auto last = static_cast<std::int64_t>(rowHi);
    for (auto r = static_cast<std::int64_t>(rowLo); r <= last; ++r) {
      spans[r].begin = std::min(spans[r].begin, begin);
      spans[r].end = std::max(spans[r].end, end);
    }
  }

  LWD_Color Color(double sx, double sy) const {
    if constexpr (kTexture == Texture::kWhite) {
      return kOpaqueWhite;
    } else if constexpr (kTexture == Texture::k8) {
      return fetch::Fetch<PF_Pixel>(source, sx, sy);
    } else {
      return fetch::Fetch<PF_Pixel16>(source, sx, sy);
    }
  }

  void DepthCopies(double px, double py, const LWD_Color& color, double weight) const {
    const std::int32_t steps = s.depthSteps;
    std::int32_t first = 1;
    std::int32_t last = steps;
    CopyRange(py, s.depth * s.depthDirY / steps, top, bottom, steps, &first, &last);
    CopyRange(px, s.depth * s.depthDirX / steps, left, right, steps, &first, &last);
    if (first > last) {
      return;
    }
    const double* offsetX = copyOffsetX;
    const double* offsetY = copyOffsetY;
    const double f = s.depthShadeFactor;
    const LWD_Color dark = {static_cast<float>(color.red * f), static_cast<float>(color.green * f),
                            static_cast<float>(color.blue * f), color.alpha};
    const splat::WideColor wide = splat::Widen(dark);
    for (std::int32_t m = first; m <= last; ++m) {
      splat::Splat(back, px + offsetX[m], py + offsetY[m], wide, weight);
    }
  }

  // False when no point or depth copy of the sample reaches the band; marks the rows it may
  // touch otherwise. Every point of every cross-section lies within W/2 of the spine point.
  [[gnu::always_inline]] bool TouchesBand(const LWD_RibbonSample& smp) const {
    const double reach = smp.width / 2.0;
    const double minY = smp.y - reach + std::min(0.0, depthDY);
    const double maxY = smp.y + reach + std::max(0.0, depthDY);
    const double minX = smp.x - reach + std::min(0.0, depthDX);
    const double maxX = smp.x + reach + std::max(0.0, depthDX);
    if (maxY < top || minY > bottom || maxX < left || minX > right) {
      return false;
    }
    if (spans != nullptr) {
      MarkRows(minX, maxX, minY, maxY);
    }
    return true;
  }

  // The normal of fan cross-section k (of smp.fan, before the sample's own): turned back from
  // the sample's normal by the share of the turn still ahead of it.
  [[gnu::always_inline]] static void FanNormal(const LWD_RibbonSample& smp, int k, double* kx,
                                               double* ky) {
    const int fan = smp.fan;
    if (k < fan) {
      const double alpha = -smp.dphi * (fan - k) / (fan + 1);
      const double ca = std::cos(alpha);
      const double sa = std::sin(alpha);
      *kx = smp.nx * ca - smp.ny * sa;
      *ky = smp.nx * sa + smp.ny * ca;
    }
  }

  // Lambert shading of point j (at v across) of a cross-section whose normal faces the light by
  // `facing`: the tube's angle from the table, the flat tilt from the sample.
  [[gnu::always_inline]] void ShadePoint(const LWD_RibbonSample& smp, TubeTable& tube,
                                         std::int64_t j, double v, double facing,
                                         LWD_Color* color) const {
    double sinTheta = smp.sinTau;
    double cosTheta = smp.cosTau;
    if constexpr (kShade == Shade::kTube) {
      const TubeAngle& angle = tube.At(smp.width, j, v);
      sinTheta = angle.sine;
      cosTheta = angle.cosine;
    }
    const double lambda =
        std::max(0.0, kLightComponent * cosTheta + kLightComponent * sinTheta * facing);
    const double shade = 1.0 - s.shading * (1.0 - lambda);
    color->red = static_cast<float>(color->red * shade);
    color->green = static_cast<float>(color->green * shade);
    color->blue = static_cast<float>(color->blue * shade);
  }

  void Draw(const LWD_RibbonSample& smp, TubeTable& tube) const {
    if (!TouchesBand(smp)) {
      return;
    }
    const double step = s.sampleStep;
    const double width = smp.width;
    // How far the depth copies reach from their point, per axis.
    const double copiesUp = std::min(0.0, depthDY);
    const double copiesDown = std::max(0.0, depthDY);
    const double copiesLeft = std::min(0.0, depthDX);
    const double copiesRight = std::max(0.0, depthDX);
    const double halfWidth = -width / 2.0;
    const bool mirrored = s.thicknessParam < 0.0;
    const bool alongWidth = s.stretchAlong == LWD_STRETCH_WIDTH;
    const int fan = smp.fan;
    const std::int64_t perSection = smp.points + 2;
    const auto firstK = static_cast<int>(smp.firstPoint / perSection);
    const auto lastK =
        static_cast<int>(std::min<std::int64_t>(fan, (smp.endPoint - 1) / perSection));
    for (int k = firstK; k <= lastK; ++k) {
      double kx = smp.nx;
      double ky = smp.ny;
      FanNormal(smp, k, &kx, &ky);
      double facing = 0.0;
      if constexpr (kShade != Shade::kNone) {
        facing = kx * s.lightDirX + ky * s.lightDirY;
      }
      const std::int64_t sectionStart = k * perSection;
      const std::int64_t firstJ = std::max<std::int64_t>(0, smp.firstPoint - sectionStart);
      const std::int64_t endJ = std::min(perSection, smp.endPoint - sectionStart);
      for (std::int64_t j = firstJ; j < endJ; ++j) {
        const double a = std::min(width, j * step);
        const double off = halfWidth + a;
        const double py = smp.y + ky * off;
        // A point whose taps and copies all miss the band costs no fetch.
        const double px = smp.x + kx * off;
        if (py + copiesDown < top || py + copiesUp > bottom || px + copiesRight < left ||
            px + copiesLeft > right) {
          continue;
        }
        const double v = a / width;
        const double span = k < fan ? std::fabs(off) * smp.fanStep : smp.spacing;
        const double weight = span * step;
        const double vTex = mirrored ? 1.0 - v : v;
        const double acrossCoord = vTex * s.sourceAcross;
        const double sx = alongWidth ? smp.alongCoord : acrossCoord;
        const double sy = alongWidth ? acrossCoord : smp.alongCoord;
        LWD_Color color = Color(sx, sy);
        if (color.alpha <= 0.0f) {
          continue;
        }
        if constexpr (kDepth) {
          DepthCopies(px, py, color, weight);
          if (py < top || py > bottom) {
            continue;
          }
        }
        if constexpr (kShade != Shade::kNone) {
          ShadePoint(smp, tube, j, v, facing, &color);
        }
        splat::Splat(front, px, py, splat::Widen(color), weight);
      }
    }
  }
};

template <Texture kTexture, Shade kShade, bool kDepth>
void DrawBand(const LWD_RenderSettings& s, const LWD_RibbonSample* samples, std::size_t count,
              const PF_LayerDef& source, LWD_Accum* accum, LWD_Accum* depthAccum, LWD_RowBand band,
              LWD_RowSpan* spans) {
  std::vector<double> offsetX;
  std::vector<double> offsetY;
  if constexpr (kDepth) {
    offsetX.resize(static_cast<std::size_t>(s.depthSteps) + 1);
    offsetY.resize(offsetX.size());
    for (std::int32_t m = 1; m <= s.depthSteps; ++m) {
      const double e = s.depth * m / s.depthSteps;
      offsetX[m] = e * s.depthDirX;
      offsetY[m] = e * s.depthDirY;
    }
  }
  const BandRaster<kTexture, kShade, kDepth> raster{
      s,
      source,
      {accum, s.boxX0, s.boxY0, s.boxWidth, band.rowBegin, band.rowEnd},
      {depthAccum, s.boxX0, s.boxY0, s.boxWidth, band.rowBegin, band.rowEnd},
      static_cast<double>(s.boxY0) + band.rowBegin - kReachSlack,
      static_cast<double>(s.boxY0) + band.rowEnd + kReachSlack,
      static_cast<double>(s.boxX0) - kReachSlack,
      static_cast<double>(s.boxX0) + s.boxWidth + kReachSlack,
      kDepth ? s.depth * s.depthDirX : 0.0,
      kDepth ? s.depth * s.depthDirY : 0.0,
      offsetX.data(),
      offsetY.data(),
      spans};
  TubeTable tube;
  for (std::size_t i = 0; i < count; ++i) {
    raster.Draw(samples[i], tube);
  }
}

template <Texture kTexture, Shade kShade>
void DrawBandDepth(const LWD_RenderSettings& s, const LWD_RibbonSample* samples, std::size_t count,
                   const PF_LayerDef& source, LWD_Accum* accum, LWD_Accum* depthAccum,
                   LWD_RowBand band, LWD_RowSpan* spans) {
  if (s.depthSteps > 0 && depthAccum != nullptr) {
    DrawBand<kTexture, kShade, true>(s, samples, count, source, accum, depthAccum, band, spans);
  } else {
    DrawBand<kTexture, kShade, false>(s, samples, count, source, accum, depthAccum, band, spans);
  }
}

template <Texture kTexture>
void DrawBandShade(const LWD_RenderSettings& s, const LWD_RibbonSample* samples, std::size_t count,
                   const PF_LayerDef& source, LWD_Accum* accum, LWD_Accum* depthAccum,
                   LWD_RowBand band, LWD_RowSpan* spans) {
  if (!(s.shading > 0.0)) {
    DrawBandDepth<kTexture, Shade::kNone>(s, samples, count, source, accum, depthAccum, band,
                                          spans);
  } else if (s.surface == LWD_SURFACE_TUBE) {
    DrawBandDepth<kTexture, Shade::kTube>(s, samples, count, source, accum, depthAccum, band,
                                          spans);
  } else {
    DrawBandDepth<kTexture, Shade::kFlat>(s, samples, count, source, accum, depthAccum, band,
                                          spans);
  }
}

}  // namespace

bool RibbonSampleReachesBox(const LWD_RenderSettings& s, const LWD_RibbonSample& smp) {
  const double depthDX = s.depthSteps > 0 ? s.depth * s.depthDirX : 0.0;
  const double depthDY = s.depthSteps > 0 ? s.depth * s.depthDirY : 0.0;
  const double reach = smp.width / 2.0 + kReachSlack;
  return smp.x + reach + std::max(0.0, depthDX) >= s.boxX0 &&
         smp.x - reach + std::min(0.0, depthDX) <= static_cast<double>(s.boxX0) + s.boxWidth &&
         smp.y + reach + std::max(0.0, depthDY) >= s.boxY0 &&
         smp.y - reach + std::min(0.0, depthDY) <= static_cast<double>(s.boxY0) + s.boxHeight;
}

double SampleGapToBox(const LWD_RenderSettings& s, double x, double y) {
  if (!(s.boundsMargin > 0.0)) {
    return std::numeric_limits<double>::quiet_NaN();  // no bounds scan has worked the margin out
  }
  // The margin holds the widest half-width and the depth with 2 px to spare; a splat reaches
  // kReachSlack, so one more pixel keeps the bound on the safe side.
  const double reach = s.boundsMargin + 1.0;
  return std::max({s.boxX0 - (x + reach), x - reach - (s.boxX0 + s.boxWidth), s.boxY0 - (y + reach),
                   y - reach - (s.boxY0 + s.boxHeight)});
}

LWD_RowBand RibbonSamplesRows(const LWD_RenderSettings& s, const LWD_RibbonSample* samples,
                              std::size_t count) {
  const double depthDY = s.depthSteps > 0 ? s.depth * s.depthDirY : 0.0;
  double top = std::numeric_limits<double>::infinity();
  double bottom = -top;
  for (std::size_t i = 0; i < count; ++i) {
    const LWD_RibbonSample& smp = samples[i];
    if (!std::isfinite(smp.y) || !std::isfinite(smp.width)) {
      return {0, s.boxHeight};  // no bound to trust: every row
    }
    const double reach = smp.width / 2.0 + kReachSlack;
    top = std::min(top, smp.y - reach + std::min(0.0, depthDY));
    bottom = std::max(bottom, smp.y + reach + std::max(0.0, depthDY));
  }
  const double first = std::max(0.0, std::floor(top) - s.boxY0);
  const double end = std::min<double>(s.boxHeight, std::ceil(bottom) - s.boxY0 + 1.0);
  if (!(first < end)) {
    return {0, 0};
  }
  return {static_cast<std::int64_t>(first), static_cast<std::int64_t>(end)};
}

std::vector<std::int64_t> BalancedRowBands(const LWD_RenderSettings& s,
                                           const LWD_RibbonSample* samples, std::size_t count,
                                           LWD_RowBand rows, std::int64_t bands) {
  bands = std::max<std::int64_t>(1, bands);
  const std::int64_t height = std::max<std::int64_t>(0, rows.rowEnd - rows.rowBegin);
  std::vector<std::int64_t> bounds(static_cast<std::size_t>(bands) + 1);
  const auto equalRows = [&] {
    for (std::int64_t i = 0; i <= bands; ++i) {
      bounds[i] = rows.rowBegin + height * i / bands;
    }
    return bounds;
  };
  if (bands == 1 || height <= 1) {
    return equalRows();
  }
  // A point costs about a fetch and a deposit, each depth copy one more deposit.
  constexpr double kPointWork = 2.0;
  const bool depth = s.depthSteps > 0;
  const double depthDY = depth ? s.depth * s.depthDirY : 0.0;
  // Work per row as differences: +w at a run's first row, -w past its last.
  std::vector<double> change(static_cast<std::size_t>(height) + 1, 0.0);
  const auto spread = [&](double top, double bottom, double work) {
    const double first = std::max(0.0, std::floor(top) - s.boxY0 - rows.rowBegin);
    const double last = std::min<double>(height - 1, std::ceil(bottom) - s.boxY0 - rows.rowBegin);
    if (!(first <= last) || !(work > 0.0)) {
      return;
    }
    const double perRow = work / (last - first + 1.0);
    change[static_cast<std::size_t>(first)] += perRow;
    change[static_cast<std::size_t>(last) + 1] -= perRow;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const LWD_RibbonSample& smp = samples[i];
    if (!std::isfinite(smp.y) || !std::isfinite(smp.width)) {
      return equalRows();
    }
    const std::int64_t all = (smp.points + 2) * (static_cast<std::int64_t>(smp.fan) + 1);
    const auto points = static_cast<double>(std::min(smp.endPoint, all) -
                                            std::max<std::int64_t>(0, smp.firstPoint));
    const double reach = smp.width / 2.0 + kReachSlack;
    spread(smp.y - reach, smp.y + reach, points * kPointWork);
    if (depth) {
      spread(smp.y - reach + std::min(0.0, depthDY), smp.y + reach + std::max(0.0, depthDY),
             points * s.depthSteps);
    }
  }
  double total = 0.0;
  double running = 0.0;
  for (std::int64_t r = 0; r < height; ++r) {
    running += change[static_cast<std::size_t>(r)];
    total += std::max(0.0, running);
  }
  if (!(total > 0.0)) {
    return equalRows();
  }
  bounds[0] = rows.rowBegin;
  std::int64_t band = 1;
  double done = 0.0;
  running = 0.0;
  for (std::int64_t r = 0; r < height && band < bands; ++r) {
    running += change[static_cast<std::size_t>(r)];
    done += std::max(0.0, running);
    while (band < bands && done >= total * static_cast<double>(band) / bands) {
      bounds[band++] = rows.rowBegin + r + 1;
    }
  }
  for (; band <= bands; ++band) {
    bounds[band] = rows.rowEnd;
  }
  return bounds;
}

LWD_RowBand RowBandOf(std::int64_t height, std::int64_t index, std::int64_t count) {
  return {height * index / count, height * (index + 1) / count};
}

// On x86-64 the rasteriser is built twice, for the baseline instruction set and for AVX2, and the
// loader picks the one the processor runs. AVX2 brings a one-instruction floor and wider moves;
// it does not bring fused multiply-add (a separate extension), so every product is still rounded
// on its own and both builds deposit the same bits. Everything the rasteriser calls is inlined
// into each build. GCC only: Clang 14 takes the attribute but emits no symbol under the plain
// name for callers in other files, so a Clang build keeps the one baseline build.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(LATHEWIND_CENSUS) && !defined(LATHEWIND_NO_CPU_DISPATCH)
#define LWD_RASTER_CLONES __attribute__((target_clones("avx2", "default"), flatten))
#else
#define LWD_RASTER_CLONES
#endif

LWD_RASTER_CLONES
void RasterizeRibbonSamples(const LWD_RenderSettings& s, const LWD_RibbonSample* samples,
                            std::size_t count, const PF_LayerDef& source, LWD_Accum* accum,
                            LWD_Accum* depthAccum, LWD_RowBand band, LWD_RowSpan* spans) {
  band.rowBegin = std::max<std::int64_t>(band.rowBegin, 0);
  band.rowEnd = std::min<std::int64_t>(band.rowEnd, s.boxHeight);
  if (band.rowBegin >= band.rowEnd || s.boxWidth <= 0 || accum == nullptr) {
    return;
  }
  if (s.sourceEmpty) {
    DrawBandShade<Texture::kWhite>(s, samples, count, source, accum, depthAccum, band, spans);
  } else if (source.data == nullptr || source.width <= 0 || source.height <= 0) {
    return;  // a world without pixels gives transparent points: nothing is drawn
  } else if ((source.world_flags & PF_WorldFlag_DEEP) != 0) {
    DrawBandShade<Texture::k16>(s, samples, count, source, accum, depthAccum, band, spans);
  } else {
    DrawBandShade<Texture::k8>(s, samples, count, source, accum, depthAccum, band, spans);
  }
}

}  // namespace lwd
