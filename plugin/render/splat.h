// SplatBilinear's arithmetic, inline and limited to a band of the buffer's rows, for the ribbon's
// inner loop. Every tap is the same as SplatBilinear's (render/accum.h); taps in rows outside
// [rowBegin, rowEnd) are left to the band that owns them.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "render/accum.h"

namespace lwd {

namespace splat {

inline constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
inline constexpr double kMaxIndex = std::numeric_limits<std::int32_t>::max();

// A color's channels widened to double once per point rather than once per tap; widening a
// float is exact, so the products are the same.
struct WideColor {
  double red, green, blue, alpha;
};

inline WideColor Widen(const LWD_Color& c) {
  return {c.red, c.green, c.blue, c.alpha};
}

// Products in double, rounded to float, added in float.
[[gnu::always_inline]] inline void AddTap(LWD_Accum& cell, const WideColor& c, double wt) {
  cell.r += static_cast<float>(c.red * wt);
  cell.g += static_cast<float>(c.green * wt);
  cell.b += static_cast<float>(c.blue * wt);
  cell.a += static_cast<float>(c.alpha * wt);
  cell.weight += static_cast<float>(wt);
}

// The box's buffer and the band of its rows that one thread owns.
struct Target {
  LWD_Accum* cells;
  std::int32_t x0, y0, w;
  std::int64_t rowBegin, rowEnd;  // box rows
};

#ifdef LATHEWIND_CENSUS
// The benchmarks' census build counts a render's deposits by routing each one through the
// out-of-line SplatBilinear (see bench/census_shim.cpp); it renders with one band, all rows.
inline void Splat(const Target& t, double x, double y, const WideColor& color, double weight) {
  const LWD_Color narrow = {static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha)};
  SplatBilinear(t.cells, t.x0, t.y0, t.w, static_cast<std::int32_t>(t.rowEnd), x, y, narrow,
                weight);
}
#else
[[gnu::always_inline]] inline void Splat(const Target& t, double x, double y,
                                         const WideColor& color, double weight) {
  if (!(weight > 0.0)) {
    return;
  }
  const double xs = x - 0.5;
  const double ys = y - 0.5;
  const double fxFloor = std::floor(xs);
  const double fyFloor = std::floor(ys);
  if (!(fxFloor >= kMinIndex && fxFloor <= kMaxIndex && fyFloor >= kMinIndex &&
        fyFloor <= kMaxIndex)) {
    return;
  }
  const std::int32_t ix = static_cast<std::int32_t>(fxFloor);
  const std::int32_t iy = static_cast<std::int32_t>(fyFloor);
  const double fx = xs - ix;
  const double fy = ys - iy;
  const std::int64_t cx = static_cast<std::int64_t>(ix) - t.x0;
  const std::int64_t cy = static_cast<std::int64_t>(iy) - t.y0;
  if (cy + 1 < t.rowBegin || cy >= t.rowEnd) {
    return;
  }
  // A tap is made where its weight is above 0, which the fractions tell before any product is
  // made; a product that still comes out 0 (a weight below double range) adds +0 to sums that are
  // never -0, which changes no bit.
  const bool col0 = cx >= 0 && cx < t.w && 1.0 - fx > 0.0;
  const bool col1 = cx + 1 >= 0 && cx + 1 < t.w && fx > 0.0;
  if (cy >= t.rowBegin && 1.0 - fy > 0.0) {
    LWD_Accum* row = t.cells + cy * t.w;
    if (col0) {
      AddTap(row[cx], color, (1.0 - fy) * (1.0 - fx) * weight);
    }
    if (col1) {
      AddTap(row[cx + 1], color, (1.0 - fy) * fx * weight);
    }
  }
  if (cy + 1 < t.rowEnd && fy > 0.0) {
    LWD_Accum* row = t.cells + (cy + 1) * t.w;
    if (col0) {
      AddTap(row[cx], color, (1.0 - fx) * fy * weight);
    }
    if (col1) {
      AddTap(row[cx + 1], color, fy * fx * weight);
    }
  }
}
#endif

}  // namespace splat

}  // namespace lwd
