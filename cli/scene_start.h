// What `render` and `graph` do before their own work: report a bad scene, and bring a scene up on
// a loaded effect (global set-up, then the renderer's parameter set-up and scene checks).
#pragma once

#include <optional>

#include "scenes/scene.h"
#include "scenes/scene_render.h"
#include "core/session.h"

namespace lwcli {

// Prints "<file>: <JSON pointer>: <problem>" and returns kExitUsage.
int SceneProblem(const lwhost::SceneError& e);

// Global set-up, then a SceneRenderer for `scene` in `renderer`. Returns kExitOk, or the exit code
// after printing what went wrong (a bad scene is a usage error, an effect error is 1).
int StartScene(lwhost::Session& session, lwhost::Scene scene,
               std::optional<lwhost::SceneRenderer>& renderer);

}  // namespace lwcli
