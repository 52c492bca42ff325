#include "curve/curve_data.h"

// Placeholder until the curve model lands.
PF_Err CreateDefaultCurve(PF_InData*, PF_OutData*, PF_Handle*) { return PF_Err_OUT_OF_MEMORY; }
void WriteDefaultCurve(LWD_CurveData*) {}
void CurveSort(LWD_CurveData*) {}
double CurveEval(const LWD_CurveData*, double) { return 1.0; }
