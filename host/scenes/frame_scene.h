// A scene laid over frames another program supplies, the way the frei0r plug-ins use it: the
// program's frame is the "Source", the frame's size is the layer's, and the program's time picks
// the scene frame.
//
//   lwhost::FrameScene scene(session, {.width = 1920, .height = 1080, .sceneFile = "ribbon.json"});
//   scene.SetValue(index, value);               // a value the program sets replaces the scene's
//   lwhost::FramePixels in{1920, 1080, rgba};   // straight RGBA, 8 bits per channel
//   PF_Err err = scene.Render(scene.FrameAt(seconds), in, out);
//
// The scene's masks keep their shape on any frame: coordinates scale by frame width / layer
// width and frame height / layer height. Pixels go in and out as an 8-bit PNG's do (straight
// alpha, premultiplied inside); the output is the frame's size, cut from the effect's output at
// the layer's origin. One FrameScene owns its session's hooks and suites, like SceneRenderer;
// Render runs one frame at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "layers/image.h"
#include "params/param_store.h"

namespace lwhost {

class SceneRenderer;
class Session;

struct FrameSceneSetup {
  int32_t width = 0;  // the frames' size, 1..kMaxLayerSide each
  int32_t height = 0;
  std::filesystem::path sceneFile;  // empty: no scene file, every parameter at its default
  std::string pathData;             // SVG path data in frame pixels; not empty: the "Path" mask
  int32_t threads = 1;              // threads one frame's render may use
};

// Straight-alpha RGBA pixels, 8 bits per channel, rows width x 4 bytes apart.
struct FramePixels {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* rgba = nullptr;
};

class FrameScene {
 public:
  // Reads the scene file and sets up the effect. Throws SceneError for a scene that cannot be
  // read or path data that does not parse, EffectError when the effect fails a command and
  // std::invalid_argument for a frame size out of range.
  FrameScene(Session& session, const FrameSceneSetup& setup);
  ~FrameScene();
  FrameScene(const FrameScene&) = delete;
  FrameScene& operator=(const FrameScene&) = delete;

  double FrameRate() const;
  // The scene frame at a time in seconds: round(seconds x frame rate), clamped to the frames a
  // scene can have. `seconds` must be finite.
  int32_t FrameAt(double seconds) const;

  // Replaces the scene's value and keys of the parameter at `index` by one value.
  void SetValue(int index, const ParamValue& value);
  ParamValue Value(int index) const;

  // Renders scene frame `frame` with `source` as every layer parameter's world into `out`
  // (width x height x 4 bytes, straight RGBA), composited over `background` when it is given
  // (premultiplied "over"). Both pictures are the frame's size. On an error `out` is transparent.
  PF_Err Render(int32_t frame, const FramePixels& source, const FramePixels* background,
                uint8_t* out);

 private:
  Session& session_;
  int32_t width_;
  int32_t height_;
  int32_t threads_;
  std::unique_ptr<SceneRenderer> renderer_;
  Image source_;      // the current frame's Source, stored (premultiplied) as the host keeps layers
  Image background_;  // the mixer's background, stored likewise
};

// Straight RGBA8 pixels into a world of stored values, and back, as an 8-bit PNG converts them.
void StraightToStored(const FramePixels& pixels, Image* world);
// An 8-bit world as straight RGBA8 (width x 4 bytes a row).
void StoredToStraight(const Image& world, uint8_t* rgba);
// The w x h window of `world` whose top-left corner lies at (x0, y0) of the world; what the
// world does not cover is transparent.
Image CutWindow(const Image& world, int32_t x0, int32_t y0, int32_t w, int32_t h);

}  // namespace lwhost
