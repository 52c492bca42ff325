// The ribbon drawn from plain samples, without a host: how the box is cut into row bands, the
// samples into blocks, or a sample into pieces, changes no bit of the buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "render/ribbon_raster.h"
#include "render/ribbon_sample.h"

namespace lwd {
namespace {

// A spiral with tight turns (fans), Tube shading and depth going up and left, so that
// cross-sections and copies cross every band border; samples prepared as the walk does.
struct SpiralRibbon : ::testing::Test {
  LWD_RenderSettings s;
  std::vector<LWD_RibbonSample> samples;

  void SetUp() override {
    LWD_RenderInputs in;
    in.outputWidth = 160;
    in.outputHeight = 120;
    in.thickness = 18.0;
    in.shading = 60.0;
    in.depth = 7.0;
    in.depthDirection = 300 << 16;
    in.fit = LWD_FIT_TILE;
    constexpr double kLength = 400.0;
    s = DeriveRenderSettings(in, kLength);
    s.boxX0 = 5;
    s.boxY0 = 3;
    s.boxWidth = 150;
    s.boxHeight = 111;
    LWD_WalkState state;
    for (int i = 0; i * s.sampleStep <= kLength; ++i) {
      const double arc = i * s.sampleStep;
      const double angle = arc / 30.0;
      const double radius = 10.0 + arc / 10.0;
      LWD_SpinePoint p{};
      p.x = 80.0 + radius * std::cos(angle);
      p.y = 60.0 + radius * std::sin(angle);
      p.tx = -std::sin(angle);
      p.ty = std::cos(angle);
      ASSERT_TRUE(MapAlongPath(s, arc, &p.alongCoord, &p.t));
      LWD_RibbonSample smp;
      if (PrepareRibbonSample(s, p, state, &smp) == LWD_SampleOutcome::kDrawn) {
        samples.push_back(smp);
      }
      state.prevX = p.x;
      state.prevY = p.y;
      state.prevPositionValid = true;
    }
    ASSERT_GT(samples.size(), 100u);
  }

  struct Buffers {
    std::vector<LWD_Accum> front;
    std::vector<LWD_Accum> back;
    bool operator==(const Buffers& o) const {
      return front.size() == o.front.size() && back.size() == o.back.size() &&
             std::memcmp(front.data(), o.front.data(), front.size() * sizeof(LWD_Accum)) == 0 &&
             std::memcmp(back.data(), o.back.data(), back.size() * sizeof(LWD_Accum)) == 0;
    }
  };

  // Every sample cut into consecutive pieces of `points` points, as the walk cuts huge ones.
  std::vector<LWD_RibbonSample> CutInto(int64_t points) const {
    std::vector<LWD_RibbonSample> pieces;
    for (LWD_RibbonSample smp : samples) {
      const int64_t total = (smp.points + 2) * (smp.fan + 1);
      for (int64_t first = 0; first < total; first += points) {
        smp.firstPoint = first;
        smp.endPoint = std::min(total, first + points);
        pieces.push_back(smp);
      }
    }
    return pieces;
  }

  Buffers Draw(int bands, size_t block) const { return Draw(samples, bands, block); }

