#include "bench_options.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace lwbench {

namespace {

BenchOptions gOptions;

// "--name=value" or "--name value"; advances i past what it consumed.
bool TakeValue(int argc, char** argv, int& i, std::string_view name, std::string& value) {
  const std::string_view arg = argv[i];
  if (arg == name) {
    if (i + 1 >= argc) {
      throw std::invalid_argument(std::string(name) + " needs a value");
    }
    value = argv[++i];
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
    value = std::string(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

int ParseCount(std::string_view name, const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < 0 || n > 1024) {
    throw std::invalid_argument(std::string(name) + " needs a count from 0 to 1024, not \"" + text +
                                "\"");
  }
  return static_cast<int>(n);
}

}  // namespace

BenchOptions TakeBenchOptions(int& argc, char** argv) {
  BenchOptions options;
  options.plugin = LATHEWIND_BENCH_PLUGIN;
  options.census = LATHEWIND_BENCH_CENSUS;
  options.scenes = LATHEWIND_BENCH_SCENES;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (TakeValue(argc, argv, i, "--plugin", options.plugin) ||
        TakeValue(argc, argv, i, "--baseline", options.baseline) ||
        TakeValue(argc, argv, i, "--census", options.census) ||
        TakeValue(argc, argv, i, "--scenes", options.scenes) ||
        TakeValue(argc, argv, i, "--json", options.jsonOut) ||
        TakeValue(argc, argv, i, "--memory-probe", options.memoryProbe) ||
        TakeValue(argc, argv, i, "--profile", options.profile)) {
      continue;
    }
    std::string number;
    if (TakeValue(argc, argv, i, "--threads", number)) {
      options.threads = ParseCount("--threads", number);
      options.profileThreads = std::max(1, options.threads);
      continue;
    }
    if (arg == "--no-memory") {
      options.memory = false;
      continue;
    }
    argv[kept++] = argv[i];
  }
  argc = kept;
  argv[argc] = nullptr;
  return options;
}

std::string BenchUsage() {
  return "lathewind_bench options (the rest go to Google Benchmark):\n"
         "  --plugin PATH     plug-in under test (default: the one built alongside)\n"
         "  --baseline PATH   a second plug-in timed side by side, e.g. today's main\n"
         "  --scenes DIR      folder of scene files (default: bench/scenes)\n"
         "  --json PATH       write the results as JSON\n"
         "  --no-memory       skip the peak-memory measurement (one extra render per scene)\n"
         "  --profile SCENE   only render SCENE's first frame 10 times, for `perf record`\n"
         "  --threads N       threads of the scene/NAME/threads renders (default: every core;\n"
         "                    1 or a one-core machine: no such renders); also --profile's\n"
         "  --census PATH     census build of the effect (default: the one built alongside)\n";
}

void SetBenchOptions(BenchOptions options) {
  gOptions = std::move(options);
}

const BenchOptions& GetBenchOptions() {
  return gOptions;
}

}  // namespace lwbench
