#include "params/params_setup.h"

PF_Err ParamsSetup(PF_InData*, PF_OutData*) { return PF_Err_NONE; }
