#include "slurm_cluster.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "../cli/cli_harness.h"

namespace lwfarmtest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A port no one listens on now (the kernel's pick for port 0).
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) {
    ::close(fd);
  }
  return port;
}

std::string ShortHostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  std::string host(name);
  return host.substr(0, host.find('.'));
}

std::string Tail(const fs::path& log) {
  const std::string text = lwclitest::ReadBytes(log);
  return log.filename().string() + ": " + text.substr(text.size() > 1500 ? text.size() - 1500 : 0);
}

}  // namespace

fs::path FindProgram(const std::string& program) {
  std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/usr/bin:/sbin:/bin";
  std::istringstream folders(path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    const fs::path candidate = fs::path(folder) / program;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

SlurmCluster::SlurmCluster() {
  whyNot_ = Start();
  if (!whyNot_.empty()) {
    Stop();
  }
}

SlurmCluster::~SlurmCluster() {
  Stop();
}

std::string SlurmCluster::Start() {
  if (::geteuid() != 0) {
    return "the farm tests start their own Slurm daemons, which needs root";
  }
  for (const char* program : {"munged", "slurmctld", "slurmd", "sbatch", "squeue", "scontrol"}) {
    if (FindProgram(program).empty()) {
      return std::string(program) +
             " is not installed (scripts/install-deps --test: slurm-wlm, "
             "munge)";
    }
  }
  char pattern[] = "/tmp/lathewind-slurm-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    return "cannot make a temporary folder";
  }
  folder_ = pattern;
  fs::create_directories(folder_ / "state");
  fs::create_directories(folder_ / "spool");
  {
    // munged accepts only a key that its owner alone can read.
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string key(1024, '\0');
    random.read(key.data(), static_cast<std::streamsize>(key.size()));
    lwclitest::WriteText(folder_ / "munge.key", key);
    fs::permissions(folder_ / "munge.key", fs::perms::owner_read | fs::perms::owner_write);
  }
  const std::string host = ShortHostName();
  const fs::path socket = folder_ / "munge.socket";
  std::ostringstream conf;
  // One node that offers 4 CPUs whatever the machine has, so the tests' tasks run side by side.
  // cred_expire and sched_interval are cut from minutes to seconds: a requeued task waits for
  // its credential to expire, and pending work is looked at every sched_interval.
  conf << "ClusterName=lathewindtest\n"
       << "SlurmctldHost=" << host << "(127.0.0.1)\n"
       << "SlurmctldPort=" << FreePort() << "\nSlurmdPort=" << FreePort() << "\n"
       << "SlurmUser=root\nSlurmdUser=root\n"
       << "AuthType=auth/munge\nCredType=cred/munge\n"
       << "AuthInfo=socket=" << socket.string() << ",cred_expire=5\n"
       << "StateSaveLocation=" << (folder_ / "state").string() << "\n"
       << "SlurmdSpoolDir=" << (folder_ / "spool").string() << "\n"
       << "SlurmctldPidFile=" << (folder_ / "slurmctld.pid").string() << "\n"
       << "SlurmdPidFile=" << (folder_ / "slurmd.pid").string() << "\n"
       << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
       << "SchedulerType=sched/builtin\nSelectType=select/cons_tres\n"
       << "SelectTypeParameters=CR_CPU\nSchedulerParameters=batch_sched_delay=0,sched_interval=1\n"
       << "SlurmdParameters=config_overrides\nMpiDefault=none\nReturnToService=2\n"
       << "JobAcctGatherType=jobacct_gather/none\nAccountingStorageType=accounting_storage/none\n"
       << "MailProg=/bin/true\nMinJobAge=600\nKillWait=2\nInactiveLimit=0\n"
       << "NodeName=" << host << " NodeAddr=127.0.0.1 CPUs=4 State=UNKNOWN\n"
       << "PartitionName=farm Nodes=" << host << " Default=YES MaxTime=INFINITE State=UP\n";
  lwclitest::WriteText(folder_ / "slurm.conf", conf.str());
  ::setenv("SLURM_CONF", (folder_ / "slurm.conf").c_str(), 1);

  if (Spawn({FindProgram("munged").string(), "-F", "--force",
             "--key-file=" + (folder_ / "munge.key").string(), "--socket=" + socket.string(),
             "--pid-file=" + (folder_ / "munged.pid").string(),
             "--seed-file=" + (folder_ / "munge.seed").string(),
             "--log-file=" + (folder_ / "munged.log").string()},
            "munged.out") <= 0) {
    return "cannot start munged";
  }
  for (int i = 0; i < 100 && !fs::exists(socket); ++i) {
    std::this_thread::sleep_for(50ms);
  }
  if (!fs::exists(socket)) {
    return "munged did not come up: " + Tail(folder_ / "munged.log");
  }
  Spawn({FindProgram("slurmctld").string(), "-D", "-i"}, "slurmctld.log");
  Spawn({FindProgram("slurmd").string(), "-D", "-N", host}, "slurmd.log");
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Client("sinfo", {"-h", "-N", "-o", "%t"}).rfind("idle", 0) == 0) {
      return "";
    }
    std::this_thread::sleep_for(200ms);
  }
  return "the node did not become idle within 30 s: " + Tail(folder_ / "slurmctld.log") + "\n" +
         Tail(folder_ / "slurmd.log");
}

