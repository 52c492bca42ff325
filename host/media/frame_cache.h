// A moving source as a render sees it: the frame at a scene time, at a downsampling, from a bounded
// cache filled ahead of the render by one decoding thread.
//
// Frames of one render may ask at once from several threads. One thread owns the Footage (so a
// source has one decoder); it decodes what is asked for and, after each request, the frames the
// next scene frames will show, in ascending order, so a forward render decodes every frame once
// and never seeks. The cache holds at most Capacity() frames (each with its downsampled copies),
// dropping the least recently used; a frame handed out stays alive while its holder keeps it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "media/footage.h"

namespace lwhost {

// Memory the cache of one source may use for full-resolution frames.
inline constexpr int64_t kFrameCacheBytes = int64_t{512} << 20;

class MovingSource {
 public:
  // Decodes the first frame at once (a source that cannot give one is refused here, as a
  // FootageError, before any render) and starts the decoding thread.
  explicit MovingSource(std::unique_ptr<Footage> footage);
  ~MovingSource();
  MovingSource(const MovingSource&) = delete;
  MovingSource& operator=(const MovingSource&) = delete;

  // The frame shown at `time`, averaged down per dx x dy block. Blocks until it is decoded,
  // asking `cancelled` (when given) every kCancelPoll while it waits. Throws FootageError when
  // the frame cannot be decoded, FootageWaitCancelled when `cancelled` answers true.
  std::shared_ptr<Image> FrameAt(const SceneTime& time, int32_t dx, int32_t dy,
                                 const std::function<bool()>& cancelled = {});

  static constexpr std::chrono::milliseconds kCancelPoll{50};

  int64_t FrameCount() const { return frameCount_; }
  int64_t Capacity() const { return capacity_; }

  // For the tests of decode-ahead: how often each frame index was decoded, and seeks.
  std::map<int64_t, int64_t> DecodeCounts() const;
  int64_t Seeks() const;

 private:
  struct Entry {
    std::shared_ptr<Image> full;
    std::map<std::pair<int32_t, int32_t>, std::shared_ptr<Image>> reduced;
    uint64_t lastUse = 0;
  };

  void Run();
  void PlanAhead(const SceneTime& time);  // under mutex_
  bool NextToDecode(int64_t* index);      // under mutex_
  void Evict();                           // under mutex_

  std::unique_ptr<Footage> footage_;  // used by the decoding thread only, after construction
  int64_t frameCount_ = 0;
  int64_t capacity_ = 2;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int64_t, Entry> cache_;
  std::set<int64_t> demanded_;               // waited for by a render
  std::set<int64_t> ahead_;                  // what the next scene frames will show
  std::map<int64_t, std::string> failures_;  // indices that could not be decoded
  std::map<int64_t, int64_t> decodeCounts_;
  int64_t position_ = 1;  // the index the footage decodes next without seeking
  int64_t seeks_ = 0;
  int64_t decoding_ = -1;  // the index being decoded, -1 for none
  uint64_t clock_ = 0;
  bool stop_ = false;
  std::thread decoder_;
};

}  // namespace lwhost
