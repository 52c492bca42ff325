#include "params/key_interpolation.h"

namespace lwhost {

double InterpolatedFraction(KeyInterpolation interpolation, double s) {
  switch (interpolation) {
    case KeyInterpolation::kHold:
      return 0.0;
    case KeyInterpolation::kEase:
      return s * s * (3.0 - 2.0 * s);
    case KeyInterpolation::kLinear:
      break;
  }
  return s;
}

std::string_view KeyInterpolationName(KeyInterpolation interpolation) {
  switch (interpolation) {
    case KeyInterpolation::kHold:
      return "hold";
    case KeyInterpolation::kEase:
      return "ease";
    case KeyInterpolation::kLinear:
      break;
  }
  return "linear";
}

std::optional<KeyInterpolation> KeyInterpolationNamed(std::string_view name) {
  for (const KeyInterpolation k :
       {KeyInterpolation::kLinear, KeyInterpolation::kHold, KeyInterpolation::kEase}) {
    if (KeyInterpolationName(k) == name) {
      return k;
    }
  }
  return std::nullopt;
}

}  // namespace lwhost
