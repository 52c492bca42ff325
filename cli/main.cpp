// The lathewind command: a thin front end over the reference host. Each subcommand lives in its
// own file and registers itself here.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <vector>

#include "cli_common.h"
#include "core/plugin_library.h"

int main(int argc, char** argv) {
  CLI::App app{"lathewind: drive the Lathewind effect through the reference host"};
  app.require_subcommand(1);

  const std::vector<lwcli::Subcommand> subcommands = {
      lwcli::AddAboutCommand(app),
      lwcli::AddParamsCommand(app),
      lwcli::AddRenderCommand(app),
      lwcli::AddGraphCommand(app),
  };

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int printed = app.exit(e);  // prints help or the error
    return printed == 0 ? lwcli::kExitOk : lwcli::kExitUsage;
  }

  try {
    for (const lwcli::Subcommand& subcommand : subcommands) {
      if (subcommand.app->parsed()) {
        return subcommand.run();
      }
    }
  } catch (const lwhost::HostError& e) {
    std::cerr << "lathewind: " << e.what() << "\n";
    return lwcli::kExitEffectError;
  } catch (const std::exception& e) {
    std::cerr << "lathewind: " << e.what() << "\n";
    return lwcli::kExitEffectError;
  }
  return lwcli::kExitUsage;
}
