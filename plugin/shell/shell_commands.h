// The commands the shell answers itself: About, global set-up and the web-page button.
#pragma once

#include "ae_effect.h"

namespace lwd {

// Version 1.7, fix 0, development stage, build 24, in the host's packing.
constexpr A_u_long PackVersion(A_u_long version, A_u_long subversion, A_u_long fix, A_u_long stage,
                               A_u_long build) {
  return (((version >> 3) & 0xF) << 26) | ((version & 0x7) << 19) | ((subversion & 0xF) << 15) |
         ((fix & 0xF) << 11) | ((stage & 0x3) << 9) | (build & 0x1FF);
}
constexpr A_u_long kEffectVersion = PackVersion(1, 7, 0, PF_Stage_DEVELOP, 24);
static_assert(kEffectVersion == 0x000B8018);

constexpr PF_OutFlags kGlobalOutFlags =
    PF_OutFlag_I_EXPAND_BUFFER | PF_OutFlag_CUSTOM_UI | PF_OutFlag_DEEP_COLOR_AWARE;
constexpr PF_OutFlags2 kGlobalOutFlags2 = PF_OutFlag2_SUPPORTS_THREADED_RENDERING;

// The product's web page (its upgrade section), opened by the web-page button.
extern const char kUpgradePageUrl[];
// The maker's home page, given to the host at registration.
extern const char kSupportUrl[];

PF_Err About(PF_InData* in_data, PF_OutData* out_data);
PF_Err GlobalSetup(PF_OutData* out_data);
PF_Err UserChangedParam(const PF_UserChangedParamExtra* extra);

}  // namespace lwd
