#include "render/accum.h"
#include "render/source_fetch.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>

namespace lwd {

namespace {

constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
constexpr double kMaxIndex = std::numeric_limits<std::int32_t>::max();

// Adds one tap. Products are formed in double, rounded to float, then added in float, so the sums
// do not depend on how the compiler keeps intermediates.
inline void AddTap(LWD_Accum& cell, const LWD_Color& c, double wt) {
  cell.r += static_cast<float>(c.red * wt);
  cell.g += static_cast<float>(c.green * wt);
  cell.b += static_cast<float>(c.blue * wt);
  cell.a += static_cast<float>(c.alpha * wt);
  cell.weight += static_cast<float>(wt);
}

// Integer part of v x scale + 0.5, saturated to the channel's range.
template <typename T>
T StoreChannel(double v, double scale, double maxValue) {
  const double q = v * scale + 0.5;
  if (!(q > 0.0)) {
    return 0;
  }
  if (q >= maxValue) {
    return static_cast<T>(maxValue);
  }
  return static_cast<T>(q);
}

template <typename Pixel>
void ResolveRows(const LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                 std::int32_t h, PF_EffectWorld* output, double opacity, double scale,
                 double maxValue) {
  auto* base = reinterpret_cast<char*>(output->data);
  for (std::int32_t r = 0; r < h; ++r) {
    const std::int64_t row = static_cast<std::int64_t>(y0) + r;
    if (row < 0 || row >= output->height) {
      continue;
    }
    auto* pixels =
        reinterpret_cast<Pixel*>(base + row * static_cast<std::int64_t>(output->rowbytes));
    for (std::int32_t c = 0; c < w; ++c) {
      const std::int64_t col = static_cast<std::int64_t>(x0) + c;
      if (col < 0 || col >= output->width) {
        continue;
      }
      const LWD_Accum& cell = buffer[static_cast<std::size_t>(r) * w + c];
      if (cell.weight <= 0.0f || cell.a <= 0.0f) {
        continue;
      }
      // Cells that collected less than one pixel's worth of area keep their partial coverage;
      // fuller cells are averaged.
      const double k = cell.weight > 1.0f ? 1.0 / cell.weight : 1.0;
      double alpha = cell.a * k * opacity;
      if (alpha > 1.0) {
        alpha = 1.0;
      }
      const double red = cell.r * k * opacity;
      const double green = cell.g * k * opacity;
      const double blue = cell.b * k * opacity;

      Pixel& p = pixels[col];
      const double keep = 1.0 - alpha;
      const double outA = fetch::Unit(p.alpha, scale) * keep + alpha;
      const double outR = fetch::Unit(p.red, scale) * keep + red;
      const double outG = fetch::Unit(p.green, scale) * keep + green;
      const double outB = fetch::Unit(p.blue, scale) * keep + blue;
      using Channel = decltype(p.alpha);
      p.alpha = StoreChannel<Channel>(outA, scale, maxValue);
      p.red = StoreChannel<Channel>(outR, scale, maxValue);
      p.green = StoreChannel<Channel>(outG, scale, maxValue);
      p.blue = StoreChannel<Channel>(outB, scale, maxValue);
    }
  }
}

}  // namespace

void SplatBilinear(LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                   std::int32_t h, double x, double y, const LWD_Color& color, double weight) {
  if (!(weight > 0.0)) {
    return;
  }
  // Pixel centres lie at integer + 0.5.
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

  // In 64 bits: a point far left of a box far right must not wrap around.
  const std::int64_t cx = static_cast<std::int64_t>(ix) - x0;
  const std::int64_t cy = static_cast<std::int64_t>(iy) - y0;
  const bool col0 = cx >= 0 && cx < w;
  const bool col1 = cx + 1 >= 0 && cx + 1 < w;

  if (cy >= 0 && cy < h && 1.0 - fy > 0.0) {
    LWD_Accum* row = buffer + cy * w;
    const double w0 = (1.0 - fy) * (1.0 - fx) * weight;
    if (col0 && w0 > 0.0) {
      AddTap(row[cx], color, w0);
    }
    const double w1 = (1.0 - fy) * fx * weight;
    if (col1 && w1 > 0.0) {
      AddTap(row[cx + 1], color, w1);
    }
  }
  if (cy + 1 >= 0 && cy + 1 < h && fy > 0.0) {
    LWD_Accum* row = buffer + (cy + 1) * w;
    const double w2 = (1.0 - fx) * fy * weight;
    if (col0 && w2 > 0.0) {
      AddTap(row[cx], color, w2);
    }
    const double w3 = fy * fx * weight;
    if (col1 && w3 > 0.0) {
      AddTap(row[cx + 1], color, w3);
    }
  }
}

void ResolveAccum(const LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                  std::int32_t h, PF_EffectWorld* output, double opacity, bool deepColor) {
  if (buffer == nullptr || output == nullptr || output->data == nullptr || w <= 0 || h <= 0) {
    return;
  }
  if (deepColor) {
    ResolveRows<PF_Pixel16>(buffer, x0, y0, w, h, output, opacity, PF_MAX_CHAN16, 65535.0);
  } else {
    ResolveRows<PF_Pixel>(buffer, x0, y0, w, h, output, opacity, PF_MAX_CHAN8, 255.0);
  }
}

}  // namespace lwd
