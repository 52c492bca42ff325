#include "scenes/scene.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/file_gate.h"
#include "layers/png_io.h"
#include "scenes/scene_text_edit.h"

namespace lwhost {
namespace {

namespace fs = std::filesystem;

Scene Parse(const std::string& text, const fs::path& folder = "/scenes") {
  return ParseSceneText(text, "test.json", folder);
}

TEST(SceneTest, EmptySceneTakesEveryDefault) {
  const Scene scene = Parse("{}");
  EXPECT_EQ(scene.fileName, "test.json");
  EXPECT_EQ(scene.layerWidth, 1280);
  EXPECT_EQ(scene.layerHeight, 720);
  EXPECT_EQ(scene.bitDepth, 8);
  EXPECT_EQ(scene.downsampleX, 1);
  EXPECT_EQ(scene.downsampleY, 1);
  EXPECT_EQ(scene.frameRate, 24.0);
  EXPECT_EQ(scene.firstFrame, 0);
  EXPECT_EQ(scene.lastFrame, 0);
  EXPECT_TRUE(scene.layers.empty());
  EXPECT_TRUE(scene.masks.empty());
  EXPECT_TRUE(scene.params.empty());
}

TEST(SceneTest, EveryKeyAndValueFormIsRead) {
  const fs::path dir = fs::temp_directory_path() / ("lw_scene_" + std::to_string(::getpid()));
  fs::create_directories(dir / "img");
  std::ofstream(dir / "img" / "wood.png") << "only its existence is checked here";
  const Scene scene = Parse(R"({
    "layer": {"width": 640, "height": 16384},
    "bitDepth": 16,
    "downsample": [2, 16],
    "frameRate": 29.97,
    "frames": [3, 47],
    "layers": {
      "wood": {"image": "img/wood.png"},
      "check": {"pattern": "checker", "width": 64, "height": 32, "cell": 8,
                "colors": ["#ff000080", "#00FF00ff"]},
      "nothing": {"empty": true}
    },
    "masks": {
      "spine": {"vertices": [[0, 0], [100, 50.5]], "outTangents": [[10, 0], [0, 0]],
                "closed": true},
      "curvy": {"svg": "M 10 10 C 40 0 80 0 110 10"}
    },
    "params": {
      "Taper Start": 25.5,
      "Fit": "Tile",
      "Width Graph": [[0, 1], [1, 0.5]],
      "Flat Graph": {"flat": ")" +
                                std::string(198, '0') + R"(Ff"},
      "Offset": {"keys": [[0, -10], [12.5, 30]]}
    }
  })",
                            dir);
  EXPECT_EQ(scene.layerWidth, 640);
  EXPECT_EQ(scene.layerHeight, 16384);
  EXPECT_EQ(scene.bitDepth, 16);
  EXPECT_EQ(scene.downsampleX, 2);
  EXPECT_EQ(scene.downsampleY, 16);
  EXPECT_DOUBLE_EQ(scene.frameRate, 29.97);
  EXPECT_EQ(scene.firstFrame, 3);
  EXPECT_EQ(scene.lastFrame, 47);

