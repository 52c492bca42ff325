#include "scene_benchmarks.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <thread>

#include "floor_kernel.h"
#include "scene_rig.h"

namespace lwbench {

namespace {

std::vector<SceneEntry> gScenes;

// The census of a scene, taken once, before its first benchmark.
bool EnsureCensus(SceneEntry& entry, benchmark::State& state) {
  if (!entry.census && entry.problem.empty()) {
    try {
      std::cerr << "census of " << entry.name << "...\n";
      entry.census = TakeCensus(GetBenchOptions().census, entry.file);
      SceneRig rig(GetBenchOptions().plugin, entry.file);
      entry.fetchesCounted = SourceIsOpaque(rig.SourceWorld());
    } catch (const std::exception& e) {
      entry.problem = e.what();
    }
  }
  if (!entry.census) {
    state.SkipWithError(("census: " + entry.problem).c_str());
    return false;
  }
  return true;
}

void RenderScene(benchmark::State& state, SceneEntry* entry, const std::string* pluginPath,
                 int threads) {
  if (!EnsureCensus(*entry, state)) {
    return;
  }
  std::unique_ptr<SceneRig> rig;
  try {
    rig = std::make_unique<SceneRig>(*pluginPath, entry->file);
    rig->Render(threads);  // the layers' first use, outside the timing
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    try {
      benchmark::DoNotOptimize(rig->Render(threads));
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(entry->census->Deposits()));
}

void FloorOfScene(benchmark::State& state, SceneEntry* entry) {
  if (!EnsureCensus(*entry, state)) {
    return;
  }
  const SceneCensus& census = *entry->census;
  std::unique_ptr<SceneRig> rig;
  try {
    rig = std::make_unique<SceneRig>(GetBenchOptions().plugin, entry->file);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const PF_LayerDef source = rig->SourceWorld();
  FloorBuffers buffers = MakeFloorBuffers(census);
  for (auto _ : state) {
    RunFloor(census, source, buffers);
    benchmark::DoNotOptimize(buffers.front.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(census.Deposits()));
}

}  // namespace

std::string RenderBenchmarkName(const std::string& scene) {
  return "scene/" + scene + "/render";
}
std::string BaselineBenchmarkName(const std::string& scene) {
  return "scene/" + scene + "/baseline";
}
std::string ThreadsBenchmarkName(const std::string& scene) {
  return "scene/" + scene + "/threads";
}
int ThreadedRenderThreads(const BenchOptions& options) {
  return options.threads > 0 ? options.threads
                             : static_cast<int>(std::thread::hardware_concurrency());
}
std::string FloorBenchmarkName(const std::string& scene) {
  return "scene/" + scene + "/floor";
}

std::vector<SceneEntry>& RegisterSceneBenchmarks(const BenchOptions& options) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const fs::directory_entry& f : fs::directory_iterator(options.scenes)) {
    if (f.is_regular_file() && f.path().extension() == ".json") {
      files.push_back(f.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  gScenes.clear();
  gScenes.reserve(files.size());  // the benchmarks keep pointers into the list
  for (const std::string& file : files) {
    gScenes.push_back({SceneName(file), file, {}, {}, true, {}, {}});
  }
  const int threads = ThreadedRenderThreads(options);
  for (SceneEntry& entry : gScenes) {
    const auto tune = [](benchmark::internal::Benchmark* b) {
      // Real time is what a user waits for; the CPU time of the whole process counts the render's
      // own threads too and is what the ratios use on a shared, loaded machine.
      b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
    };
    tune(benchmark::RegisterBenchmark(RenderBenchmarkName(entry.name).c_str(), RenderScene, &entry,
                                      &options.plugin, 1));
    if (threads > 1) {
      tune(benchmark::RegisterBenchmark(ThreadsBenchmarkName(entry.name).c_str(), RenderScene,
                                        &entry, &options.plugin, threads));
    }
    if (!options.baseline.empty()) {
      tune(benchmark::RegisterBenchmark(BaselineBenchmarkName(entry.name).c_str(), RenderScene,
                                        &entry, &options.baseline, 1));
    }
    tune(
        benchmark::RegisterBenchmark(FloorBenchmarkName(entry.name).c_str(), FloorOfScene, &entry));
  }
  return gScenes;
}

}  // namespace lwbench
