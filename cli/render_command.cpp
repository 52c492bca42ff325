// `lathewind render [SCENE] [-o OUT] [--frames A[-B]] [--jobs N] [--raw] [--quiet]`: renders a
// scene's frames to PNG files, several frames at once through one loaded effect.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli_common.h"
#include "demo_scene.h"
#include "core/error_names.h"
#include "scenes/frame_pattern.h"
#include "layers/png_io.h"
#include "progress_bar.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"
#include "scene_start.h"
#include "core/session.h"

namespace lwcli {

namespace {

namespace fs = std::filesystem;

// Frames a scene may name: current_time = 1000 x frame must fit in 32 bits.
constexpr int64_t kMaxFrame = 2147483647 / 1000;
// More threads than this gain nothing on any machine this runs on and only cost memory.
constexpr int64_t kMaxJobs = 256;

// Failures on demand for testing how the command reports an effect error: "NAME,VERSION[,K]"
// makes the host report suite NAME VERSION as missing, from its K-th request on (every request
// without K).
constexpr const char* kFaultSuiteVariable = "LATHEWIND_FAULT_SUITE";

struct RenderArgs {
  std::string scene;
  std::string out;
  std::string frames;
  unsigned jobs = 0;
  bool raw = false;
  bool quiet = false;
};

struct FrameRange {
  int64_t first = 0;
  int64_t last = 0;
};

std::optional<int64_t> ParseFrameNumber(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > kMaxFrame) {
    return std::nullopt;
  }
  return value;
}

// "12" or "0-47"; nullopt when malformed.
std::optional<FrameRange> ParseFrameRange(const std::string& text) {
  const size_t dash = text.find('-');
  const auto first = ParseFrameNumber(std::string_view(text).substr(0, dash));
  if (!first) {
    return std::nullopt;
  }
  if (dash == std::string::npos) {
    return FrameRange{*first, *first};
  }
  const auto last = ParseFrameNumber(std::string_view(text).substr(dash + 1));
  if (!last || *last < *first) {
    return std::nullopt;
  }
  return FrameRange{*first, *last};
}

int UsageError(const std::string& message) {
  std::cerr << "lathewind render: " << message << "\n";
  return kExitUsage;
}

// Arms the fault named by LATHEWIND_FAULT_SUITE; false when the variable is malformed.
bool ArmFaultFromEnvironment(lwhost::Session& session) {
  const char* value = std::getenv(kFaultSuiteVariable);
  if (value == nullptr || *value == '\0') {
    return true;
  }
  const std::string text(value);
  const size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return false;
  }
  const size_t second = text.find(',', comma + 1);
  const auto version =
      ParseFrameNumber(std::string_view(text).substr(comma + 1, second - comma - 1));
  std::optional<int64_t> kth = 0;
  if (second != std::string::npos) {
    kth = ParseFrameNumber(std::string_view(text).substr(second + 1));
  }
  if (!version || !kth) {
    return false;
  }
  session.faults.MissingSuite(text.substr(0, comma), static_cast<int>(*version),
                              static_cast<int>(*kth));
  return true;
}

// The default output: lathewind.png for the demo, else the scene's name in the current folder,
// with a frame field when there are several frames.
std::string DefaultOutput(const RenderArgs& args, int64_t frameCount) {
  const std::string stem =
      args.scene.empty() ? std::string("lathewind") : fs::path(args.scene).stem().string();
  return stem + (frameCount > 1 ? ".%04d.png" : ".png");
}

// A temporary folder for the demo's texture, removed when done.
class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("lathewind-demo-" + std::to_string(static_cast<long long>(::getpid())));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct FrameFailure {
  int64_t frame = 0;
  PF_Err err = PF_Err_NONE;
  std::string writeError;  // set when the frame rendered but its file could not be written
};

// Set by SIGINT or SIGTERM. Frames in flight are cancelled through the effect's progress callback
// and write nothing; frames already written stay; the command then exits with 128 + the signal.
std::atomic<int> gInterruptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int signal) {
  gInterruptSignal.store(signal);
}

