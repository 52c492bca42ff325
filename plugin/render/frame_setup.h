// PF_Cmd_FRAME_SETUP: growing the output world by "Expand Bounds", so the ribbon may leave the
// layer's rectangle.
#pragma once

#include <cstdint>

#include "ae_effect.h"

namespace lwd {

// Pixels added on every side for an Expand Bounds value: rounded half up, and kept within the
// parameter's valid range (0 to 2000) so that the conversion and the grown size stay in range.
std::int32_t ExpandBoundsPixels(double expandBounds);

PF_Err FrameSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]);

}  // namespace lwd
