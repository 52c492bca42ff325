// `lathewind submit SCENE -o OUT [--frames A-B] [--chunk N] [--cpus C] [--partition P] [--time T]
// [--sbatch-arg ARG]... [--movie OUT.mov] [--dry-run]`: renders a scene's frames on a Slurm
// cluster as one job array, a chunk of frames per task, after checking everything here first.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli_common.h"
#include "core/session.h"
#include "job_script.h"
#include "scene_start.h"
#include "scenes/frame_pattern.h"
#include "scenes/scene.h"

extern char** environ;

namespace lwcli {

namespace {

namespace fs = std::filesystem;

struct SubmitArgs {
  std::string scene;
  std::string out;
  std::string frames;
  std::string partition;
  std::string time;
  std::vector<std::string> sbatchArgs;
  std::string movie;
  int64_t chunk = 10;
  int cpus = 1;
  bool dryRun = false;
};

int UsageError(const std::string& message) {
  std::cerr << "lathewind submit: " << Printable(message) << "\n";
  return kExitUsage;
}

// "A" or "A-B" with 0 <= A <= B; false when malformed.
bool ParseRange(const std::string& text, int64_t& first, int64_t& last) {
  const auto number = [](std::string_view part, int64_t& value) {
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    return !part.empty() && ec == std::errc() && end == part.data() + part.size() && value >= 0;
  };
  const size_t dash = text.find('-');
  if (!number(std::string_view(text).substr(0, dash), first)) {
    return false;
  }
  if (dash == std::string::npos) {
    last = first;
    return true;
  }
  return number(std::string_view(text).substr(dash + 1), last) && last >= first;
}

// A value that goes into a job script's header line: one plain word.
bool IsPlainWord(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) {
      return false;
    }
  }
  return !text.empty();
}

// Slurm reads "%" in a log file name as a field ("%a": the task); "%%" is a "%".
std::string SlurmFileName(const std::string& path) {
  std::string escaped;
  for (const char c : path) {
    escaped += c == '%' ? std::string("%%") : std::string(1, c);
  }
  return escaped;
}

// The job's name in the queue: the output's name before its frame field, in safe characters.
std::string JobName(const lwhost::FramePattern& pattern) {
  std::string stem = fs::path(pattern.prefix).filename().string();
  while (!stem.empty() && (stem.back() == '.' || stem.back() == '_' || stem.back() == '-')) {
    stem.pop_back();
  }
  std::string name = "lathewind";
  if (!stem.empty()) {
    name += "-";
  }
  for (const char c : stem) {
    name +=
        std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' ? c : '_';
  }
  return name;
}

// "<output folder>/<job name>-YYYYMMDD-HHMMSS", with "-2", "-3", ... when that is taken.
fs::path JobFolderName(const fs::path& outputFolder, const std::string& name, int attempt) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  return outputFolder /
         (name + "-" + stamp + (attempt > 1 ? "-" + std::to_string(attempt) : std::string()));
}

std::optional<fs::path> FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "";
  while (true) {
    const size_t colon = rest.find(':');
    const fs::path candidate = fs::path(rest.substr(0, colon)) / program;
    if (!candidate.parent_path().empty() && ::access(candidate.c_str(), X_OK) == 0 &&
        fs::is_regular_file(candidate)) {
      return candidate;
    }
    if (colon == std::string_view::npos) {
      return std::nullopt;
    }
    rest.remove_prefix(colon + 1);
  }
}

struct ProgramResult {
  int exitCode = -1;
  std::string out;
};

// Runs `args` (found on the PATH), its standard error passed through, its standard output read.
ProgramResult RunProgram(const std::vector<std::string>& args) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  ProgramResult result;
  if (spawned == 0) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      result.out.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ::close(pipeEnds[0]);
  return result;
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) {
    line += (line.empty() ? "" : " ") + ShellWord(arg);
  }
  return line;
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  if (!file) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

