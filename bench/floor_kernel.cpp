#include "floor_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "render/ribbon.h"
#include "render/source_fetch.h"

namespace lwbench {

using lwd::LWD_Accum;
using lwd::LWD_Color;
using lwd::SampleSource;

namespace {

constexpr double kMinIndex = std::numeric_limits<std::int32_t>::min();
constexpr double kMaxSplatIndex = std::numeric_limits<std::int32_t>::max();

inline void AddTap(LWD_Accum& cell, const LWD_Color& c, double wt) {
  cell.r += static_cast<float>(c.red * wt);
  cell.g += static_cast<float>(c.green * wt);
  cell.b += static_cast<float>(c.blue * wt);
  cell.a += static_cast<float>(c.alpha * wt);
  cell.weight += static_cast<float>(wt);
}

// The floor fetches as the effect does (its inline fetch), so the fetch costs what the effect's
// can; the deposit below is the floor's own, forced inline into its loop.
[[gnu::always_inline]] inline LWD_Color FetchInline(const PF_LayerDef& source, double sx,
                                                    double sy) {
  if (source.data == nullptr || source.width <= 0 || source.height <= 0) {
    return {0.0f, 0.0f, 0.0f, 0.0f};
  }
  if ((source.world_flags & PF_WorldFlag_DEEP) != 0) {
    return lwd::fetch::Fetch<PF_Pixel16>(source, sx, sy);
  }
  return lwd::fetch::Fetch<PF_Pixel>(source, sx, sy);
}

[[gnu::always_inline]] inline void SplatInline(LWD_Accum* buffer, std::int32_t x0, std::int32_t y0,
                                               std::int32_t w, std::int32_t h, double x, double y,
                                               const LWD_Color& colour, double weight) {
  if (!(weight > 0.0)) {
    return;
  }
  const double xs = x - 0.5;
  const double ys = y - 0.5;
  const double fxFloor = std::floor(xs);
  const double fyFloor = std::floor(ys);
  if (!(fxFloor >= kMinIndex && fxFloor <= kMaxSplatIndex && fyFloor >= kMinIndex &&
        fyFloor <= kMaxSplatIndex)) {
    return;
  }
  const auto ix = static_cast<std::int32_t>(fxFloor);
  const auto iy = static_cast<std::int32_t>(fyFloor);
  const double fx = xs - ix;
  const double fy = ys - iy;
  const std::int64_t cx = static_cast<std::int64_t>(ix) - x0;
  const std::int64_t cy = static_cast<std::int64_t>(iy) - y0;
  const bool col0 = cx >= 0 && cx < w;
  const bool col1 = cx + 1 >= 0 && cx + 1 < w;
  if (cy >= 0 && cy < h && 1.0 - fy > 0.0) {
    LWD_Accum* row = buffer + cy * w;
    const double w0 = (1.0 - fy) * (1.0 - fx) * weight;
    if (col0 && w0 > 0.0) {
      AddTap(row[cx], colour, w0);
    }
    const double w1 = (1.0 - fy) * fx * weight;
    if (col1 && w1 > 0.0) {
      AddTap(row[cx + 1], colour, w1);
    }
  }
  if (cy + 1 >= 0 && cy + 1 < h && fy > 0.0) {
    LWD_Accum* row = buffer + (cy + 1) * w;
    const double w2 = (1.0 - fx) * fy * weight;
    if (col0 && w2 > 0.0) {
      AddTap(row[cx], colour, w2);
    }
    const double w3 = fy * fx * weight;
    if (col1 && w3 > 0.0) {
      AddTap(row[cx + 1], colour, w3);
    }
  }
}

}  // namespace

LWD_Color FloorFetch(const PF_LayerDef& source, double sx, double sy) {
  return FetchInline(source, sx, sy);
}

void FloorSplat(LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w, std::int32_t h,
                double x, double y, const LWD_Color& colour, double weight) {
  SplatInline(buffer, x0, y0, w, h, x, y, colour, weight);
}

FloorBuffers MakeFloorBuffers(const SceneCensus& census) {
  const std::size_t cells =
      static_cast<std::size_t>(census.boxWidth) * static_cast<std::size_t>(census.boxHeight);
  FloorBuffers b;
  b.front.assign(cells, LWD_Accum{});
  if (census.HasDepth()) {
    b.depth.assign(cells, LWD_Accum{});
  }
  return b;
}

// Built for the same instruction sets as the ribbon's rasteriser, so the floor is as fast as the
// deposits can be on this processor (with GCC; Clang 14 refuses target_clones with flatten).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(LATHEWIND_NO_CPU_DISPATCH)
__attribute__((target_clones("avx2", "default"), flatten))
#endif
void RunFloor(const SceneCensus& census, const PF_LayerDef& source, FloorBuffers& buffers) {
  const SceneCensus& c = census;
  const std::size_t kept = c.frontXY.size() / 2;
  if (kept == 0) {
    return;
  }
  const double toSourceX = source.width / static_cast<double>(c.boxWidth);
  const double toSourceY = source.height / static_cast<double>(c.boxHeight);
  const double inverseStride = 1.0 / static_cast<double>(c.stride);
  LWD_Accum* front = buffers.front.data();
  LWD_Accum* depth = buffers.depth.empty() ? nullptr : buffers.depth.data();
  std::uint64_t done = 0;
  for (std::size_t j = 0; j < kept && done < c.frontDeposits; ++j) {
    const double ax = c.frontXY[2 * j];
    const double ay = c.frontXY[2 * j + 1];
    const std::size_t next = std::min(j + 1, kept - 1);
    const double stepX = (c.frontXY[2 * next] - ax) * inverseStride;
    const double stepY = (c.frontXY[2 * next + 1] - ay) * inverseStride;
    for (std::uint64_t k = 0; k < c.stride && done < c.frontDeposits; ++k, ++done) {
      const double px = ax + stepX * static_cast<double>(k);
      const double py = ay + stepY * static_cast<double>(k);
      const LWD_Color colour =
          FetchInline(source, (px - c.boxX0) * toSourceX, (py - c.boxY0) * toSourceY);
      if (depth != nullptr) {
        // The render's copies spread evenly over its points: the same number in all.
        const std::uint64_t copies = (done + 1) * c.depthDeposits / c.frontDeposits -
                                     done * c.depthDeposits / c.frontDeposits;
        for (std::uint64_t m = 0; m < copies; ++m) {
          const DepthOffset& o = c.depthOffsets[m];
          SplatInline(depth, c.boxX0, c.boxY0, c.boxWidth, c.boxHeight, px + o.dx, py + o.dy,
                      colour, c.weight);
        }
      }
      SplatInline(front, c.boxX0, c.boxY0, c.boxWidth, c.boxHeight, px, py, colour, c.weight);
    }
  }
}

bool FloorMatchesEffect() {
  constexpr std::int32_t kW = 23;
  constexpr std::int32_t kH = 17;
  constexpr std::int32_t kX0 = -3;
  constexpr std::int32_t kY0 = 5;
  std::vector<LWD_Accum> mine(kW * kH, LWD_Accum{});
  std::vector<LWD_Accum> theirs(kW * kH, LWD_Accum{});
  // A source at each depth, with every channel different.
  std::vector<PF_Pixel> pixels8(7 * 5);
  std::vector<PF_Pixel16> pixels16(7 * 5);
  for (std::size_t i = 0; i < pixels8.size(); ++i) {
    const auto v = static_cast<unsigned>(i * 37);
    pixels8[i] = {static_cast<A_u_char>(v), static_cast<A_u_char>(v * 3),
                  static_cast<A_u_char>(v * 5), static_cast<A_u_char>(v * 7)};
    pixels16[i] = {static_cast<A_u_short>(v * 131 % 32769), static_cast<A_u_short>(v * 7),
                   static_cast<A_u_short>(v * 11), static_cast<A_u_short>(v * 13 % 32769)};
  }
  PF_LayerDef s8{};
  s8.data = pixels8.data();
  s8.width = 7;
  s8.height = 5;
  s8.rowbytes = 7 * sizeof(PF_Pixel);
  PF_LayerDef s16 = s8;
  s16.data = reinterpret_cast<PF_Pixel*>(pixels16.data());
  s16.rowbytes = 7 * sizeof(PF_Pixel16);
  s16.world_flags = PF_WorldFlag_DEEP;

  bool same = true;
  for (int i = 0; i < 4000; ++i) {
    // Points across and beyond the box and the source, on and between pixel centres.
    const double x = -6.0 + (i % 97) * 0.3125 + (i % 7) * 0.01;
    const double y = 2.0 + (i / 97) * 0.625 - (i % 5) * 0.013;
    const PF_LayerDef& s = (i % 2 == 0) ? s8 : s16;
    const LWD_Color a = FloorFetch(s, x * 0.3, y * 0.2);
    const LWD_Color b = SampleSource(s, x * 0.3, y * 0.2);
    same = same && std::memcmp(&a, &b, sizeof a) == 0;
    const double weight = 0.05 + (i % 11) * 0.1;
    FloorSplat(mine.data(), kX0, kY0, kW, kH, x, y, a, weight);
    SplatBilinear(theirs.data(), kX0, kY0, kW, kH, x, y, b, weight);
  }
  return same && std::memcmp(mine.data(), theirs.data(), mine.size() * sizeof(LWD_Accum)) == 0;
}

bool SourceIsOpaque(const PF_LayerDef& source) {
  if (source.data == nullptr) {
    return true;  // an empty Source draws opaque white without fetching
  }
  const auto* base = reinterpret_cast<const char*>(source.data);
  const bool deep = (source.world_flags & PF_WorldFlag_DEEP) != 0;
  for (A_long y = 0; y < source.height; ++y) {
    const char* row = base + static_cast<std::int64_t>(y) * source.rowbytes;
    for (A_long x = 0; x < source.width; ++x) {
      const unsigned alpha = deep ? reinterpret_cast<const PF_Pixel16*>(row)[x].alpha
                                  : reinterpret_cast<const PF_Pixel*>(row)[x].alpha;
      if (alpha == 0) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace lwbench
