// The ribbon's walk along the spine, sample by sample in equal arc-length steps: where each
// sample lies, what it turns from, and where the walk may jump. Far from the box the samples
// that surely reach nothing of it are not evaluated; the walk lands on the last of them the path
// would evaluate, which leaves the state the next sample needs exactly as a sample-by-sample walk
// leaves it.
#pragma once

#include <cstdint>

#include "ae_basic_types.h"
#include "render/render_host.h"
#include "render/render_settings.h"
#include "render/ribbon_poll.h"
#include "render/ribbon_sample.h"

namespace lwd {

class LWD_SpineWalker {
 public:
  LWD_SpineWalker(LWD_RenderHost& host, const LWD_RenderSettings& s);

  // alongSteps + 2 samples; the last (and with an exact multiple also the one before) lies on
  // visibleEnd.
  std::int64_t LastSample() const { return static_cast<std::int64_t>(s_.alongSteps) + 1; }

  // The spine at sample `index`, through the host; false when the sample lies outside the
  // texture and is not evaluated.
  bool Evaluate(std::int64_t index, LWD_SpinePoint* p, PF_Err* err);

  // Prepares evaluated sample `index` and moves the walk's state on to it. A sample without
  // direction or width right after a landing first finds the normal the next fan turns from.
  PF_Err Prepare(std::int64_t index, const LWD_SpinePoint& p, LWD_RibbonPoll& poll,
                 LWD_RibbonSample* out, LWD_SampleOutcome* outcome);

  // After sample `*index` at `p`: jumps over the samples that surely reach nothing of the box, up
  // to a break in the path. `*index` becomes the sample before the next one to evaluate.
  PF_Err Jump(const LWD_SpinePoint& p, std::int64_t* index);

  bool Jumped() const { return jumped_; }

 private:
  double ArcOf(std::int64_t index) const;
  PF_Err RecoverNormal(std::int64_t from, std::int64_t land, LWD_RibbonPoll& poll);

  LWD_RenderHost& host_;
  const LWD_RenderSettings& s_;
  LWD_WalkState state_;
  std::int64_t jumpedFrom_ = -1;  // the sample before the run the walk last jumped over
  bool jumped_ = false;
};

}  // namespace lwd
