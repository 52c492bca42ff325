// Masks that move: a mask keyframed at frames, interpolated between its keys.
#pragma once

#include <vector>

#include "masks/mask.h"
#include "params/key_interpolation.h"

namespace lwhost {

struct MaskKey {
  double frame = 0.0;
  Mask mask;
  KeyInterpolation interpolation = KeyInterpolation::kLinear;  // of the span to the next key
};

// The index of the first key whose vertex count or closedness differs from key 0's; -1 when
// every key matches (keys of different shapes cannot be interpolated).
int FirstMismatchedMaskKey(const std::vector<MaskKey>& keys);

// The mask at `frame`: vertices and tangents moved between the keys around it by the fraction the
// earlier key's interpolation gives (InterpolatedFraction), the first key before the first frame
// and the last after the last. `keys` is not empty, its
// frames ascend and its keys match (FirstMismatchedMaskKey is -1).
Mask MaskAtFrame(const std::vector<MaskKey>& keys, double frame);

}  // namespace lwhost
