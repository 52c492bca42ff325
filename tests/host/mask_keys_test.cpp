// Keyframed masks: linear, eased or held between keys, held outside them, and keys that cannot be
// interpolated.
#include <gtest/gtest.h>

#include <vector>

#include "masks/mask_keys.h"

namespace lwhost {
namespace {

Mask Line(double y, double tangent) {
  return MakeMask({{0, y}, {100, y}}, {{0, 0}, {-tangent, 0}}, {{tangent, 0}, {0, 0}}, false);
}

TEST(MaskKeysTest, VerticesAndTangentsMoveLinearlyAndHoldOutsideTheKeys) {
  const std::vector<MaskKey> keys = {{10, Line(0, 0)}, {20, Line(40, 10)}, {40, Line(0, 30)}};
  struct Case {
    double frame, y, tangent;
  };
  for (const Case c : {Case{-5, 0, 0}, Case{10, 0, 0}, Case{12.5, 10, 2.5}, Case{20, 40, 10},
                       Case{30, 20, 20}, Case{40, 0, 30}, Case{99, 0, 30}}) {
    const Mask m = MaskAtFrame(keys, c.frame);
    EXPECT_DOUBLE_EQ(m.vertices[1].point.y, c.y) << "frame " << c.frame;
    EXPECT_DOUBLE_EQ(m.vertices[1].point.x, 100) << "frame " << c.frame;
    EXPECT_DOUBLE_EQ(m.vertices[0].outTangent.x, c.tangent) << "frame " << c.frame;
    EXPECT_DOUBLE_EQ(m.vertices[1].inTangent.x, -c.tangent) << "frame " << c.frame;
  }
  EXPECT_EQ(FirstMismatchedMaskKey(keys), -1);
}

TEST(MaskKeysTest, EasedAndHeldSpansMoveByTheirFraction) {
  const std::vector<MaskKey> keys = {{0, Line(0, 0), KeyInterpolation::kEase},
                                     {8, Line(32, 64), KeyInterpolation::kHold},
                                     {16, Line(0, 0)}};
  // A quarter of the eased span is 5/32 of the way, the middle half of it.
  EXPECT_EQ(MaskAtFrame(keys, 2).vertices[1].point.y, 5);
  EXPECT_EQ(MaskAtFrame(keys, 2).vertices[0].outTangent.x, 10);
  EXPECT_EQ(MaskAtFrame(keys, 4).vertices[1].point.y, 16);
  EXPECT_EQ(MaskAtFrame(keys, 15.9).vertices[1].point.y, 32) << "held until the next key";
  EXPECT_EQ(MaskAtFrame(keys, 16).vertices[1].point.y, 0);
}

TEST(MaskKeysTest, KeysOfAnotherVertexCountOrClosednessAreFound) {
  Mask closed = Line(0, 0);
  closed.closed = true;
  Mask three = Line(0, 0);
  three.vertices.push_back({{50, 50}, {}, {}});
  EXPECT_EQ(FirstMismatchedMaskKey({{0, Line(0, 0)}, {1, Line(5, 0)}, {2, closed}}), 2);
  EXPECT_EQ(FirstMismatchedMaskKey({{0, Line(0, 0)}, {1, three}}), 1);
  EXPECT_EQ(FirstMismatchedMaskKey({{0, Line(0, 0)}}), -1);
}

}  // namespace
}  // namespace lwhost
