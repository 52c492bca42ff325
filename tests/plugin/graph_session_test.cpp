// The width graph driven through the host's GraphSession: edits taken into the parameter store,
// failures reported with everything given back, and scenes written back with the edited curve.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "drawing/graph_session.h"
#include "params/param_store.h"
#include "plugin_session.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

namespace lwtest {
namespace {

constexpr int kCountByte = 1;  // the stored form: tag, point count, two reserved bytes, floats
constexpr int kFirstY = 52;    // offset of the y values, after 12 x values

class GraphSessionTest : public PluginTest {
 protected:
  // A renderer for scene text, which sends PARAMS_SETUP and loads the values.
  lwhost::SceneRenderer& Load(const std::string& text) {
    session.GlobalSetup();
    renderer.emplace(session, lwhost::ParseSceneText(text, "graph scene", "."));
    return *renderer;
  }

  std::optional<lwhost::SceneRenderer> renderer;
};

TEST_F(GraphSessionTest, EditOfAKeyframedCurveBecomesItsStaticValue) {
  // Keys at frames 0 and 10: frame 0 shows the first key, a flat curve at height 0.25.
  lwhost::SceneRenderer& r =
      Load(R"({"params": {"Width Graph": {"keys": [[0, [[0, 0.25], [1, 0.25]]],
                                                   [10, [[0, 1], [1, 1]]]]}}})");
  lwhost::ParamStore& store = r.Params();
  lwhost::GraphSession graph(session, store);
  ASSERT_TRUE(store.IsAnimated(graph.Index()));

  // Point 0 is drawn at (0.5, 0.5 + 149 x 0.75): the click picks it, the drag lifts it to the top.
  const lwhost::GraphEventResult click = graph.Click(1, 112);
  EXPECT_EQ(click.err, PF_Err_NONE);
  EXPECT_TRUE(click.changed) << "a click that picks a point reports a change";
  EXPECT_EQ(click.balance, "");
  const lwhost::GraphEventResult drag = graph.Drag(40, -30);
  EXPECT_EQ(drag.err, PF_Err_NONE);
  EXPECT_TRUE(drag.changed);
  EXPECT_EQ(drag.balance, "");

  EXPECT_FALSE(store.IsAnimated(graph.Index())) << "the edit replaces the keys";
  std::vector<uint8_t> flat;
  ASSERT_EQ(store.Flatten(graph.Index(), &flat), PF_Err_NONE);
  ASSERT_EQ(flat.size(), lwhost::kFlatCurveBytes);
  EXPECT_EQ(flat[kCountByte], 2);
  float y[2];
  std::memcpy(y, flat.data() + kFirstY, sizeof y);
  EXPECT_EQ(y[0], 1.0f) << "dragged above the graph: clamped to the top";
  EXPECT_EQ(y[1], 0.25f) << "the other point keeps the key's height";
  std::vector<uint8_t> shown;
  ASSERT_EQ(graph.FlattenCurve(&shown), PF_Err_NONE);
  EXPECT_EQ(shown, flat) << "the control shows the adopted value";
}

TEST_F(GraphSessionTest, FailedDrawReportsTheErrorAndGivesEverythingBack) {
  lwhost::SceneRenderer& r = Load("{}");
  lwhost::GraphSession graph(session, r.Params());
  session.faults.FailCall("FillPath", 1, 77);
  lwhost::DrawingContext drawing;
  const lwhost::GraphEventResult drawn = graph.Draw(drawing);
  EXPECT_EQ(drawn.err, 77);
  EXPECT_FALSE(drawn.changed);
  EXPECT_EQ(drawn.balance, "");
  EXPECT_EQ(drawing.LiveObjects(), 0);
}

TEST(SceneTextWithCurveTest, ReplacesOnlyTheWidthGraphAndKeepsTheOrderOfKeys) {
  std::vector<uint8_t> flat(lwhost::kFlatCurveBytes, 0);
  flat[0] = 0x01;
  flat[1] = 0xAB;
  const std::string text = lwhost::SceneTextWithCurve(
      R"({"frames": 3, "params": {"Width Graph": [[0, 1]], "Taper Start": 18}, "bitDepth": 16})",
      flat);
  const size_t frames = text.find("\"frames\": 3");
  const size_t taper = text.find("\"Taper Start\": 18");
  const size_t depth = text.find("\"bitDepth\": 16");
  ASSERT_NE(frames, std::string::npos) << text;
  ASSERT_NE(taper, std::string::npos) << text;
  ASSERT_NE(depth, std::string::npos) << text;
  EXPECT_LT(frames, taper) << text;
  EXPECT_LT(taper, depth) << text;
  EXPECT_NE(text.find("\"Width Graph\": {\n      \"flat\": \"01AB" + std::string(196, '0') + "\""),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("[0, 1]"), std::string::npos) << "the old points are gone: " << text;

  EXPECT_NE(lwhost::SceneTextWithCurve("", flat).find("\"params\""), std::string::npos)
      << "no scene: a scene of the curve alone";
  EXPECT_THROW(lwhost::SceneTextWithCurve("[1, 2]", flat), std::invalid_argument);
}

}  // namespace
}  // namespace lwtest
