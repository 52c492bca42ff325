// Every scene key and value form, and every shipped example, renders through `lathewind render`.
#include <gtest/gtest.h>

#include <string>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;

struct Rendered {
  Outcome outcome;
  PngSamples png;
};

Rendered RenderScene(const TempFolder& dir, const std::string& scene,
                     const std::vector<std::string>& extra = {}) {
  WriteText(dir / "scene.json", scene);
  std::vector<std::string> args = {"render", "scene.json", "-o", "out.png", "--quiet"};
  args.insert(args.end(), extra.begin(), extra.end());
  Rendered r;
  r.outcome = RunLathewind(args, dir.path());
  if (r.outcome.exitCode == 0) {
    r.png = ReadPngSamples(dir / "out.png");
  }
  return r;
}

int CoveredPixels(const PngSamples& png) {
  int covered = 0;
  for (size_t i = 3; i < png.samples.size(); i += 4) {
    covered += png.samples[i] != 0;
  }
  return covered;
}

// A 64 x 32 layer with a horizontal mask through its middle; `params` adds to "Path".
std::string LineScene(const std::string& extraKeys, const std::string& params) {
  return R"j({"layer": {"width": 64, "height": 32},)j" + extraKeys +
         R"j("masks": {"line": {"vertices": [[4, 16], [60, 16]]}},
             "params": {"Path": "line", "Thickness (0 = from source)": 12)j" +
         (params.empty() ? "" : ", " + params) + "}}";
}

TEST(SceneFormsTest, EmptySceneIsATransparentDefaultLayer) {
  TempFolder dir;
  const Rendered r = RenderScene(dir, "{}");
  ASSERT_EQ(r.outcome.exitCode, 0) << r.outcome.err;
  EXPECT_EQ(r.png.width, 1280u);
  EXPECT_EQ(r.png.height, 720u);
  EXPECT_EQ(r.png.bitDepth, 8);
  EXPECT_EQ(CoveredPixels(r.png), 0);
}

TEST(SceneFormsTest, LayerBitDepthDownsampleAndExpandBoundsShapeTheOutput) {
  struct Case {
    const char* name;
    std::string scene;
    uint32_t width, height;
    int bitDepth;
  };
  const Case cases[] = {
      {"16 bits", LineScene(R"j("bitDepth": 16,)j", ""), 64, 32, 16},
      {"downsample", LineScene(R"j("downsample": [2, 3],)j", ""), 32, 11, 8},
      {"expand bounds", LineScene("", R"j("Expand Bounds": 5)j"), 74, 42, 8},
      {"frame rate and frame", LineScene(R"j("frameRate": 29.97, "frames": 3,)j", ""), 64, 32, 8},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    const Rendered r = RenderScene(dir, c.scene);
    ASSERT_EQ(r.outcome.exitCode, 0) << c.name << ": " << r.outcome.err;
    EXPECT_EQ(r.png.width, c.width) << c.name;
    EXPECT_EQ(r.png.height, c.height) << c.name;
    EXPECT_EQ(r.png.bitDepth, c.bitDepth) << c.name;
    EXPECT_GT(CoveredPixels(r.png), 0) << c.name;
  }
}

TEST(SceneFormsTest, EveryLayerKindFeedsTheSource) {
  TempFolder dir;
  PngSamples image;
  image.width = 8;
  image.height = 4;
  image.bitDepth = 16;
  for (int i = 0; i < 32; ++i) {
    image.samples.insert(image.samples.end(), {0, 65535, 0, 65535});  // opaque green
  }
  lwclitest::WritePngSamples(dir / "green.png", image);
  struct Case {
    const char* name;
    const char* layer;
    uint32_t red, green, blue;  // at the ribbon's centre
  };
  const Case cases[] = {
      {"image", R"j({"image": "green.png"})j", 0, 255, 0},
      {"checker", R"j({"pattern": "checker", "width": 8, "height": 4, "cell": 64,
                      "colors": ["#0000ffff", "#ff0000ff"]})j",
       0, 0, 255},
      {"empty", R"j({"empty": true})j", 255, 255, 255},  // a world without pixels draws white
  };
  for (const Case& c : cases) {
    const Rendered r = RenderScene(
        dir,
        LineScene(std::string(R"j("layers": {"src": )j") + c.layer + "},", R"j("Source": "src")j"));
    ASSERT_EQ(r.outcome.exitCode, 0) << c.name << ": " << r.outcome.err;
    EXPECT_EQ(r.png.At(32, 16, 0), c.red) << c.name;
    EXPECT_EQ(r.png.At(32, 16, 1), c.green) << c.name;
    EXPECT_EQ(r.png.At(32, 16, 2), c.blue) << c.name;
    EXPECT_EQ(r.png.At(32, 16, 3), 255u) << c.name;
  }
}

