#include "render/render.h"

PF_Err Render(PF_InData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }

PF_Err FrameSetup(PF_InData*, PF_OutData*, PF_ParamDef*[]) { return PF_Err_NONE; }
