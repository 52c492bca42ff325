// Writing a sequence: 48 frames of the 1920 x 1080 tube scene rendered two frames at once and
// encoded in order while later frames render (.mov, .mkv), against the same frames rendered to
// nothing; and a one-frame `lathewind render` process against the steady-state render plus the
// encode of that frame. The ratios of neighbouring rows are the figures that matter.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bench_options.h"
#include "core/session.h"
#include "media/output_queue.h"
#include "media/output_writer.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kFrames = 48;
constexpr int kJobs = 2;  // this machine's cores: one frame each, as the command runs it

fs::path ScenePath() {
  return fs::path(lwbench::GetBenchOptions().scenes) / "hd_tube.json";
}

fs::path Scratch() {
  const fs::path dir =
      fs::temp_directory_path() / ("lathewind-bench-out-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

// Frames [0, count) rendered by kJobs workers; each goes to `ordered` when given.
void RenderFrames(lwhost::SceneRenderer& renderer, lwhost::OrderedOutput* ordered, int32_t count) {
  std::atomic<int32_t> next{0};
  const auto work = [&] {
    for (int32_t f = next++; f < count; f = next++) {
      lwhost::FrameOutput out = renderer.RenderFrame(f);
      if (out.err != PF_Err_NONE) {
        throw std::runtime_error("frame " + std::to_string(f) + " failed");
      }
      if (ordered != nullptr) {
        ordered->Submit(f, {std::move(out.image), out.originX, out.originY, renderer.WorldWidth(),
                            renderer.WorldHeight()});
      }
    }
  };
  std::vector<std::thread> threads;
  for (int i = 1; i < kJobs; ++i) {
    threads.emplace_back(work);
  }
  work();
  for (std::thread& t : threads) {
    t.join();
  }
}

void Sequence(benchmark::State& state, lwhost::OutputKind kind, bool write) {
  lwhost::Session session(lwbench::GetBenchOptions().plugin);
  session.GlobalSetup();
  lwhost::SceneRenderer renderer(session, lwhost::ParseSceneFile(ScenePath()));
  renderer.RenderFrame(0);  // warm: layers made, buffers touched once
  const fs::path dir = Scratch();
  for (auto _ : state) {
    if (!write) {
      RenderFrames(renderer, nullptr, kFrames);
      continue;
    }
    lwhost::OutputSettings settings;
    settings.path = (dir / (kind == lwhost::OutputKind::kMov ? "seq.mov" : "seq.mkv")).string();
    settings.kind = kind;
    settings.frameRate = 24.0;
    std::unique_ptr<lwhost::OutputWriter> writer = lwhost::OpenOutput(settings);
    lwhost::OrderedOutput ordered(*writer, 0, 2 * kJobs);
    RenderFrames(renderer, &ordered, kFrames);
    if (ordered.Drain(kFrames)) {
      state.SkipWithError("writing failed");
    }
    writer->Finish();
  }
  fs::remove_all(dir);
  state.counters["frames"] = kFrames;
}

// The steady state of one frame: a warm renderer renders frame 0 and encodes it to a .mkv.
void SteadyFrame(benchmark::State& state) {
  lwhost::Session session(lwbench::GetBenchOptions().plugin);
  session.GlobalSetup();
  lwhost::SceneRenderer renderer(session, lwhost::ParseSceneFile(ScenePath()));
  renderer.RenderFrame(0);
  const fs::path dir = Scratch();
  for (auto _ : state) {
    lwhost::OutputSettings settings;
    settings.path = (dir / "one.mkv").string();
    settings.kind = lwhost::OutputKind::kMkv;
    std::unique_ptr<lwhost::OutputWriter> writer = lwhost::OpenOutput(settings);
    lwhost::FrameOutput out = renderer.RenderFrame(0, {0, {}, kJobs, {}, {}});
    writer->Write(
        0, {&out.image, out.originX, out.originY, renderer.WorldWidth(), renderer.WorldHeight()});
    writer->Finish();
  }
  fs::remove_all(dir);
}

// The same frame as a fresh `lathewind render` process: loading, set-up, first-touch memory.
void OneFrameCommand(benchmark::State& state) {
  const fs::path dir = Scratch();
  const std::string command = std::string("LATHEWIND_PLUGIN='") +
                              lwbench::GetBenchOptions().plugin +
                              "' '" LATHEWIND_BENCH_CLI "' render '" + ScenePath().string() +
                              "' --quiet -o '" + (dir / "one.mkv").string() + "'";
  for (auto _ : state) {
    fs::remove(dir / "one.mkv");
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("the command failed");
    }
  }
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK_CAPTURE(Sequence, none, lwhost::OutputKind::kMkv, false)
    ->Name("output/hd48/nothing")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(Sequence, mov, lwhost::OutputKind::kMov, true)
    ->Name("output/hd48/mov")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(Sequence, mkv, lwhost::OutputKind::kMkv, true)
    ->Name("output/hd48/mkv")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(SteadyFrame)
    ->Name("output/one-frame/steady")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(OneFrameCommand)
    ->Name("output/one-frame/command")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
