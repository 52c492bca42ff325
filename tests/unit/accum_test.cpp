#include "render/accum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "render/splat.h"

namespace lwd {
namespace {

constexpr LWD_Color kRed = {1.0f, 0.0f, 0.0f, 1.0f};

// A box of w x h cells standing for output pixels from (x0, y0).
struct Box {
  std::int32_t x0, y0, w, h;
  std::vector<LWD_Accum> cells;
  Box(std::int32_t x0_, std::int32_t y0_, std::int32_t w_, std::int32_t h_)
      : x0(x0_), y0(y0_), w(w_), h(h_), cells(static_cast<size_t>(w_ * h_), LWD_Accum{}) {}
  void Splat(double x, double y, const LWD_Color& c, double weight) {
    SplatBilinear(cells.data(), x0, y0, w, h, x, y, c, weight);
  }
  const LWD_Accum& At(int c, int r) const { return cells[static_cast<size_t>(r * w + c)]; }
  float TotalWeight() const {
    float sum = 0.0f;
    for (const auto& cell : cells)
      sum += cell.weight;
    return sum;
  }
};

// An output world with padded rows; the padding holds a marker the resolve must not touch.
template <typename Pixel>
struct World {
  static constexpr unsigned char kMarker = 0xA5;
  std::vector<unsigned char> bytes;
  PF_EffectWorld world{};
  World(A_long width, A_long height, A_long padding) {
    world.width = width;
    world.height = height;
    world.rowbytes = width * static_cast<A_long>(sizeof(Pixel)) + padding;
    world.world_flags = sizeof(Pixel) == sizeof(PF_Pixel16) ? PF_WorldFlag_DEEP : 0;
    bytes.assign(static_cast<size_t>(world.rowbytes * height), kMarker);
    world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
    for (A_long r = 0; r < height; ++r) {
      for (A_long c = 0; c < width; ++c)
        At(c, r) = Pixel{};
    }
  }
  Pixel& At(A_long c, A_long r) {
    return reinterpret_cast<Pixel*>(bytes.data() + r * world.rowbytes)[c];
  }
};

TEST(SplatTest, PointOnAPixelCentreFillsOneCell) {
  Box box(10, 20, 4, 4);
  box.Splat(10 + 1 + 0.5, 20 + 2 + 0.5, kRed, 1.0);
  EXPECT_EQ(box.At(1, 2).weight, 1.0f);
  EXPECT_EQ(box.At(1, 2).r, 1.0f);
  EXPECT_EQ(box.At(1, 2).g, 0.0f);
  EXPECT_EQ(box.At(1, 2).a, 1.0f);
  EXPECT_EQ(box.TotalWeight(), 1.0f);
}

TEST(SplatTest, CornerSplitsQuarterEach) {
  Box box(10, 20, 4, 4);
  box.Splat(10 + 1 + 1.0, 20 + 0 + 1.0, kRed, 1.0);
  for (int r = 0; r < 2; ++r) {
    for (int c = 1; c < 3; ++c) {
      EXPECT_EQ(box.At(c, r).weight, 0.25f) << "cell " << c << "," << r;
      EXPECT_EQ(box.At(c, r).r, 0.25f) << "cell " << c << "," << r;
    }
  }
  EXPECT_EQ(box.TotalWeight(), 1.0f);
}

TEST(SplatTest, TapsOutsideTheBoxAreDroppedNotClamped) {
  Box box(10, 20, 4, 4);
  // Between column 9 (outside) and column 10 (cell 0), a quarter of the way in.
  box.Splat(10.25, 20.5, kRed, 1.0);
  EXPECT_EQ(box.At(0, 0).weight, 0.75f);
  EXPECT_EQ(box.TotalWeight(), 0.75f);
  // Below the last row: nothing.
  box.Splat(11.5, 20 + 4 + 0.5, kRed, 1.0);
  EXPECT_EQ(box.TotalWeight(), 0.75f);
}

TEST(SplatTest, NonFiniteOrFarAwayPointsAndNonPositiveWeightsAreDropped) {
  Box box(0, 0, 4, 4);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double x : {nan, inf, -inf, 1e12, -1e12, 4294967296.5}) {
    box.Splat(x, 1.5, kRed, 1.0);
    box.Splat(1.5, x, kRed, 1.0);
  }
  box.Splat(1.5, 1.5, kRed, 0.0);
  box.Splat(1.5, 1.5, kRed, -1.0);
  box.Splat(1.5, 1.5, kRed, nan);
  EXPECT_EQ(box.TotalWeight(), 0.0f);

