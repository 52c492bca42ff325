// The box of output pixels the ribbon can touch: the spine sampled every 2 px (past stretches
// that surely stay off the output), grown by the ribbon's largest half-width and its depth.
#pragma once

#include "ae_effect.h"
#include "ae_path_suites.h"
#include "path/path_walk.h"
#include "render/render_settings.h"
#include "suites/suite_handler.h"

// Fills boundsMargin and the box fields of the settings. Returns the first failed path evaluation,
// or the host's cancel (abort is asked every 8192 points of a long scan).
PF_Err EstimateRibbonBounds(PF_InData* in_data, AEGP_SuiteHandler& suites,
                            PF_PathOutlinePtr outline, LWD_PathWalk& walk,
                            LWD_RenderSettings& settings);
