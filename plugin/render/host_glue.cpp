#include "render/host_glue.h"

#include "suites/host_errors.h"

namespace lwd {

PF_Err LWD_PathCheckout::Checkout(PF_PathID id) {
  PF_PathOutlinePtr checkedOut = nullptr;
  const PF_Err err =
      suites.PathQuerySuite1()->PF_CheckoutPath(inData->effect_ref, id, inData->current_time,
                                                inData->time_step, inData->time_scale, &checkedOut);
  if (err != PF_Err_NONE || checkedOut == nullptr) {
    return err;  // nothing checked out: nothing to give back
  }
  pathId = id;
  outline = checkedOut;
  return BuildPathWalk(inData, suites, outline, walk);
}

PF_Err LWD_PathCheckout::Release(PF_Err pending) noexcept {
  if (outline != nullptr) {
    // Both suites were obtained on the way in, so neither can be missing here; a throw is
    // still caught, as the destructor may run while one unwinds.
    try {
      pending = ReleasePathWalk(inData, suites, outline, walk, pending);
    } catch (PF_Err missing) {
      pending = MergeError(pending, missing);
    } catch (...) {
    }
    try {
      pending = MergeError(pending, suites.PathQuerySuite1()->PF_CheckinPath(
                                        inData->effect_ref, pathId, false, outline));
    } catch (PF_Err missing) {
      pending = MergeError(pending, missing);
    } catch (...) {
    }
    outline = nullptr;
  }
  walk = LWD_PathWalk{};
  return pending;
}

PF_Err LWD_SuiteRenderHost::EvalSpine(double arc, LWD_SpinePosition* out) {
  return smoothRadius_ > 0.0 ? EvalPathSmoothed(inData_, suites_, path_.outline, path_.walk, arc,
                                                smoothRadius_, &out->x, &out->y, &out->tx, &out->ty)
                             : EvalPathExact(inData_, suites_, path_.outline, path_.walk, arc,
                                             &out->x, &out->y, &out->tx, &out->ty);
}

PF_Err LWD_SuiteRenderHost::PathBreaks(const std::vector<double>** breaks) {
  const PF_Err err = FindPathBreaks(inData_, suites_, path_.outline, path_.walk);
  *breaks = &path_.walk.breaks;
  return err;
}

PF_Err LWD_SuiteRenderHost::Abort() {
  return inData_->inter.abort != nullptr ? inData_->inter.abort(inData_->effect_ref) : PF_Err_NONE;
}

PF_Err LWD_SuiteRenderHost::Progress(std::int64_t done, std::int64_t total) {
  return inData_->inter.progress != nullptr
             ? inData_->inter.progress(inData_->effect_ref, static_cast<A_long>(done),
                                       static_cast<A_long>(total))
             : PF_Err_NONE;
}

bool LWD_SuiteRenderHost::HasThreads() const {
  return inData_->utils != nullptr && inData_->utils->iterate_generic != nullptr;
}

PF_Err LWD_SuiteRenderHost::RunBands(A_long iterations, void* refcon, LWD_BandFunction band) {
  return inData_->utils->iterate_generic(iterations, refcon, band);
}

}  // namespace lwd
