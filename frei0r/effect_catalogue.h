// What every instance of a frei0r plug-in shares: where the effect is, whether it loads, and the
// frei0r parameters it stands for, read once from the effect's own declarations.
#pragma once

#include <string>
#include <vector>

#include "params/unit_params.h"

namespace lwfrei0r {

// The two string parameters that come before the effect's own.
inline constexpr int kSceneParam = 0;
inline constexpr int kPathParam = 1;
inline constexpr int kFirstEffectParam = 2;

struct FreiParam {
  std::string name;
  std::string explanation;
  int type = 0;  // F0R_PARAM_*
};

struct EffectCatalogue {
  std::string effectPath;  // the effect library the instances load
  std::string loadError;   // why the effect could not be loaded; empty when it loaded
  // scene, path, then the effect's numeric parameters in declaration order
  std::vector<FreiParam> params;
  std::vector<lwhost::UnitParam> unitParams;  // params[kFirstEffectParam + i] is unitParams[i]
};

// Made on first use and kept until the process ends; never throws.
const EffectCatalogue& Catalogue();

// The effect library: LATHEWIND_PLUGIN, else beside this plug-in, else where the command finds it
// (../lathewind/ from the plug-in's folder), else in the build tree.
std::string FindEffect();

}  // namespace lwfrei0r
