// Collects the runs of Google Benchmark silently, then prints the one table of a run and writes
// the same figures as JSON.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bench_options.h"
#include "scene_benchmarks.h"

namespace lwbench {

struct Measured {
  double seconds = 0.0;     // real time per iteration, the median over repetitions
  double cpuSeconds = 0.0;  // CPU time per iteration, likewise
  double itemsPerSecond = 0.0;
  std::int64_t iterations = 0;  // of the median repetition
  std::string error;
};

class Collector : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override;

  // By benchmark name, in the order they ran.
  std::vector<std::pair<std::string, Measured>> Results() const;

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<Run>> runs_;
};

// Prints the table on `out` and, when options.jsonOut is set, writes the JSON file. Returns false
// when the file cannot be written.
bool ReportResults(const Collector& collector, const std::vector<SceneEntry>& scenes,
                   const BenchOptions& options, const std::string& commandLine, std::ostream& out);

}  // namespace lwbench
