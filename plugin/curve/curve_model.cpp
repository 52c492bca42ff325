#include <cstring>

#include "curve/curve_data.h"

namespace lwd {

namespace {

// Below this a segment or a neighbour span has no width worth dividing by: the points coincide.
constexpr double kCollapsedSpan = 1e-9;

// Smallest number of points that forms a segment.
constexpr int kMinSegmentPoints = 2;

// Clamp to [0, 1], written so that a NaN lands on 0 instead of passing through (std::clamp
// would hand it back and the renderer would multiply a width by it).
double ClampUnit(double v) {
  return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0;
}

}  // namespace

void WriteDefaultCurve(LWD_CurveData* c) {
  // A flat line at full width: (0, 1) to (1, 1); every other byte zero.
  std::memset(c, 0, kCurveDataSize);
  c->tag = 1;
  c->numPoints = 2;
  c->x[0] = 0.0f;
  c->y[0] = 1.0f;
  c->x[1] = 1.0f;
  c->y[1] = 1.0f;
}

PF_Err CreateDefaultCurve(PF_InData* in_data, PF_OutData* /*out_data*/, PF_Handle* handle) {
  // Without the host's handle calls (or a place to put the handle) there is nothing we can make.
  if (in_data == nullptr || in_data->utils == nullptr || handle == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const PF_UtilCallbacks* utils = in_data->utils;
  if (utils->host_new_handle == nullptr || utils->host_lock_handle == nullptr ||
      utils->host_unlock_handle == nullptr || utils->host_dispose_handle == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  PF_Handle h = utils->host_new_handle(kCurveDataSize);
  if (h == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  void* p = utils->host_lock_handle(h);
  if (p == nullptr) {
    utils->host_dispose_handle(h);
    return PF_Err_OUT_OF_MEMORY;
  }
  WriteDefaultCurve(static_cast<LWD_CurveData*>(p));
  utils->host_unlock_handle(h);
  *handle = h;
  return PF_Err_NONE;
}

void CurveSort(LWD_CurveData* c) {
  if (c == nullptr) {
    return;
  }
  const int n = CurveUsedPoints(*c);
  // Stable insertion sort: a point only moves past points with a strictly greater x, so a point
  // the editor appends stays behind existing points with the same x.
  for (int i = 1; i < n; ++i) {
    const float tx = c->x[i];
    const float ty = c->y[i];
    int j = i;
    while (j > 0 && c->x[j - 1] > tx) {
      c->x[j] = c->x[j - 1];
      c->y[j] = c->y[j - 1];
      --j;
    }
    c->x[j] = tx;
    c->y[j] = ty;
  }
}

double CurveEval(const LWD_CurveData* c, double t) {
  if (c == nullptr || c->numPoints == 0) {
    return 1.0;
  }
  const int n = CurveUsedPoints(*c);
  if (n < kMinSegmentPoints) {
    return c->y[0];
  }

  const double u = ClampUnit(t);
  // Outside the first and last x the curve holds its end values, as stored.
  if (u <= c->x[0]) {
    return c->y[0];
  }
  if (u >= c->x[n - 1]) {
    return c->y[n - 1];
  }

  int i = n - 2;
  for (int k = 0; k <= n - 2; ++k) {
    if (u <= c->x[k + 1]) {
      i = k;
      break;
    }
  }

  const double x0 = c->x[i];
  const double x1 = c->x[i + 1];
  const double y0 = c->y[i];
  const double y1 = c->y[i + 1];
  const double h = x1 - x0;
  if (h < kCollapsedSpan) {
    return y1;
  }

  // Missing neighbours at the ends are phantom points one segment further out at the end value,
  // which halves the end tangent.
  const double xp = i > 0 ? c->x[i - 1] : x0 - h;
  const double yp = i > 0 ? c->y[i - 1] : y0;
  const double xn = i + 2 < n ? c->x[i + 2] : x1 + h;
  const double yn = i + 2 < n ? c->y[i + 2] : y1;

  // Non-uniform Catmull-Rom tangents: the slope between the two neighbours, scaled to this
  // segment's width.
  const double m0 = (x1 - xp) > kCollapsedSpan ? h * (y1 - yp) / (x1 - xp) : 0.0;
  const double m1 = (xn - x0) > kCollapsedSpan ? h * (yn - y0) / (xn - x0) : 0.0;

  const double s = (u - x0) / h;
  const double s2 = s * s;
  const double s3 = s2 * s;
  const double v = (2.0 * s3 - 3.0 * s2 + 1.0) * y0 + (s3 - 2.0 * s2 + s) * m0 +
                   (3.0 * s2 - 2.0 * s3) * y1 + (s3 - s2) * m1;
  // Hermite segments may overshoot between points; the width factor stays within [0, 1].
  return ClampUnit(v);
}

}  // namespace lwd
