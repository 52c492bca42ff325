// A mask of the layer that carries the effect: a chain of cubic Bezier segments built from
// vertices with in and out tangents, open or closed.
#pragma once

#include <stdexcept>
#include <vector>

#include "masks/bezier.h"

namespace lwhost {

// Tangents are relative to their vertex. The out tangent shapes the segment that leaves the
// vertex, the in tangent the segment that arrives at it.
struct MaskVertex {
  Vec2 point;
  Vec2 inTangent;
  Vec2 outTangent;
};

//   v[i] ---- v[i] + out[i] ~~~~ v[i+1] + in[i+1] ---- v[i+1]     segment i
// A closed mask adds the segment from its last vertex back to its first.
struct Mask {
  std::vector<MaskVertex> vertices;
  bool closed = false;
};

// An open mask of n vertices has n - 1 segments (none for n < 2); a closed one has n.
int MaskSegmentCount(const Mask& mask);

// Segment i as a cubic; i must lie in [0, MaskSegmentCount).
CubicBezier MaskSegment(const Mask& mask, int i);

// Builds a mask from parallel lists; an empty tangent list means all tangents are zero. Throws
// std::invalid_argument when a non-empty tangent list is not as long as the vertex list.
Mask MakeMask(const std::vector<Vec2>& vertices, const std::vector<Vec2>& inTangents,
              const std::vector<Vec2>& outTangents, bool closed);

// The mask at a downsampled resolution: every coordinate (tangents too) divided by dx and dy.
Mask ScaledMask(const Mask& mask, double dx, double dy);

}  // namespace lwhost
