// A studio served in-process on a free port of 127.0.0.1, for the API and browser tests.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "studio.h"
#include "studio_server.h"

namespace lwstudiotest {

class RunningStudio {
 public:
  // Serves the scene file `file` (its text read from disk).
  explicit RunningStudio(const std::filesystem::path& file);
  ~RunningStudio();
  RunningStudio(const RunningStudio&) = delete;
  RunningStudio& operator=(const RunningStudio&) = delete;

  int port() const { return port_; }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  lwstudio::Studio& studio() { return *studio_; }

 private:
  std::unique_ptr<lwstudio::Studio> studio_;
  std::unique_ptr<lwstudio::StudioServer> server_;
  std::thread thread_;
  int port_ = 0;
};

// A small scene: a checker source along an S-shaped mask on a 320 x 180 layer, frames 0 to 9
// with a keyframed Offset; the checker keeps it free of files.
std::string SmallSceneText();

}  // namespace lwstudiotest
