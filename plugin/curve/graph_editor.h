// PF_Cmd_EVENT on the width graph control: drawing, and click/drag editing of the curve.
#pragma once

#include "ae_effect.h"

namespace lwd {

PF_Err CurveClickEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_EventExtra* event, bool drag);
PF_Err DrawCurveGraph(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EventExtra* event);

}  // namespace lwd
