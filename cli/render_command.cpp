// `lathewind render [SCENE] [-o OUT] [--format NAME] [--frames A[-B]] [--jobs N] [--threads N]
// [--downsample D[,DY]] [--background PLATE] [--raw] [--skip-existing] [--quiet]`: renders a
// scene's frames to still files or one movie through the host's output service, several frames at
// once through one loaded effect, each frame's own work split over the threads left to it; a
// movie's frames are encoded in order while later frames render.
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
#include <utility>
#include <vector>

#include <unistd.h>

#include "cli_common.h"
#include "core/error_names.h"
#include "core/file_gate.h"
#include "core/session.h"
#include "demo_scene.h"
#include "layers/background.h"
#include "media/output_file.h"
#include "media/output_format.h"
#include "media/output_queue.h"
#include "media/output_writer.h"
#include "media/still.h"
#include "progress_bar.h"
#include "scene_start.h"
#include "scenes/frame_pattern.h"
#include "scenes/frame_resume.h"
#include "scenes/movie_size.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

namespace lwcli {

namespace {

namespace fs = std::filesystem;

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
  std::string downsample;  // "D" or "DX,DY"; empty keeps the scene's
  std::string format;      // overrides the extension's format; empty: the extension decides
  std::string background;  // a colour, a layer of the scene or a file; empty keeps the scene's
  unsigned jobs = 0;
  unsigned threads = 0;
  bool raw = false;
  bool skipExisting = false;
  bool quiet = false;
};

struct FrameRange {
  int64_t first = 0;
  int64_t last = 0;
};

// Digits only, 0..kMaxSceneFrame: frame numbers, downsample factors and suite versions alike.
std::optional<int64_t> ParseWholeNumber(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > lwhost::kMaxSceneFrame) {
    return std::nullopt;
  }
  return value;
}

// "12" or "0-47"; nullopt when malformed.
std::optional<FrameRange> ParseFrameRange(const std::string& text) {
  const size_t dash = text.find('-');
  const auto first = ParseWholeNumber(std::string_view(text).substr(0, dash));
  if (!first) {
    return std::nullopt;
  }
  if (dash == std::string::npos) {
    return FrameRange{*first, *first};
  }
  const auto last = ParseWholeNumber(std::string_view(text).substr(dash + 1));
  if (!last || *last < *first) {
    return std::nullopt;
  }
  return FrameRange{*first, *last};
}

// "D" or "DX,DY", each 1..kMaxDownsample; nullopt when malformed.
std::optional<std::pair<int32_t, int32_t>> ParseDownsample(const std::string& text) {
  const size_t comma = text.find(',');
  const auto x = ParseWholeNumber(std::string_view(text).substr(0, comma));
  const auto y =
      comma == std::string::npos ? x : ParseWholeNumber(std::string_view(text).substr(comma + 1));
  if (!x || !y || *x < 1 || *y < 1 || *x > lwhost::kMaxDownsample || *y > lwhost::kMaxDownsample) {
    return std::nullopt;
  }
  return std::pair{static_cast<int32_t>(*x), static_cast<int32_t>(*y)};
}