TEST(SceneFormsTest, EveryMaskFormDrawsARibbon) {
  const char* masks[] = {
      R"j({"vertices": [[4, 16], [32, 8], [60, 16]], "inTangents": [[0, 0], [-10, 0], [0, 0]],
          "outTangents": [[0, 0], [10, 0], [0, 0]]})j",
      R"j({"vertices": [[10, 8], [54, 8], [54, 24], [10, 24]], "closed": true})j",
      R"j({"svg": "M 4 16 L 14 16 H 20 V 18 C 24 14 28 14 32 18 S 40 22 44 18 Q 48 14 52 18 T 60 16"})j",
      R"j({"svg": "m 4 16 l 10 0 h 6 v 2 c 4 -4 8 -4 12 0 s 8 4 12 0 q 4 -4 8 0 t 8 -2 z"})j",
      R"j({"svg": "M 10 8 L 54 8 L 54 24 L 10 24 L 10 8 Z"})j",
  };
  for (const char* mask : masks) {
    TempFolder dir;
    const Rendered r = RenderScene(
        dir, std::string(R"j({"layer": {"width": 64, "height": 32}, "masks": {"m": )j") + mask +
                 R"j(}, "params": {"Path": "m", "Thickness (0 = from source)": 4
  }
})j");
    ASSERT_EQ(r.outcome.exitCode, 0) << mask << ": " << r.outcome.err;
    EXPECT_GT(CoveredPixels(r.png), 60) << mask;
  }  // namespace
}

// The width curve's default stored form: tag 1, two points (0, 1) and (1, 1).
const std::string kDefaultCurveHex =
    "01020000"
    "00000000"
    "0000803f" +
    std::string(80, '0') +
    "0000803f"
    "0000803f" +
    std::string(80, '0');

TEST(SceneFormsTest, EveryParameterTakesEachOfItsValueForms) {
  TempFolder dir;
  const std::string layers =
      R"j("layers": {"a": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                          "colors": ["#ff0000ff", "#00ff0080"]},
                    "b": {"empty": true}},
         "masks": {"line": {"vertices": [[4, 16], [60, 16]]},
                   "bump": {"svg": "M 0 10 L 20 0 L 40 10"}},)j";
  const std::string every = R"j(
      "Path": "line", "Smooth Corners": 10, "Source": "a", "Stretch Along Path": "Height",
      "Fit": 2, "Segment Position": 10, "Segment Length": 50, "Segment Grows From": "Center",
      "Thickness (0 = from source)": -12, "Taper Start": 10, "Taper End": 10,
      "Taper Shape": "Linear", "Width Curve": "bump", "Width Graph": [[0, 0.5], [1, 1]],
      "Start Width": 80, "End Width": 120, "Offset": 5, "Trim Start": 5, "Trim End": 95,
      "Bank": 10.5, "Surface": "Flat", "Shading": 30, "Light Direction": -45, "Depth": 3,
      "Depth Direction": 135, "Depth Shade": 20, "Expand Bounds": 2, "Quality": "High",
      "Opacity": 90, "Auto Bank": 20, "Flat Position": 40, "Flat Width": 30,
      "Bank Falloff": 20)j";
  const std::string keyed = R"j(
      "Path": {"keys": [[0, "line"], [2, "bump"]]}, "Source": {"keys": [[0, "a"], [1, "b"]]},
      "Fit": {"keys": [[0, "Stretch"], [2, 2]]}, "Thickness (0 = from source)": {"keys": [[0, 8], [2, 16]]},
      "Bank": {"keys": [[0, 0], [2, 30]]},
      "Width Graph": {"keys": [[0, [[0, 0.2], [1, 1]]], [2, {
      "flat" : ")j" + kDefaultCurveHex +
                            R"j("}]]})j";
  for (const auto& [name, params] :
       {std::pair{"plain values", every}, std::pair{"keyframed values", keyed}}) {
    const Rendered r =
        RenderScene(dir, "{" + layers + R"j("frames": [0, 2], "params": {)j" + params + "}}",
                    {"--frames", "1"});
    ASSERT_EQ(r.outcome.exitCode, 0) << name << ": " << r.outcome.err;
    EXPECT_GT(CoveredPixels(r.png), 0) << name;
  }
}

TEST(SceneFormsTest, EveryExampleRenders) {
  const std::pair<const char*, const char*> examples[] = {
      {"stretch.json", "0"},       {"tile_closed.json", "0"}, {"segment_grow.json", "40"},
      {"width_profile.json", "0"}, {"auto_bank.json", "0"},   {"deep_16bit.json", "0"},
      {"width_graph.json", "0"},   {"arcs.json", "0"},        {"drawing.json", "0"},
      {"moving_spine.json", "24"},
  };
  for (const auto& [file, frame] : examples) {
    TempFolder dir;
    const Outcome o =
        RunLathewind({"render", std::string(LATHEWIND_SOURCE_DIR) + "/examples/" + file, "--frames",
                      frame, "-o", (dir / "out.png").string(), "--quiet"});
    ASSERT_EQ(o.exitCode, 0) << file << ": " << o.err;
    EXPECT_GT(CoveredPixels(ReadPngSamples(dir / "out.png")), 2000) << file;
  }
}

}  // namespace
