// What every subcommand of `lathewind` shares: exit codes, the plug-in's path, error reports.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "ae_basic_types.h"

namespace CLI {
class App;
}

namespace lwcli {

enum ExitCode : int {
  kExitOk = 0,
  kExitEffectError = 1,  // the effect answered an error (or could not be loaded)
  kExitUsage = 2,        // bad command line
};

// LATHEWIND_PLUGIN if set and not empty; else the plug-in relative to this command's own file:
// where installing puts it (../lib/lathewind/ from bin/), else where the build tree has it.
std::string PluginPath();

// "lathewind 1.7": what --version prints.
std::string VersionText();

// Prints "lathewind: <what> failed with error <code> (<name>)" and returns kExitEffectError.
int ReportEffectError(std::ostream& err, const std::string& what, PF_Err code);

// `text` safe to print on a terminal: control characters (escape sequences, newlines, NUL) are
// written as \n, \t, \xNN, and backslashes doubled, so a name from a file stays on one line and
// cannot drive the terminal.
std::string Printable(std::string_view text);

// True when an output path names a folder rather than a file ("." , "out/", an existing
// folder): checked before any work, since writing there could only fail at the end.
bool NamesAFolder(const std::string& path);

// Return-message text with the host's carriage returns turned into newlines.
std::string MessageText(const char* returnMsg);

// A subcommand adds itself to `app` with its options and returns itself with what runs it once
// the command line is parsed (the function returns the exit code).
struct Subcommand {
  CLI::App* app;
  std::function<int()> run;
};
Subcommand AddAboutCommand(CLI::App& app);
Subcommand AddParamsCommand(CLI::App& app);
Subcommand AddRenderCommand(CLI::App& app);
Subcommand AddEncodeCommand(CLI::App& app);
Subcommand AddGraphCommand(CLI::App& app);
Subcommand AddStudioCommand(CLI::App& app);
Subcommand AddSubmitCommand(CLI::App& app);

}  // namespace lwcli