  ASSERT_EQ(scene.layers.size(), 3u);
  EXPECT_EQ(scene.layers[0].name, "wood") << "file order is kept";
  EXPECT_EQ(scene.layers[0].kind, SceneLayerKind::kImage);
  EXPECT_EQ(scene.layers[0].imagePath, dir / "img" / "wood.png");
  const SceneLayer* check = FindSceneLayer(scene, "check");
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->kind, SceneLayerKind::kChecker);
  EXPECT_EQ(check->width, 64);
  EXPECT_EQ(check->height, 32);
  EXPECT_EQ(check->cell, 8);
  EXPECT_EQ(check->colors[0], (StraightColor8{255, 0, 0, 128}));
  EXPECT_EQ(check->colors[1], (StraightColor8{0, 255, 0, 255}));
  EXPECT_EQ(FindSceneLayer(scene, "nothing")->kind, SceneLayerKind::kEmpty);
  EXPECT_EQ(FindSceneLayer(scene, "absent"), nullptr);

  const SceneMask* spine = FindSceneMask(scene, "spine");
  ASSERT_NE(spine, nullptr);
  EXPECT_FALSE(spine->isSvg);
  EXPECT_TRUE(spine->closed);
  ASSERT_EQ(spine->vertices.size(), 2u);
  EXPECT_EQ(spine->vertices[1].y, 50.5);
  EXPECT_EQ(spine->outTangents[0].x, 10.0);
  ASSERT_EQ(spine->inTangents.size(), 2u) << "a missing tangent list is all zero";
  EXPECT_EQ(spine->inTangents[1].x, 0.0);
  EXPECT_EQ(spine->pointer, "/masks/spine");
  const SceneMask* curvy = FindSceneMask(scene, "curvy");
  ASSERT_NE(curvy, nullptr);
  EXPECT_TRUE(curvy->isSvg);
  EXPECT_EQ(curvy->svg, "M 10 10 C 40 0 80 0 110 10");

  ASSERT_EQ(scene.params.size(), 5u);
  const SceneParam& taper = scene.params[0];
  EXPECT_EQ(taper.label, "Taper Start");
  EXPECT_FALSE(taper.animated);
  ASSERT_EQ(taper.keys.size(), 1u);
  EXPECT_EQ(taper.keys[0].value.kind, SceneValueKind::kNumber);
  EXPECT_EQ(taper.keys[0].value.number, 25.5);
  EXPECT_EQ(taper.keys[0].value.pointer, "/params/Taper Start");
  EXPECT_EQ(scene.params[1].keys[0].value.kind, SceneValueKind::kText);
  EXPECT_EQ(scene.params[1].keys[0].value.text, "Tile");
  const SceneValue& graph = scene.params[2].keys[0].value;
  EXPECT_EQ(graph.kind, SceneValueKind::kPoints);
  ASSERT_EQ(graph.points.size(), 2u);
  EXPECT_EQ(graph.points[1].y, 0.5);
  const SceneValue& flat = scene.params[3].keys[0].value;
  EXPECT_EQ(flat.kind, SceneValueKind::kFlat);
  EXPECT_EQ(flat.flat[0], 0);
  EXPECT_EQ(flat.flat[99], 0xFF);
  const SceneParam& offset = scene.params[4];
  EXPECT_TRUE(offset.animated);
  ASSERT_EQ(offset.keys.size(), 2u);
  EXPECT_EQ(offset.keys[1].frame, 12.5);
  EXPECT_EQ(offset.keys[1].value.number, 30.0);
  EXPECT_EQ(offset.keys[1].value.pointer, "/params/Offset/keys/1/1");

  EXPECT_EQ(Parse(R"({"frames": 12})").firstFrame, 12);
  EXPECT_EQ(Parse(R"({"frames": 12})").lastFrame, 12);
  EXPECT_EQ(Parse(R"({"layer": {"width": 1.0}})").layerWidth, 1) << "whole numbers as 1.0";
  fs::remove_all(dir);
}

struct BadScene {
  const char* text;
  const char* pointer;
  const char* problem;  // a part of the message
};

TEST(SceneTest, KeysNameHowTheirSpanMovesAndAreWrittenBackSo) {
  const Scene scene = Parse(R"({"masks": {"m": {"keys": [[0, {"vertices": [[0, 0]]}, "ease"],
                                                    [4, {"vertices": [[1, 1]]}]]}},
                                "params": {"Taper Start": {"keys": [[0, 1, "hold"], [2, 3, "linear"],
                                                                     [5, 4, "ease"], [6, 7]]}}})");
  using K = KeyInterpolation;
  EXPECT_EQ(scene.masks[0].keys[0].interpolation, K::kEase);
  EXPECT_EQ(scene.masks[0].keys[1].interpolation, K::kLinear);
  const std::vector<SceneKey>& keys = scene.params[0].keys;
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].interpolation, K::kHold);
  EXPECT_EQ(keys[1].interpolation, K::kLinear);
  EXPECT_EQ(keys[2].interpolation, K::kEase);
  EXPECT_EQ(keys[3].interpolation, K::kLinear);
  // A linear key is written without its name, so a file keeps its form.
  EXPECT_EQ(SceneKeyJson(2.5, "[[0, 1]]", K::kLinear), "[2.5, [[0, 1]]]");
  EXPECT_EQ(SceneKeyJson(12, "40", K::kEase), "[12, 40, \"ease\"]");
  EXPECT_EQ(SceneKeyJson(0, "\"spine\"", K::kHold), "[0, \"spine\", \"hold\"]");
  // The fractions: a quarter of an eased span is 5/32 of the way, exactly.
  EXPECT_EQ(InterpolatedFraction(K::kEase, 0.25), 5.0 / 32.0);
  EXPECT_EQ(InterpolatedFraction(K::kEase, 0.5), 0.5);
  EXPECT_EQ(InterpolatedFraction(K::kHold, 0.99), 0.0);
  EXPECT_EQ(InterpolatedFraction(K::kLinear, 0.1), 0.1);
}

