#include "params/unit_params.h"

#include <algorithm>
#include <cmath>

#include "params/scene_param_mapping.h"
#include "scenes/scene_params.h"

namespace lwhost {

namespace {

constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16 fixed point

double Fraction(double value, double min, double max) {
  if (!(max > min)) {
    return 0.0;  // a range of one value: every number stands for it
  }
  return std::clamp((value - min) / (max - min), 0.0, 1.0);
}

}  // namespace

std::vector<UnitParam> UnitParams(const ParamStore& store) {
  std::vector<UnitParam> params;
  for (int index = 1; index < store.Count(); ++index) {
    const PF_ParamDef& def = store.Declaration(index);
    UnitParam param;
    param.index = index;
    param.label = def.name;
    param.name = ShortLabel(param.label);
    switch (def.param_type) {
      case PF_Param_FLOAT_SLIDER:
        param.kind = UnitParamKind::kSlider;
        param.min = def.u.fs_d.slider_min;
        param.max = def.u.fs_d.slider_max;
        param.precision = def.u.fs_d.precision;
        param.percent = def.u.fs_d.display_flags & PF_ValueDisplayFlag_PERCENT;
        break;
      case PF_Param_ANGLE:
        param.kind = UnitParamKind::kAngle;
        param.min = kUnitAngleMin;
        param.max = kUnitAngleMax;
        break;
      case PF_Param_POPUP:
        param.kind = UnitParamKind::kPopup;
        param.choices = SplitPopupChoices(store.DeclarationText(index));
        param.min = 1;
        param.max = static_cast<double>(param.choices.size());
        break;
      default:
        continue;
    }
    param.unitDefault = ToUnit(param, store.Static(index));
    params.push_back(std::move(param));
  }
  return params;
}

ParamValue FromUnit(const UnitParam& param, double unit, ParamValue base) {
  const double value = param.min + unit * (param.max - param.min);
  switch (param.kind) {
    case UnitParamKind::kSlider:
      base.number = value;
      break;
    case UnitParamKind::kAngle:
      DegreesToFixed(value, &base.fixed);  // within +-180 degrees it always fits
      break;
    case UnitParamKind::kPopup: {
      const double last = std::max(0.0, param.max - 1.0);
      base.popup = static_cast<int32_t>(std::floor(unit * last + 0.5)) + 1;
      break;
    }
  }
  return base;
}

double ToUnit(const UnitParam& param, const ParamValue& value) {
  switch (param.kind) {
    case UnitParamKind::kSlider:
      return Fraction(value.number, param.min, param.max);
    case UnitParamKind::kAngle:
      return Fraction(value.fixed / kFixedOne, param.min, param.max);
    case UnitParamKind::kPopup:
      return Fraction(value.popup, param.min, param.max);
  }
  return 0.0;
}

bool ClampUnit(double* unit) {
  if (std::isnan(*unit)) {
    *unit = 0.0;
    return false;
  }
  const double clamped = std::clamp(*unit, 0.0, 1.0);
  const bool kept = clamped == *unit;
  *unit = clamped;
  return kept;
}

}  // namespace lwhost
