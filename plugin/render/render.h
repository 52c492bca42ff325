// PF_Cmd_RENDER and PF_Cmd_FRAME_SETUP.
#pragma once

#include "ae_effect.h"

PF_Err Render(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err FrameSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);
