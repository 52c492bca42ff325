#include "masks/mask_keys.h"

namespace lwhost {
namespace {

Vec2 Lerp(Vec2 a, Vec2 b, double k) {
  return {a.x + k * (b.x - a.x), a.y + k * (b.y - a.y)};
}

}  // namespace

int FirstMismatchedMaskKey(const std::vector<MaskKey>& keys) {
  for (size_t i = 1; i < keys.size(); ++i) {
    if (keys[i].mask.vertices.size() != keys[0].mask.vertices.size() ||
        keys[i].mask.closed != keys[0].mask.closed) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

Mask MaskAtFrame(const std::vector<MaskKey>& keys, double frame) {
  if (frame <= keys.front().frame) {
    return keys.front().mask;
  }
  if (frame >= keys.back().frame) {
    return keys.back().mask;
  }
  size_t next = 1;
  while (keys[next].frame <= frame) {
    ++next;
  }
  const MaskKey& a = keys[next - 1];
  const MaskKey& b = keys[next];
  if (a.interpolation == KeyInterpolation::kHold) {
    return a.mask;
  }
  const double k = InterpolatedFraction(a.interpolation, (frame - a.frame) / (b.frame - a.frame));
  Mask mask = a.mask;
  for (size_t i = 0; i < mask.vertices.size(); ++i) {
    const MaskVertex& u = a.mask.vertices[i];
    const MaskVertex& v = b.mask.vertices[i];
    mask.vertices[i] = {Lerp(u.point, v.point, k), Lerp(u.inTangent, v.inTangent, k),
                        Lerp(u.outTangent, v.outTangent, k)};
  }
  return mask;
}

}  // namespace lwhost
