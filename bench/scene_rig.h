// A scene brought up on a loaded effect, as `lathewind render` does it: global set-up, the scene's
// layers, masks and parameters, then frames rendered through FRAME_SETUP and RENDER.
#pragma once

#include <memory>
#include <string>

#include "ae_effect.h"
#include "core/session.h"
#include "scenes/scene_render.h"

namespace lwbench {

class SceneRig {
 public:
  // Throws std::runtime_error when the effect cannot be loaded or set up, or the scene is bad.
  SceneRig(const std::string& pluginPath, const std::string& sceneFile);
  ~SceneRig();
  SceneRig(const SceneRig&) = delete;
  SceneRig& operator=(const SceneRig&) = delete;

  // Renders the scene's first frame, granting `threads` threads through iterate_generic. Throws
  // std::runtime_error when the effect answers an error or does not give back everything it
  // took: a benchmark of a failed render means nothing.
  lwhost::FrameOutput Render(int threads = 1);

  // The Source layer's world at full resolution (no pixels when none is chosen).
  PF_LayerDef SourceWorld();

  lwhost::Session& GetSession() { return *session_; }
  const lwhost::Scene& GetScene() const { return renderer_->GetScene(); }

 private:
  std::unique_ptr<lwhost::Session> session_;
  std::unique_ptr<lwhost::SceneRenderer> renderer_;
};

// The scene's name: its file name without the folder and ".json".
std::string SceneName(const std::string& sceneFile);

}  // namespace lwbench
