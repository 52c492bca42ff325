#include "media/frame_cache.h"

#include <algorithm>
#include <optional>

namespace lwhost {
namespace {

constexpr int64_t kMinCapacity = 4;
constexpr int64_t kMaxCapacity = 32;

int64_t ImageBytes(const Image& image) {
  return std::max<int64_t>(1, static_cast<int64_t>(image.bytes.size()));
}

}  // namespace

MovingSource::MovingSource(std::unique_ptr<Footage> footage) : footage_(std::move(footage)) {
  frameCount_ = footage_->FrameCount();
  Image first = footage_->Decode(0);
  capacity_ = std::clamp(kFrameCacheBytes / ImageBytes(first), kMinCapacity, kMaxCapacity);
  decodeCounts_[0] = 1;
  cache_[0].full = std::make_shared<Image>(std::move(first));
  decoder_ = std::thread(&MovingSource::Run, this);
}

MovingSource::~MovingSource() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  decoder_.join();
}

void MovingSource::PlanAhead(const SceneTime& time) {
  // The frames the next scene frames show, up to half the cache: room for them and for the
  // frames still in use behind. A new request replaces the plan (a scrub goes elsewhere).
  ahead_.clear();
  // Frames between the decoder and this request: a render on another thread, a frame behind,
  // will ask for them next. Decoded through and dropped, each would cost a seek back.
  const int64_t requested = footage_->IndexAt(time);
  if (requested > position_ && requested - position_ <= capacity_ / 2) {
    for (int64_t index = position_; index < requested; ++index) {
      if (cache_.count(index) == 0 && failures_.count(index) == 0 && index != decoding_) {
        ahead_.insert(index);
      }
    }
  }
  int64_t planned = 0;
  for (int64_t step = 1; step <= 4 * capacity_ && planned < capacity_ / 2; ++step) {
    const SceneTime next{time.value + step * time.step, time.step, time.scale};
    const int64_t index = footage_->IndexAt(next);
    if (ahead_.count(index) != 0) {
      continue;  // a slower clip shows one frame for several scene frames
    }
    ++planned;
    if (cache_.count(index) == 0 && failures_.count(index) == 0) {
      ahead_.insert(index);
    }
  }
}

std::shared_ptr<Image> MovingSource::FrameAt(const SceneTime& time, int32_t dx, int32_t dy,
                                             const std::function<bool()>& cancelled) {
  // IndexAt reads only the footage's timeline, which never changes after construction.
  const int64_t index = footage_->IndexAt(time);
  std::shared_ptr<Image> full;
  {
    std::unique_lock lock(mutex_);
    PlanAhead(time);
    while (!stop_ && cache_.count(index) == 0 && failures_.count(index) == 0) {
      // Asked again on every wake: a frame decoded and then pushed out before this thread ran
      // is decoded once more rather than waited for forever.
      if (index != decoding_) {
        demanded_.insert(index);
        changed_.notify_all();
      }
      if (!cancelled) {
        changed_.wait(lock);
        continue;
      }
      changed_.wait_for(lock, kCancelPoll);
      // Asked without the lock: the listener may make a system call (the studio's does).
      lock.unlock();
      const bool stop = cancelled();
      lock.lock();
      if (stop) {
        throw FootageWaitCancelled();
      }
    }
    if (const auto failed = failures_.find(index); failed != failures_.end()) {
      throw FootageError(failed->second);
    }
    auto found = cache_.find(index);
    if (found == cache_.end()) {
      throw FootageError("the source was closed during a render");
    }
    Entry& entry = found->second;
    entry.lastUse = ++clock_;
    if (dx == 1 && dy == 1) {
      return entry.full;
    }
    if (const auto reduced = entry.reduced.find({dx, dy}); reduced != entry.reduced.end()) {
      return reduced->second;
    }
    full = entry.full;
  }
  // Averaged outside the lock; two frames asking at once may both make it, and one is kept.
  auto reduced = std::make_shared<Image>(Downsample(*full, dx, dy));
  std::lock_guard lock(mutex_);
  if (auto found = cache_.find(index); found != cache_.end()) {
    return found->second.reduced.try_emplace({dx, dy}, reduced).first->second;
  }
  return reduced;
}

bool MovingSource::NextToDecode(int64_t* index) {
  // Forward from where the decoder stands, the nearest frame a render waits for or the plan
  // holds: on the way to a frame one render waits for, the frames another will want next are
  // kept. Back (a seek) first for a frame a render waits for, then for the plan.
  const auto forward = [this](const std::set<int64_t>& wanted) -> std::optional<int64_t> {
    const auto next = wanted.lower_bound(position_);
    return next == wanted.end() ? std::nullopt : std::optional<int64_t>(*next);
  };
  const std::optional<int64_t> demanded = forward(demanded_);
  const std::optional<int64_t> planned = forward(ahead_);
  if (demanded) {
    *index = planned ? std::min(*demanded, *planned) : *demanded;
    return true;
  }
  if (!demanded_.empty()) {
    *index = *demanded_.begin();
    return true;
  }
  if (planned || !ahead_.empty()) {
    *index = planned ? *planned : *ahead_.begin();
    return true;
  }
  return false;
}

void MovingSource::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    int64_t index = 0;
    changed_.wait(lock, [&] { return stop_ || NextToDecode(&index); });
    if (stop_) {
      return;
    }
    demanded_.erase(index);
    ahead_.erase(index);
    decoding_ = index;
    lock.unlock();
    Image image;
    std::string failure;
    try {
      image = footage_->Decode(index);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    lock.lock();
    decoding_ = -1;
    demanded_.erase(index);  // asked for again while it was decoding
    ahead_.erase(index);
    ++decodeCounts_[index];
    position_ = index + 1;
    seeks_ = footage_->Seeks();
    if (!failure.empty()) {
      failures_[index] = failure;
    } else {
      Entry& entry = cache_[index];
      entry.full = std::make_shared<Image>(std::move(image));
      entry.reduced.clear();
      entry.lastUse = ++clock_;
      Evict();
    }
    changed_.notify_all();
  }
}

void MovingSource::Evict() {
  while (static_cast<int64_t>(cache_.size()) > capacity_) {
    auto oldest = std::min_element(cache_.begin(), cache_.end(), [](const auto& a, const auto& b) {
      return a.second.lastUse < b.second.lastUse;
    });
    cache_.erase(oldest);
  }
}

std::map<int64_t, int64_t> MovingSource::DecodeCounts() const {
  std::lock_guard lock(mutex_);
  return decodeCounts_;
}

int64_t MovingSource::Seeks() const {
  std::lock_guard lock(mutex_);
  return seeks_;
}

}  // namespace lwhost
