#include "media/output_queue.h"

#include <utility>

#include "media/output_file.h"

namespace lwhost {

OrderedOutput::OrderedOutput(OutputWriter& writer, int64_t firstFrame, int64_t window)
    : writer_(writer), window_(window < 1 ? 1 : window), next_(firstFrame) {
  if (writer_.Sequential()) {
    thread_ = std::thread(&OrderedOutput::WriteInOrder, this);
  }
}

OrderedOutput::~OrderedOutput() {
  Stop();
}

void OrderedOutput::WriteNow(int64_t frame, const RenderedFrame& rendered) {
  const OutputFrame output{&rendered.image, rendered.originX, rendered.originY, rendered.layerWidth,
                           rendered.layerHeight};
  writer_.Write(frame, output);
}

bool OrderedOutput::Submit(int64_t frame, RenderedFrame rendered) {
  if (!writer_.Sequential()) {
    try {
      WriteNow(frame, rendered);
      return true;
    } catch (const std::exception& e) {
      std::lock_guard lock(mutex_);
      if (!error_) {
        error_ = e.what();
      }
      return false;
    }
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || error_ || frame - next_ < window_; });
  if (stopped_ || error_) {
    return !error_;
  }
  waiting_.emplace(frame, std::move(rendered));
  changed_.notify_all();
  return true;
}

void OrderedOutput::WriteInOrder() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      return stopped_ || waiting_.count(next_) != 0 || (end_ >= 0 && next_ >= end_);
    });
    if (stopped_ || (end_ >= 0 && next_ >= end_)) {
      return;
    }
    RenderedFrame rendered = std::move(waiting_.at(next_));
    waiting_.erase(next_);
    const int64_t frame = next_;
    lock.unlock();
    std::optional<std::string> failure;
    try {
      WriteNow(frame, rendered);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    rendered = {};  // the frame's memory goes before the next frame is let in
    lock.lock();
    if (failure) {
      error_ = failure;
      waiting_.clear();
      changed_.notify_all();
      return;
    }
    ++next_;
    changed_.notify_all();
  }
}

std::optional<std::string> OrderedOutput::Drain(int64_t end) {
  {
    std::lock_guard lock(mutex_);
    end_ = end;
    changed_.notify_all();
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  return Error();
}

void OrderedOutput::Cancel() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  waiting_.clear();
  changed_.notify_all();
}

void OrderedOutput::Stop() {
  Cancel();
  if (thread_.joinable()) {
    thread_.join();
  }
}

std::optional<std::string> OrderedOutput::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace lwhost
