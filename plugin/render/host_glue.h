// The renderer's host interface over PF_InData and the suites, and the mask checkout that goes
// with it: the only place where the walk's host calls are made.
#pragma once

#include <vector>

#include "ae_effect.h"
#include "ae_path_suites.h"
#include "path/path_walk.h"
#include "render/render_host.h"
#include "suites/suite_handler.h"

namespace lwd {

// A mask checked out at the command's time with its arc-length table. Release gives both back:
// the segment preparations, then the mask. The destructor runs it when a missing suite (a thrown
// PF_Err_BAD_CALLBACK_PARAM) unwinds the command; it never throws.
struct LWD_PathCheckout {
  PF_InData* inData;
  AEGP_SuiteHandler& suites;
  PF_PathID pathId = PF_PathID_NONE;
  PF_PathOutlinePtr outline = nullptr;  // null until a checkout gave one
  LWD_PathWalk walk;

  LWD_PathCheckout(PF_InData* in, AEGP_SuiteHandler& s) : inData(in), suites(s) {}
  LWD_PathCheckout(const LWD_PathCheckout&) = delete;
  LWD_PathCheckout& operator=(const LWD_PathCheckout&) = delete;
  ~LWD_PathCheckout() { Release(PF_Err_NONE); }

  // Checks mask `id` out and measures it. Without an error and without an outline (the host has
  // no such mask) the walk stays empty.
  PF_Err Checkout(PF_PathID id);
  // The first non-zero of `pending`, the segment clean-ups' and the check-in's.
  PF_Err Release(PF_Err pending) noexcept;
};

// The spine of a checked-out mask, smoothed over `smoothRadius` (exact when it is not above 0),
// with the command's abort, progress and iterate_generic.
class LWD_SuiteRenderHost final : public LWD_RenderHost {
 public:
  LWD_SuiteRenderHost(PF_InData* in_data, AEGP_SuiteHandler& suites, LWD_PathCheckout& path,
                      double smoothRadius)
      : inData_(in_data), suites_(suites), path_(path), smoothRadius_(smoothRadius) {}

  PF_Err EvalSpine(double arc, LWD_SpinePosition* out) override;
  PF_Err PathBreaks(const std::vector<double>** breaks) override;
  PF_Err Abort() override;
  PF_Err Progress(std::int64_t done, std::int64_t total) override;
  bool HasThreads() const override;
  PF_Err RunBands(A_long iterations, void* refcon, LWD_BandFunction band) override;

 private:
  PF_InData* inData_;
  AEGP_SuiteHandler& suites_;
  LWD_PathCheckout& path_;
  double smoothRadius_;
};

}  // namespace lwd
