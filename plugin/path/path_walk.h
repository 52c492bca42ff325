// An arc-length table over a checked-out host mask: turns a distance from the start of the mask
// into a segment and a length into it, and evaluates the mask there, exactly or smoothed.
#pragma once

#include <cstdint>
#include <vector>

#include "ae_effect.h"
#include "ae_path_suites.h"
#include "suites/suite_handler.h"

namespace lwd {

constexpr A_long kPathPrepFrequency = 200;

struct LWD_PathWalk {
  std::int32_t numSegments = 0;
  std::vector<PF_PathSegPrepPtr> segPreps;  // host preparation per segment, null if never made
  std::vector<double> cumLength;            // numSegments + 1 running lengths, [0] = 0
  double totalLength = 0.0;
  // Distances where a segment does not start where the one before it ended (a host may hand a
  // mask over in pieces); found on first use by FindPathBreaks.
  bool breaksFound = false;
  std::vector<double> breaks;
};

PF_Err BuildPathWalk(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                     LWD_PathWalk& walk);

// Segment of a distance already clamped to [0, totalLength]; a boundary belongs to the later
// segment.
std::int32_t FindSegment(const LWD_PathWalk& walk, double s);

PF_Err EvalPathExact(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                     LWD_PathWalk& walk, double s, double* x, double* y, double* dx, double* dy);

// Five-tap average over [s - r, s + r]; the direction is not normalised.
PF_Err EvalPathSmoothed(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                        LWD_PathWalk& walk, double s, double r, double* x, double* y, double* tx,
                        double* ty);

// Fills the walk's breaks, on the first call only: two host evaluations per joint between
// segments.
PF_Err FindPathBreaks(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                      LWD_PathWalk& walk);

// Cleans up every segment preparation; returns the running error merged with the host's answers.
PF_Err ReleasePathWalk(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                       LWD_PathWalk& walk, PF_Err err);

}  // namespace lwd
