#include "core/iteration_pool.h"

#include <algorithm>

#include "core/command_context.h"
#include "core/session.h"

namespace lwhost {

IterationPool::IterationPool(int32_t threads) : threads_(std::max<int32_t>(1, threads)) {
  for (A_long t = 1; t < threads_; ++t) {
    workers_.emplace_back([this, t] { Worker(t); });
  }
}

IterationPool::~IterationPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) {
    worker.join();
  }
}

// Takes iterations until none are left; the lock is dropped while one runs.
void IterationPool::Drain(A_long threadIndex) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ < iterations_ && failedAt_ < 0) {
    const A_long i = next_++;
    lock.unlock();
    const PF_Err err = (*work_)(threadIndex, i);
    lock.lock();
    if (err != PF_Err_NONE && (failedAt_ < 0 || i < failedAt_)) {
      failedAt_ = i;
      failure_ = err;
    }
    ++finished_;
  }
  if (finished_ == next_) {
    done_.notify_all();
  }
}

void IterationPool::Worker(A_long threadIndex) {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) {
      return;
    }
    seen = generation_;
    lock.unlock();
    Drain(threadIndex);
    lock.lock();
  }
}

PF_Err IterationPool::Run(A_long iterations, const std::function<PF_Err(A_long, A_long)>& work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = &work;
    iterations_ = iterations;
    next_ = 0;
    finished_ = 0;
    failedAt_ = -1;
    failure_ = PF_Err_NONE;
    ++generation_;
  }
  wake_.notify_all();
  Drain(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_ == next_; });
  // No worker may start an iteration of this run once it has returned.
  iterations_ = 0;
  work_ = nullptr;
  return failure_;
}

PF_Err IterateGeneric(A_long iterations, void* refcon,
                      PF_Err (*fn)(void* refcon, A_long thread_index, A_long i,
                                   A_long iterations)) {
  if (fn == nullptr || iterations < PF_Iterations_ONCE_PER_PROCESSOR) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  CommandContext* context = CurrentContext();
  if (context != nullptr) {
    if (PF_Err err = context->GetSession().faults.Check("iterate_generic"); err != PF_Err_NONE) {
      return err;
    }
  }
  IterationPool* pool = context != nullptr ? context->Pool() : nullptr;
  if (iterations == PF_Iterations_ONCE_PER_PROCESSOR) {
    iterations = pool != nullptr ? pool->Threads() : 1;
  }
  if (pool == nullptr || pool->Threads() == 1 || iterations <= 1) {
    for (A_long i = 0; i < iterations; ++i) {
      if (PF_Err err = fn(refcon, 0, i, iterations); err != PF_Err_NONE) {
        return err;
      }
    }
    return PF_Err_NONE;
  }
  const std::function<PF_Err(A_long, A_long)> work = [&](A_long thread, A_long i) {
    return fn(refcon, thread, i, iterations);
  };
  return pool->Run(iterations, work);
}

}  // namespace lwhost
