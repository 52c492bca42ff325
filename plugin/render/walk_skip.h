// How far a walk along the spine may skip ahead: the one answer the bounds scan and the ribbon
// share. A point some distance out of reach is followed by points that surely stay out of reach
// (along its length the path moves no farther than that length), up to a break in the path.
#pragma once

#include <cstdint>
#include <vector>

#include "ae_basic_types.h"
#include "render/render_host.h"
#include "render/render_settings.h"

namespace lwd {

// How many points `spacing` px of path apart after one lying `gap` px out of reach surely stay
// out of reach, less a slack for the host's rounding on a path `pathLength` px long. 0 when the
// gap is small or not a number.
std::int64_t PointsOutOfReach(double pathLength, double gap, double spacing);

// How many points `spacing` apart after arc length `from` lie, with every smoothing tap within
// `radius` of them, before the next of the path's `breaks` (one short, to stay clear of
// rounding).
std::int64_t PointsBeforeBreak(const std::vector<double>& breaks, double from, double radius,
                               double spacing);

// The points after the one at arc length `from`, lying `gap` px out of reach, that the walk may
// skip: out of reach and before a break. The breaks are asked of the host only once at least
// `worth` points are out of reach (fewer are returned unclipped: the walk does not skip them).
PF_Err PointsToSkip(LWD_RenderHost& host, const LWD_RenderSettings& s, double gap, double from,
                    double spacing, std::int64_t worth, std::int64_t* points);

}  // namespace lwd