pid_t SlurmCluster::Spawn(const std::vector<std::string>& args, const std::string& logName) {
  const fs::path log = folder_ / logName;
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Dies with the test process, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(fd, STDOUT_FILENO);
    ::dup2(fd, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid > 0) {
    daemons_.push_back(pid);
  }
  return pid;
}

void SlurmCluster::Stop() {
  if (!daemons_.empty() && daemons_.size() == 3) {
    // Jobs still running would outlive slurmd (their slurmstepd is no child of it).
    const std::string jobs = Client("squeue", {"-h", "-o", "%A"});
    std::istringstream ids(jobs);
    std::vector<std::string> args;
    for (std::string id; ids >> id;) {
      args.push_back(id);
    }
    if (!args.empty()) {
      Client("scancel", args);
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (!Client("squeue", {"-h"}).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
      }
    }
  }
  // Last started, first stopped: slurmd, slurmctld, then munged.
  for (auto it = daemons_.rbegin(); it != daemons_.rend(); ++it) {
    ::kill(*it, SIGTERM);
    int status = 0;
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      gone = ::waitpid(*it, &status, WNOHANG) == *it;
      if (!gone) {
        std::this_thread::sleep_for(50ms);
      }
    }
    if (!gone) {
      ::kill(*it, SIGKILL);
      ::waitpid(*it, &status, 0);
    }
  }
  daemons_.clear();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
  }
}

std::string SlurmCluster::Client(const std::string& program,
                                 const std::vector<std::string>& args) const {
  const lwclitest::Outcome o = lwclitest::RunProgram(FindProgram(program), args);
  return o.exitCode == 0 ? o.out : "";
}

bool SlurmCluster::WaitUntilDone(const std::string& jobIds, std::chrono::seconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    // squeue lists pending, running and completing jobs only.
    const lwclitest::Outcome o =
        lwclitest::RunProgram(FindProgram("squeue"), {"-h", "-j", jobIds, "-o", "%i %T"});
    if (o.exitCode == 0 && o.out.empty()) {
      return true;
    }
    std::this_thread::sleep_for(200ms);
  }
  return false;
}

std::vector<std::string> SlurmCluster::States(const std::string& jobId) const {
  std::istringstream lines(Client("scontrol", {"-o", "show", "job", jobId}));
  std::vector<std::string> states;
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("JobState=");
    if (at != std::string::npos) {
      states.push_back(line.substr(at + 9, line.find(' ', at) - at - 9));
    }
  }
  return states;
}

}  // namespace lwfarmtest
