// Scenes built in memory for render tests, and the measurements they check.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "layers/image.h"
#include "plugin_session.h"
#include "layers/png_io.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

namespace lwtest {

// A scene with the given layer size; every parameter at its default.
inline lwhost::Scene MakeScene(int32_t width, int32_t height, int bitDepth = 8) {
  lwhost::Scene scene;
  scene.fileName = "test scene";
  scene.layerWidth = width;
  scene.layerHeight = height;
  scene.bitDepth = bitDepth;
  return scene;
}

inline void AddSvgMask(lwhost::Scene& scene, const std::string& name, const std::string& svg) {
  lwhost::SceneMask mask;
  mask.name = name;
  mask.pointer = "/masks/" + name;
  mask.isSvg = true;
  mask.svg = svg;
  scene.masks.push_back(mask);
}

inline void AddImageLayer(lwhost::Scene& scene, const std::string& name,
                          const std::filesystem::path& file) {
  lwhost::SceneLayer layer;
  layer.name = name;
  layer.pointer = "/layers/" + name;
  layer.kind = lwhost::SceneLayerKind::kImage;
  layer.imagePath = file;
  scene.layers.push_back(layer);
}

inline void AddEmptyLayer(lwhost::Scene& scene, const std::string& name) {
  lwhost::SceneLayer layer;
  layer.name = name;
  layer.pointer = "/layers/" + name;
  layer.kind = lwhost::SceneLayerKind::kEmpty;
  scene.layers.push_back(layer);
}

inline lwhost::SceneParam& AddParam(lwhost::Scene& scene, const std::string& label) {
  lwhost::SceneParam param;
  param.label = label;
  param.pointer = "/params/" + label;
  scene.params.push_back(param);
  return scene.params.back();
}

// A plain number (sliders in their own units, angles in degrees, popups by number).
inline void SetNumber(lwhost::Scene& scene, const std::string& label, double value) {
  lwhost::SceneKey key;
  key.value.kind = lwhost::SceneValueKind::kNumber;
  key.value.number = value;
  AddParam(scene, label).keys.push_back(key);
}

// A popup choice, a layer or a mask by name.
inline void SetText(lwhost::Scene& scene, const std::string& label, const std::string& text) {
  lwhost::SceneKey key;
  key.value.kind = lwhost::SceneValueKind::kText;
  key.value.text = text;
  AddParam(scene, label).keys.push_back(key);
}

// A number keyed at two frames.
inline void SetNumberKeys(lwhost::Scene& scene, const std::string& label, double frame0,
                          double value0, double frame1, double value1) {
  lwhost::SceneParam& param = AddParam(scene, label);
  param.animated = true;
  for (auto [frame, value] : {std::pair{frame0, value0}, std::pair{frame1, value1}}) {
    lwhost::SceneKey key;
    key.frame = frame;
    key.value.kind = lwhost::SceneValueKind::kNumber;
    key.value.number = value;
    param.keys.push_back(key);
  }
}

inline double Alpha(const lwhost::Image& image, int32_t x, int32_t y) {
  return lwhost::GetChannels(image, x, y).alpha;
}

// The ribbon's drawn width in one output column: the column's coverage in pixels.
inline double ColumnCoverage(const lwhost::Image& image, int32_t x) {
  const double full = lwhost::FullScale(image.bitDepth);
  double sum = 0.0;
  for (int32_t y = 0; y < image.height; ++y) {
    sum += Alpha(image, x, y) / full;
  }
  return sum;
}

// A drawn width measured by ColumnCoverage against the ribbon's width W: the splat softens each
// edge over the neighbouring pixel row, which adds less than one pixel of coverage in all.
inline ::testing::AssertionResult IsDrawnWidth(double coverage, double width) {
  if (coverage >= width - 0.25 && coverage <= width + 1.0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "coverage " << coverage << " for a width of " << width;
}

// Every pixel transparent black; reports the first one that is not.
inline ::testing::AssertionResult IsTransparent(const lwhost::Image& image) {
  if (image.width == 0 || image.height == 0) {
    return ::testing::AssertionFailure() << "no pixels at all";
  }
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const lwhost::Channels c = lwhost::GetChannels(image, x, y);
      if (c != lwhost::Channels{}) {
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.alpha
                                             << "/" << c.red << "/" << c.green << "/" << c.blue;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// A fresh session with the effect set up globally, as the command line drives it.
class RenderTest : public PluginTest {
 protected:
  void SetUp() override { ASSERT_EQ(session.GlobalSetup().err, PF_Err_NONE); }

  // Renders frame `frame` of `scene` with a renderer of its own and checks the host's balance.
  lwhost::FrameOutput Render(const lwhost::Scene& scene, int32_t frame = 0,
                             const lwhost::RenderOptions& options = {}) {
    lwhost::SceneRenderer renderer(session, scene);
    lwhost::FrameOutput out = renderer.RenderFrame(frame, options);
    EXPECT_EQ(out.balance, "") << "frame " << frame;
    EXPECT_EQ(session.ledger.Report(), "") << "frame " << frame;
    return out;
  }
};

}  // namespace lwtest
