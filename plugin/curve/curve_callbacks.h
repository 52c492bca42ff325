// PF_Cmd_ARBITRARY_CALLBACK: the host's requests on width curve values (make, free, copy, store,
// load, interpolate, compare).
#pragma once

#include "ae_effect.h"

namespace lwd {

PF_Err HandleArbitraryCallback(PF_InData* in_data, PF_ArbParamsExtra* extra);

}  // namespace lwd
