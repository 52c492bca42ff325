#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace lwcli {

namespace {

constexpr int kBarCells = 30;  // fits an 80-column terminal with the counts beside it
// Redraws are spaced at least this far apart: the effect reports every 64 path steps, far more
// often than a person can read.
constexpr std::chrono::milliseconds kRedrawInterval{100};

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, int64_t totalFrames, bool enabled)
    : out_(out),
      total_(std::max<int64_t>(1, totalFrames)),
      enabled_(enabled),
      start_(std::chrono::steady_clock::now()) {
  if (enabled_) {
    std::lock_guard lock(mutex_);
    DrawLocked(true);
  }
}

ProgressBar::~ProgressBar() {
  Finish();
}

void ProgressBar::FrameProgress(int64_t frame, int32_t current, int32_t total) {
  if (!enabled_ || total <= 0) {
    return;
  }
  std::lock_guard lock(mutex_);
  inFlight_[frame] = std::clamp(static_cast<double>(current) / total, 0.0, 1.0);
  DrawLocked(false);
}

void ProgressBar::FrameDone(int64_t frame) {
  if (!enabled_) {
    return;
  }
  std::lock_guard lock(mutex_);
  inFlight_.erase(frame);
  ++done_;
  DrawLocked(done_ == total_);
}

void ProgressBar::Finish() {
  if (!enabled_) {
    return;
  }
  std::lock_guard lock(mutex_);
  if (finished_) {
    return;
  }
  DrawLocked(true);
  out_ << "\n" << std::flush;
  finished_ = true;
}

std::string ProgressBar::Line(int64_t done, double partial, int64_t total,
                              std::chrono::steady_clock::duration elapsed) {
  const double fraction = std::clamp((static_cast<double>(done) + partial) / total, 0.0, 1.0);
  const int filled = static_cast<int>(std::floor(fraction * kBarCells));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  char counts[96];
  std::snprintf(counts, sizeof counts, " %lld/%lld frames %3d%%  %lld:%02lld",
                static_cast<long long>(done), static_cast<long long>(total),
                static_cast<int>(std::floor(fraction * 100.0)),
                static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
  // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on a chain of `+` that
  // starts with a literal.
  std::string line = "[";
  line.append(filled, '#');
  line.append(kBarCells - filled, '-');
  line += ']';
  line += counts;
  return line;
}

void ProgressBar::DrawLocked(bool force) {
  if (finished_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) {
    return;
  }
  double partial = 0.0;
  for (const auto& [frame, fraction] : inFlight_) {
    partial += fraction;
  }
  // "\r" returns to the start of the line; "\x1b[K" clears what a longer earlier line left.
  out_ << "\r" << Line(done_, partial, total_, now - start_) << "\x1b[K" << std::flush;
  drawn_ = true;
  lastDraw_ = now;
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace lwcli
