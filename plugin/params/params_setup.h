// PF_Cmd_PARAMS_SETUP: declares the effect's 36 parameters and registers the width graph control.
#pragma once

#include "ae_effect.h"

namespace lwd {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

}  // namespace lwd
