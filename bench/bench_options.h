// The benchmark's own command-line options; everything else goes to Google Benchmark
// (--benchmark_filter, --benchmark_min_time, ...).
#pragma once

#include <string>
#include <vector>

namespace lwbench {

struct BenchOptions {
  std::string plugin;       // the plug-in under test (default: the one built alongside)
  std::string baseline;     // optional second plug-in, timed side by side in the same run
  std::string census;       // the census build of the effect
  std::string scenes;       // folder of scene files
  std::string jsonOut;      // where the results go ("" for nowhere)
  bool memory = true;       // measure the peak memory of a render in a child process
  std::string memoryProbe;  // internal: run as the child that measures one render
  std::string profile;      // render this scene kProfileFrames times and stop (for `perf record`)
  int threads = 0;          // threads of the threaded render benchmarks (0: every core; 1: none)
  int profileThreads = 1;   // threads of the --profile renders
};

// Takes our options out of argv (so Google Benchmark sees only its own) and returns them.
// Throws std::invalid_argument for an option without its value.
BenchOptions TakeBenchOptions(int& argc, char** argv);

// The usage text of our options.
std::string BenchUsage();

// The options of this run, set once by main before any benchmark runs.
void SetBenchOptions(BenchOptions options);
const BenchOptions& GetBenchOptions();

}  // namespace lwbench
