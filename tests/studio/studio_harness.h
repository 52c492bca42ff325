// A studio served in-process on a free port of 127.0.0.1, for the API and browser tests.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "studio.h"
#include "studio_server.h"

namespace lwstudiotest {

class RunningStudio {
 public:
  // Serves the scene file `file` (its text read from disk), rendering through `render` when given.
  explicit RunningStudio(const std::filesystem::path& file, lwstudio::RenderCall render = {});
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

// A socket connected to 127.0.0.1:`port`, or -1.
int ConnectLoopback(int port);

// A client that sends a request's headers a byte every half second for up to `seconds`, as a
// slow or hostile client does; it stops at once when destroyed.
class Trickler {
 public:
  Trickler(int port, int seconds);
  ~Trickler();
  Trickler(const Trickler&) = delete;
  Trickler& operator=(const Trickler&) = delete;
  int bytesSent() const { return sent_.load(); }

 private:
  int socket_ = -1;
  std::atomic<bool> done_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

// A small scene: a checker source along an S-shaped mask on a 320 x 180 layer, frames 0 to 9
// with a keyframed Offset; the checker keeps it free of files.
std::string SmallSceneText();

}  // namespace lwstudiotest