  // A box at the far right of the index range and a point far left: no wrap-around.
  Box right(std::numeric_limits<std::int32_t>::max() - 4, 0, 4, 4);
  right.Splat(-2147483000.0, 1.5, kRed, 1.0);
  EXPECT_EQ(right.TotalWeight(), 0.0f);
}

TEST(SplatTest, ProductsAreRoundedToFloatBeforeTheyAreAdded) {
  Box box(0, 0, 1, 1);
  const LWD_Color third = {1.0f / 3.0f, 0.0f, 0.0f, 1.0f};
  box.Splat(0.5, 0.5, third, 0.1);
  box.Splat(0.5, 0.5, third, 0.1);
  const float expected = static_cast<float>(third.red * 0.1) + static_cast<float>(third.red * 0.1);
  EXPECT_EQ(box.At(0, 0).r, expected);
}

// The raster's inline deposit, cut into any bands of rows, leaves exactly the cells SplatBilinear
// leaves: random points, and points on cell centres, edges and just off them, where a tap's weight
// is 0 or a fraction rounds to 1.
TEST(SplatTest, InlineDepositInBandsIsSplatBilinearBitForBit) {
  Box whole(-3, 5, 9, 7);
  std::vector<LWD_Accum> banded(whole.cells.size());
  std::mt19937 random(7);
  std::uniform_real_distribution<double> across(-5.0, 12.0);
  std::uniform_int_distribution<int> cell(-4, 12);
  std::uniform_real_distribution<double> weight(0.01, 2.0);
  const double nudges[] = {0.0, 0.5, 1.0, -1e-17, 1e-17, 0.5 - 1e-17, 0.25};
  const std::pair<std::int64_t, std::int64_t> kBands[] = {{0, 2}, {2, 3}, {3, 7}};
  for (int i = 0; i < 4000; ++i) {
    const bool onGrid = i % 2 == 0;
    const double x =
        onGrid ? whole.x0 + cell(random) + nudges[i / 2 % 7] : whole.x0 + across(random);
    const double y =
        onGrid ? whole.y0 + cell(random) + nudges[i / 14 % 7] : whole.y0 + across(random);
    const LWD_Color c = {0.3f, 0.6f, 0.9f, 0.75f};
    const double w = weight(random);
    whole.Splat(x, y, c, w);
    for (const auto& [begin, end] : kBands) {
      const lwd::splat::Target band{banded.data(), whole.x0, whole.y0, whole.w, begin, end};
      lwd::splat::Splat(band, x, y, lwd::splat::Widen(c), w);
    }
  }
  for (std::size_t k = 0; k < banded.size(); ++k) {
    ASSERT_EQ(std::memcmp(&banded[k], &whole.cells[k], sizeof(LWD_Accum)), 0) << "cell " << k;
  }
}

TEST(AccumAllocTest, OverflowingCellCountIsOutOfMemoryWithoutAllocating) {
  LWD_AccumBuffer cells;
  const std::int64_t big = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(AllocateAccum(big, big, cells), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(cells.data(), nullptr);
  EXPECT_EQ(AllocateAccum(std::numeric_limits<std::int64_t>::max(), 2, cells),
            PF_Err_OUT_OF_MEMORY);
  ASSERT_EQ(AllocateAccum(3, 2, cells), PF_Err_NONE);
  ASSERT_EQ(cells.size(), 6u);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    EXPECT_EQ(cells.data()[i].weight, 0.0f);
    EXPECT_EQ(cells.data()[i].a, 0.0f);
  }
}

// Buffers given back zeroed serve later boxes of the same or smaller size; any other is freed.
TEST(AccumAllocTest, ZeroedBuffersAreKeptForLaterBoxes) {
  DrainAccumPool();
  LWD_AccumBuffer big;
  ASSERT_EQ(AllocateAccum(40, 30, big), PF_Err_NONE);
  const LWD_Accum* memory = big.data();
  ReleaseAccum(big, true);
  EXPECT_EQ(big.data(), nullptr);

  LWD_AccumBuffer small;
  ASSERT_EQ(AllocateAccum(10, 10, small), PF_Err_NONE);
  EXPECT_EQ(small.data(), memory);
  EXPECT_EQ(small.size(), 100u);
  small.data()[7].weight = 1.0f;
  ReleaseAccum(small, false);  // dirty: freed, never handed out again

  LWD_AccumBuffer again;
  ASSERT_EQ(AllocateAccum(40, 30, again), PF_Err_NONE);
  for (std::size_t i = 0; i < again.size(); ++i) {
    ASSERT_EQ(again.data()[i].weight, 0.0f) << i;
  }
  DrainAccumPool();
}

TEST(ResolveTest, HalfWeightRedOverTransparentIsHalfCoverage8Bit) {
  World<PF_Pixel> out(3, 3, 5);
  Box box(1, 1, 1, 1);
  box.Splat(1.5, 1.5, kRed, 0.5);
  ResolveAccum(box.cells.data(), 1, 1, 1, 1, &out.world, 1.0, false);
  const PF_Pixel& p = out.At(1, 1);
  EXPECT_EQ(p.alpha, 128);
  EXPECT_EQ(p.red, 128);
  EXPECT_EQ(p.green, 0);
  EXPECT_EQ(p.blue, 0);
}

TEST(ResolveTest, FullCellsAreAveragedAndReplaceThePixel) {
  World<PF_Pixel> out(1, 1, 0);
  out.At(0, 0) = {255, 0, 0, 255};                                 // opaque blue underneath
  std::vector<LWD_Accum> cell = {{1.0f, 0.5f, 0.0f, 2.0f, 2.0f}};  // weight 2, alpha 2
  ResolveAccum(cell.data(), 0, 0, 1, 1, &out.world, 1.0, false);
  const PF_Pixel& p = out.At(0, 0);
  EXPECT_EQ(p.alpha, 255);
  EXPECT_EQ(p.red, 128);  // 0.5 x 255 + 0.5
  EXPECT_EQ(p.green, 64);
  EXPECT_EQ(p.blue, 0);
}

TEST(ResolveTest, OpacityHalvesAlphaAndColour) {
  World<PF_Pixel> out(1, 1, 0);
  std::vector<LWD_Accum> cell = {{1.0f, 1.0f, 1.0f, 1.0f, 1.0f}};
  ResolveAccum(cell.data(), 0, 0, 1, 1, &out.world, 0.5, false);
  const PF_Pixel& p = out.At(0, 0);
  EXPECT_EQ(p.alpha, 128);
  EXPECT_EQ(p.red, 128);
  EXPECT_EQ(p.blue, 128);
}

TEST(ResolveTest, SixteenBitWhiteIsFullScale) {
  World<PF_Pixel16> out(2, 1, 6);
  std::vector<LWD_Accum> cells = {{1.0f, 1.0f, 1.0f, 1.0f, 1.0f}, {3.0f, 3.0f, 3.0f, 3.0f, 3.0f}};
  ResolveAccum(cells.data(), 0, 0, 2, 1, &out.world, 1.0, true);
  for (int c = 0; c < 2; ++c) {
    const PF_Pixel16& p = out.At(c, 0);
    EXPECT_EQ(p.alpha, 32768) << "column " << c;
    EXPECT_EQ(p.red, 32768) << "column " << c;
    EXPECT_EQ(p.green, 32768) << "column " << c;
    EXPECT_EQ(p.blue, 32768) << "column " << c;
  }
}

TEST(ResolveTest, ChannelsSaturateAtTheStorageRange) {
  // Colour beyond alpha (not premultiplied) would overflow: saturated, not wrapped.
  World<PF_Pixel> out8(1, 1, 0);
  std::vector<LWD_Accum> cell = {{4.0f, 0.0f, 0.0f, 0.5f, 1.0f}};
  ResolveAccum(cell.data(), 0, 0, 1, 1, &out8.world, 1.0, false);
  EXPECT_EQ(out8.At(0, 0).red, 255);
  World<PF_Pixel16> out16(1, 1, 0);
  ResolveAccum(cell.data(), 0, 0, 1, 1, &out16.world, 1.0, true);
  EXPECT_EQ(out16.At(0, 0).red, 65535);
  EXPECT_EQ(out16.At(0, 0).alpha, 16384);
}

TEST(ResolveTest, EmptyCellsAndPaddingStayUntouched) {
  World<PF_Pixel> out(4, 3, 7);
  out.At(0, 0) = {10, 20, 30, 40};
  std::vector<LWD_Accum> cells(4 * 3, LWD_Accum{1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
  cells[0] = LWD_Accum{};                              // no weight
  cells[1] = LWD_Accum{0.5f, 0.0f, 0.0f, 0.0f, 1.0f};  // weight but no alpha
  ResolveAccum(cells.data(), 0, 0, 4, 3, &out.world, 1.0, false);
  EXPECT_EQ(out.At(0, 0).alpha, 10);
  EXPECT_EQ(out.At(1, 0).alpha, 0);
  EXPECT_EQ(out.At(1, 0).red, 0);
  EXPECT_EQ(out.At(2, 0).alpha, 255);
  for (A_long r = 0; r < 3; ++r) {
    for (A_long b = 4 * 4; b < out.world.rowbytes; ++b) {
      EXPECT_EQ(out.bytes[static_cast<size_t>(r * out.world.rowbytes + b)],
                World<PF_Pixel>::kMarker)
          << "padding byte " << b << " of row " << r;
    }
  }
}

TEST(ResolveTest, BoxCellsOutsideTheWorldAreSkipped) {
  World<PF_Pixel> out(2, 2, 3);
  std::vector<LWD_Accum> cells(3 * 3, LWD_Accum{1.0f, 1.0f, 1.0f, 1.0f, 1.0f});
  ResolveAccum(cells.data(), 1, 1, 3, 3, &out.world, 1.0, false);
  EXPECT_EQ(out.At(1, 1).alpha, 255);
  EXPECT_EQ(out.At(0, 0).alpha, 0);
  for (A_long r = 0; r < 2; ++r) {
    for (A_long b = 2 * 4; b < out.world.rowbytes; ++b) {
      EXPECT_EQ(out.bytes[static_cast<size_t>(r * out.world.rowbytes + b)],
                World<PF_Pixel>::kMarker);
    }
  }
}

}  // namespace
}  // namespace lwd
