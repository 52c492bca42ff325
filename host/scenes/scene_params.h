// Checks a scene's parameter values against the parameters the effect declared, and converts them
// to the values the host stores (16.16 angles, popup numbers, the width curve's stored bytes).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ae_basic_types.h"
#include "scenes/scene.h"

namespace lwhost {

enum class DeclaredType {
  kFloatSlider,
  kAngle,
  kPopup,
  kLayer,
  kPath,
  kArbitraryData,  // the width curve: a point list or its 100-byte stored form
  kButton,         // takes no value
  kOther,          // any type a scene cannot set
};

// What the effect declared for one parameter at PARAMS_SETUP, in plain values.
struct ParamDeclaration {
  int32_t index = 0;  // position in the parameter array (0 is the layer carrying the effect)
  std::string label;
  DeclaredType type = DeclaredType::kOther;
  // Float sliders: the valid range. Angles: the valid range in degrees, checked only when
  // validMin < validMax (a declaration that leaves both at 0 accepts every representable angle).
  double validMin = 0.0;
  double validMax = 0.0;
  std::vector<std::string> choices;  // popups: the choice texts, value 1 first
};

// Splits a popup's choice list ("Width|Height") into its texts.
std::vector<std::string> SplitPopupChoices(const std::string& list);

// One value converted for the host; which field holds it depends on the parameter's type.
struct ResolvedValue {
  double number = 0.0;                          // kFloatSlider
  PF_Fixed fixed = 0;                           // kAngle: 16.16 degrees
  int32_t popup = 0;                            // kPopup: 1-based
  std::string name;                             // kLayer, kPath: the scene layer or mask name
  std::array<uint8_t, kFlatCurveBytes> data{};  // kArbitraryData: the stored form
};

struct ResolvedKey {
  double frame = 0.0;
  ResolvedValue value;
  KeyInterpolation interpolation = KeyInterpolation::kLinear;
};

struct ResolvedParam {
  int32_t index = 0;
  std::string label;  // as declared
  DeclaredType type = DeclaredType::kOther;
  bool animated = false;
  std::vector<ResolvedKey> keys;  // one key at frame 0 when not animated
};

// The text of a label before its parenthesis, trailing spaces dropped ("Thickness" for
// "Thickness (0 = from source)"); the whole label when it has none.
std::string ShortLabel(const std::string& label);

// Checks every value of `scene.params` against `declared` and converts it. A scene names a
// parameter by its label, or by ShortLabel(label) when no other label has the same short form.
// Reports unknown labels (with the nearest known one), a parameter named twice, values of the wrong
// kind, values out of range (with the range), unknown popup choices, layers and masks, as
// SceneError with the scene's file and the value's JSON location. The result follows the scene's
// order; parameters the scene does not mention are not in it.
std::vector<ResolvedParam> ResolveSceneParams(const Scene& scene,
                                              std::span<const ParamDeclaration> declared);

// The width curve's stored form for a list of points (FlatCurveFromPoints).
std::array<uint8_t, kFlatCurveBytes> CurveBytesFromPoints(const std::vector<ScenePoint>& points);

// Degrees to 16.16 fixed point, rounded to nearest (floor(x + 0.5)). False when the result does
// not fit in 32 bits.
bool DegreesToFixed(double degrees, PF_Fixed* fixed);

}  // namespace lwhost
