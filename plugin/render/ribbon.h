// The ribbon: the visible part of the path walked in equal arc-length steps, a row of points laid
// across it at each step, each point textured from the source, shaded and splatted.
#pragma once

#include "ae_effect.h"
#include "render/accum.h"
#include "render/render_host.h"
#include "render/render_settings.h"
#include "render/ribbon_raster.h"

namespace lwd {

// Bilinear fetch from the source world at (sx, sy) in source pixels (texel centres at integer +
// 0.5), clamped to the edge. Returns red, green, blue, alpha in 0..1 as stored (premultiplied).
// A non-finite coordinate, one too far away for a 32-bit pixel index, or a world without pixels
// gives transparent black, which drops the point.
LWD_Color SampleSource(const PF_LayerDef& source, double sx, double sy);

// Fills `accum` (and `depthAccum` when settings.depthSteps > 0) over the settings' box, and widens
// `spans` (one per box row, when given) over the cells deposited into. Returns the first host
// error: a failed path evaluation, or a cancel reported by abort or progress.
PF_Err RasterizeRibbon(LWD_RenderHost& host, const LWD_RenderSettings& settings,
                       const PF_LayerDef& source, LWD_Accum* accum, LWD_Accum* depthAccum,
                       LWD_RowSpan* spans = nullptr);

}  // namespace lwd
