// The render progress bar on standard error: frames done, percent and elapsed time.
//
// Fed from several render threads at once: the effect's progress calls give the fraction of each
// frame in flight, finished frames count whole. When the bar is off (--quiet, or standard error
// is not a terminal) nothing at all is written, so logs get no control characters.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

namespace lwcli {

class ProgressBar {
 public:
  ProgressBar(std::ostream& out, int64_t totalFrames, bool enabled);
  ~ProgressBar();  // ends the bar's line if it drew one
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // The effect reports `current` of `total` steps of `frame` (any thread).
  void FrameProgress(int64_t frame, int32_t current, int32_t total);
  // `frame` is finished, successfully or not (any thread).
  void FrameDone(int64_t frame);
  // Draws the final state and ends the line; later calls draw nothing.
  void Finish();

 private:
  // The bar's text for `done` frames plus `partial` (the sum of in-flight fractions) after
  // `elapsed`: "[#####-----] 3/48 frames   7%  0:04".
  static std::string Line(int64_t done, double partial, int64_t total,
                          std::chrono::steady_clock::duration elapsed);
  void DrawLocked(bool force);

  std::ostream& out_;
  const int64_t total_;
  const bool enabled_;
  const std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::map<int64_t, double> inFlight_;  // frame -> fraction done
  int64_t done_ = 0;
  bool drawn_ = false;
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// True when standard error is a terminal.
bool StderrIsTerminal();

}  // namespace lwcli
