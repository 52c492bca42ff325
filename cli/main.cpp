// The lathewind command: a thin front end over the reference host. Each subcommand lives in its
// own file and registers itself here.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli_common.h"
#include "core/nearest_name.h"
#include "core/plugin_library.h"

namespace {

// The names an argument starting with '-' could have meant in `app`: its long and short options.
std::vector<std::string> OptionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      names.push_back("--" + name);
    }
    for (const std::string& name : option->get_snames()) {
      names.push_back("-" + name);
    }
  }
  return names;
}

std::vector<std::string> CommandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* subcommand : app.get_subcommands({})) {
    names.push_back(subcommand->get_name());
  }
  return names;
}

// Arguments the command line left over: an unknown option (with the nearest known one) or an
// argument nothing takes. Returns kExitUsage after saying so, kExitOk when there are none.
int ReportExtras(const CLI::App& app, const std::string& prefix) {
  const std::vector<std::string> extras = app.remaining();
  if (extras.empty()) {
    return lwcli::kExitOk;
  }
  const std::string& first = extras.front();
  if (first.size() > 1 && first[0] == '-') {
    const std::string name = first.substr(0, first.find('='));
    std::cerr << prefix << ": unknown option " << name << lwhost::DidYouMean(name, OptionNames(app))
              << "\n";
  } else {
    std::cerr << prefix << ": unexpected argument \"" << first << "\"\n";
  }
  std::cerr << "Run 'lathewind help" << (app.get_parent() != nullptr ? " " + app.get_name() : "")
            << "' for the usage.\n";
  return lwcli::kExitUsage;
}

// `lathewind help [COMMAND]`.
int RunHelp(const CLI::App& app, const std::string& command) {
  if (command.empty()) {
    // The formatter directly: App::help() describes the subcommand that was run, here "help".
    std::cout << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
    return lwcli::kExitOk;
  }
  for (const CLI::App* subcommand : app.get_subcommands({})) {
    if (subcommand->get_name() == command) {
      std::cout << subcommand->help();
      return lwcli::kExitOk;
    }
  }
  std::cerr << "lathewind help: unknown command \"" << command << "\""
            << lwhost::DidYouMean(command, CommandNames(app)) << "\n";
  return lwcli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"lathewind: drive the Lathewind effect through the reference host"};
  app.require_subcommand(1);
  app.set_version_flag("--version", lwcli::VersionText());

  const std::vector<lwcli::Subcommand> subcommands = {
      lwcli::AddAboutCommand(app),  lwcli::AddParamsCommand(app), lwcli::AddRenderCommand(app),
      lwcli::AddEncodeCommand(app), lwcli::AddGraphCommand(app),  lwcli::AddStudioCommand(app),
      lwcli::AddSubmitCommand(app),
  };
  std::string helpTopic;
  CLI::App* help = app.add_subcommand("help", "Print the usage of lathewind or of one command");
  help->add_option("COMMAND", helpTopic, "The command to describe");

  // The first argument names the command or is an option of lathewind itself: say which one was
  // meant before anything else (the parser would only say that a command is required).
  if (argc > 1 && argv[1][0] == '-') {
    const std::string name = std::string(argv[1]).substr(0, std::string(argv[1]).find('='));
    const std::vector<std::string> options = OptionNames(app);
    if (std::find(options.begin(), options.end(), name) == options.end()) {
      std::cerr << "lathewind: unknown option " << name << lwhost::DidYouMean(name, options)
                << "\nRun 'lathewind help' for the usage.\n";
      return lwcli::kExitUsage;
    }
  }
  if (argc > 1 && argv[1][0] != '-') {
    const std::vector<std::string> commands = CommandNames(app);
    if (std::find(commands.begin(), commands.end(), argv[1]) == commands.end()) {
      std::cerr << "lathewind: unknown command \"" << argv[1] << "\""
                << lwhost::DidYouMean(argv[1], commands)
                << "\nRun 'lathewind help' for the usage.\n";
      return lwcli::kExitUsage;
    }
  }
  // Unknown options are collected rather than refused, so that the message can suggest one.
  for (CLI::App* subcommand : app.get_subcommands({})) {
    subcommand->allow_extras();
  }
  app.allow_extras();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      return app.exit(e);  // prints the help or the version
    }
    // The parser's own text, named after the command it concerns, as the other usage errors.
    std::string command;
    for (const lwcli::Subcommand& subcommand : subcommands) {
      if (subcommand.app->parsed()) {
        command = subcommand.app->get_name();
      }
    }
    std::cerr << "lathewind" << (command.empty() ? "" : " " + command) << ": "
              << lwcli::Printable(e.what()) << "\nRun 'lathewind help"
              << (command.empty() ? "" : " " + command) << "' for the usage.\n";
    return lwcli::kExitUsage;
  }
  if (const int code = ReportExtras(app, "lathewind"); code != lwcli::kExitOk) {
    return code;
  }

  try {
    if (help->parsed()) {
      if (const int code = ReportExtras(*help, "lathewind help"); code != lwcli::kExitOk) {
        return code;
      }
      return RunHelp(app, helpTopic);
    }
    for (const lwcli::Subcommand& subcommand : subcommands) {
      if (subcommand.app->parsed()) {
        if (const int code =
                ReportExtras(*subcommand.app, "lathewind " + subcommand.app->get_name());
            code != lwcli::kExitOk) {
          return code;
        }
        return subcommand.run();
      }
    }
  } catch (const lwhost::HostError& e) {
    std::cerr << "lathewind: " << lwcli::Printable(e.what()) << "\n";
    std::error_code ignored;
    if (!std::filesystem::exists(lwcli::PluginPath(), ignored)) {
      std::cerr << "lathewind: the plug-in is looked for beside the command (../lib/lathewind/); "
                   "set LATHEWIND_PLUGIN to its path to use another\n";
    }
    return lwcli::kExitEffectError;
  } catch (const std::exception& e) {
    std::cerr << "lathewind: " << lwcli::Printable(e.what()) << "\n";
    return lwcli::kExitEffectError;
  }
  return lwcli::kExitUsage;
}
