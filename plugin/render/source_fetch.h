// The bilinear fetch from the source world, inline so that the ribbon's inner loop can use it
// without a call. SampleSource (render/ribbon.h) is the same fetch behind a function.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ae_effect.h"
#include "render/accum.h"

namespace lwd {

namespace fetch {

inline constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
// One less than a deposit's limit: the tap to the right of the last index is fetched too.
inline constexpr double kMaxFetchIndex = std::numeric_limits<std::int32_t>::max() - 1;

// An 8-bit channel's value / 255, for every value: a table lookup in place of a division, with
// the same quotient (IEEE division is exact to the last bit wherever it is done).
struct UnitTable8 {
  double value[256];
  constexpr UnitTable8() : value() {
    for (int v = 0; v < 256; ++v) {
      value[v] = v / static_cast<double>(PF_MAX_CHAN8);
    }
  }
};
inline constexpr UnitTable8 kUnit8{};

// A channel / full scale.
[[gnu::always_inline]] inline double Unit(A_u_char channel, double /*scale*/) {
  return kUnit8.value[channel];
}
[[gnu::always_inline]] inline double Unit(A_u_short channel, double scale) {
  return channel / scale;
}

// Four channels side by side, red, green, blue, alpha: one vector operation does for the four
// what a scalar one does for each, with the same rounding, so the sums keep their bits.
using Wide4 = double __attribute__((vector_size(32)));
using Narrow4 = float __attribute__((vector_size(16)));

// Adds one source tap, channel / full scale x tap weight, rounded to float.
[[gnu::always_inline]] inline void AddSourceTap(Narrow4& sum, const PF_Pixel& p, double /*scale*/,
                                                double wt) {
  const Wide4 unit = {kUnit8.value[p.red], kUnit8.value[p.green], kUnit8.value[p.blue],
                      kUnit8.value[p.alpha]};
  sum += __builtin_convertvector(unit * wt, Narrow4);
}
[[gnu::always_inline]] inline void AddSourceTap(Narrow4& sum, const PF_Pixel16& p, double scale,
                                                double wt) {
  const Wide4 channel = {static_cast<double>(p.red), static_cast<double>(p.green),
                         static_cast<double>(p.blue), static_cast<double>(p.alpha)};
  sum += __builtin_convertvector(channel / scale * wt, Narrow4);
}

// Fetch from a world known to have pixels, 8 bits (PF_Pixel) or 16 bits (PF_Pixel16).
template <typename Pixel>
[[gnu::always_inline]] inline LWD_Color Fetch(const PF_LayerDef& source, double sx, double sy) {
  constexpr double scale = sizeof(Pixel) == sizeof(PF_Pixel) ? PF_MAX_CHAN8 : PF_MAX_CHAN16;
  Narrow4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
  // Texel centres lie at integer + 0.5.
  const double xs = sx - 0.5;
  const double ys = sy - 0.5;
  const double xFloor = std::floor(xs);
  const double yFloor = std::floor(ys);
  if (!(xFloor >= kMinIndex && xFloor <= kMaxFetchIndex && yFloor >= kMinIndex &&
        yFloor <= kMaxFetchIndex)) {
    return {0.0f, 0.0f, 0.0f, 0.0f};
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
  const auto* base = reinterpret_cast<const char*>(source.data);
  const auto row = [&](std::int64_t r) {
    return reinterpret_cast<const Pixel*>(base + r * static_cast<std::int64_t>(source.rowbytes));
  };
  // A tap of weight 0 (the point on a texel's edge) adds +0 to sums that are never -0: it changes
  // no bit, and the four taps need no branch.
  const Pixel* top = row(cy0);
  const Pixel* bottom = row(cy1);
  AddSourceTap(sum, top[cx0], scale, (1.0 - fx) * (1.0 - fy));
  AddSourceTap(sum, top[cx1], scale, fx * (1.0 - fy));
  AddSourceTap(sum, bottom[cx0], scale, (1.0 - fx) * fy);
  AddSourceTap(sum, bottom[cx1], scale, fx * fy);
  return {sum[0], sum[1], sum[2], sum[3]};
}

}  // namespace fetch

}  // namespace lwd
