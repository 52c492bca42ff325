#include "masks/mask.h"

#include <string>

namespace lwhost {

int MaskSegmentCount(const Mask& mask) {
  const int n = static_cast<int>(mask.vertices.size());
  if (mask.closed) {
    return n;
  }
  return n > 1 ? n - 1 : 0;
}

CubicBezier MaskSegment(const Mask& mask, int i) {
  const int n = static_cast<int>(mask.vertices.size());
  const MaskVertex& a = mask.vertices[i];
  const MaskVertex& b = mask.vertices[(i + 1) % n];  // wraps only for a closed mask's last one
  return {a.point,
          {a.point.x + a.outTangent.x, a.point.y + a.outTangent.y},
          {b.point.x + b.inTangent.x, b.point.y + b.inTangent.y},
          b.point};
}

Mask MakeMask(const std::vector<Vec2>& vertices, const std::vector<Vec2>& inTangents,
              const std::vector<Vec2>& outTangents, bool closed) {
  const auto check = [&](const std::vector<Vec2>& list, const char* name) {
    if (!list.empty() && list.size() != vertices.size()) {
      throw std::invalid_argument(std::string(name) + " has " + std::to_string(list.size()) +
                                  " entries but there are " + std::to_string(vertices.size()) +
                                  " vertices");
    }
  };
  check(inTangents, "inTangents");
  check(outTangents, "outTangents");
  Mask mask;
  mask.closed = closed;
  mask.vertices.resize(vertices.size());
  for (size_t i = 0; i < vertices.size(); ++i) {
    mask.vertices[i].point = vertices[i];
    if (!inTangents.empty()) {
      mask.vertices[i].inTangent = inTangents[i];
    }
    if (!outTangents.empty()) {
      mask.vertices[i].outTangent = outTangents[i];
    }
  }
  return mask;
}

Mask ScaledMask(const Mask& mask, double dx, double dy) {
  Mask scaled = mask;
  for (MaskVertex& v : scaled.vertices) {
    for (Vec2* p : {&v.point, &v.inTangent, &v.outTangent}) {
      p->x /= dx;
      p->y /= dy;
    }
  }
  return scaled;
}

}  // namespace lwhost
