#include "render/walk_skip.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lwd {

namespace {

// The most points one skip counts: far beyond any walk, and exact as a double.
constexpr double kMaxSkip = 1e15;

}  // namespace

std::int64_t PointsOutOfReach(double pathLength, double gap, double spacing) {
  // The host places a point to within a billionth of the path's length, so the two ends of a
  // jump are each off by at most that: allow twice as much again, and a few pixels for rounding
  // here. A looser allowance costs a step every 2 px across it: a million steps for a path of
  // 1e12 px at a millionth.
  const double slack = 4.0 + 4e-9 * pathLength;
  const double points = std::floor((gap - slack) / spacing);
  if (!(points >= 1.0)) {
    return 0;
  }
  return static_cast<std::int64_t>(std::min(points, kMaxSkip));
}

std::int64_t PointsBeforeBreak(const std::vector<double>& breaks, double from, double radius,
                               double spacing) {
  // The first break past the first tap of `from`; the last tap of a point must stay before it.
  const auto next = std::upper_bound(breaks.begin(), breaks.end(), from - radius);
  if (next != breaks.end() && *next <= from + radius) {
    return 0;  // `from` itself straddles a break
  }
  const double joinedUntil =
      next == breaks.end() ? std::numeric_limits<double>::infinity() : *next - radius;
  const double points = std::floor((joinedUntil - from) / spacing) - 1.0;
  if (!(points >= 1.0)) {
    return 0;
  }
  return static_cast<std::int64_t>(std::min(points, kMaxSkip));
}

PF_Err PointsToSkip(LWD_RenderHost& host, const LWD_RenderSettings& s, double gap, double from,
                    double spacing, std::int64_t worth, std::int64_t* points) {
  *points = PointsOutOfReach(s.pathLength, gap, spacing);
  if (*points < worth || *points <= 0) {
    return PF_Err_NONE;
  }
  const std::vector<double>* breaks = nullptr;
  if (const PF_Err err = host.PathBreaks(&breaks); err != PF_Err_NONE) {
    return err;
  }
  *points = std::min(*points, PointsBeforeBreak(*breaks, from, s.smoothRadius, spacing));
  return PF_Err_NONE;
}

}  // namespace lwd
