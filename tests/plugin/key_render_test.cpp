// Keys that hold and ease, rendered: an eased or held value renders the same bytes as the still
// value it stands for at that frame, for numbers, angles, masks and the Width Graph.
#include <gtest/gtest.h>

#include <string>

#include "scene_builder.h"

namespace lwtest {
namespace {

// A ribbon along `mask` over a checker, with `params` added to the parameters.
lwhost::Scene SceneWith(const std::string& mask, const std::string& params) {
  const std::string text = R"j({"layer": {"width": 120, "height": 80},
    "layers": {"board": {"pattern": "checker", "width": 24, "height": 12, "cell": 3,
                         "colors": ["#ff8020ff", "#2040c0a0"]}},
    "masks": {"spine": )j" + mask + R"j(},
    "params": {"Path": "spine", "Source": "board", "Thickness (0 = from source)": 20,
               "Shading": 30, )j" + params + "}}";
  return lwhost::ParseSceneText(text, "keys.json", ".");
}

const char* const kLine = R"({"svg": "M 10 25 C 40 5 80 45 110 25"})";

class KeyRenderTest : public RenderTest {
 protected:
  std::vector<uint8_t> Bytes(const lwhost::Scene& scene, int32_t frame) {
    const lwhost::FrameOutput out = Render(scene, frame);
    EXPECT_EQ(out.err, PF_Err_NONE) << "frame " << frame;
    EXPECT_FALSE(IsTransparent(out.image)) << "frame " << frame << ": nothing to compare";
    return out.image.bytes;
  }
};

TEST_F(KeyRenderTest, AnEasedKeyAtAQuarterOfItsSpanIsFiveThirtySecondsOfTheWay) {
  // s = 1/4 gives 3/16 - 2/64 = 5/32: 32 -> 352 is at 82, 0 -> 64 degrees at 10.
  const lwhost::Scene eased =
      SceneWith(kLine, R"("Start Width": {"keys": [[0, 32, "ease"], [8, 352]]}, "Depth": 4)");
  EXPECT_EQ(Bytes(eased, 2), Bytes(SceneWith(kLine, R"("Start Width": 82, "Depth": 4)"), 2));
  const lwhost::Scene angleOnly = SceneWith(kLine, R"("Start Width": 82, "Depth": 4,
                          "Depth Direction": {"keys": [[4, 0, "ease"], [12, 64]]})");
  EXPECT_EQ(Bytes(angleOnly, 6), Bytes(SceneWith(kLine, R"("Start Width": 82, "Depth": 4,
                                                         "Depth Direction": 10)"),
                                       6));
  // Linear keys keep the fraction itself: a quarter of the way.
  const lwhost::Scene linear = SceneWith(kLine, R"("Start Width": {"keys": [[0, 32], [8, 352]]},
                                                   "Depth": 4)");
  EXPECT_EQ(Bytes(linear, 2), Bytes(SceneWith(kLine, R"("Start Width": 112, "Depth": 4)"), 2));
}

TEST_F(KeyRenderTest, AHeldKeyKeepsItsValueUntilTheNextKey) {
  const lwhost::Scene held =
      SceneWith(kLine, R"("Start Width": {"keys": [[0, 40, "hold"], [8, 300, "linear"],
                                                   [10, 100]]})");
  const auto still = [&](int width) {
    return SceneWith(kLine, R"("Start Width": )" + std::to_string(width));
  };
  EXPECT_EQ(Bytes(held, 7), Bytes(still(40), 7));
  EXPECT_EQ(Bytes(held, 8), Bytes(still(300), 8));
  EXPECT_EQ(Bytes(held, 9), Bytes(still(200), 9)) << "the next span is linear";
}

TEST_F(KeyRenderTest, MaskVerticesAndTangentsMoveByTheEasedFraction) {
  // y from 20 to 52 and the out tangent from (0, 0) to (32, -64): 5/32 of the way.
  const lwhost::Scene eased = SceneWith(
      R"({"keys": [[0, {"vertices": [[10, 20], [110, 30]]}, "ease"],
                   [8, {"vertices": [[10, 52], [110, 30]], "outTangents": [[32, -64], [0, 0]]}]]})",
      R"("Start Width": 60)");
  const lwhost::Scene still =
      SceneWith(R"({"vertices": [[10, 25], [110, 30]], "outTangents": [[5, -10], [0, 0]]})",
                R"("Start Width": 60)");
  EXPECT_EQ(Bytes(eased, 2), Bytes(still, 2));
  const lwhost::Scene held = SceneWith(
      R"({"keys": [[0, {"vertices": [[10, 20], [110, 30]]}, "hold"],
                   [8, {"vertices": [[10, 52], [110, 30]]}]]})",
      R"("Start Width": 60)");
  EXPECT_EQ(Bytes(held, 7),
            Bytes(SceneWith(R"({"vertices": [[10, 20], [110, 30]]})", R"("Start Width": 60)"), 7));
}

TEST_F(KeyRenderTest, TheWidthGraphReceivesTheEasedFraction) {
  // The effect's own interpolation gets 5/32 from the eased key at frame 8 of 32 and from the
  // linear key at frame 5 of 32.
  const std::string graph =
      R"([[0, [[0, 0.1], [0.5, 0.3], [1, 0.2]]], [32, [[0, 1], [0.5, 0.6], [1, 0.9]]]])";
  std::string easedGraph = graph;
  easedGraph.replace(easedGraph.find("]]], [32"), 8, "]], \"ease\"], [32");
  const auto scene = [&](const std::string& keys) {
    return SceneWith(kLine, R"("Start Width": 200, "Width Graph": {"keys": )" + keys + "}");
  };
  const std::vector<uint8_t> eased = Bytes(scene(easedGraph), 8);
  EXPECT_EQ(eased, Bytes(scene(graph), 5));
  EXPECT_NE(eased, Bytes(scene(graph), 8)) << "the graph must change what is drawn";
}

}  // namespace
}  // namespace lwtest
