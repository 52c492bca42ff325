// The effect's parameters as a host sees them that knows only numbers from 0 to 1 (frei0r's
// doubles, Kdenlive's and melt's keyframes): which parameters such a host can set, under which
// name, and how a number in [0, 1] maps onto each one's own range.
//
//   slider   d -> slider_min + d x (slider_max - slider_min)
//   angle    d -> -180 + d x 360 degrees, 16.16 fixed point rounded to nearest
//   popup    d -> choice round(d x (n - 1)) + 1
//
// Layers, masks, arbitrary data and buttons have no number and are left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "params/param_store.h"

namespace lwhost {

enum class UnitParamKind { kSlider, kAngle, kPopup };

struct UnitParam {
  int32_t index = 0;  // position in the parameter array
  std::string name;   // the label without its note in parentheses ("Thickness")
  std::string label;  // the label as declared
  UnitParamKind kind = UnitParamKind::kSlider;
  double min = 0.0;   // what 0 maps onto: slider units (percent sliders in percent), degrees
  double max = 0.0;   // what 1 maps onto
  int precision = 0;  // sliders: decimals the effect shows
  bool percent = false;
  std::vector<std::string> choices;  // popups, value 1 first
  double unitDefault = 0.0;          // the effect's default as a number in [0, 1]
};

inline constexpr double kUnitAngleMin = -180.0;  // angles: what 0 and 1 map onto, in degrees
inline constexpr double kUnitAngleMax = 180.0;

// The parameters a [0, 1] host can set, in declaration order, read from a store fresh from
// PARAMS_SETUP (its static values are the defaults).
std::vector<UnitParam> UnitParams(const ParamStore& store);

// `base` with the field of `param`'s kind replaced by the value `unit` stands for. `unit` must be
// finite and in [0, 1] (ClampUnit).
ParamValue FromUnit(const UnitParam& param, double unit, ParamValue base = {});
// The number in [0, 1] that stands for `value` (clamped when the value lies outside the range).
double ToUnit(const UnitParam& param, const ParamValue& value);

// `unit` clamped into [0, 1]; false when it had to change. NaN gives 0 and false.
bool ClampUnit(double* unit);

}  // namespace lwhost
