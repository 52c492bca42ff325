#include "curve/curve_callbacks.h"

PF_Err HandleArbitraryCallback(PF_InData*, PF_ArbParamsExtra*) { return PF_Err_NONE; }
