#include "peak_memory.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "layers/image.h"
#include "scene_rig.h"

namespace lwbench {

namespace {

// A "VmRSS:    1234 kB" line of /proc/self/status, in bytes; -1 when missing.
std::int64_t StatusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      std::istringstream values(line.substr(field.size() + 1));
      std::int64_t kb = -1;
      values >> kb;
      return kb * 1024;
    }
  }
  return -1;
}

bool ResetPeakMark() {
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
  refs.flush();
  return static_cast<bool>(refs);
}

}  // namespace

int RunMemoryProbe(const std::string& pluginPath, const std::string& sceneFile) {
  try {
    SceneRig rig(pluginPath, sceneFile);
    const PF_LayerDef source = rig.SourceWorld();
    const std::int64_t before = StatusBytes("VmRSS");
    const bool reset = ResetPeakMark();
    const lwhost::FrameOutput out = rig.Render();
    const std::int64_t peak = StatusBytes("VmHWM");
    nlohmann::json j;
    j["peakGrowth"] = peak - before;
    j["outputBytes"] = static_cast<std::int64_t>(out.image.bytes.size());
    j["sourceBytes"] = static_cast<std::int64_t>(source.rowbytes) * source.height;
    j["markReset"] = reset;
    std::cout << j.dump() << std::endl;
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "memory probe: " << sceneFile << ": " << e.what() << "\n";
    return 1;
  }
}

std::optional<RenderMemory> MeasureRenderMemory(const std::string& pluginPath,
                                                const std::string& sceneFile) {
  int fds[2];
  if (::pipe(fds) != 0) {
    return std::nullopt;
  }
  const std::string self = "/proc/self/exe";
  std::vector<std::string> args = {"lathewind_bench", "--memory-probe", sceneFile, "--plugin",
                                   pluginPath};
  std::vector<char*> argv;
  for (std::string& a : args) {
    argv.push_back(a.data());
  }
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execv(self.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string text;
  char chunk[256];
  ssize_t n = 0;
  while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0) {
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }
  try {
    const nlohmann::json j = nlohmann::json::parse(text);
    RenderMemory m;
    m.peakGrowth = j.at("peakGrowth").get<std::int64_t>();
    m.outputBytes = j.at("outputBytes").get<std::int64_t>();
    m.sourceBytes = j.at("sourceBytes").get<std::int64_t>();
    m.markReset = j.at("markReset").get<bool>();
    return m;
  } catch (const nlohmann::json::exception&) {
    std::cerr << "memory probe: unreadable answer: " << text << "\n";
    return std::nullopt;
  }
}

}  // namespace lwbench
