// PF_Cmd_RENDER.
#pragma once

#include "ae_effect.h"

namespace lwd {

PF_Err Render(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace lwd
