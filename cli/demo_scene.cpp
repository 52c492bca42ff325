#include "demo_scene.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <system_error>

#include <unistd.h>

#include "layers/png_io.h"

namespace lwcli {

namespace {

// The scene: a 1280 x 720 layer with one S-shaped spine. The texture runs along the spine (Tile,
// so its bands keep their proportions), the ribbon tapers in at both ends, swells and narrows by
// the width graph, is lit as a tube from the upper left and extruded down and to the right.
constexpr std::string_view kDemoScene = R"json({
  "layer": {"width": 1280, "height": 720},
  "layers": {
    "texture": {"image": "demo-texture.png"}
  },
  "masks": {
    "spine": {
      "svg": "M 130 470 C 250 690 500 650 620 410 S 900 50 1150 240"
    }
  },
  "params": {
    "Path": "spine",
    "Source": "texture",
    "Fit": "Tile",
    "Thickness (0 = from source)": 140,
    "Smooth Corners": 10,
    "Taper Start": 18,
    "Taper End": 22,
    "Taper Shape": "Smooth",
    "Width Graph": [[0, 0.5], [0.3, 1], [0.55, 0.42], [0.8, 1], [1, 0.6]],
    "Surface": "Tube",
    "Shading": 70,
    "Light Direction": -40,
    "Depth": 18,
    "Depth Direction": 150,
    "Depth Shade": 55,
    "Quality": "High"
  }
}
)json";

// Texture size: long along the spine, as a strip of film is.
constexpr int32_t kTextureWidth = 512;
constexpr int32_t kTextureHeight = 128;
constexpr double kStripePeriod = 28.0;  // px between diagonal stripes
constexpr double kHolePitch = 32.0;     // px between the holes along each edge
constexpr double kHoleRadius = 7.0;     // px
constexpr double kHoleInset = 15.0;     // px from the strip's edge to the holes' centres
constexpr double kSoftEdge = 1.5;       // px over which a hole's edge fades, so it does not alias

// Hue in turns (0..1) to a fully saturated colour, channels 0..1.
void HueToRgb(double hue, double* r, double* g, double* b) {
  const auto channel = [hue](double offset) {
    const double h = std::fmod(hue + offset, 1.0) * 6.0;
    return std::clamp(std::fabs(h - 3.0) - 1.0, 0.0, 1.0);
  };
  *r = channel(0.0);
  *g = channel(2.0 / 3.0);
  *b = channel(1.0 / 3.0);
}

uint32_t To8(double v) {
  return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

}  // namespace

std::string_view DemoSceneText() {
  return kDemoScene;
}

lwhost::Image MakeDemoTexture() {
  lwhost::Image image = lwhost::MakeImage(kTextureWidth, kTextureHeight, 8);
  for (int32_t y = 0; y < kTextureHeight; ++y) {
    for (int32_t x = 0; x < kTextureWidth; ++x) {
      const double px = x + 0.5;
      const double py = y + 0.5;
      double r = 0.0;
      double g = 0.0;
      double b = 0.0;
      HueToRgb(px / kTextureWidth, &r, &g, &b);
      // Pastel the hues a little, then darken every other diagonal stripe.
      const double pastel = 0.15;
      r = pastel + (1.0 - pastel) * r;
      g = pastel + (1.0 - pastel) * g;
      b = pastel + (1.0 - pastel) * b;
      if (static_cast<int>(std::floor((px + py) / kStripePeriod)) % 2 != 0) {
        r *= 0.62;
        g *= 0.62;
        b *= 0.62;
      }
      // Thin dark rails along both edges frame the strip.
      const double edge = std::min(py, kTextureHeight - py);
      if (edge < 4.0) {
        r = g = b = 0.12;
      }
      // Holes: transparent circles along both edges, with a soft rim.
      const double cx = (std::floor(px / kHolePitch) + 0.5) * kHolePitch;
      const double cy = py < kTextureHeight / 2.0 ? kHoleInset : kTextureHeight - kHoleInset;
      const double d = std::hypot(px - cx, py - cy);
      const double alpha = std::clamp((d - kHoleRadius) / kSoftEdge, 0.0, 1.0);
      lwhost::SetChannels(image, x, y,
                          lwhost::FileToStored(To8(r), To8(g), To8(b), To8(alpha), 8, 255));
    }
  }
  return image;
}

lwhost::Scene LoadDemoScene(const std::filesystem::path& folder) {
  lwhost::WritePng(folder / kDemoTextureFile, MakeDemoTexture(), lwhost::PngAlpha::kStraight);
  return lwhost::ParseSceneText(DemoSceneText(), "(built-in demo scene)", folder);
}

DemoFolder::DemoFolder() {
  // The process id keeps two commands running at once apart.
  path_ = std::filesystem::temp_directory_path() /
          ("lathewind-demo-" + std::to_string(static_cast<long long>(::getpid())));
  std::filesystem::create_directories(path_);
}

DemoFolder::~DemoFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace lwcli
