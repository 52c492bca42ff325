// The parameters as the effect declared them, as JSON: what `lathewind params --json` prints and
// what the studio's parameter panel is built from.
#pragma once

#include <string>

#include "ae_params.h"

namespace lwhost {

class ParamStore;

// A JSON array, one object per declared parameter (index 1 on; index 0, the layer that carries
// the effect, is the host's): "index", "label", "type", "id", "uiFlags", "flags", "disabled",
// and by type "default", "validMin", "validMax", "sliderMin", "sliderMax", "precision",
// "percent", "choices", "text", "dataId", "control" {"width", "height"}, "defaultFlat". Defaults
// are those of the store's static values, so give it a store fresh from PARAMS_SETUP.
std::string DeclaredParamsJson(const ParamStore& store);

// The words both listings use for a parameter's type ("float slider", "mask path", ...).
const char* ParamTypeName(PF_ParamType type);

}  // namespace lwhost
