// When the ribbon's walk asks the host for a cancel and reports its progress. Three cadences:
// progress every 64 samples that reach the fan stage, an abort after 4096 evaluated samples in a
// row that do not (a walk that draws nothing still ends promptly), and an abort after every long
// stretch of work (a full block of deposits, a piece of a huge sample, a long look back).
#pragma once

#include <cstdint>

#include "ae_basic_types.h"
#include "render/render_host.h"

namespace lwd {

class LWD_RibbonPoll {
 public:
  LWD_RibbonPoll(LWD_RenderHost& host, std::int64_t lastSample)
      : host_(host), lastSample_(lastSample) {}

  // After evaluated sample `index`; `reachedFan` unless it was skipped for want of direction or
  // width.
  PF_Err AfterSample(std::int64_t index, bool reachedFan) {
    if (reachedFan) {
      silent_ = 0;
      return (index & kProgressMask) == 0 ? Poll(index, true) : PF_Err_NONE;
    }
    if (++silent_ == kSilentSamplesPerAbort) {
      silent_ = 0;
      return Poll(index, false);
    }
    return PF_Err_NONE;
  }

  // After a stretch of work long enough that a cancel must not wait for the next sample.
  PF_Err AfterHeavyWork() { return Poll(0, false); }

  // While looking back over jumped samples, after the `looked`-th one evaluated.
  PF_Err DuringLookBack(std::int64_t looked) {
    return looked % kSilentSamplesPerAbort == 0 ? Poll(0, false) : PF_Err_NONE;
  }

  // At the end of a walk: one that jumped may have left its last report far behind, and ends at
  // 100%.
  PF_Err Finish(bool jumped) { return jumped ? Poll(lastSample_, true) : PF_Err_NONE; }

  static constexpr std::int64_t kSilentSamplesPerAbort = 4096;

 private:
  static constexpr std::int64_t kProgressMask = 63;  // progress every 64 samples

  PF_Err Poll(std::int64_t index, bool progress) {
    PF_Err err = host_.Abort();
    if (progress && err == PF_Err_NONE) {
      err = host_.Progress(index, lastSample_);
    }
    return err;
  }

  LWD_RenderHost& host_;
  std::int64_t lastSample_;
  std::int64_t silent_ = 0;  // evaluated samples in a row that did not reach the fan stage
};

}  // namespace lwd
