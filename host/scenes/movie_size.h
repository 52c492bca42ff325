// A movie has one size: whether a scene's frames agree on theirs, told before anything renders.
#pragma once

#include <cstdint>
#include <string>

#include "ae_effect.h"
#include "layers/frame_render.h"
#include "scenes/scene_render.h"

namespace lwhost {

// Sets up frames first..last (frame set-up alone tells each frame's size) and returns "" when
// they share one size, else a message naming the runs of frames of each size. A set-up that fails
// returns "" with its error in `err` and the frame in `failedFrame`; a cancel ends the scan and
// returns "".
std::string MovieSizeProblem(SceneRenderer& renderer, int64_t first, int64_t last,
                             const CancelListener& cancelled, PF_Err& err, int64_t& failedFrame);

}  // namespace lwhost
