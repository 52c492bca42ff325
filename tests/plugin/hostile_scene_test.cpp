// Scenes at the edges of what a user can ask for: every parameter at its minimum and maximum,
// degenerate and enormous masks, tiny and extreme layers. Each renders or fails cleanly: an error
// leaves the frame transparent, and the host gets back everything it lent. Renders are bounded
// by the host's cancel rather than by a clock: one that polls more often than any sane frame
// needs is cancelled, and that cancel must be as clean as any other ending.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "scene_builder.h"

namespace lwtest {
namespace {

// A render of this test's scenes polls the cancel a few dozen times; far more means it is
// walking far more path than the frame can show.
constexpr int kCancelAtPoll = 4000;
constexpr std::string_view kThickness = "Thickness (0 = from source)";

struct Extreme {
  const char* label;
  double min;
  double max;
};

// Each parameter's whole range as a scene may give it (sliders beyond their slider range,
// angles as far as 16.16 fixed point reaches, popups by number).
constexpr Extreme kExtremes[] = {
    {"Smooth Corners", 0, 100},
    {"Stretch Along Path", 1, 2},
    {"Fit", 1, 3},
    {"Segment Position", -200, 300},
    {"Segment Length", 0.1, 200},
    {"Segment Grows From", 1, 3},
    {"Thickness (0 = from source)", -4000, 4000},
    {"Taper Start", 0, 100},
    {"Taper End", 0, 100},
    {"Taper Shape", 1, 2},
    {"Start Width", 0, 400},
    {"End Width", 0, 400},
    {"Offset", -500, 500},
    {"Trim Start", 0, 100},
    {"Trim End", 0, 100},
    {"Bank", -32768, 32767},
    {"Surface", 1, 2},
    {"Shading", 0, 100},
    {"Light Direction", -32768, 32767},
    {"Depth", 0, 200},
    {"Depth Direction", -32768, 32767},
    {"Depth Shade", 0, 100},
    {"Expand Bounds", 0, 2000},
    {"Quality", 1, 2},
    {"Opacity", 0, 100},
    {"Auto Bank", 0, 200},
    {"Flat Position", 0, 100},
    {"Flat Width", 0, 100},
    {"Bank Falloff", 1, 100},
};

class HostileSceneTest : public RenderTest {
 protected:
  // A checker source along a curve through a small layer.
  static lwhost::Scene Base(int32_t width = 64, int32_t height = 48) {
    lwhost::Scene scene = MakeScene(width, height);
    AddSvgMask(scene, "spine", "M 4 30 C 20 0 40 60 60 18");
    AddChecker(scene, "board", 12, 6);
    SetText(scene, "Path", "spine");
    SetText(scene, "Source", "board");
    SetNumber(scene, "Thickness (0 = from source)", 10);
    return scene;
  }

  static void AddChecker(lwhost::Scene& scene, const std::string& name, int32_t w, int32_t h) {
    lwhost::SceneLayer layer;
    layer.name = name;
    layer.pointer = "/layers/" + name;
    layer.kind = lwhost::SceneLayerKind::kChecker;
    layer.width = w;
    layer.height = h;
    layer.cell = 2;
    layer.colors = {lwhost::StraightColor8{255, 200, 60, 30},
                    lwhost::StraightColor8{140, 20, 90, 250}};
    scene.layers.push_back(layer);
  }

  // A mask given as vertices with no tangents.
  static void AddVertexMask(lwhost::Scene& scene, const std::string& name,
                            const std::vector<lwhost::ScenePoint>& vertices) {
    lwhost::SceneMask mask;
    mask.name = name;
    mask.pointer = "/masks/" + name;
    mask.vertices = vertices;
    mask.inTangents.assign(vertices.size(), {});
    mask.outTangents.assign(vertices.size(), {});
    scene.masks.push_back(mask);
  }