int UsageError(const std::string& message) {
  std::cerr << "lathewind render: " << Printable(message) << "\n";
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
      ParseWholeNumber(std::string_view(text).substr(comma + 1, second - comma - 1));
  std::optional<int64_t> kth = 0;
  if (second != std::string::npos) {
    kth = ParseWholeNumber(std::string_view(text).substr(second + 1));
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

struct FrameFailure {
  int64_t frame = 0;
  PF_Err err = PF_Err_NONE;
  std::string footageProblem;  // a source or plate frame that could not be decoded
};

// Set by SIGINT or SIGTERM. Frames in flight are cancelled through the effect's progress callback
// and write nothing; frames already written stay; the command then exits with 128 + the signal.
std::atomic<int> gInterruptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int signal) {
  // A second signal is the user insisting: the default action ends the process at once.
  if (gInterruptSignal.exchange(signal) != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
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
  std::atomic<int64_t> skipped{0};  // frames already on disk (--skip-existing)
};

// `skipWritten`: the still frames' pattern with --skip-existing, else null.
void RenderWorker(lwhost::SceneRenderer& renderer, lwhost::OrderedOutput& output,
                  const FrameRange& range, const lwhost::FramePattern* skipWritten,
                  int32_t frameThreads, ProgressBar& progress, RunState& state) {
  while (!state.stop.load() && !Interrupted()) {
    const int64_t frame = range.first + state.next.fetch_add(1);
    if (frame > range.last) {
      return;
    }
    if (skipWritten != nullptr &&
        lwhost::FrameAlreadyWritten(lwhost::FormatFrame(*skipWritten, frame))) {
      ++state.skipped;
      progress.FrameDone(frame);
      continue;
    }
    lwhost::RenderOptions options;
    options.threads = frameThreads;
    options.cancelled = [] { return Interrupted(); };
    options.hostWorkCancelled = options.cancelled;
    options.progress = [&progress, frame](A_long current, A_long total) {
      progress.FrameProgress(frame, current, total);
      return !Interrupted();  // false cancels the frame
    };
    lwhost::FrameOutput rendered = renderer.RenderFrame(static_cast<int32_t>(frame), options);
    if (Interrupted()) {
      // Cancelled by the interruption, or finished after it: either way still in flight, so
      // nothing is written (a big frame's file takes seconds to write), and a movie stops.
      output.Cancel();
      return;
    }
    bool written = true;
    if (rendered.err == PF_Err_NONE) {
      renderer.CompositeBackground(rendered, static_cast<int32_t>(frame), options.cancelled);
    }
    if (rendered.err == PF_Err_NONE) {
      written = output.Submit(frame, {std::move(rendered.image), rendered.originX, rendered.originY,
                                      renderer.WorldWidth(), renderer.WorldHeight()});
    }
    progress.FrameDone(frame);
    std::lock_guard lock(state.mutex);
    if (!rendered.balance.empty()) {
      state.warnings.push_back(
          "frame " + std::to_string(frame) +
          ": the effect did not give back everything it took: " + rendered.balance);
    }
    if (rendered.err != PF_Err_NONE) {
      state.failures.push_back({frame, rendered.err, rendered.footageProblem});
      output.Cancel();  // a movie cannot skip the frame; stills in flight still finish
    }
    if (rendered.err != PF_Err_NONE || !written) {
      state.stop = true;  // frames in flight finish; no new frame starts
    }
  }
}

// What --background names: a colour, a layer of the scene, or (failing both) a file read like a
// source layer. Returns "" or the problem.
std::string ApplyBackgroundOption(const std::string& text, lwhost::Scene& scene) {
  if (text.empty()) {
    return "";
  }
  if (text[0] == '#') {
    const std::optional<lwhost::StraightColor8> color = lwhost::ParseHexColor(text);
    if (!color) {
      return "--background " + text + ": expected #RRGGBB or #RRGGBBAA";
    }
    scene.background = {lwhost::SceneBackgroundKind::kColor, *color, {}};
    return "";
  }
  if (lwhost::FindSceneLayer(scene, text) != nullptr) {
    scene.background = {lwhost::SceneBackgroundKind::kLayer, {}, text};
    return "";
  }
  // A name with a frame field (f.%04d.png) is an image sequence; a file is a still when its first
  // bytes say so, and a movie otherwise (which the movie reader then checks).
  const bool sequence = lwhost::NamesImageSequence(fs::path(text).filename().string());
  std::error_code error;
  if (!sequence && !fs::is_regular_file(text, error)) {
    return "--background " + text +
           ": not a colour (#RRGGBB or #RRGGBBAA), a layer of the scene or a file";
  }
  // The plate becomes one more layer, after the scene's own (their ids stay), under a name no
  // layer of the scene has.
  std::string name = "--background";
  while (lwhost::FindSceneLayer(scene, name) != nullptr) {
    name += "'";
  }
  lwhost::SceneLayer plate;
  plate.name = name;
  plate.pointer = "--background";
  plate.imagePath = fs::absolute(text, error);
  plate.imageAsWritten = text;
  if (sequence) {
    plate.kind = lwhost::SceneLayerKind::kSequence;
  } else {
    try {
      const bool still =
          lwhost::HoldsStill(lwhost::OpenThroughGate(plate.imagePath, lwhost::OpenGate()));
      plate.kind = still ? lwhost::SceneLayerKind::kImage : lwhost::SceneLayerKind::kVideo;
    } catch (const std::runtime_error& e) {
      return "--background " + text + ": " + e.what();
    }
  }
  scene.layers.push_back(plate);
  scene.background = {lwhost::SceneBackgroundKind::kLayer, {}, name};
  return "";
}

int RunRender(const RenderArgs& args) {
  std::optional<FrameRange> override;
  if (!args.frames.empty()) {
    override = ParseFrameRange(args.frames);
    if (!override) {
      return UsageError("--frames " + args.frames + ": expected a frame number A or a range A-B " +
                        "with 0 <= A <= B <= " + std::to_string(lwhost::kMaxSceneFrame));
    }
  }

  std::optional<std::pair<int32_t, int32_t>> downsample;
  if (!args.downsample.empty()) {
    downsample = ParseDownsample(args.downsample);
    if (!downsample) {
      return UsageError("--downsample " + args.downsample + ": expected D or DX,DY, whole " +
                        "numbers from 1 to " + std::to_string(lwhost::kMaxDownsample));
    }
  }

  std::optional<DemoFolder> demoFolder;
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
  if (downsample) {
    scene.downsampleX = downsample->first;
    scene.downsampleY = downsample->second;
  }
  if (const std::string problem = ApplyBackgroundOption(args.background, scene); !problem.empty()) {
    return UsageError(problem);
  }
  const FrameRange range{scene.firstFrame, scene.lastFrame};
  const int64_t frameCount = range.last - range.first + 1;

  const std::string out = args.out.empty() ? DefaultOutput(args, frameCount) : args.out;
  // A folder has no extension either; saying it is a folder is the more useful answer.
  if (NamesAFolder(out)) {
    return UsageError("-o " + out + ": names a folder; give a file name such as " +
                      (fs::path(out) / "frame.png").lexically_normal().string());
  }
  std::optional<lwhost::OutputKind> kind;
  if (!args.format.empty()) {
    kind = lwhost::FormatFromName(args.format);
    if (!kind) {
      return UsageError("--format " + args.format +
                        ": unknown format; known: " + lwhost::KnownOutputExtensions());
    }
  } else {
    kind = lwhost::FormatFromPath(out);
    if (!kind) {
      return UsageError("-o " + out + ": unknown extension " +
                        (fs::path(out).extension().empty()
                             ? std::string("(none)")
                             : "\"" + fs::path(out).extension().string() + "\"") +
                        "; known: " + lwhost::KnownOutputExtensions() + " (or give --format NAME)");
    }
  }
  const lwhost::OutputFormat& format = lwhost::FormatOf(*kind);
  if (args.raw && !format.rawAllowed) {
    return UsageError(std::string("--raw writes stored values to .png and .tif only, not to ") +
                      std::string(format.describes));
  }
  lwhost::FramePattern pattern;
  try {
    pattern =
        format.movie ? lwhost::ParseFramePattern(out) : lwhost::ParseOutputPattern(out, frameCount);
  } catch (const std::invalid_argument& e) {
    return UsageError("-o " + out + ": " + e.what());
  }
  if (format.movie && args.skipExisting) {
    return UsageError(
        "--skip-existing resumes still frames; a movie is written whole or not at all");
  }
  const lwhost::FramePattern* skipWritten = args.skipExisting ? &pattern : nullptr;
  if (format.movie && pattern.hasField) {
    return UsageError("-o " + out +
                      ": a movie holds every frame in one file; drop the frame field");
  }
  if (NamesAFolder(lwhost::FormatFrame(pattern, range.first))) {
    return UsageError("-o " + out + ": names a folder; give a file name such as " +
                      (fs::path(out) / "frame.png").lexically_normal().string());
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
  if (const std::string warning = renderer->PathWarning(); !warning.empty()) {
    std::cerr << "lathewind: warning: " << warning << "\n";
  }

  RunState state;
  InterruptGuard interruptGuard;
  if (format.movie) {
    PF_Err err = PF_Err_NONE;
    int64_t failedFrame = 0;
    const std::string problem = lwhost::MovieSizeProblem(
        *renderer, range.first, range.last, [] { return Interrupted(); }, err, failedFrame);
    if (err != PF_Err_NONE) {
      std::cerr << "lathewind: error " << err << " (" << lwhost::ErrorName(err)
                << ") setting up frame " << failedFrame << "\n";
      return kExitEffectError;
    }
    if (!problem.empty()) {
      return UsageError("-o " + out + ": " + problem);
    }
  }

  lwhost::OutputSettings settings;
  settings.path = out;
  settings.kind = *kind;
  settings.bitDepth = renderer->GetScene().bitDepth;
  settings.frameRate = renderer->GetScene().frameRate;
  settings.raw = args.raw;
  settings.firstFrame = range.first;
  std::unique_ptr<lwhost::OutputWriter> writer;
  try {
    writer = lwhost::OpenOutput(settings);
  } catch (const lwhost::OutputError& e) {
    std::cerr << "lathewind: cannot write " << Printable(e.what()) << "\n";
    return kExitUsage;
  }

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  // The threads in all: up to `jobs` frames at once, each frame's bands on its share of the rest,
  // so frames x bands never exceed them.
  const int64_t threads = std::min<int64_t>(args.threads == 0 ? cores : args.threads, kMaxJobs);
  const int64_t jobs =
      std::min<int64_t>({args.jobs == 0 ? threads : args.jobs, threads, frameCount});
  const auto frameThreads = static_cast<int32_t>(std::max<int64_t>(1, threads / jobs));

  // A movie's encoder may fall behind the renders by this many frames before they wait: each
  // job one frame in hand and one waiting.
  lwhost::OrderedOutput ordered(*writer, range.first, 2 * jobs);
  {
    ProgressBar progress(std::cerr, frameCount, !args.quiet && StderrIsTerminal());
    std::vector<std::thread> threads;
    for (int64_t i = 1; i < jobs; ++i) {
      threads.emplace_back(RenderWorker, std::ref(*renderer), std::ref(ordered), std::cref(range),
                           skipWritten, frameThreads, std::ref(progress), std::ref(state));
    }
    RenderWorker(*renderer, ordered, range, skipWritten, frameThreads, progress, state);
    for (std::thread& thread : threads) {
      thread.join();
    }
    progress.Finish();
  }

  for (const std::string& warning : state.warnings) {
    std::cerr << "lathewind: warning: " << warning << "\n";
  }
  const bool rendered = gInterruptSignal.load() == 0 && state.failures.empty() && !ordered.Error();
  std::optional<std::string> writeError =
      rendered ? ordered.Drain(range.last + 1) : ordered.Error();
  ordered.Stop();
  if (rendered && !writeError) {
    try {
      writer->Finish();
    } catch (const lwhost::OutputError& e) {
      writeError = e.what();
    }
  }
  if (!rendered || writeError) {
    writer->Abandon();
  }

  if (const int signal = gInterruptSignal.load(); signal != 0) {
    if (format.movie) {
      std::cerr << "lathewind: interrupted with " << writer->FramesWritten() << " of " << frameCount
                << " frames done; " << Printable(out) << " was not written\n";
    } else {
      std::cerr << "lathewind: interrupted; frames finished before it were written\n";
    }
    return 128 + signal;
  }
  if (!state.failures.empty()) {
    // Several frames in flight may fail; the earliest is the one to report.
    const FrameFailure& first = *std::min_element(
        state.failures.begin(), state.failures.end(),
        [](const FrameFailure& a, const FrameFailure& b) { return a.frame < b.frame; });
    if (!first.footageProblem.empty()) {
      // The input's fault, not the effect's: a usage error, as a file refused at load is.
      std::cerr << "lathewind: frame " << first.frame << ": " << Printable(first.footageProblem)
                << "\n";
      return kExitUsage;
    }
    std::cerr << "lathewind: error " << first.err << " (" << lwhost::ErrorName(first.err)
              << ") rendering frame " << first.frame << "\n";
    return kExitEffectError;
  }
  if (writeError) {
    std::cerr << "lathewind: " << Printable(*writeError) << "\n";
    return kExitUsage;
  }
  if (!args.quiet) {
    if (const int64_t skipped = state.skipped.load(); skipped > 0) {
      std::cout << "skipped " << skipped << " of " << frameCount
                << " frames: their files were already written\n";
    }
    if (format.movie) {
      std::cout << "wrote " << out << " (" << frameCount << (frameCount == 1 ? " frame" : " frames")
                << ")\n";
    } else if (frameCount == 1) {
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
  CLI::App* render = app.add_subcommand(
      "render", "Render a scene file (or the built-in demo scene) to images or a movie");
  render->add_option("SCENE", args->scene, "Scene file (JSON); without it, the built-in demo");
  render->add_option("-o,--output", args->out,
                     "Output image (.png .tif .exr .jpg; several frames need a frame field such "
                     "as %04d) or movie (.mov .mkv .mp4)");
  render->add_option("--format", args->format, "Output format, overriding the extension")
      ->type_name("NAME");
  render->add_option("--frames", args->frames, "Frame A, or frames A-B inclusive")
      ->type_name("A[-B]");
  render->add_option("--jobs", args->jobs, "Frames rendered at once (default: number of cores)")
      ->check(CLI::Range(1u, 4096u));
  render
      ->add_option("--threads", args->threads,
                   "Threads in all, shared by the frames at once (default: number of cores)")
      ->check(CLI::Range(1u, 4096u));
  render
      ->add_option("--downsample", args->downsample,
                   "Render at 1/D (or 1/DX by 1/DY) of the resolution, overriding the scene")
      ->type_name("D[,DY]");
  render
      ->add_option("--background", args->background,
                   "Composite each frame over a colour, a layer of the scene or an image file")
      ->type_name("PLATE");
  render->add_flag("--raw", args->raw,
                   "Write stored values unchanged (premultiplied; 0..32768 at 16 bits)");
  render->add_flag("--skip-existing", args->skipExisting,
                   "Leave frames whose output file exists as they are (resumes a stopped render)");
  render->add_flag("--quiet", args->quiet, "No progress bar and no summary");
  return {render, [args] { return RunRender(*args); }};
}

}  // namespace lwcli
