// Scene benchmarks: every scene file of a folder rendered through the loaded plug-in (and through
// a baseline plug-in when given), and its floor kernel, one after the other so that each ratio is
// taken from neighbouring measurements of the same run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bench_options.h"
#include "census_reader.h"
#include "peak_memory.h"

namespace lwbench {

struct SceneEntry {
  std::string name;
  std::string file;
  std::optional<SceneCensus> census;  // taken before the scene's first benchmark
  std::string problem;                // why the census could not be taken
  bool fetchesCounted = true;         // false: the Source has transparent texels (see census)
  std::optional<RenderMemory> memory;
  std::optional<RenderMemory> baselineMemory;
};

// Names of the benchmarks of a scene.
std::string RenderBenchmarkName(const std::string& scene);
std::string BaselineBenchmarkName(const std::string& scene);
std::string FloorBenchmarkName(const std::string& scene);
// The render granted ThreadedRenderThreads() threads (registered only when that is more than one).
std::string ThreadsBenchmarkName(const std::string& scene);
int ThreadedRenderThreads(const BenchOptions& options);

// Registers the benchmarks of every *.json in options.scenes, in name order. Returns the scenes;
// the benchmarks refer to them, so the list must live until they have run.
std::vector<SceneEntry>& RegisterSceneBenchmarks(const BenchOptions& options);

}  // namespace lwbench
