#include "params/param_listing.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/number_text.h"
#include "params/param_store.h"
#include "scenes/scene_params.h"

namespace lwhost {

namespace {

using Json = nlohmann::ordered_json;

constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16 fixed point

// Single-precision fields as their shortest text reads (0.1, not 0.100000001490116).
double FloatValue(float value) {
  return std::stod(FloatText(value));
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

Json Describe(const ParamStore& store, int index) {
  const PF_ParamDef& def = store.Declaration(index);
  const std::string& text = store.DeclarationText(index);
  Json out;
  out["index"] = index;
  out["label"] = std::string(def.name);
  out["type"] = ParamTypeName(def.param_type);
  out["id"] = def.uu.id;
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: {
      const PF_FloatSliderDef& s = def.u.fs_d;
      out["default"] = std::stod(DoubleText(s.value));
      out["validMin"] = FloatValue(s.valid_min);
      out["validMax"] = FloatValue(s.valid_max);
      out["sliderMin"] = FloatValue(s.slider_min);
      out["sliderMax"] = FloatValue(s.slider_max);
      out["precision"] = s.precision;
      out["percent"] = (s.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
      break;
    }
    case PF_Param_ANGLE:
      out["default"] = def.u.ad.value / kFixedOne;
      if (def.u.ad.valid_min < def.u.ad.valid_max) {
        out["validMin"] = def.u.ad.valid_min / kFixedOne;
        out["validMax"] = def.u.ad.valid_max / kFixedOne;
      }
      break;
    case PF_Param_CHECKBOX:
      out["default"] = def.u.bd.value != 0;
      out["text"] = text;
      break;
    case PF_Param_POPUP:
      out["default"] = def.u.pd.value;
      out["choices"] = SplitPopupChoices(text);
      break;
    case PF_Param_ARBITRARY_DATA: {
      out["dataId"] = def.u.arb_d.id;
      out["control"] = {{"width", def.ui_width}, {"height", def.ui_height}};
      std::vector<uint8_t> flat;
      if (store.Flatten(index, &flat) == PF_Err_NONE) {
        out["defaultFlat"] = HexBytes(flat);
      }
      break;
    }
    case PF_Param_BUTTON:
      out["text"] = text;
      break;
    default:
      break;
  }
  out["uiFlags"] = def.ui_flags;
  out["flags"] = def.flags;
  out["disabled"] = (def.ui_flags & PF_PUI_DISABLED) != 0;
  return out;
}

}  // namespace

std::string DeclaredParamsJson(const ParamStore& store) {
  Json all = Json::array();
  for (int index = 1; index < store.Count(); ++index) {
    all.push_back(Describe(store, index));
  }
  return all.dump(2) + "\n";
}

const char* ParamTypeName(PF_ParamType type) {
  switch (type) {
    case PF_Param_LAYER:
      return "layer";
    case PF_Param_ANGLE:
      return "angle";
    case PF_Param_CHECKBOX:
      return "checkbox";
    case PF_Param_POPUP:
      return "popup";
    case PF_Param_FLOAT_SLIDER:
      return "float slider";
    case PF_Param_ARBITRARY_DATA:
      return "arbitrary data";
    case PF_Param_PATH:
      return "mask path";
    case PF_Param_GROUP_START:
      return "group start";
    case PF_Param_GROUP_END:
      return "group end";
    case PF_Param_BUTTON:
      return "button";
    default:
      return "other";
  }
}

}  // namespace lwhost
