// A one-node Slurm cluster of its own for the farm tests: munged, slurmctld and slurmd started by
// the test process as root, with a generated configuration, keys and state in a temporary folder,
// on free ports. Every daemon runs as a child that dies with the test process, and is stopped by
// its process id when the cluster object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace lwfarmtest {

class SlurmCluster {
 public:
  // Starts the cluster and waits until its node is idle. On failure started() is false and
  // whyNot() says why (not root, a program missing, a daemon that did not come up).
  SlurmCluster();
  ~SlurmCluster();
  SlurmCluster(const SlurmCluster&) = delete;
  SlurmCluster& operator=(const SlurmCluster&) = delete;

  bool started() const { return whyNot_.empty(); }
  const std::string& whyNot() const { return whyNot_; }

  // A Slurm client (squeue, scontrol, ...) run against this cluster: its standard output, or ""
  // when it failed.
  std::string Client(const std::string& program, const std::vector<std::string>& args) const;

  // Waits until none of `jobIds` is pending or running any more; false on timeout.
  bool WaitUntilDone(const std::string& jobIds, std::chrono::seconds timeout) const;

  // The state of every task of a job ("COMPLETED", "FAILED", "CANCELLED", ...), one per task.
  std::vector<std::string> States(const std::string& jobId) const;

 private:
  std::string Start();
  pid_t Spawn(const std::vector<std::string>& args, const std::string& logName);
  void Stop();

  std::filesystem::path folder_;
  std::vector<pid_t> daemons_;  // in start order
  std::string whyNot_;
};

// The path of `program` on the PATH or in the system folders; empty when it is nowhere.
std::filesystem::path FindProgram(const std::string& program);

}  // namespace lwfarmtest
