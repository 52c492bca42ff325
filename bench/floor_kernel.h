// The floor of a scene: what its render costs at least. The same number of source fetches and
// deposits as the render (from its census), at the same positions in a buffer of the same box,
// with the effect's arithmetic written inline, and nothing else: no path, no width rules, no
// shading, no allocation, no resolve.
#pragma once

#include <vector>

#include "ae_effect.h"
#include "census_reader.h"
#include "render/accum.h"

namespace lwbench {

// The bilinear fetch and the bilinear deposit of the floor, inline. They give the same results as
// SampleSource and SplatBilinear (FloorMatchesEffect checks it), so the floor does the same work.
lwd::LWD_Color FloorFetch(const PF_LayerDef& source, double sx, double sy);
void FloorSplat(lwd::LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                std::int32_t h, double x, double y, const lwd::LWD_Color& colour, double weight);

// Buffers of the census's box, made once; the floor adds to them run after run.
struct FloorBuffers {
  std::vector<lwd::LWD_Accum> front;
  std::vector<lwd::LWD_Accum> depth;
};
FloorBuffers MakeFloorBuffers(const SceneCensus& census);

// One frame's worth of floor work: every point fetched once from `source` (the box scaled onto
// the source), deposited at its depth offsets, then at its front position. Points between kept
// census positions are spread evenly along the line between them.
void RunFloor(const SceneCensus& census, const PF_LayerDef& source, FloorBuffers& buffers);

// False when the floor's fetch or deposit differs from the effect's on a sweep of test points.
bool FloorMatchesEffect();

// True when every texel has alpha > 0, so every fetch of the render leads to a deposit and the
// census's front deposits are also its fetches.
bool SourceIsOpaque(const PF_LayerDef& source);

}  // namespace lwbench
