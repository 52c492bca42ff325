// Width curve records for tests: the listed points in order, every other byte zero, tag 1.
#pragma once

#include <cstring>
#include <initializer_list>
#include <utility>

#include "curve/curve_data.h"

namespace lwd {

inline LWD_CurveData Curve(std::initializer_list<std::pair<float, float>> points) {
  LWD_CurveData c;
  std::memset(&c, 0, sizeof c);
  c.tag = 1;
  for (const auto& [x, y] : points) {
    c.x[c.numPoints] = x;
    c.y[c.numPoints] = y;
    ++c.numPoints;
  }
  return c;
}

}  // namespace lwd
