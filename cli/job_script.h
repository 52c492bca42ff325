// The Slurm job scripts `lathewind submit` writes: pure text from plain data, so what a cluster
// runs can be read (and tested) without one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lwcli {

// One farm submission, every path absolute so the job runs the same from any node.
struct FarmJob {
  std::string command;    // the lathewind command the tasks run
  std::string scene;      // the scene file
  std::string output;     // the output pattern, with its frame field
  std::string jobFolder;  // the job's scripts and logs
  std::string name;       // the job's name in the queue (letters, digits, ".", "_", "-")
  int64_t firstFrame = 0;
  int64_t lastFrame = 0;
  int64_t chunk = 1;      // frames per task
  int cpus = 1;           // CPUs per task; the render's threads
  std::string movie;      // the movie assembled after the frames; empty for none
  double frameRate = 24;  // the movie's
};

// Tasks in the array: one per chunk of `chunk` frames, the last one possibly shorter.
int64_t TaskCount(const FarmJob& job);

// The frames task `task` renders, as "A-B".
std::string TaskFrames(const FarmJob& job, int64_t task);

// `text` as one word for a POSIX shell: in single quotes, each ' written as '\''.
std::string ShellWord(std::string_view text);

// The array job: task i renders its chunk with --skip-existing, so a requeued task renders only
// what is missing.
std::string RenderArrayScript(const FarmJob& job);

// The job that assembles the frames into job.movie with `lathewind encode`.
std::string MovieScript(const FarmJob& job);

}  // namespace lwcli
