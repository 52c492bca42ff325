// The renderer's host interface over a polyline, for the walk's tests: the spine is exact (unit
// directions, lengths without rounding), breaks lie where a piece of the polyline does not start
// where the one before it ended, and abort, progress and spine evaluations are counted.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "render/render_host.h"

namespace lwd {

struct FakeSpinePoint {
  double x, y;
};

struct FakeSpineHost : LWD_RenderHost {
  std::vector<FakeSpinePoint> points;  // segment i runs from points[i] to points[i + 1]
  // Segments in pairs instead (segment i from points[2i] to points[2i + 1]): pieces that do not
  // meet, so the walk jumps from one to the next.
  bool disjoint = false;
  int evaluations = 0;
  int abortCalls = 0;
  PF_Err abortResult = PF_Err_NONE;
  std::vector<A_long> progressCalls;
  std::vector<double> breaks;

  std::size_t Segments() const { return disjoint ? points.size() / 2 : points.size() - 1; }
  FakeSpinePoint Start(std::size_t seg) const { return points[disjoint ? 2 * seg : seg]; }
  FakeSpinePoint End(std::size_t seg) const { return points[disjoint ? 2 * seg + 1 : seg + 1]; }
  double Length(std::size_t seg) const {
    return std::hypot(End(seg).x - Start(seg).x, End(seg).y - Start(seg).y);
  }
  double TotalLength() const {
    double total = 0.0;
    for (std::size_t seg = 0; seg < Segments(); ++seg) {
      total += Length(seg);
    }
    return total;
  }

  PF_Err EvalSpine(double arc, LWD_SpinePosition* out) override {
    ++evaluations;
    double l = arc > 0.0 ? arc : 0.0;
    std::size_t seg = 0;
    while (seg + 1 < Segments() && l >= Length(seg)) {
      l -= Length(seg++);
    }
    l = std::fmin(l, Length(seg));
    const FakeSpinePoint a = Start(seg);
    const FakeSpinePoint b = End(seg);
    out->tx = (b.x - a.x) / Length(seg);
    out->ty = (b.y - a.y) / Length(seg);
    out->x = a.x + out->tx * l;
    out->y = a.y + out->ty * l;
    return PF_Err_NONE;
  }
  PF_Err PathBreaks(const std::vector<double>** out) override {
    breaks.clear();
    double at = 0.0;
    for (std::size_t seg = 1; seg < Segments(); ++seg) {
      at += Length(seg - 1);
      if (std::hypot(End(seg - 1).x - Start(seg).x, End(seg - 1).y - Start(seg).y) > 1e-3) {
        breaks.push_back(at);
      }
    }
    *out = &breaks;
    return PF_Err_NONE;
  }
  PF_Err Abort() override {
    ++abortCalls;
    return abortResult;
  }
  PF_Err Progress(std::int64_t done, std::int64_t) override {
    progressCalls.push_back(static_cast<A_long>(done));
    return PF_Err_NONE;
  }
  bool HasThreads() const override { return false; }
  PF_Err RunBands(A_long, void*, LWD_BandFunction) override { return PF_Err_BAD_CALLBACK_PARAM; }
};

}  // namespace lwd
