// The box of output pixels the ribbon can touch: the spine sampled every 2 px (past stretches
// that surely stay off the output), grown by the ribbon's largest half-width and its depth.
#pragma once

#include "ae_basic_types.h"
#include "render/render_host.h"
#include "render/render_settings.h"

namespace lwd {

// Fills boundsMargin and the box fields of the settings. Returns the first failed path evaluation,
// or the host's cancel (abort is asked every 8192 points of a long scan).
PF_Err EstimateRibbonBounds(LWD_RenderHost& host, LWD_RenderSettings& settings);

}  // namespace lwd
