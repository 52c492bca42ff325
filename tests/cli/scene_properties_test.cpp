// Properties of the command that hold for any scene, checked on a few random ones (seeded, so a
// failure names the seed that reproduces it).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "cli_harness.h"

namespace lwclitest {
namespace {

using Json = nlohmann::ordered_json;

// A small keyframed scene whose numbers carry many digits, so a save that rounds or reorders
// anything shows up in the pixels.
Json RandomScene(std::mt19937& rng) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto in = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
  Json scene;
  scene["layer"] = {{"width", 72}, {"height", 48}};
  scene["frames"] = {0, 2};
  scene["layers"]["board"] = {{"pattern", "checker"},
                              {"width", 9},
                              {"height", 6},
                              {"cell", 3},
                              {"colors", {"#e0409aff", "#30c0f0b0"}}};
  scene["masks"]["spine"]["svg"] =
      "M " + std::to_string(in(2, 20)) + " " + std::to_string(in(5, 43)) + " C " +
      std::to_string(in(0, 72)) + " " + std::to_string(in(0, 48)) + " " +
      std::to_string(in(0, 72)) + " " + std::to_string(in(0, 48)) + " " +
      std::to_string(in(50, 70)) + " " + std::to_string(in(5, 43));
  Json& params = scene["params"];
  params["Path"] = "spine";
  params["Source"] = "board";
  params["Fit"] = unit(rng) < 0.5 ? "Tile" : "Stretch";
  params["Thickness (0 = from source)"] = in(4, 20);
  params["Taper Start"] = {{"keys", {{0, in(0, 50)}, {2, in(0, 50)}}}};
  params["Bank"] = {{"keys", {{0, in(-90, 90)}, {2, in(-90, 90)}}}};
  params["Shading"] = in(0, 100);
  params["Depth"] = in(0, 6);
  Json points = Json::array();
  const int count = 2 + static_cast<int>(unit(rng) * 4);
  for (int i = 0; i < count; ++i) {
    points.push_back({static_cast<double>(i) / (count - 1), in(0.1, 1.0)});
  }
  params["Width Graph"] = points;
  return scene;
}

TEST(ScenePropertiesTest, AScenesSavedByGraphRendersAsTheSceneWithTheEditedCurve) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    const Json scene = RandomScene(rng);
    TempFolder dir;
    WriteText(dir / "scene.json", scene.dump(2));
    const std::string click = std::to_string(20 + seed * 40) + "," + std::to_string(30 + seed * 25);
    const Outcome saved = RunLathewind(
        {"graph", "scene.json", "-o", "g.png", "--click", click, "--save", "saved.json"},
        dir.path());
    ASSERT_EQ(saved.exitCode, 0) << "seed " << seed << ": " << saved.err;

    // The same scene with only its curve replaced by the saved one, written by this test.
    Json expected = scene;
    expected["params"]["Width Graph"] =
        Json::parse(ReadBytes(dir / "saved.json"))["params"]["Width Graph"];
    ASSERT_NE(expected["params"]["Width Graph"], scene["params"]["Width Graph"]) << seed;
    WriteText(dir / "expected.json", expected.dump());

    // Rendered one frame at a time and three at once: neither the save nor --jobs shows.
    for (const char* name : {"saved", "expected"}) {
      const bool one = std::string(name) == "saved";
      const Outcome o =
          RunLathewind({"render", std::string(name) + ".json", "-o", std::string(name) + ".%d.png",
                        "--quiet", "--jobs", one ? "1" : "3"},
                       dir.path());
      ASSERT_EQ(o.exitCode, 0) << "seed " << seed << " " << name << ": " << o.err;
    }
    for (int frame = 0; frame <= 2; ++frame) {
      const std::string f = std::to_string(frame);
      EXPECT_EQ(ReadBytes(dir / ("saved." + f + ".png")),
                ReadBytes(dir / ("expected." + f + ".png")))
          << "seed " << seed << ", frame " << frame;
    }
  }
}

}  // namespace
}  // namespace lwclitest