  // Renders and checks a clean ending; returns whether the host had to cancel it.
  bool ExpectClean(const lwhost::Scene& scene, const std::string& what) {
    session.options.cancelAtAbortCall = kCancelAtPoll;
    lwhost::SceneRenderer renderer(session, scene);
    const lwhost::FrameOutput out = renderer.RenderFrame(0);
    session.options.cancelAtAbortCall = 0;
    EXPECT_EQ(out.balance, "") << what;
    EXPECT_EQ(session.ledger.Report(), "") << what;
    if (out.err != PF_Err_NONE) {
      EXPECT_TRUE(out.err == PF_Interrupt_CANCEL || out.err == PF_Err_OUT_OF_MEMORY)
          << what << ": error " << out.err;
      if (!out.image.bytes.empty()) {
        EXPECT_TRUE(IsTransparent(out.image)) << what;
      }
    }
    if (out.err == PF_Interrupt_CANCEL) {
      std::cout << "[ cancelled] " << what << " polled " << kCancelAtPoll << " times\n";
    }
    return out.err == PF_Interrupt_CANCEL;
  }
};

TEST_F(HostileSceneTest, EveryParameterAtItsMinimumAndMaximum) {
  lwhost::Scene allMin = Base();
  lwhost::Scene allMax = Base();
  for (const Extreme& e : kExtremes) {
    for (const double value : {e.min, e.max}) {
      lwhost::Scene one = Base();
      if (std::string_view(e.label) == kThickness) {
        // A ribbon 4000 px wide costs seconds per pixel of path today: keep the path short.
        one.masks[0].svg = "M 30 24 L 33 24";
      }
      std::erase_if(one.params, [&](const auto& p) { return p.label == e.label; });
      SetNumber(one, e.label, value);
      ExpectClean(one, std::string(e.label) + " = " + std::to_string(value));
    }
    std::erase_if(allMin.params, [&](const auto& p) { return p.label == e.label; });
    std::erase_if(allMax.params, [&](const auto& p) { return p.label == e.label; });
    SetNumber(allMin, e.label, e.min);
    SetNumber(allMax, e.label, e.max);
  }
  ExpectClean(allMin, "every parameter at its minimum");
  ExpectClean(allMax, "every parameter at its maximum");
}

TEST_F(HostileSceneTest, DegenerateAndEnormousMasks) {
  std::vector<lwhost::ScenePoint> many;
  for (int i = 0; i < 10000; ++i) {
    many.push_back({4.0 + 56.0 * (i % 100) / 99.0, 4.0 + 40.0 * i / 9999.0});
  }
  const struct {
    const char* name;
    std::vector<lwhost::ScenePoint> vertices;
  } masks[] = {
      {"one vertex", {{30, 20}}},
      {"10,000 vertices", many},
      {"wholly outside", {{-500, -400}, {-300, -420}, {-200, -300}}},
      {"every point the same", {{20, 20}, {20, 20}, {20, 20}, {20, 20}}},
      {"far beyond the frame", {{-1e6, 24}, {1e6, 24}}},
  };
  for (const auto& m : masks) {
    lwhost::Scene scene = Base();
    AddVertexMask(scene, "odd", m.vertices);
    std::erase_if(scene.params, [](const auto& p) { return p.label == "Path"; });
    SetText(scene, "Path", "odd");
    SetText(scene, "Width Curve", "odd");
    ExpectClean(scene, m.name);
  }
}

TEST_F(HostileSceneTest, TinyAndExtremeLayers) {
  lwhost::Scene onePixelSource = Base();
  onePixelSource.layers.clear();
  AddChecker(onePixelSource, "board", 1, 1);
  ExpectClean(onePixelSource, "1 x 1 source");

  lwhost::Scene wideSource = Base();
  wideSource.layers.clear();
  AddChecker(wideSource, "board", 16384, 1);
  ExpectClean(wideSource, "16384 x 1 source");

  lwhost::Scene fromSource = wideSource;
  std::erase_if(fromSource.params,
                [](const auto& p) { return p.label == "Thickness (0 = from source)"; });
  ExpectClean(fromSource, "16384 x 1 source, thickness from the source");

  lwhost::Scene onePixelLayer = Base(1, 1);
  ExpectClean(onePixelLayer, "1 x 1 layer");
}

}  // namespace
}  // namespace lwtest
