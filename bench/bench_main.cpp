// lathewind_bench: the micro-benchmarks, then every scene rendered through the plug-in (and a
// baseline plug-in when given) next to its floor kernel, then the peak memory of each scene's
// render; one table at the end, and the same figures as JSON.
#include <benchmark/benchmark.h>

#include <iostream>
#include <stdexcept>
#include <string>

#include "bench_options.h"
#include "floor_kernel.h"
#include "peak_memory.h"
#include "results_table.h"
#include "scene_benchmarks.h"
#include "scene_rig.h"

namespace {

constexpr int kProfileFrames = 10;

// Nothing but renders of one scene, so that a profile of this process is a profile of the render.
int RenderForProfile(const std::string& plugin, const std::string& scene, int threads) {
  try {
    lwbench::SceneRig rig(plugin, scene);
    for (int i = 0; i < kProfileFrames; ++i) {
      rig.Render(threads);
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "lathewind_bench: " << scene << ": " << e.what() << "\n";
    return 1;
  }
}

std::string CommandLine(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    text += (i == 0 ? "" : " ") + std::string(argv[i]);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string commandLine = CommandLine(argc, argv);
  lwbench::BenchOptions options;
  try {
    options = lwbench::TakeBenchOptions(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "lathewind_bench: " << e.what() << "\n" << lwbench::BenchUsage();
    return 2;
  }
  if (!options.memoryProbe.empty()) {
    return lwbench::RunMemoryProbe(options.plugin, options.memoryProbe);
  }
  if (!options.profile.empty()) {
    return RenderForProfile(options.plugin, options.profile, options.profileThreads);
  }
  lwbench::SetBenchOptions(options);

  // The floor only means something if it does the effect's own arithmetic.
  if (!lwbench::FloorMatchesEffect()) {
    std::cerr << "lathewind_bench: the floor kernel's fetch or deposit differs from the effect's\n";
    return 1;
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    std::cerr << lwbench::BenchUsage();
    return 2;
  }
  std::vector<lwbench::SceneEntry>& scenes =
      lwbench::RegisterSceneBenchmarks(lwbench::GetBenchOptions());

  lwbench::Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  if (options.memory) {
    for (lwbench::SceneEntry& scene : scenes) {
      if (!scene.census) {
        continue;  // not run (filtered out) or not measurable
      }
      std::cerr << "peak memory of " << scene.name << "...\n";
      scene.memory = lwbench::MeasureRenderMemory(options.plugin, scene.file);
      if (!options.baseline.empty()) {
        scene.baselineMemory = lwbench::MeasureRenderMemory(options.baseline, scene.file);
      }
    }
  }

  if (!lwbench::ReportResults(collector, scenes, lwbench::GetBenchOptions(), commandLine,
                              std::cout)) {
    std::cerr << "lathewind_bench: could not write " << options.jsonOut << "\n";
    return 1;
  }
  benchmark::Shutdown();
  // A failed benchmark fails the run, so that a smoke run in the tests means something.
  bool failed = false;
  for (const auto& [name, measured] : collector.Results()) {
    failed = failed || !measured.error.empty();
  }
  for (const lwbench::SceneEntry& scene : scenes) {
    failed = failed || !scene.problem.empty();
  }
  return failed ? 1 : 0;
}
