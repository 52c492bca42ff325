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
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      return app.exit(e);  // --help: prints the help
    }
    // One line, named after the subcommand it concerns, instead of the parser's two.
    std::string command = "lathewind";
    for (const lwcli::Subcommand& subcommand : subcommands) {
      if (subcommand.app->parsed()) {
        command += " " + subcommand.app->get_name();
      }
    }
    std::cerr << command << ": " << lwcli::Printable(e.what()) << " (see " << command
              << " --help)\n";
    return lwcli::kExitUsage;
  }

  try {
    for (const lwcli::Subcommand& subcommand : subcommands) {
      if (subcommand.app->parsed()) {
        return subcommand.run();
      }
    }
  } catch (const lwhost::HostError& e) {
    std::cerr << "lathewind: " << lwcli::Printable(e.what()) << "\n";
    return lwcli::kExitEffectError;
  } catch (const std::exception& e) {
    std::cerr << "lathewind: " << lwcli::Printable(e.what()) << "\n";
    return lwcli::kExitEffectError;
  }
  return lwcli::kExitUsage;
}
