#include "scene_rig.h"

#include <filesystem>
#include <stdexcept>

#include "core/error_names.h"
#include "params/param_index.h"
#include "params/param_store.h"
#include "scenes/scene.h"

namespace lwbench {

SceneRig::SceneRig(const std::string& pluginPath, const std::string& sceneFile) {
  lwhost::Scene scene;
  try {
    scene = lwhost::ParseSceneFile(sceneFile);
  } catch (const lwhost::SceneError& e) {
    throw std::runtime_error(e.file() + ": " + e.pointer() + ": " + e.problem());
  }
  session_ = std::make_unique<lwhost::Session>(pluginPath);
  if (const lwhost::CommandResult setup = session_->GlobalSetup(); setup.err != PF_Err_NONE) {
    throw std::runtime_error(pluginPath + ": global set-up failed with error " +
                             std::to_string(setup.err));
  }
  try {
    renderer_ = std::make_unique<lwhost::SceneRenderer>(*session_, std::move(scene));
  } catch (const lwhost::SceneError& e) {
    throw std::runtime_error(e.file() + ": " + e.pointer() + ": " + e.problem());
  }
}

SceneRig::~SceneRig() {
  renderer_.reset();  // gives the session's hooks and suites back before the session goes
}

lwhost::FrameOutput SceneRig::Render(int threads) {
  lwhost::RenderOptions options;
  options.threads = threads;
  lwhost::FrameOutput out = renderer_->RenderFrame(renderer_->GetScene().firstFrame, options);
  if (out.err != PF_Err_NONE) {
    throw std::runtime_error("the render failed with error " + std::to_string(out.err) + " (" +
                             lwhost::ErrorName(out.err) + ")");
  }
  if (!out.balance.empty()) {
    throw std::runtime_error("the render did not give back everything it took: " + out.balance);
  }
  return out;
}

PF_LayerDef SceneRig::SourceWorld() {
  const int32_t id =
      renderer_->Params().LayerIdAt(lwd::LWD_SOURCE, renderer_->GetScene().firstFrame);
  return renderer_->Layers().World(id, 1, 1);
}

std::string SceneName(const std::string& sceneFile) {
  return std::filesystem::path(sceneFile).stem().string();
}

}  // namespace lwbench
