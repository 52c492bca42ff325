// `lathewind params` run as a user runs it: the built command, its exit status and its listing.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <string>

namespace lwtest {
namespace {

struct CommandRun {
  int status = -1;
  std::string out;
};

CommandRun RunCommand(const std::string& command) {
  CommandRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
    run.out += buffer;
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The line that starts with the index in its column, or "".
std::string LineOf(const std::string& out, int index) {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%2d  ", index);
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    if (line.rfind(prefix, 0) == 0) {
      return line;
    }
    start = end == std::string::npos ? out.size() : end + 1;
  }
  return "";
}

void ExpectHas(const std::string& line, const std::string& part) {
  EXPECT_NE(line.find(part), std::string::npos) << "\"" << part << "\" not in: " << line;
}

TEST(ParamsCommandTest, ListsTheDeclaredParametersWithRangesDefaultsAndChoices) {
  const std::string command = std::string("LATHEWIND_PLUGIN='") + LATHEWIND_PLUGIN_PATH + "' '" +
                              LATHEWIND_CLI_PATH + "' params";
  const CommandRun run = RunCommand(command);
  ASSERT_EQ(run.status, 0) << run.out;

  const std::string length = LineOf(run.out, 7);
  ExpectHas(length, "Segment Length");
  ExpectHas(length, "float slider");
  ExpectHas(length, "id 29");
  ExpectHas(length, "default 25");
  ExpectHas(length, "valid 0.1 to 200");
  ExpectHas(length, "slider 0.1 to 100");
  ExpectHas(length, "percent");

  const std::string bounds = LineOf(run.out, 27);
  ExpectHas(bounds, "Expand Bounds");
  ExpectHas(bounds, "precision 0");
  EXPECT_EQ(bounds.find("percent"), std::string::npos) << bounds;

  const std::string shape = LineOf(run.out, 12);
  ExpectHas(shape, "default 2 (Smooth)");
  ExpectHas(shape, "Linear|Smooth");
  ExpectHas(LineOf(run.out, 25), "180 degrees");
  ExpectHas(LineOf(run.out, 14), "ui flags 0x82");
  ExpectHas(LineOf(run.out, 31), "flags 0x40 (supervise)");
  ExpectHas(LineOf(run.out, 30), "\"v1.7  build 24\"");
  // The default curve in its stored form: tag 1, two points.
  ExpectHas(run.out, "default (stored form): 0102");
  ExpectHas(run.out, "37 parameters in the array");
  ExpectHas(run.out, "events 0x4");
  EXPECT_EQ(LineOf(run.out, 37), "");
}

TEST(ParamsCommandTest, PluginThatCannotBeLoadedIsAnEffectError) {
  const CommandRun run = RunCommand(std::string("LATHEWIND_PLUGIN=/nonexistent/plugin.so '") +
                                    LATHEWIND_CLI_PATH + "' params 2>/dev/null");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace lwtest
