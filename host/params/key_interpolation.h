// How a keyframed value moves over the span that leaves a key: at a constant rate, not at all
// until the next key, or easing out of the key and into the next.
#pragma once

#include <optional>
#include <string_view>

namespace lwhost {

enum class KeyInterpolation { kLinear, kHold, kEase };

// The fraction of the way from a key to the next that the value has moved, for the fraction s in
// [0, 1) of the time between them: s itself (linear, exactly), 0 (hold) or 3s^2 - 2s^3 (ease, a
// smooth start and stop with a third of the span's influence on each side).
double InterpolatedFraction(KeyInterpolation interpolation, double s);

// The name a scene file gives it: "linear", "hold" or "ease".
std::string_view KeyInterpolationName(KeyInterpolation interpolation);
std::optional<KeyInterpolation> KeyInterpolationNamed(std::string_view name);

}  // namespace lwhost