  // Draws `from` in blocks of `block` samples over `bands` bands.
  Buffers Draw(const std::vector<LWD_RibbonSample>& from, int bands, size_t block) const {
    const size_t cells = static_cast<size_t>(s.boxWidth) * s.boxHeight;
    Buffers b{std::vector<LWD_Accum>(cells, LWD_Accum{}),
              std::vector<LWD_Accum>(cells, LWD_Accum{})};
    for (size_t first = 0; first < from.size(); first += block) {
      const size_t count = std::min(block, from.size() - first);
      for (int i = 0; i < bands; ++i) {
        RasterizeRibbonSamples(s, from.data() + first, count, PF_LayerDef{}, b.front.data(),
                               b.back.data(), RowBandOf(s.boxHeight, i, bands));
      }
    }
    return b;
  }
};

TEST_F(SpiralRibbon, BandsAndBlocksChangeNoBit) {
  const Buffers whole = Draw(1, samples.size());
  double weight = 0.0;
  double depthWeight = 0.0;
  for (size_t i = 0; i < whole.front.size(); ++i) {
    weight += whole.front[i].weight;
    depthWeight += whole.back[i].weight;
  }
  ASSERT_GT(weight, 100.0) << "the spiral is drawn";
  ASSERT_GT(depthWeight, 100.0) << "its extrusion too";
  for (const int bands : {2, 3, 7, 111, 200}) {
    EXPECT_TRUE(Draw(bands, samples.size()) == whole) << bands << " bands";
  }
  EXPECT_TRUE(Draw(3, 17) == whole) << "blocks of 17 samples over 3 bands";
  // Pieces that end inside cross-sections, and pieces of a single point.
  const std::vector<LWD_RibbonSample> pieces = CutInto(7);
  ASSERT_GT(pieces.size(), 2 * samples.size());
  EXPECT_TRUE(Draw(pieces, 3, 5) == whole) << "pieces of 7 points, 5 to a block";
  EXPECT_TRUE(Draw(CutInto(1), 2, 64) == whole) << "one point at a time";
}

// The last points of a Tube cross-section of 2^30 points, its far edge laid inside the box: the
// shading must not need a table entry for every point before them (gigabytes).
TEST_F(SpiralRibbon, TheFarEdgeOfAnEnormousTubeCrossSectionIsDrawn) {
  ASSERT_EQ(s.surface, LWD_SURFACE_TUBE);
  LWD_RibbonSample smp = samples.front();
  smp.fan = 0;
  smp.points = int64_t{1} << 30;
  smp.width = static_cast<double>(smp.points) * s.sampleStep;
  smp.x = s.boxX0 + 40.0 - smp.nx * smp.width / 2.0;
  smp.y = s.boxY0 + 40.0 - smp.ny * smp.width / 2.0;
  smp.firstPoint = smp.points - 2;
  smp.endPoint = smp.points + 2;
  const size_t cells = static_cast<size_t>(s.boxWidth) * s.boxHeight;
  std::vector<LWD_Accum> front(cells, LWD_Accum{});
  std::vector<LWD_Accum> back(cells, LWD_Accum{});
  RasterizeRibbonSamples(s, &smp, 1, PF_LayerDef{}, front.data(), back.data(), {0, s.boxHeight});
  float weight = 0.0f;
  for (const LWD_Accum& cell : front) {
    weight += cell.weight;
  }
  EXPECT_GT(weight, 0.0f) << "the far edge lands inside the box";
}

TEST_F(SpiralRibbon, ABandDrawsOnlyItsOwnRows) {
  const size_t cells = static_cast<size_t>(s.boxWidth) * s.boxHeight;
  std::vector<LWD_Accum> front(cells, LWD_Accum{});
  std::vector<LWD_Accum> back(cells, LWD_Accum{});
  const LWD_RowBand band = RowBandOf(s.boxHeight, 1, 3);
  RasterizeRibbonSamples(s, samples.data(), samples.size(), PF_LayerDef{}, front.data(),
                         back.data(), band);
  for (int64_t r = 0; r < s.boxHeight; ++r) {
    const bool inside = r >= band.rowBegin && r < band.rowEnd;
    float rowWeight = 0.0f;
    for (int64_t c = 0; c < s.boxWidth; ++c) {
      rowWeight += front[r * s.boxWidth + c].weight + back[r * s.boxWidth + c].weight;
    }
    if (!inside) {
      EXPECT_EQ(rowWeight, 0.0f) << "row " << r;
    }
  }
}

}  // namespace

namespace {

std::vector<LWD_RowBand> BandsOf(const std::vector<int64_t>& bounds) {
  std::vector<LWD_RowBand> bands;
  for (size_t i = 0; i + 1 < bounds.size(); ++i) {
    bands.push_back({bounds[i], bounds[i + 1]});
  }
  return bands;
}

// Bands cut by the block's estimated work cover its rows exactly once, so the spiral drawn over
// them is the same to the bit; rows crowded with points get narrower bands.
TEST_F(SpiralRibbon, BalancedBandsCoverTheRowsOnceAndFollowTheWork) {
  const Buffers whole = Draw(1, samples.size());
  const LWD_RowBand rows = RibbonSamplesRows(s, samples.data(), samples.size());
  for (const int64_t count : {2, 5, 64}) {
    const std::vector<int64_t> bounds =
        BalancedRowBands(s, samples.data(), samples.size(), rows, count);
    ASSERT_EQ(bounds.size(), static_cast<size_t>(count) + 1);
    EXPECT_EQ(bounds.front(), rows.rowBegin);
    EXPECT_EQ(bounds.back(), rows.rowEnd);
    EXPECT_TRUE(std::is_sorted(bounds.begin(), bounds.end())) << count << " bands";
    Buffers banded{std::vector<LWD_Accum>(whole.front.size(), LWD_Accum{}),
                   std::vector<LWD_Accum>(whole.back.size(), LWD_Accum{})};
    for (const LWD_RowBand band : BandsOf(bounds)) {
      RasterizeRibbonSamples(s, samples.data(), samples.size(), PF_LayerDef{}, banded.front.data(),
                             banded.back.data(), band);
    }
    EXPECT_TRUE(banded == whole) << count << " balanced bands";
  }

  // A wide sample near the top and a narrow one near the bottom: the heavy rows are split, the
  // light ones go to one band.
  LWD_RibbonSample heavy = samples.front();
  heavy.y = s.boxY0 + 20.0;
  heavy.width = 30.0;
  heavy.points = 4000;
  heavy.fan = 0;
  LWD_RibbonSample light = heavy;
  light.y = s.boxY0 + 90.0;
  light.width = 6.0;
  light.points = 40;
  const std::vector<LWD_RibbonSample> pair = {heavy, light};
  const LWD_RowBand pairRows = RibbonSamplesRows(s, pair.data(), pair.size());
  const std::vector<int64_t> split = BalancedRowBands(s, pair.data(), pair.size(), pairRows, 2);
  EXPECT_GT(split[1], 20 - 15) << "the first band ends inside the wide sample's rows";
  EXPECT_LT(split[1], 20 + 15);

  // Without a trustworthy position the rows are shared out evenly.
  LWD_RibbonSample lost = heavy;
  lost.y = std::nan("");
  const std::vector<int64_t> even = BalancedRowBands(s, &lost, 1, {0, 100}, 4);
  EXPECT_EQ(even, (std::vector<int64_t>{0, 25, 50, 75, 100}));
}

}  // namespace
}  // namespace lwd
