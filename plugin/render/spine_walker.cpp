#include "render/spine_walker.h"

#include <algorithm>

#include "render/ribbon_raster.h"
#include "render/walk_skip.h"

namespace lwd {

LWD_SpineWalker::LWD_SpineWalker(LWD_RenderHost& host, const LWD_RenderSettings& s)
    : host_(host), s_(s) {}

double LWD_SpineWalker::ArcOf(std::int64_t index) const {
  return std::min(s_.visibleEnd, s_.visibleStart + index * s_.sampleStep);
}

bool LWD_SpineWalker::Evaluate(std::int64_t index, LWD_SpinePoint* p, PF_Err* err) {
  const double arc = ArcOf(index);
  if (!MapAlongPath(s_, arc, &p->alongCoord, &p->t)) {
    return false;
  }
  LWD_SpinePosition spine;
  *err = host_.EvalSpine(arc, &spine);
  p->x = spine.x + s_.outputOriginX;
  p->y = spine.y + s_.outputOriginY;
  p->tx = spine.tx;
  p->ty = spine.ty;
  return true;
}

PF_Err LWD_SpineWalker::Prepare(std::int64_t index, const LWD_SpinePoint& p, LWD_RibbonPoll& poll,
                                LWD_RibbonSample* out, LWD_SampleOutcome* outcome) {
  *outcome = PrepareRibbonSample(s_, p, state_, out);
  if (*outcome == LWD_SampleOutcome::kSkipped && jumpedFrom_ >= 0) {
    if (const PF_Err err = RecoverNormal(jumpedFrom_, index, poll); err != PF_Err_NONE) {
      return err;
    }
  }
  jumpedFrom_ = -1;
  state_.prevX = p.x;
  state_.prevY = p.y;
  state_.prevPositionValid = true;
  return PF_Err_NONE;
}

// After a jump the walk lands on a sample with no direction or width: the normal the next fan
// turns from is that of the last sample before it that had both, which may lie in the run jumped
// over (samples up to `from` are known). A long way back (a wide stretch without width) asks the
// host's abort as the walk would.
PF_Err LWD_SpineWalker::RecoverNormal(std::int64_t from, std::int64_t land, LWD_RibbonPoll& poll) {
  std::int64_t looked = 0;
  for (std::int64_t k = land - 1; k > from; --k) {
    LWD_SpinePoint q{};
    PF_Err err = PF_Err_NONE;
    if (!Evaluate(k, &q, &err)) {
      continue;
    }
    if (err == PF_Err_NONE) {
      err = poll.DuringLookBack(++looked);
    }
    if (err != PF_Err_NONE) {
      return err;
    }
    LWD_WalkState scratch = state_;
    LWD_RibbonSample unused;
    if (PrepareRibbonSample(s_, q, scratch, &unused) != LWD_SampleOutcome::kSkipped) {
      state_.prevNormalX = scratch.prevNormalX;
      state_.prevNormalY = scratch.prevNormalY;
      state_.prevNormalValid = true;
      return PF_Err_NONE;
    }
  }
  return PF_Err_NONE;
}

PF_Err LWD_SpineWalker::Jump(const LWD_SpinePoint& p, std::int64_t* index) {
  const std::int64_t i = *index;
  std::int64_t far = 0;
  if (const PF_Err err =
          PointsToSkip(host_, s_, SampleGapToBox(s_, p.x, p.y), ArcOf(i), s_.sampleStep, 2, &far);
      err != PF_Err_NONE || far <= 1) {
    return err;
  }
  // Being out of reach, the landing sample draws nothing whatever it makes of its stale
  // predecessor.
  const std::int64_t target = std::min(LastSample(), i + far);
  std::int64_t land = target;
  double unusedCoord = 0.0;
  double unusedT = 0.0;
  while (land > i && !MapAlongPath(s_, ArcOf(land), &unusedCoord, &unusedT)) {
    --land;
  }
  if (land == i) {
    *index = target;  // none of them is on the texture: the walk would evaluate none
    jumped_ = true;
  } else if (land > i + 1) {
    jumpedFrom_ = i;
    *index = land - 1;
    jumped_ = true;
  }
  return PF_Err_NONE;
}

}  // namespace lwd
