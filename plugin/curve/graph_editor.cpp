#include "curve/graph_editor.h"

PF_Err CurveClickEvent(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EventExtra*, bool) {
  return PF_Err_NONE;
}

PF_Err DrawCurveGraph(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_EventExtra*) {
  return PF_Err_NONE;
}
