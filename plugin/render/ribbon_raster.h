// Draws prepared ribbon samples into the accumulation buffers: a pure function over plain data,
// no host. A band of the box's rows receives exactly the taps that land in it, in the order of
// the samples, so drawing the box in any split into bands gives the same bits as drawing it
// whole.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ae_effect.h"
#include "render/accum.h"
#include "render/render_settings.h"
#include "render/ribbon_sample.h"

namespace lwd {

// Rows [rowBegin, rowEnd) of the box (0 = the box's top row).
struct LWD_RowBand {
  std::int64_t rowBegin;
  std::int64_t rowEnd;
};

// The columns [begin, end) of one box row outside which the ribbon has deposited nothing; empty
// while begin >= end.
struct LWD_RowSpan {
  std::int32_t begin;
  std::int32_t end;
};

inline constexpr LWD_RowSpan kEmptyRowSpan = {INT32_MAX, INT32_MIN};

// The rows of the box that the samples' points, fans and depth copies can reach (every row when
// a sample has no finite position or width; empty when none reaches the box).
LWD_RowBand RibbonSamplesRows(const LWD_RenderSettings& settings, const LWD_RibbonSample* samples,
                              std::size_t count);

// Splits `rows` into `count` bands of about equal work for the samples: each sample's points (and
// depth copies) counted as spread evenly over the rows it can reach. Returns count + 1 row
// boundaries, the first rows.rowBegin and the last rows.rowEnd; a band may be empty. Equal rows
// when a sample has no finite position or width.
std::vector<std::int64_t> BalancedRowBands(const LWD_RenderSettings& settings,
                                           const LWD_RibbonSample* samples, std::size_t count,
                                           LWD_RowBand rows, std::int64_t bands);

// Band `index` of `count` equal bands of a box `height` rows high.
LWD_RowBand RowBandOf(std::int64_t height, std::int64_t index, std::int64_t count);

// How far (px) a sample at (x, y) lies beyond the reach of the box, however wide, turned or
// extruded: no sample reaches farther than settings.boundsMargin from its place. Negative near
// the box; not a number while the margin is 0 (not worked out), so that nothing is skipped.
double SampleGapToBox(const LWD_RenderSettings& settings, double x, double y);

// False when no point, fan cross-section or depth copy of the sample can touch the box.
bool RibbonSampleReachesBox(const LWD_RenderSettings& settings, const LWD_RibbonSample& sample);

// For each sample in order, its fan cross-sections and its own, every point textured from
// `source` (opaque white when settings.sourceEmpty), its depth copies into `depthAccum` (when
// settings.depthSteps > 0 and it is given), shaded and deposited into `accum`; only taps in the
// band's rows are made. When `spans` (one per box row) is given, the span of each row of the band
// is widened to cover every cell the band deposited into in that row, in either buffer.
void RasterizeRibbonSamples(const LWD_RenderSettings& settings, const LWD_RibbonSample* samples,
                            std::size_t count, const PF_LayerDef& source, LWD_Accum* accum,
                            LWD_Accum* depthAccum, LWD_RowBand band, LWD_RowSpan* spans = nullptr);

}  // namespace lwd
