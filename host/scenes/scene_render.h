// Renders the frames of a scene through a loaded effect.
//
//   lwhost::Session session(pluginPath);
//   session.GlobalSetup();
//   lwhost::SceneRenderer renderer(session, lwhost::ParseSceneFile("ribbon.json"));
//   lwhost::FrameOutput out = renderer.RenderFrame(12);
//   if (out.err == PF_Err_NONE) lwhost::WritePng("out.png", out.image,
//   lwhost::PngAlpha::kStraight);
//
// The renderer gives the scene's masks path ids 1, 2, ... and its layers layer ids 1, 2, ... in
// file order, publishes the masks through the path suites, the layers through checkout_param, and
// the "PF Fill Matte Suite"; it sends PARAMS_SETUP and keeps the scene's values in a ParamStore.
// RenderFrame may be called on several threads at once (frames render concurrently); everything
// else is set up before. One renderer serves a session at a time: its hooks and suites are the
// session's until the renderer is destroyed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "core/file_gate.h"
#include "layers/frame_render.h"
#include "layers/layers.h"
#include "masks/mask.h"
#include "masks/path_suites.h"
#include "scenes/scene.h"

namespace lwhost {

class ParamStore;
class Session;

// The effect answered an error where the host cannot go on (PARAMS_SETUP, loading the width
// curve's stored value).
class EffectError : public std::runtime_error {
 public:
  EffectError(const std::string& what, PF_Err err) : std::runtime_error(what), err_(err) {}
  PF_Err err() const { return err_; }

 private:
  PF_Err err_;
};

struct RenderOptions {
  int32_t rowPadding = 0;     // extra bytes after each output row (even at 16 bits)
  ProgressListener progress;  // fed by the effect's progress calls; may cancel
  int32_t threads = 1;        // threads one frame's render may use (iterate_generic)
  CancelListener cancelled;   // asked on the effect's abort calls; true cancels
  // Asked by the host's own work inside the render, between the effect's polls; true cancels.
  CancelListener hostWorkCancelled;
};

class SceneRenderer {
 public:
  // Builds the masks and layers (every file opened through `gate`), sends PARAMS_SETUP and
  // resolves the scene's values. Throws SceneError for a bad scene (an unreadable image or movie,
  // SVG path data that does not parse, a value the declared parameters refuse) and EffectError
  // when the effect fails a command.
  SceneRenderer(Session& session, Scene scene, const FileGate& gate = OpenGate());
  ~SceneRenderer();
  SceneRenderer(const SceneRenderer&) = delete;
  SceneRenderer& operator=(const SceneRenderer&) = delete;

  // FRAME_SETUP and RENDER of frame `frame` at the scene's bit depth and downsampling.
  // When a value of the frame cannot be made (the effect fails INTERP), nothing is sent: the
  // output has that error and no pixels.
  FrameOutput RenderFrame(int32_t frame, const RenderOptions& options = {});

  // FRAME_SETUP alone: the size and origin the output world of `frame` would have.
  FrameSetupResult SetupFrame(int32_t frame);

  // Composites frame `frame`'s output over the scene's background (its colour, or its layer at
  // the render's downsampling and, when the layer moves, at the frame's time; the layer's top-left
  // at the output's origin). Nothing without one. A plate frame that cannot be decoded is told in
  // output.footageProblem and leaves output.err PF_Err_INTERNAL_STRUCT_DAMAGED, as a source's does.
  // `cancelled` is asked while waiting for a moving plate's frame; true leaves output.err
  // PF_Interrupt_CANCEL.
  void CompositeBackground(FrameOutput& output, int32_t frame,
                           const CancelListener& cancelled = {});

  const Scene& GetScene() const { return scene_; }
  // One line for the user when "Path" chooses no mask, or a mask without a segment, at some key:
  // those frames come out transparent. Empty when every frame has a mask to follow.
  std::string PathWarning() const;
  // The layer's world at the scene's resolution: ceil(W / DX) x ceil(H / DY).
  int32_t WorldWidth() const;
  int32_t WorldHeight() const;
  PF_PathID PathIdOf(const std::string& maskName) const;  // 0 when there is no such mask
  int32_t LayerIdOf(const std::string& layerName) const;  // 0 when there is no such layer
  // Open for tests that change a value after the scene is loaded.
  ParamStore& Params() { return *params_; }
  LayerStore& Layers() { return layers_; }
  LayerMasks& Masks() { return masks_; }

 private:
  FrameRequest RequestFor(int32_t frame, PF_ParamDef** params) const;

  Session& session_;
  Scene scene_;
  LayerMasks masks_;
  LayerStore layers_;
  std::unique_ptr<ParamStore> params_;
  std::map<std::string, PF_PathID> pathIds_;
  std::map<std::string, int32_t> layerIds_;
};

}  // namespace lwhost
