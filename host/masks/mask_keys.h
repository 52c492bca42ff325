// Masks that move: a mask keyframed at frames, interpolated between its keys.
#pragma once

#include <vector>

#include "masks/mask.h"

namespace lwhost {

struct MaskKey {
  double frame = 0.0;
  Mask mask;
};

// The index of the first key whose vertex count or closedness differs from key 0's; -1 when
// every key matches (keys of different shapes cannot be interpolated).
int FirstMismatchedMaskKey(const std::vector<MaskKey>& keys);

// The mask at `frame`: vertices and tangents interpolated linearly between the keys around it,
// the first key before the first frame and the last after the last. `keys` is not empty, its
// frames ascend and its keys match (FirstMismatchedMaskKey is -1).
Mask MaskAtFrame(const std::vector<MaskKey>& keys, double frame);

}  // namespace lwhost
