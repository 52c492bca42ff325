#include "job_script.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace lwcli {

namespace {

std::string FrameRateText(double rate) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, rate);
  return std::string(text, result.ptr);
}

}  // namespace

int64_t TaskCount(const FarmJob& job) {
  const int64_t frames = job.lastFrame - job.firstFrame + 1;
  return (frames + job.chunk - 1) / job.chunk;
}

std::string TaskFrames(const FarmJob& job, int64_t task) {
  const int64_t first = job.firstFrame + task * job.chunk;
  const int64_t last = std::min(first + job.chunk - 1, job.lastFrame);
  return std::to_string(first) + "-" + std::to_string(last);
}

std::string ShellWord(std::string_view text) {
  std::string word = "'";
  for (const char c : text) {
    word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return word + "'";
}

std::string RenderArrayScript(const FarmJob& job) {
  std::ostringstream s;
  s << "#!/bin/sh\n"
    << "# Written by lathewind submit: frames " << job.firstFrame << "-" << job.lastFrame
    << " in chunks of " << job.chunk << ", one array task per chunk.\n"
    << "#SBATCH --job-name=" << job.name << "\n"
    << "#SBATCH --array=0-" << TaskCount(job) - 1 << "\n"
    << "#SBATCH --cpus-per-task=" << job.cpus << "\n"
    << "#SBATCH --requeue\n"
    << "#SBATCH --open-mode=append\n"
    << "set -eu\n"
    << "first=$((" << job.firstFrame << " + SLURM_ARRAY_TASK_ID * " << job.chunk << "))\n"
    << "last=$((first + " << job.chunk - 1 << "))\n"
    << "if [ \"$last\" -gt " << job.lastFrame << " ]; then last=" << job.lastFrame << "; fi\n"
    << "echo \"lathewind: task $SLURM_ARRAY_TASK_ID, run ${SLURM_RESTART_COUNT:-0}, frames "
       "$first-$last on $(hostname)\"\n"
    << "# Frames already on disk (an earlier run of a requeued task) are not rendered again.\n"
    << "exec " << ShellWord(job.command) << " render " << ShellWord(job.scene) << " -o "
    << ShellWord(job.output) << " --frames \"$first-$last\" --threads \"${SLURM_CPUS_PER_TASK:-"
    << job.cpus << "}\" --skip-existing --quiet\n";
  return s.str();
}

std::string MovieScript(const FarmJob& job) {
  std::ostringstream s;
  s << "#!/bin/sh\n"
    << "# Written by lathewind submit: runs once every task of the frames' array succeeded.\n"
    << "#SBATCH --job-name=" << job.name << "-movie\n"
    << "#SBATCH --cpus-per-task=" << job.cpus << "\n"
    << "#SBATCH --requeue\n"
    << "set -eu\n"
    << "exec " << ShellWord(job.command) << " encode " << ShellWord(job.output) << " --frames "
    << job.firstFrame << "-" << job.lastFrame << " --frame-rate " << FrameRateText(job.frameRate)
    << " -o " << ShellWord(job.movie) << "\n";
  return s.str();
}

}  // namespace lwcli
