#include "path/path_walk.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "suites/host_errors.h"

namespace lwd {

namespace {

// A window whose end taps are closer than this (squared length) has collapsed: r is 0, every tap
// clamped onto the same end, or the path does not move over the window.
constexpr double kCollapsedWindow = 1e-12;

// Smoothing taps along the arc-length axis, as multiples of the radius, and their weights. The
// weights sum to exactly 1, so a straight stretch keeps its position.
constexpr int kNumTaps = 5;
constexpr double kTapOffset[kNumTaps] = {-1.0, -0.5, 0.0, 0.5, 1.0};
constexpr double kTapWeight[kNumTaps] = {0.1063, 0.2411, 0.3052, 0.2411, 0.1063};

// Distances are clamped to the two ends of the path, never wrapped. A NaN distance goes to the
// start rather than reaching the host as a length.
double ClampDistance(const LWD_PathWalk& walk, double s) {
  if (!(s > 0.0)) {
    return 0.0;
  }
  return s < walk.totalLength ? s : walk.totalLength;
}

// One host evaluation at a distance already clamped to the path.
PF_Err EvalAtClamped(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                     LWD_PathWalk& walk, double s, double* x, double* y, double* dx, double* dy) {
  // A walk without segments (or one whose table does not match its count) has nothing to
  // evaluate; refusing here keeps the table lookups in bounds.
  if (walk.numSegments <= 0 || walk.segPreps.size() < static_cast<size_t>(walk.numSegments) ||
      walk.cumLength.size() < static_cast<size_t>(walk.numSegments) + 1) {
    return PF_Err_INVALID_INDEX;
  }
  const std::int32_t seg = FindSegment(walk, s);
  double l = s - walk.cumLength[seg];
  if (l < 0.0) {
    l = 0.0;
  }
  return suites.PathDataSuite1()->PF_PathEvalSegLengthDeriv1(
      in_data->effect_ref, outline, &walk.segPreps[seg], seg, l, x, y, dx, dy);
}

}  // namespace

PF_Err BuildPathWalk(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                     LWD_PathWalk& walk) {
  walk.numSegments = 0;
  walk.segPreps.clear();
  walk.cumLength.clear();
  walk.totalLength = 0.0;

  const PF_PathDataSuite1* data = suites.PathDataSuite1();
  A_long count = 0;
  PF_Err err = data->PF_PathNumSegments(in_data->effect_ref, outline, &count);
  if (err != PF_Err_NONE || count <= 0) {
    return err;
  }

  // A segment count the host reports can be absurd; running out of memory for the tables is an
  // error for the caller, not an exception through the host's entry point.
  try {
    walk.segPreps.assign(static_cast<size_t>(count), nullptr);
    walk.cumLength.assign(static_cast<size_t>(count) + 1, 0.0);
  } catch (const std::bad_alloc&) {
    walk.segPreps.clear();
    walk.cumLength.clear();
    return PF_Err_OUT_OF_MEMORY;
  }
  walk.numSegments = count;

  for (std::int32_t i = 0; i < count; ++i) {
    double length = 0.0;
    err = data->PF_PathPrepareSegLength(in_data->effect_ref, outline, i, kPathPrepFrequency,
                                        &walk.segPreps[i]);
    if (err == PF_Err_NONE) {
      err = data->PF_PathGetSegLength(in_data->effect_ref, outline, i, &walk.segPreps[i], &length);
      if (err != PF_Err_NONE) {
        length = 0.0;  // whatever the host left there is not a length
      }
    }
    // The failing segment still gets its entry; the entries after it stay 0.
    walk.cumLength[i + 1] = walk.cumLength[i] + length;
    if (err != PF_Err_NONE) {
      break;
    }
  }
  walk.totalLength = walk.cumLength[count];
  return err;
}

PF_Err FindPathBreaks(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                      LWD_PathWalk& walk) {
  if (walk.breaksFound) {
    return PF_Err_NONE;
  }
  // Joints closer than this are one point: the host's straight segments end within rounding of
  // where the next begins. The jumps' slack of 4 px absorbs such a gap at each of the thousands
  // of joints one jump could cross.
  constexpr double kJoined = 1e-3;
  walk.breaks.clear();
  for (std::int32_t k = 1; k < walk.numSegments; ++k) {
    double ex = 0.0;
    double ey = 0.0;
    double sx = 0.0;
    double sy = 0.0;
    double unused = 0.0;
    const PF_PathDataSuite1* data = suites.PathDataSuite1();
    PF_Err err = data->PF_PathEvalSegLengthDeriv1(
        in_data->effect_ref, outline, &walk.segPreps[k - 1], k - 1,
        walk.cumLength[k] - walk.cumLength[k - 1], &ex, &ey, &unused, &unused);
    if (err == PF_Err_NONE) {
      err = data->PF_PathEvalSegLengthDeriv1(in_data->effect_ref, outline, &walk.segPreps[k], k,
                                             0.0, &sx, &sy, &unused, &unused);
    }
    if (err != PF_Err_NONE) {
      return err;
    }
    if (!(std::hypot(ex - sx, ey - sy) <= kJoined)) {
      walk.breaks.push_back(walk.cumLength[k]);
    }
  }
  walk.breaksFound = true;
  return PF_Err_NONE;
}

std::int32_t FindSegment(const LWD_PathWalk& walk, double s) {
  if (walk.numSegments < 2) {
    return 0;
  }
  // Linear on purpose: masks have few segments, and the first segment whose end lies beyond s
  // puts a boundary distance into the later segment.
  for (std::int32_t i = 0; i + 1 < walk.numSegments; ++i) {
    if (s < walk.cumLength[i + 1]) {
      return i;
    }
  }
  return walk.numSegments - 1;
}

PF_Err EvalPathExact(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                     LWD_PathWalk& walk, double s, double* x, double* y, double* dx, double* dy) {
  return EvalAtClamped(in_data, suites, outline, walk, ClampDistance(walk, s), x, y, dx, dy);
}

//   tap:     0      1      2      3      4
//   s:    s - r  s - r/2   s   s + r/2  s + r
// The position is the weighted mean of the five points; the direction runs from the two taps
// behind s to the two ahead of it.
PF_Err EvalPathSmoothed(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                        LWD_PathWalk& walk, double s, double r, double* x, double* y, double* tx,
                        double* ty) {
  double px[kNumTaps];
  double py[kNumTaps];
  for (int k = 0; k < kNumTaps; ++k) {
    const double sk = ClampDistance(walk, s + kTapOffset[k] * r);
    double unusedDx = 0.0;
    double unusedDy = 0.0;
    const PF_Err err =
        EvalAtClamped(in_data, suites, outline, walk, sk, &px[k], &py[k], &unusedDx, &unusedDy);
    if (err != PF_Err_NONE) {
      return err;  // the outputs stay as the caller left them
    }
  }

  double sumX = 0.0;
  double sumY = 0.0;
  for (int k = 0; k < kNumTaps; ++k) {
    sumX += kTapWeight[k] * px[k];
    sumY += kTapWeight[k] * py[k];
  }
  *x = sumX;
  *y = sumY;

  const double dirX = (px[3] + px[4]) - (px[0] + px[1]);
  const double dirY = (py[3] + py[4]) - (py[0] + py[1]);
  if (dirX * dirX + dirY * dirY >= kCollapsedWindow) {
    *tx = dirX;
    *ty = dirY;
    return PF_Err_NONE;
  }
  // Collapsed window: the exact point and the host's own derivative.
  return EvalPathExact(in_data, suites, outline, walk, s, x, y, tx, ty);
}

PF_Err ReleasePathWalk(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathOutlinePtr outline,
                       LWD_PathWalk& walk, PF_Err err) {
  const PF_PathDataSuite1* data = nullptr;
  const size_t count = walk.numSegments > 0 ? static_cast<size_t>(walk.numSegments) : 0;
  for (size_t i = 0; i < count && i < walk.segPreps.size(); ++i) {
    if (walk.segPreps[i] == nullptr) {
      continue;
    }
    // The suite is only asked for when there is something to give back, so releasing a walk
    // that was never prepared cannot raise the missing-suite error.
    if (data == nullptr) {
      data = suites.PathDataSuite1();
    }
    err = MergeError(err, data->PF_PathCleanupSegLength(in_data->effect_ref, outline,
                                                        static_cast<A_long>(i), &walk.segPreps[i]));
    // The handle is the host's again whatever it answered; never hand it back twice.
    walk.segPreps[i] = nullptr;
  }
  return err;
}

}  // namespace lwd