int RunSubmit(const SubmitArgs& args) {
  // Everything is checked here, before the cluster sees anything.
  if (args.chunk < 1) {
    return UsageError("--chunk " + std::to_string(args.chunk) + ": expected 1 or more frames");
  }
  for (const auto& [option, value] :
       {std::pair{"--partition", &args.partition}, std::pair{"--time", &args.time}}) {
    if (!value->empty() && !IsPlainWord(*value)) {
      return UsageError(std::string(option) + " " + *value + ": expected one word");
    }
  }
  lwhost::Scene scene;
  const fs::path scenePath = fs::absolute(args.scene).lexically_normal();
  try {
    scene = lwhost::ParseSceneFile(scenePath);
  } catch (const lwhost::SceneError& e) {
    return SceneProblem(e);
  }
  if (!args.frames.empty()) {
    int64_t first = 0;
    int64_t last = 0;
    if (!ParseRange(args.frames, first, last) || last > lwhost::kMaxSceneFrame) {
      return UsageError("--frames " + args.frames + ": expected a frame number A or a range A-B " +
                        "with 0 <= A <= B <= " + std::to_string(lwhost::kMaxSceneFrame));
    }
    scene.firstFrame = static_cast<int32_t>(first);
    scene.lastFrame = static_cast<int32_t>(last);
  }
  FarmJob job;
  job.firstFrame = scene.firstFrame;
  job.lastFrame = scene.lastFrame;
  job.chunk = args.chunk;
  job.cpus = args.cpus;
  job.frameRate = scene.frameRate;
  job.scene = scenePath.string();
  job.output = fs::absolute(args.out).lexically_normal().string();

  lwhost::FramePattern pattern;
  try {
    pattern = lwhost::ParseOutputPattern(job.output, job.lastFrame - job.firstFrame + 1);
  } catch (const std::invalid_argument& e) {
    return UsageError("-o " + args.out + ": " + e.what());
  }
  if (NamesAFolder(lwhost::FormatFrame(pattern, job.firstFrame))) {
    return UsageError("-o " + args.out + ": names a folder; give a file name such as " +
                      (fs::path(args.out) / "frame.%04d.png").lexically_normal().string());
  }
  const fs::path outputFolder =
      fs::path(lwhost::FormatFrame(pattern, job.firstFrame)).parent_path();
  if (!fs::is_directory(outputFolder) || ::access(outputFolder.c_str(), W_OK) != 0) {
    return UsageError("-o " + args.out + ": the folder " + outputFolder.string() +
                      " does not exist or cannot be written");
  }
  if (!args.movie.empty()) {
    job.movie = fs::absolute(args.movie).lexically_normal().string();
    const std::string extension = fs::path(job.movie).extension().string();
    if (extension != ".mov" && extension != ".mkv" && extension != ".mp4") {
      return UsageError("--movie " + args.movie + ": expected a .mov, .mkv or .mp4 file");
    }
    if (!fs::is_directory(fs::path(job.movie).parent_path())) {
      return UsageError("--movie " + args.movie + ": the folder " +
                        fs::path(job.movie).parent_path().string() + " does not exist");
    }
  }
  {
    // The scene's files and the effect: loaded as a task will load them.
    lwhost::Session session(PluginPath());
    std::optional<lwhost::SceneRenderer> renderer;
    if (const int code = StartScene(session, std::move(scene), renderer); code != kExitOk) {
      return code;
    }
  }
  job.command = fs::canonical("/proc/self/exe").string();
  job.name = JobName(pattern);

  const std::optional<fs::path> sbatch = FindOnPath("sbatch");
  fs::path folder = JobFolderName(outputFolder, job.name, 1);
  job.jobFolder = folder.string();
  const auto sbatchCommand = [&](const std::string& log, const std::string& script,
                                 const std::string& dependency) {
    std::vector<std::string> command = {"sbatch", "--parsable"};
    if (!dependency.empty()) {
      command.insert(command.end(),
                     {"--dependency=afterok:" + dependency, "--kill-on-invalid-dep=yes"});
    }
    command.push_back("--output=" + SlurmFileName(job.jobFolder) + "/" + log);
    if (!args.partition.empty()) {
      command.push_back("--partition=" + args.partition);
    }
    if (!args.time.empty()) {
      command.push_back("--time=" + args.time);
    }
    command.insert(command.end(), args.sbatchArgs.begin(), args.sbatchArgs.end());
    command.push_back((fs::path(job.jobFolder) / script).string());
    return command;
  };

  if (args.dryRun || !sbatch) {
    if (!sbatch && !args.dryRun) {
      std::cerr << "lathewind submit: sbatch is not on the PATH, so nothing was submitted; the job "
                   "script follows\n";
    }
    std::cout << "# " << (fs::path(job.jobFolder) / "render.sbatch").string() << "\n"
              << RenderArrayScript(job);
    if (!job.movie.empty()) {
      std::cout << "\n# " << (fs::path(job.jobFolder) / "movie.sbatch").string() << "\n"
                << MovieScript(job);
    }
    if (args.dryRun) {
      std::cout << "\n# submitted with\n"
                << CommandLine(sbatchCommand("task-%a.log", "render.sbatch", "")) << "\n";
      if (!job.movie.empty()) {
        std::cout << CommandLine(sbatchCommand("movie.log", "movie.sbatch", "ARRAY_JOB_ID"))
                  << "\n";
      }
    }
    return sbatch || args.dryRun ? kExitOk : kExitEffectError;
  }

  for (int attempt = 2; !fs::create_directory(folder); ++attempt) {
    folder = JobFolderName(outputFolder, job.name, attempt);
  }
  job.jobFolder = folder.string();
  // Until the array is submitted the folder records nothing that ran: it goes on any failure.
  const auto abandonFolder = [&folder] {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  };
  try {
    WriteFile(folder / "render.sbatch", RenderArrayScript(job));
    if (!job.movie.empty()) {
      WriteFile(folder / "movie.sbatch", MovieScript(job));
    }
  } catch (const std::exception& e) {
    abandonFolder();
    std::cerr << "lathewind submit: " << Printable(e.what()) << "; nothing was submitted\n";
    return kExitEffectError;
  }
  std::string record;
  const std::vector<std::string> arrayCommand = sbatchCommand("task-%a.log", "render.sbatch", "");
  const ProgramResult array = RunProgram(arrayCommand);
  const std::string arrayId = array.out.substr(0, array.out.find_first_of(";\n"));
  if (array.exitCode != 0 || arrayId.empty()) {
    abandonFolder();
    std::cerr << "lathewind submit: sbatch failed (" << CommandLine(arrayCommand)
              << "); nothing was submitted\n";
    return kExitEffectError;
  }
  record += CommandLine(arrayCommand) + "\n# job " + arrayId + "\n";
  std::cout << "job folder: " << folder.string() << "\n"
            << "submitted job array " << arrayId << ": " << TaskCount(job) << " tasks, frames "
            << job.firstFrame << "-" << job.lastFrame << " in chunks of " << job.chunk << "\n"
            << "task logs: " << (folder / "task-<task>.log").string() << " (task 0: frames "
            << TaskFrames(job, 0) << ")\n";
  std::string ids = arrayId;
  if (!job.movie.empty()) {
    const std::vector<std::string> movieCommand =
        sbatchCommand("movie.log", "movie.sbatch", arrayId);
    const ProgramResult movie = RunProgram(movieCommand);
    const std::string movieId = movie.out.substr(0, movie.out.find_first_of(";\n"));
    if (movie.exitCode != 0 || movieId.empty()) {
      std::cerr << "lathewind submit: sbatch failed for the movie (" << CommandLine(movieCommand)
                << "); the frames' job array " << arrayId << " is cancelled\n";
      RunProgram({"scancel", arrayId});
      WriteFile(folder / "submitted.txt", record + "# cancelled: the movie job failed\n");
      return kExitEffectError;
    }
    record += CommandLine(movieCommand) + "\n# job " + movieId + "\n";
    std::cout << "submitted movie job " << movieId << ": " << job.movie
              << " once every task has succeeded\n"
              << "movie log: " << (folder / "movie.log").string() << "\n";
    ids += "," + movieId;
  }
  WriteFile(folder / "submitted.txt", record);
  std::cout << "watch: squeue -j " << ids << "; when done: sacct -j " << ids << "\n";
  return kExitOk;
}

}  // namespace