TEST(SceneTest, ErrorsNameTheFileTheLocationAndTheProblem) {
  const BadScene cases[] = {
      {R"({"params": {"Offset": {"keys": [[0, 1, "smooth"]]}}})", "/params/Offset/keys/0/2",
       "expected \"linear\", \"hold\" or \"ease\", found \"smooth\""},
      {R"({"params": {"Offset": {"keys": [[0, 1, "ease", 2]]}}})", "/params/Offset/keys/0",
       "[frame, value, interpolation]"},
      {R"({"masks": {"m": {"keys": [[0, {"vertices": []}, 1]]}}})", "/masks/m/keys/0/2", "found 1"},
      {R"([])", "", "expected the scene as an object"},
      {R"({"layers": {}, "colour": 1})", "/colour", "unknown key \"colour\""},
      {R"({"frame": 2})", "/frame", "unknown key \"frame\" (did you mean \"frames\"?)"},
      {R"({"layers": {"t": {"imgae": "a.png"}}})", "/layers/t/imgae",
       "unknown layer key \"imgae\" (did you mean \"image\"?)"},
      {R"({"layers": {"t": {"pattern": "checker", "width": 4, "height": 4, "cells": 1}}})",
       "/layers/t/cells", "unknown layer key \"cells\" (did you mean \"cell\"?)"},
      {R"({"masks": {"m": {"vertices": [], "clsoed": true}}})", "/masks/m/clsoed",
       "unknown mask key \"clsoed\" (did you mean \"closed\"?)"},
      {R"({"layer": {"width": 0}})", "/layer/width", "0 is out of range 1 to 16384"},
      {R"({"layer": {"height": 16385}})", "/layer/height", "out of range 1 to 16384"},
      {R"({"layer": {"width": 10.5}})", "/layer/width", "expected a whole number"},
      {R"({"layer": {"depth": 3}})", "/layer/depth", "unknown key"},
      {R"({"bitDepth": 12})", "/bitDepth", "use 8 or 16"},
      {R"({"bitDepth": "8"})", "/bitDepth", "expected a number, found a text"},
      {R"({"downsample": [2]})", "/downsample", "expected [DX, DY]"},
      {R"({"downsample": [1, 17]})", "/downsample/1", "out of range 1 to 16"},
      {R"({"frameRate": 0})", "/frameRate", "out of range"},
      {R"({"frameRate": 0.0001})", "/frameRate", "out of range"},
      {R"({"frames": [5, 2]})", "/frames", "comes before"},
      {R"({"frames": -1})", "/frames", "out of range 0 to 2147483"},
      {R"({"frames": [0, 1, 2]})", "/frames", "[first, last]"},
      {R"({"layers": {"src": {"image": "nope.png"}}})", "/layers/src/image",
       "image file not found: \"/scenes/nope.png\""},
      {R"({"layers": {"src": {"image": 3}}})", "/layers/src/image", "expected the path"},
      {R"({"layers": {"src": {}}})", "/layers/src", "exactly one of"},
      {R"({"layers": {"src": {"empty": true, "image": "a.png"}}})", "/layers/src",
       "exactly one of"},
      {R"({"layers": {"src": {"empty": false}}})", "/layers/src/empty", "expected true"},
      {R"({"layers": {"src": {"empty": true, "size": 2}}})", "/layers/src/size",
       "unknown layer key"},
      {R"({"layers": {"c": {"pattern": "checker", "width": 4, "height": 4, "colors": []}}})",
       "/layers/c", "needs \"cell\""},
      {R"({"layers": {"c": {"pattern": "stripes", "width": 4, "height": 4, "cell": 1,
           "colors": ["#00000000", "#00000000"]}}})",
       "/layers/c/pattern", "unknown pattern"},
      {R"({"layers": {"c": {"pattern": "checker", "width": 4, "height": 4, "cell": 1,
           "colors": ["#00000000", "#0000000"]}}})",
       "/layers/c/colors/1", "expected a colour \"#RRGGBBAA\""},
      {R"({"layers": {"c": {"pattern": "checker", "width": 4, "height": 4, "cell": 1,
           "colors": ["#0000000g", "#00000000"]}}})",
       "/layers/c/colors/0", "#RRGGBBAA"},
      {R"({"layers": {"c": {"pattern": "checker", "width": 4, "height": 4, "cell": 0,
           "colors": ["#00000000", "#00000000"]}}})",
       "/layers/c/cell", "use a number above 0"},
      {R"({"masks": {"spine": {"vertices": [[0, 0], [1, 1], [2, 2], [3]]}}})",
       "/masks/spine/vertices/3", "expected a point [x, y]"},
      {R"({"masks": {"spine": {"vertices": [[0, 0], [1, "y"]]}}})", "/masks/spine/vertices/1/1",
       "expected a number"},
      {R"({"masks": {"spine": {"vertices": [[0, 0]], "inTangents": [[0, 0], [1, 1]]}}})",
       "/masks/spine/inTangents", "has 2 entries; \"vertices\" has 1"},
      {R"({"masks": {"spine": {"vertices": [], "closed": 1}}})", "/masks/spine/closed",
       "expected true or false"},
      {R"({"masks": {"spine": {"closed": true}}})", "/masks/spine",
       "needs \"vertices\", \"svg\", \"svgFile\" or \"keys\""},
      {R"({"masks": {"spine": {"svg": "M 0 0", "closed": true}}})", "/masks/spine/closed",
       "unknown mask key"},
      {R"({"masks": {"spine": {"svg": 5}}})", "/masks/spine/svg", "expected SVG path data"},
      {R"({"masks": {"a/b~c": {"vertices": [[0]]}}})", "/masks/a~1b~0c/vertices/0",
       "expected a point"},
      {R"({"params": {"Taper Start": true}})", "/params/Taper Start", "found true"},
      {R"({"params": {"Taper Start": null}})", "/params/Taper Start", "found null"},
      {R"({"params": {"Width Graph": {"flat": "00"}}})", "/params/Width Graph/flat",
       "expected 200 hex digits"},
      {R"({"params": {"Width Graph": {"flat": "00", "keys": []}}})", "/params/Width Graph/flat",
       "unknown key \"flat\""},
      {R"({"params": {"Width Graph": {"points": []}}})", "/params/Width Graph",
       "expected a number"},
      {R"({"params": {"Offset": {"keys": []}}})", "/params/Offset/keys", "at least one"},
      {R"({"params": {"Offset": {"keys": [[0, 1], [0, 2]]}}})", "/params/Offset/keys/1/0",
       "must ascend"},
      {R"({"params": {"Offset": {"keys": [[0, 1], [1]]}}})", "/params/Offset/keys/1",
       "a key [frame, value]"},
      {R"({"params": {"Offset": {"keys": [[0, {"keys": [[0, 1]]}]]}}})", "/params/Offset/keys/0/1",
       "keys cannot hold keys"},
  };
  for (const BadScene& bad : cases) {
    try {
      Parse(bad.text);
      ADD_FAILURE() << "accepted: " << bad.text;
    } catch (const SceneError& error) {
      EXPECT_EQ(error.file(), "test.json");
      EXPECT_EQ(error.pointer(), bad.pointer) << bad.text << "\n" << error.what();
      EXPECT_NE(error.problem().find(bad.problem), std::string::npos) << bad.text << "\n"
                                                                      << error.what();
      const std::string where = bad.pointer[0] != '\0' ? std::string(bad.pointer) + ": " : "";
      EXPECT_EQ(std::string(error.what()), "test.json: " + where + error.problem());
    }
  }
}

