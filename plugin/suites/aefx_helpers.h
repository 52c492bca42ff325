// Exported helpers that obtain and give back suites without throwing: a failure is reported as an
// error code and a message in return_msg, which the host shows to the user.
#pragma once

#include "ae_effect.h"
#include "drawbot_suites.h"
#include "suites/suite_handler.h"

namespace lwd {

// The four drawing suites, in the order AEFX_AcquireDrawbotSuites obtains them.
struct DrawbotSuites {
  const DRAWBOT_DrawbotSuite1* drawbot_suiteP;
  const DRAWBOT_SupplierSuite1* supplier_suiteP;
  const DRAWBOT_SurfaceSuite2* surface_suiteP;
  const DRAWBOT_PathSuite1* path_suiteP;
};

// C linkage: the exported names carry no namespace.
extern "C" {
LWD_EXPORT PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                    int32_t version, const char* error_stringPC0, void** suitePP);
LWD_EXPORT PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                    int32_t version, const char* error_stringPC0);
// Clears the record first, so that after a partial failure the filled fields tell which suites
// were obtained.
LWD_EXPORT PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data,
                                            DrawbotSuites* suitesP);
LWD_EXPORT PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);
}

// Gives back only the drawing suites whose fields are filled: the clean-up after a partial
// failure of AEFX_AcquireDrawbotSuites, where giving back all four would return suites never got.
void ReleaseObtainedDrawbotSuites(PF_InData* in_data, PF_OutData* out_data,
                                  const DrawbotSuites& suites);

extern const char kMsgAcquireFailed[];
extern const char kMsgReleaseFailed[];
extern const char kMsgNullDrawbotRecord[];

}  // namespace lwd