Subcommand AddSubmitCommand(CLI::App& app) {
  auto args = std::make_shared<SubmitArgs>();
  CLI::App* submit = app.add_subcommand(
      "submit", "Render a scene's frames on a Slurm cluster: one job array, a chunk per task");
  submit->add_option("SCENE", args->scene, "Scene file (JSON)")->required();
  submit->add_option("-o,--output", args->out, "Output frames, with a frame field such as %04d")
      ->required();
  submit->add_option("--frames", args->frames, "Frame A, or frames A-B inclusive")
      ->type_name("A[-B]");
  submit->add_option("--chunk", args->chunk, "Frames per task (default: 10)")
      ->check(CLI::Range(int64_t{1}, int64_t{1} << 31));
  submit->add_option("--cpus", args->cpus, "CPUs per task, the render's threads (default: 1)")
      ->check(CLI::Range(1, 4096));
  submit->add_option("--partition", args->partition, "Slurm partition");
  submit->add_option("--time", args->time, "Time limit of each task, as Slurm writes it");
  submit->add_option("--sbatch-arg", args->sbatchArgs, "Passed to sbatch (repeatable)")
      ->allow_extra_args(false);
  submit->add_option("--movie", args->movie,
                     "Assemble the frames into this movie (.mov, .mkv, .mp4) once all are done");
  submit->add_flag("--dry-run", args->dryRun, "Print the job scripts and sbatch commands only");
  return {submit, [args] { return RunSubmit(*args); }};
}

}  // namespace lwcli
