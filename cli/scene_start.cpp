#include "scene_start.h"

#include <iostream>

#include "cli_common.h"

namespace lwcli {

int SceneProblem(const lwhost::SceneError& e) {
  std::cerr << Printable(e.file()) << ": "
            << (e.pointer().empty() ? "" : Printable(e.pointer()) + ": ") << Printable(e.problem())
            << "\n";
  return kExitUsage;
}

int StartScene(lwhost::Session& session, lwhost::Scene scene,
               std::optional<lwhost::SceneRenderer>& renderer) {
  if (const lwhost::CommandResult setup = session.GlobalSetup(); setup.err != PF_Err_NONE) {
    return ReportEffectError(std::cerr, "Global set-up", setup.err);
  }
  try {
    renderer.emplace(session, std::move(scene));
  } catch (const lwhost::SceneError& e) {
    return SceneProblem(e);
  } catch (const lwhost::EffectError& e) {
    std::cerr << "lathewind: " << Printable(e.what()) << "\n";
    return kExitEffectError;
  }
  return kExitOk;
}

}  // namespace lwcli
