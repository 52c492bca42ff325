#include "params/scene_param_mapping.h"

#include <stdexcept>

#include "core/session.h"
#include "params/param_store.h"

namespace lwhost {

namespace {

constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16 fixed point

DeclaredType TypeOf(PF_ParamType type) {
  switch (type) {
    case PF_Param_FLOAT_SLIDER:
      return DeclaredType::kFloatSlider;
    case PF_Param_ANGLE:
      return DeclaredType::kAngle;
    case PF_Param_POPUP:
      return DeclaredType::kPopup;
    case PF_Param_LAYER:
      return DeclaredType::kLayer;
    case PF_Param_PATH:
      return DeclaredType::kPath;
    case PF_Param_ARBITRARY_DATA:
      return DeclaredType::kArbitraryData;
    case PF_Param_BUTTON:
      return DeclaredType::kButton;
    default:
      return DeclaredType::kOther;
  }
}

template <class Id>
Id Lookup(const std::map<std::string, Id>& ids, const std::string& name, const char* what) {
  const auto it = ids.find(name);
  if (it == ids.end()) {
    throw std::invalid_argument(std::string("no id for the ") + what + " \"" + name + "\"");
  }
  return it->second;
}

}  // namespace

std::vector<ParamDeclaration> SceneDeclarations(const std::vector<DeclaredParam>& declared) {
  std::vector<ParamDeclaration> out;
  out.reserve(declared.size());
  for (size_t i = 0; i < declared.size(); ++i) {
    const PF_ParamDef& def = declared[i].def;
    ParamDeclaration d;
    // add_param appends (index -1), so the array position is the order of declaration.
    d.index = static_cast<int32_t>(i + 1);
    d.label = def.name;
    d.type = TypeOf(def.param_type);
    if (d.type == DeclaredType::kFloatSlider) {
      d.validMin = def.u.fs_d.valid_min;
      d.validMax = def.u.fs_d.valid_max;
    } else if (d.type == DeclaredType::kAngle) {
      d.validMin = def.u.ad.valid_min / kFixedOne;
      d.validMax = def.u.ad.valid_max / kFixedOne;
    } else if (d.type == DeclaredType::kPopup) {
      d.choices = SplitPopupChoices(declared[i].text);
    }
    out.push_back(std::move(d));
  }
  return out;
}

PF_Err ApplySceneParams(ParamStore& store, std::span<const ResolvedParam> resolved,
                        const std::map<std::string, int32_t>& layerIds,
                        const std::map<std::string, PF_PathID>& pathIds) {
  for (const ResolvedParam& param : resolved) {
    std::vector<ParamKey> keys;
    for (const ResolvedKey& key : param.keys) {
      ParamValue value = store.Static(param.index);
      switch (param.type) {
        case DeclaredType::kFloatSlider:
          value.number = key.value.number;
          break;
        case DeclaredType::kAngle:
          value.fixed = key.value.fixed;
          break;
        case DeclaredType::kPopup:
          value.popup = key.value.popup;
          break;
        case DeclaredType::kLayer:
          value.layerId = Lookup(layerIds, key.value.name, "layer");
          break;
        case DeclaredType::kPath:
          value.pathId = Lookup(pathIds, key.value.name, "mask");
          break;
        case DeclaredType::kArbitraryData:
          if (PF_Err err = store.LoadArbitrary(param.index, key.value.data, &value);
              err != PF_Err_NONE) {
            return err;
          }
          break;
        case DeclaredType::kButton:
        case DeclaredType::kOther:
          break;
      }
      keys.push_back(ParamKey{key.frame, value, key.interpolation});
    }
    if (keys.empty()) {
      continue;
    }
    if (param.animated) {
      store.SetKeys(param.index, std::move(keys));
    } else {
      store.SetStatic(param.index, keys.front().value);
    }
  }
  return PF_Err_NONE;
}

}  // namespace lwhost