TEST(SceneTest, FilesAreReadRelativeToTheirFolderAndBadJsonIsReported) {
  const fs::path dir = fs::temp_directory_path() / ("lw_scenef_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "a.png") << "x";
  std::ofstream(dir / "scene.json") << R"({"layers": {"a": {"image": "a.png"}}})";
  const Scene scene = ParseSceneFile(dir / "scene.json");
  EXPECT_EQ(scene.fileName, (dir / "scene.json").string());
  EXPECT_EQ(scene.layers.at(0).imagePath, dir / "a.png");

  std::ofstream(dir / "broken.json") << "{\n  \"frames\": [1, \n}";
  try {
    ParseSceneFile(dir / "broken.json");
    ADD_FAILURE() << "broken JSON accepted";
  } catch (const SceneError& error) {
    EXPECT_EQ(error.file(), (dir / "broken.json").string());
    EXPECT_NE(error.problem().find("line 3"), std::string::npos) << error.what();
  }
  try {
    ParseSceneFile(dir / "absent.json");
    ADD_FAILURE() << "missing file accepted";
  } catch (const SceneError& error) {
    EXPECT_NE(std::string(error.what()).find("absent.json: cannot open"), std::string::npos)
        << error.what();
  }
  fs::remove_all(dir);
}

// Found by fuzzing: the JSON library throws out_of_range, not parse_error, for such a number.
TEST(SceneTest, NumberBeyondADoubleIsASceneError) {
  for (const char* text : {R"({"frames": 1e999})", "6e666rs\"( \"#"}) {
    EXPECT_THROW(Parse(text), SceneError) << text;
  }
}

TEST(SceneTest, LayersLoadAsPixelsAtTheScenesDepth) {
  const fs::path dir = fs::temp_directory_path() / ("lw_scenel_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  Image pixel = MakeImage(1, 1, 8);
  SetChannels(pixel, 0, 0, {255, 255, 0, 0});
  WritePng(dir / "red.png", pixel, PngAlpha::kRaw);
  std::ofstream(dir / "bad.png") << "not a PNG";
  const Scene scene = Parse(R"({"bitDepth": 16, "layers": {
      "red": {"image": "red.png"}, "bad": {"image": "bad.png"}, "none": {"empty": true},
      "check": {"pattern": "checker", "width": 3, "height": 2, "cell": 1,
                "colors": ["#FFFFFFFF", "#00000000"]}}})",
                            dir);
  const Image red = LoadSceneLayer(scene, *FindSceneLayer(scene, "red"), OpenGate());
  EXPECT_EQ(red.bitDepth, 16);
  EXPECT_EQ(GetChannels(red, 0, 0), (Channels{32768, 32768, 0, 0}));
  const Image check = LoadSceneLayer(scene, *FindSceneLayer(scene, "check"), OpenGate());
  EXPECT_EQ(check.width, 3);
  EXPECT_EQ(check.height, 2);
  EXPECT_EQ(GetChannels(check, 1, 1), (Channels{32768, 32768, 32768, 32768}));
  EXPECT_EQ(GetChannels(check, 2, 1), (Channels{}));
  const Image none = LoadSceneLayer(scene, *FindSceneLayer(scene, "none"), OpenGate());
  EXPECT_EQ(none.width, 0);
  EXPECT_TRUE(none.bytes.empty());
  try {
    LoadSceneLayer(scene, *FindSceneLayer(scene, "bad"), OpenGate());
    ADD_FAILURE() << "a text file loaded as an image";
  } catch (const SceneError& error) {
    EXPECT_EQ(error.pointer(), "/layers/bad/image");
    EXPECT_NE(error.problem().find("is not an image"), std::string::npos) << error.what();
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace lwhost
