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

TEST(SceneTextWithCurveTest, WritesTheCurveAsPointsAndKeepsEveryOtherByte) {
  const auto points = std::vector<lwhost::CurvePoint>{{0, 1}, {0.3, 0.25}, {1, 0.6}};
  const lwhost::FlatCurve flat = lwhost::FlatCurveFromPoints(points);
  // The author's layout: tabs, a key after params, a keyframed value nearby, odd spacing.
  const std::string before = "{\n\t\"frames\" : 3,\n\t\"params\": {\n\t\t\"Width Graph\":";
  const std::string after =
      ",\n\t\t\"Taper\\u0020Start\": {\"keys\": [[0, 18]]}\n\t},\n\t\"bitDepth\": 16\n}\n";
  const std::string edited = lwhost::SceneTextWithCurve(
      before + " {\"flat\": \"" + std::string(200, '0') + "\"}" + after, flat);
  EXPECT_EQ(edited, before + " [[0, 1], [0.3, 0.25], [1, 0.6]]" + after);

  // Added where missing: after the last parameter, indented like it; a new "params" at the end.
  EXPECT_EQ(lwhost::SceneTextWithCurve("{\n  \"params\": {\n    \"Taper Start\": 18\n  }\n}", flat),
            "{\n  \"params\": {\n    \"Taper Start\": 18,\n    \"Width Graph\": "
            "[[0, 1], [0.3, 0.25], [1, 0.6]]\n  }\n}");
  EXPECT_EQ(lwhost::SceneTextWithCurve("", flat),
            "{\n  \"params\": {\n    \"Width Graph\": [[0, 1], [0.3, 0.25], [1, 0.6]]\n  }\n}\n");

  // A stored form that is not a plain list of points stays a stored form.
  lwhost::FlatCurve odd = flat;
  odd[2] = 7;  // a reserved byte the points cannot carry
  const std::string kept = lwhost::SceneTextWithCurve(R"({"params": {}})", odd);
  EXPECT_NE(kept.find("\"Width Graph\": {\"flat\": \"0103070000"), std::string::npos) << kept;

  EXPECT_THROW(lwhost::SceneTextWithCurve("[1, 2]", flat), std::invalid_argument);
  EXPECT_THROW(lwhost::SceneTextWithCurve(R"({"params": [1]})", flat), std::invalid_argument);
}

TEST(CurvePointsFromFlatTest, ReadsBackWhatPointsStoreAndRefusesOtherForms) {
  const auto points = std::vector<lwhost::CurvePoint>{{0, 0.5}, {0.3, 1}, {1, 0.6}};
  const lwhost::FlatCurve flat = lwhost::FlatCurveFromPoints(points);
  const auto back = lwhost::CurvePointsFromFlat(flat);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->size(), 3u);
  EXPECT_EQ(lwhost::FlatCurveFromPoints(*back), flat);
  lwhost::FlatCurve tagged = flat;
  tagged[0] = 2;
  EXPECT_FALSE(lwhost::CurvePointsFromFlat(tagged).has_value()) << "another tag";
  lwhost::FlatCurve crowded = flat;
  crowded[kCountByte] = 13;
  EXPECT_FALSE(lwhost::CurvePointsFromFlat(crowded).has_value()) << "more points than slots";
  lwhost::FlatCurve outside = lwhost::FlatCurveFromPoints(std::vector<lwhost::CurvePoint>{{0, 2}});
  EXPECT_FALSE(lwhost::CurvePointsFromFlat(outside).has_value()) << "y outside [0, 1]";
}

}  // namespace
}  // namespace lwtest
