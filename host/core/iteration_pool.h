// The threads behind PF_UtilCallbacks::iterate_generic: a command granted N threads runs the
// effect's iterations on itself and N - 1 workers, started on the command's first call and
// joined when the command ends.
//
//   IterationPool pool(4);
//   PF_Err err = pool.Run(16, [&](A_long thread, A_long i) { return Work(i); });
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ae_effect.h"

namespace lwhost {

class IterationPool {
 public:
  explicit IterationPool(int32_t threads);
  ~IterationPool();
  IterationPool(const IterationPool&) = delete;
  IterationPool& operator=(const IterationPool&) = delete;

  int32_t Threads() const { return threads_; }

  // Calls work(thread index, i) for i = 0 .. iterations - 1 on the pool's threads (the caller's
  // is thread 0) and returns when all are done. After an iteration fails, no new one starts; the
  // result is the error of the failed iteration with the lowest index.
  PF_Err Run(A_long iterations, const std::function<PF_Err(A_long, A_long)>& work);

 private:
  void Worker(A_long threadIndex);
  void Drain(A_long threadIndex);

  const int32_t threads_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<PF_Err(A_long, A_long)>* work_ = nullptr;
  A_long iterations_ = 0;
  A_long next_ = 0;
  A_long finished_ = 0;
  A_long failedAt_ = -1;
  PF_Err failure_ = PF_Err_NONE;
  uint64_t generation_ = 0;
  bool stopping_ = false;
};

// The iterate_generic of the util callbacks: the current command's pool, or the caller alone
// outside a command.
PF_Err IterateGeneric(A_long iterations, void* refcon,
                      PF_Err (*fn)(void* refcon, A_long thread_index, A_long i, A_long iterations));

}  // namespace lwhost