// Catches the two signals for the life of a render and puts the previous handlers back.
class InterruptGuard {
 public:
  InterruptGuard() {
    gInterruptSignal = 0;
    previousInt_ = std::signal(SIGINT, OnInterrupt);
    previousTerm_ = std::signal(SIGTERM, OnInterrupt);
  }
  ~InterruptGuard() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

bool Interrupted() {
  return gInterruptSignal.load() != 0;
}

struct RunState {
  std::mutex mutex;
  std::atomic<int64_t> next{0};
  std::atomic<bool> stop{false};
  std::vector<FrameFailure> failures;
  std::vector<std::string> warnings;
};

void RenderWorker(lwhost::SceneRenderer& renderer, const lwhost::FramePattern& pattern,
                  const FrameRange& range, lwhost::PngAlpha alpha, ProgressBar& progress,
                  RunState& state) {
  while (!state.stop.load() && !Interrupted()) {
    const int64_t frame = range.first + state.next.fetch_add(1);
    if (frame > range.last) {
      return;
    }
    lwhost::RenderOptions options;
    options.progress = [&progress, frame](A_long current, A_long total) {
      progress.FrameProgress(frame, current, total);
      return !Interrupted();  // false cancels the frame
    };
    lwhost::FrameOutput output = renderer.RenderFrame(static_cast<int32_t>(frame), options);
    if (output.err != PF_Err_NONE && Interrupted()) {
      return;  // cancelled by the interruption: not a failure, and nothing to write
    }
    FrameFailure failure{frame, output.err, {}};
    if (output.err == PF_Err_NONE) {
      try {
        lwhost::WritePng(lwhost::FormatFrame(pattern, frame), output.image, alpha);
      } catch (const std::exception& e) {
        failure.writeError = e.what();
      }
    }
    progress.FrameDone(frame);
    std::lock_guard lock(state.mutex);
    if (!output.balance.empty()) {
      state.warnings.push_back(
          "frame " + std::to_string(frame) +
          ": the effect did not give back everything it took: " + output.balance);
    }
    if (failure.err != PF_Err_NONE || !failure.writeError.empty()) {
      state.failures.push_back(failure);
      state.stop = true;  // frames in flight finish; no new frame starts
    }
  }
}

int RunRender(const RenderArgs& args) {
  std::optional<FrameRange> override;
  if (!args.frames.empty()) {
    override = ParseFrameRange(args.frames);
    if (!override) {
      return UsageError("--frames " + args.frames + ": expected a frame number A or a range A-B " +
                        "with 0 <= A <= B <= " + std::to_string(kMaxFrame));
    }
  }

  std::optional<TempFolder> demoFolder;
  lwhost::Scene scene;
  try {
    if (args.scene.empty()) {
      demoFolder.emplace();
      scene = LoadDemoScene(demoFolder->path());
    } else {
      scene = lwhost::ParseSceneFile(args.scene);
    }
  } catch (const lwhost::SceneError& e) {
    return SceneProblem(e);
  }
  if (override) {
    scene.firstFrame = static_cast<int32_t>(override->first);
    scene.lastFrame = static_cast<int32_t>(override->last);
  }
  const FrameRange range{scene.firstFrame, scene.lastFrame};
  const int64_t frameCount = range.last - range.first + 1;

  const std::string out = args.out.empty() ? DefaultOutput(args, frameCount) : args.out;
  lwhost::FramePattern pattern;
  try {
    pattern = lwhost::ParseOutputPattern(out, frameCount);
  } catch (const std::invalid_argument& e) {
    return UsageError("-o " + out + ": " + e.what());
  }
  const fs::path folder = fs::path(lwhost::FormatFrame(pattern, range.first)).parent_path();
  if (!folder.empty() && !fs::is_directory(folder)) {
    return UsageError("-o " + out + ": the folder " + folder.string() + " does not exist");
  }

  lwhost::Session session(PluginPath());
  if (!ArmFaultFromEnvironment(session)) {
    return UsageError(std::string(kFaultSuiteVariable) + ": expected NAME,VERSION[,K]");
  }
  std::optional<lwhost::SceneRenderer> renderer;
  if (const int code = StartScene(session, std::move(scene), renderer); code != kExitOk) {
    return code;
  }
  demoFolder.reset();  // the layers are loaded

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int64_t jobs =
      std::min<int64_t>({args.jobs == 0 ? cores : args.jobs, frameCount, kMaxJobs});
  const lwhost::PngAlpha alpha = args.raw ? lwhost::PngAlpha::kRaw : lwhost::PngAlpha::kStraight;

  RunState state;
  InterruptGuard interruptGuard;
  {
    ProgressBar progress(std::cerr, frameCount, !args.quiet && StderrIsTerminal());
    std::vector<std::thread> threads;
    for (int64_t i = 1; i < jobs; ++i) {
      threads.emplace_back(RenderWorker, std::ref(*renderer), std::cref(pattern), std::cref(range),
                           alpha, std::ref(progress), std::ref(state));
    }
    RenderWorker(*renderer, pattern, range, alpha, progress, state);
    for (std::thread& thread : threads) {
      thread.join();
    }
    progress.Finish();
  }

  for (const std::string& warning : state.warnings) {
    std::cerr << "lathewind: warning: " << warning << "\n";
  }
  if (const int signal = gInterruptSignal.load(); signal != 0) {
    std::cerr << "lathewind: interrupted; frames finished before it were written\n";
    return 128 + signal;
  }
  if (!state.failures.empty()) {
    // Several frames in flight may fail; the earliest is the one to report.
    const FrameFailure& first = *std::min_element(
        state.failures.begin(), state.failures.end(),
        [](const FrameFailure& a, const FrameFailure& b) { return a.frame < b.frame; });
    if (!first.writeError.empty()) {
      std::cerr << "lathewind: " << first.writeError << "\n";
    } else {
      std::cerr << "lathewind: error " << first.err << " (" << lwhost::ErrorName(first.err)
                << ") rendering frame " << first.frame << "\n";
    }
    return kExitEffectError;
  }
  if (!args.quiet) {
    if (frameCount == 1) {
      std::cout << "wrote " << lwhost::FormatFrame(pattern, range.first) << "\n";
    } else {
      std::cout << "wrote " << frameCount << " frames, "
                << lwhost::FormatFrame(pattern, range.first) << " to "
                << lwhost::FormatFrame(pattern, range.last) << "\n";
    }
  }
  return kExitOk;
}

}  // namespace

Subcommand AddRenderCommand(CLI::App& app) {
  auto args = std::make_shared<RenderArgs>();
  CLI::App* render =
      app.add_subcommand("render", "Render a scene file (or the built-in demo scene) to PNG files");
  render->add_option("SCENE", args->scene, "Scene file (JSON); without it, the built-in demo");
  render->add_option("-o,--output", args->out,
                     "Output PNG; with several frames it needs a frame field such as %04d");
  render->add_option("--frames", args->frames, "Frame A, or frames A-B inclusive")
      ->type_name("A[-B]");
  render->add_option("--jobs", args->jobs, "Frames rendered at once (default: number of cores)")
      ->check(CLI::Range(1u, 4096u));
  render->add_flag("--raw", args->raw,
                   "Write stored values unchanged (premultiplied; 0..32768 at 16 bits)");
  render->add_flag("--quiet", args->quiet, "No progress bar and no summary");
  return {render, [args] { return RunRender(*args); }};
}

}  // namespace lwcli
