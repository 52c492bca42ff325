// A scene's masks turned into the keys the path suites serve: SVG path data parsed, SVG files
// read, vertex lists made into masks, in the scene layer's full-resolution pixels.
#pragma once

#include <vector>

#include "core/file_gate.h"
#include "masks/mask_keys.h"
#include "scenes/scene.h"

namespace lwhost {

// The keys of one of the scene's masks (a still mask is one key at frame 0), checked to have one
// shape that can be interpolated. Throws SceneError naming the shape's location for path data that
// does not parse, an SVG element that cannot be read or keys of different shapes.
// SVG files are opened through `gate`.
std::vector<MaskKey> BuildSceneMaskKeys(const Scene& scene, const SceneMask& mask,
                                        const FileGate& gate = OpenGate());

}  // namespace lwhost
