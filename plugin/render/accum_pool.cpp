// Accumulation buffers, and the few kept between renders. A fresh box-sized buffer costs a page
// fault per 4 KB on first touch, which on an HD frame is as much as the ribbon's own work; a
// buffer the resolve has zeroed again can serve the next frame as it is.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "render/accum.h"

namespace lwd {

namespace {

// Two buffers per render (front and extrusion) for two renders at once.
constexpr std::size_t kMaxKept = 4;
// Never hold more than this between renders.
constexpr std::size_t kMaxKeptBytes = std::size_t{512} << 20;

struct KeptBuffer {
  LWD_Accum* cells;
  std::size_t capacity;
};

// A fixed array under a mutex: keeping and taking never allocate, so they cannot fail.
class AccumPool {
 public:
  ~AccumPool() { Drain(); }

  // The smallest kept buffer of at least `count` cells, or none.
  KeptBuffer Take(std::size_t count) {
    std::lock_guard lock(mutex_);
    std::size_t best = count_;
    for (std::size_t i = 0; i < count_; ++i) {
      if (kept_[i].capacity >= count &&
          (best == count_ || kept_[i].capacity < kept_[best].capacity)) {
        best = i;
      }
    }
    if (best == count_) {
      return {nullptr, 0};
    }
    const KeptBuffer taken = kept_[best];
    RemoveAt(best);
    return taken;
  }

  // Keeps `b`, freeing the oldest kept buffers to stay within the limits; false when `b` alone
  // is over them.
  bool Keep(KeptBuffer b) {
    if (b.capacity > kMaxKeptBytes / sizeof(LWD_Accum)) {
      return false;
    }
    std::array<LWD_Accum*, kMaxKept> dropped{};
    std::size_t droppedCount = 0;
    {
      std::lock_guard lock(mutex_);
      while (count_ > 0 && (count_ == kMaxKept || Bytes() + Bytes(b) > kMaxKeptBytes)) {
        dropped[droppedCount++] = kept_[0].cells;
        RemoveAt(0);
      }
      kept_[count_++] = b;
    }
    for (std::size_t i = 0; i < droppedCount; ++i) {
      std::free(dropped[i]);
    }
    return true;
  }

  void Drain() {
    std::array<KeptBuffer, kMaxKept> all{};
    std::size_t n = 0;
    {
      std::lock_guard lock(mutex_);
      all = kept_;
      n = count_;
      count_ = 0;
    }
    for (std::size_t i = 0; i < n; ++i) {
      std::free(all[i].cells);
    }
  }

 private:
  static std::size_t Bytes(const KeptBuffer& b) { return b.capacity * sizeof(LWD_Accum); }
  std::size_t Bytes() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      total += Bytes(kept_[i]);
    }
    return total;
  }
  void RemoveAt(std::size_t i) {
    for (; i + 1 < count_; ++i) {
      kept_[i] = kept_[i + 1];
    }
    --count_;
  }

  std::mutex mutex_;
  std::array<KeptBuffer, kMaxKept> kept_{};
  std::size_t count_ = 0;
};

AccumPool& Pool() {
  static AccumPool pool;
  return pool;
}

}  // namespace

PF_Err AllocateAccum(std::int64_t width, std::int64_t height, LWD_AccumBuffer& cells) {
  cells.reset();
  if (width <= 0 || height <= 0) {
    return PF_Err_NONE;
  }
  // Checked before multiplying, so an overflowing count never reaches the allocator.
  const std::int64_t limit = static_cast<std::int64_t>(PTRDIFF_MAX / sizeof(LWD_Accum));
  if (width > limit / height) {
    return PF_Err_OUT_OF_MEMORY;
  }
  const auto count = static_cast<std::size_t>(width * height);
  KeptBuffer b = Pool().Take(count);
  if (b.cells == nullptr) {
    // All-zero bytes are cells of zero floats.
    b.cells = static_cast<LWD_Accum*>(std::calloc(count, sizeof(LWD_Accum)));
    b.capacity = count;
    if (b.cells == nullptr) {
      return PF_Err_OUT_OF_MEMORY;
    }
  }
  cells.cells_.reset(b.cells);
  cells.size_ = count;
  cells.capacity_ = b.capacity;
  return PF_Err_NONE;
}

void ReleaseAccum(LWD_AccumBuffer& cells, bool zeroed) {
  if (zeroed && cells.cells_ != nullptr && Pool().Keep({cells.cells_.get(), cells.capacity_})) {
    static_cast<void>(cells.cells_.release());
    cells.size_ = 0;
    cells.capacity_ = 0;
    return;
  }
  cells.reset();
}

void DrainAccumPool() {
  Pool().Drain();
}

}  // namespace lwd
