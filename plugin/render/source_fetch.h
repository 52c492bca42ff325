// The bilinear fetch from the source world, inline so that the ribbon's inner loop can use it
// without a call. SampleSource (render/ribbon.h) is the same fetch behind a function.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ae_effect.h"
#include "render/accum.h"

namespace lwd_fetch {

inline constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
inline constexpr double kMaxIndex = std::numeric_limits<std::int32_t>::max() - 1;

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

// Adds one source tap, channel / full scale x tap weight, rounded to float.
template <typename Pixel>
[[gnu::always_inline]] inline void AddSourceTap(LWD_Color& sum, const Pixel& p, double scale,
                                                double wt) {
  sum.red += static_cast<float>(Unit(p.red, scale) * wt);
  sum.green += static_cast<float>(Unit(p.green, scale) * wt);
  sum.blue += static_cast<float>(Unit(p.blue, scale) * wt);
  sum.alpha += static_cast<float>(Unit(p.alpha, scale) * wt);
}

// Fetch from a world known to have pixels, 8 bits (PF_Pixel) or 16 bits (PF_Pixel16).
template <typename Pixel>
[[gnu::always_inline]] inline LWD_Color Fetch(const PF_LayerDef& source, double sx, double sy) {
  constexpr double scale = sizeof(Pixel) == sizeof(PF_Pixel) ? PF_MAX_CHAN8 : PF_MAX_CHAN16;
  LWD_Color sum = {0.0f, 0.0f, 0.0f, 0.0f};
  // Texel centres lie at integer + 0.5.
  const double xs = sx - 0.5;
  const double ys = sy - 0.5;
  const double xFloor = std::floor(xs);
  const double yFloor = std::floor(ys);
  if (!(xFloor >= kMinIndex && xFloor <= kMaxIndex && yFloor >= kMinIndex && yFloor <= kMaxIndex)) {
    return sum;
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

}  // namespace lwd_fetch
