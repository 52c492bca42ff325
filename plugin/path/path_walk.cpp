#include "path/path_walk.h"

// Placeholder until the path walk lands: reports an empty mask.
PF_Err BuildPathWalk(PF_InData*, AEGP_SuiteHandler&, PF_PathOutlinePtr, LWD_PathWalk& walk) {
  walk = LWD_PathWalk{};
  return PF_Err_NONE;
}

std::int32_t FindSegment(const LWD_PathWalk&, double) { return 0; }

PF_Err EvalPathExact(PF_InData*, AEGP_SuiteHandler&, PF_PathOutlinePtr, LWD_PathWalk&, double,
                     double*, double*, double*, double*) {
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err EvalPathSmoothed(PF_InData*, AEGP_SuiteHandler&, PF_PathOutlinePtr, LWD_PathWalk&, double,
                        double, double*, double*, double*, double*) {
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err ReleasePathWalk(PF_InData*, AEGP_SuiteHandler&, PF_PathOutlinePtr, LWD_PathWalk&,
                       PF_Err err) {
  return err;
}
