#include "render/ribbon.h"

#include <cstdint>

#include "render/ribbon_blocks.h"
#include "render/ribbon_poll.h"
#include "render/ribbon_raster.h"
#include "render/ribbon_sample.h"
#include "render/source_fetch.h"
#include "render/spine_walker.h"

namespace lwd {

LWD_Color SampleSource(const PF_LayerDef& source, double sx, double sy) {
  if (source.data == nullptr || source.width <= 0 || source.height <= 0) {
    return {0.0f, 0.0f, 0.0f, 0.0f};
  }
  if ((source.world_flags & PF_WorldFlag_DEEP) != 0) {
    return fetch::Fetch<PF_Pixel16>(source, sx, sy);
  }
  return fetch::Fetch<PF_Pixel>(source, sx, sy);
}

// One exit rule: any error ends the walk, the samples gathered before it are drawn as they would
// have been one by one, and the first error is the result.
PF_Err RasterizeRibbon(LWD_RenderHost& host, const LWD_RenderSettings& settings,
                       const PF_LayerDef& source, LWD_Accum* accum, LWD_Accum* depthAccum,
                       LWD_RowSpan* spans) {
  const LWD_RenderSettings& s = settings;
  LWD_SpineWalker walker(host, s);
  LWD_RibbonPoll poll(host, walker.LastSample());
  LWD_BlockBatcher blocks(s, source, accum, depthAccum, spans);
  PF_Err err = PF_Err_NONE;
  for (std::int64_t i = 0; i <= walker.LastSample() && err == PF_Err_NONE; ++i) {
    LWD_SpinePoint p{};
    if (!walker.Evaluate(i, &p, &err) || err != PF_Err_NONE) {
      continue;
    }
    LWD_RibbonSample sample;
    LWD_SampleOutcome outcome = LWD_SampleOutcome::kSkipped;
    err = walker.Prepare(i, p, poll, &sample, &outcome);
    // A sample that cannot reach the box is not kept: nothing of it would land.
    if (err == PF_Err_NONE && outcome == LWD_SampleOutcome::kDrawn &&
        RibbonSampleReachesBox(s, sample)) {
      err = blocks.Add(host, sample, poll);
    }
    if (err == PF_Err_NONE) {
      err = poll.AfterSample(i, outcome != LWD_SampleOutcome::kSkipped);
    }
    if (err == PF_Err_NONE) {
      err = blocks.DrawIfFull(host, poll);
    }
    if (err == PF_Err_NONE) {
      err = walker.Jump(p, &i);
    }
  }
  if (err == PF_Err_NONE) {
    err = poll.Finish(walker.Jumped());
  }
  const PF_Err drawErr = blocks.Flush(host);
  return err != PF_Err_NONE ? err : drawErr;
}

}  // namespace lwd
