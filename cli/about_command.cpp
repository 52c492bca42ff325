// `lathewind about`: the effect's own About text.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli_common.h"
#include "core/session.h"

namespace lwcli {

Subcommand AddAboutCommand(CLI::App& app) {
  CLI::App* about = app.add_subcommand("about", "Show the effect's About text");
  return {about, [] {
            lwhost::Session session(PluginPath());
            const lwhost::CommandResult result = session.Send(PF_Cmd_ABOUT);
            if (result.err != PF_Err_NONE) {
              return ReportEffectError(std::cerr, "About", result.err);
            }
            std::cout << MessageText(result.out.return_msg) << "\n";
            return static_cast<int>(kExitOk);
          }};
}

}  // namespace lwcli
