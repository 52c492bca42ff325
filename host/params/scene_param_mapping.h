// Between the scene file and the parameter storage: the effect's declarations in the plain terms
// scene values are checked against, and the checked values put into a ParamStore.
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "ae_effect.h"
#include "scenes/scene_params.h"

namespace lwhost {

struct DeclaredParam;
class ParamStore;

// One ParamDeclaration per declared parameter, in declaration order, with its position in the
// parameter array (the first declared parameter is index 1; index 0 is the layer carrying the
// effect): label, type, valid range (angles in degrees) and popup choices split at '|'.
std::vector<ParamDeclaration> SceneDeclarations(const std::vector<DeclaredParam>& declared);

// Puts resolved scene values into the store: plain values as static values, keyframed ones as
// keys; layers and masks by the ids the caller gave their names; the width curve loaded from its
// stored form through the effect. Returns the first error of the effect's UNFLATTEN (the store
// keeps what was set before it). A layer or mask name missing from the maps throws
// std::invalid_argument: the maps must come from the same scene.
PF_Err ApplySceneParams(ParamStore& store, std::span<const ResolvedParam> resolved,
                        const std::map<std::string, int32_t>& layerIds,
                        const std::map<std::string, PF_PathID>& pathIds);

}  // namespace lwhost
