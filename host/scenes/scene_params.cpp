#include "scenes/scene_params.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>

#include "core/nearest_name.h"
#include "core/number_text.h"

namespace lwhost {
namespace {

constexpr double kFixedOne = 65536.0;  // 1.0 in 16.16 fixed point

std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

const char* KindName(SceneValueKind kind) {
  switch (kind) {
    case SceneValueKind::kNumber:
      return "a number";
    case SceneValueKind::kText:
      return "a text";
    case SceneValueKind::kPoints:
      return "a list of points";
    case SceneValueKind::kFlat:
      return "a flat stored form";
  }
  return "a value";
}

class ParamResolver {
 public:
  ParamResolver(const Scene& scene, const ParamDeclaration& declared)
      : scene_(scene), declared_(declared) {}

  ResolvedValue Resolve(const SceneValue& value) const {
    ResolvedValue result;
    switch (declared_.type) {
      case DeclaredType::kFloatSlider:
        result.number = SliderValue(value);
        break;
      case DeclaredType::kAngle:
        result.fixed = AngleValue(value);
        break;
      case DeclaredType::kPopup:
        result.popup = PopupValue(value);
        break;
      case DeclaredType::kLayer:
        RequireKind(value, SceneValueKind::kText, "a layer name");
        if (FindSceneLayer(scene_, value.text) == nullptr) {
          Fail(value, "no layer named " + Quote(value.text) + " in \"layers\"");
        }
        result.name = value.text;
        break;
      case DeclaredType::kPath:
        RequireKind(value, SceneValueKind::kText, "a mask name");
        if (FindSceneMask(scene_, value.text) == nullptr) {
          Fail(value, "no mask named " + Quote(value.text) + " in \"masks\"");
        }
        result.name = value.text;
        break;
      case DeclaredType::kArbitraryData:
        result.data = CurveValue(value);
        break;
      case DeclaredType::kButton:
      case DeclaredType::kOther:
        Fail(value, Quote(declared_.label) + " cannot be set from a scene");
    }
    return result;
  }

 private:
  [[noreturn]] void Fail(const SceneValue& value, const std::string& problem) const {
    throw SceneError(scene_.fileName, value.pointer, problem);
  }

  void RequireKind(const SceneValue& value, SceneValueKind kind, const char* wanted) const {
    if (value.kind != kind) {
      Fail(value, Quote(declared_.label) + " takes " + wanted + ", not " + KindName(value.kind));
    }
  }

  double SliderValue(const SceneValue& value) const {
    RequireKind(value, SceneValueKind::kNumber, "a number");
    // The declared range is held in floats; compare in floats so that 0.1 meets a minimum of
    // 0.1f (which is slightly above 0.1).
    const float number = static_cast<float>(value.number);
    if (!(number >= static_cast<float>(declared_.validMin) &&
          number <= static_cast<float>(declared_.validMax))) {
      Fail(value, DoubleText(value.number) + " is out of range: " + Quote(declared_.label) +
                      " takes " + FloatText(declared_.validMin) + " to " +
                      FloatText(declared_.validMax));
    }
    return value.number;
  }

  PF_Fixed AngleValue(const SceneValue& value) const {
    RequireKind(value, SceneValueKind::kNumber, "an angle in degrees");
    const bool hasRange = declared_.validMin < declared_.validMax;
    PF_Fixed fixed = 0;
    const bool fits = DegreesToFixed(value.number, &fixed);
    if (!fits ||
        (hasRange && (value.number < declared_.validMin || value.number > declared_.validMax))) {
      const double lo = hasRange ? declared_.validMin : -32768.0;
      const double hi =
          hasRange ? declared_.validMax : std::numeric_limits<int32_t>::max() / kFixedOne;
      Fail(value, DoubleText(value.number) + " degrees is out of range: " + Quote(declared_.label) +
                      " takes " + DoubleText(lo) + " to " + DoubleText(hi) + " degrees");
    }
    return fixed;
  }

  int32_t PopupValue(const SceneValue& value) const {
    const int32_t count = static_cast<int32_t>(declared_.choices.size());
    if (value.kind == SceneValueKind::kText) {
      for (int32_t i = 0; i < count; ++i) {
        if (declared_.choices[static_cast<size_t>(i)] == value.text) {
          return i + 1;
        }
      }
    } else if (value.kind == SceneValueKind::kNumber) {
      if (value.number == std::floor(value.number) && value.number >= 1 && value.number <= count) {
        return static_cast<int32_t>(value.number);
      }
    } else {
      RequireKind(value, SceneValueKind::kText, "a choice number or text");
    }
    std::string list;
    for (int32_t i = 0; i < count; ++i) {
      list += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " " +
              Quote(declared_.choices[static_cast<size_t>(i)]);
    }
    const std::string given =
        value.kind == SceneValueKind::kText ? Quote(value.text) : DoubleText(value.number);
    Fail(value, given + " is not a choice of " + Quote(declared_.label) + ": choices are " + list);
  }

  std::array<uint8_t, kFlatCurveBytes> CurveValue(const SceneValue& value) const {
    if (value.kind == SceneValueKind::kFlat) {
      return value.flat;
    }
    RequireKind(value, SceneValueKind::kPoints, "a list of [x, y] points or {\"flat\": \"HEX\"}");
    if (value.points.size() > kCurveMaxPoints) {
      Fail(value, std::to_string(value.points.size()) +
                      " points is out of range: " + Quote(declared_.label) + " takes 0 to " +
                      std::to_string(kCurveMaxPoints) + " points");
    }
    for (size_t i = 0; i < value.points.size(); ++i) {
      const ScenePoint& p = value.points[i];
      for (int axis = 0; axis < 2; ++axis) {
        const double v = axis == 0 ? p.x : p.y;
        if (!(v >= 0.0 && v <= 1.0)) {
          throw SceneError(scene_.fileName,
                           value.pointer + "/" + std::to_string(i) + "/" + std::to_string(axis),
                           DoubleText(v) + " is out of range: point coordinates are 0 to 1");
        }
      }
    }
    return CurveBytesFromPoints(value.points);
  }

  const Scene& scene_;
  const ParamDeclaration& declared_;
};

}  // namespace

std::vector<std::string> SplitPopupChoices(const std::string& list) {
  std::vector<std::string> choices;
  size_t start = 0;
  while (true) {
    const size_t bar = list.find('|', start);
    choices.push_back(
        list.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) {
      return choices;
    }
    start = bar + 1;
  }
}

bool DegreesToFixed(double degrees, PF_Fixed* fixed) {
  const double scaled = std::floor(degrees * kFixedOne + 0.5);
  if (!(scaled >= std::numeric_limits<int32_t>::min() &&
        scaled <= std::numeric_limits<int32_t>::max())) {
    return false;
  }
  *fixed = static_cast<PF_Fixed>(scaled);
  return true;
}

std::array<uint8_t, kFlatCurveBytes> CurveBytesFromPoints(const std::vector<ScenePoint>& points) {
  std::vector<CurvePoint> curve;
  for (const ScenePoint& p : points) {
    curve.push_back({p.x, p.y});
  }
  return FlatCurveFromPoints(curve);
}

std::string ShortLabel(const std::string& label) {
  const size_t parenthesis = label.find('(');
  if (parenthesis == std::string::npos) {
    return label;
  }
  const size_t end = label.find_last_not_of(' ', parenthesis == 0 ? 0 : parenthesis - 1);
  return parenthesis == 0 || end == std::string::npos ? std::string() : label.substr(0, end + 1);
}

static const ParamDeclaration* FindDeclaration(std::span<const ParamDeclaration> declared,
                                               const std::string& label) {
  // Buttons carry empty labels; a scene never names them.
  for (const ParamDeclaration& candidate : declared) {
    if (!candidate.label.empty() && candidate.label == label) {
      return &candidate;
    }
  }
  const ParamDeclaration* byShortLabel = nullptr;
  for (const ParamDeclaration& candidate : declared) {
    if (!label.empty() && ShortLabel(candidate.label) == label) {
      if (byShortLabel != nullptr) {
        return nullptr;  // two labels start alike: only the full label says which
      }
      byShortLabel = &candidate;
    }
  }
  return byShortLabel;
}

std::vector<ResolvedParam> ResolveSceneParams(const Scene& scene,
                                              std::span<const ParamDeclaration> declared) {
  std::vector<ResolvedParam> resolved;
  std::map<int32_t, std::string> givenAs;  // parameter index -> the name the scene used
  for (const SceneParam& param : scene.params) {
    const ParamDeclaration* match = FindDeclaration(declared, param.label);
    if (match == nullptr) {
      std::vector<std::string> labels;
      for (const ParamDeclaration& candidate : declared) {
        if (!candidate.label.empty()) {
          labels.push_back(candidate.label);
        }
      }
      std::string suggestion = DidYouMean(param.label, labels);
      if (suggestion.empty()) {
        // "Thicknes" is nearer "Thickness" than the whole of "Thickness (0 = from source)".
        for (std::string& label : labels) {
          label = ShortLabel(label);
        }
        suggestion = DidYouMean(param.label, labels);
      }
      throw SceneError(scene.fileName, param.pointer,
                       "unknown parameter " + Quote(ShortName(param.label)) + suggestion +
                           " (labels are the effect's, as the params command lists them)");
    }
    // The same parameter under two names is ambiguous; a scene built in code may repeat a label,
    // and then the later value wins as before.
    if (const auto [earlier, added] = givenAs.emplace(match->index, param.label);
        !added && earlier->second != param.label) {
      throw SceneError(scene.fileName, param.pointer,
                       Quote(match->label) + " is given twice: once as " + Quote(earlier->second) +
                           ", once as " + Quote(param.label));
    }
    const ParamResolver resolver(scene, *match);
    ResolvedParam out;
    out.index = match->index;
    out.label = match->label;
    out.type = match->type;
    out.animated = param.animated;
    for (const SceneKey& key : param.keys) {
      out.keys.push_back({key.frame, resolver.Resolve(key.value), key.interpolation});
    }
    resolved.push_back(std::move(out));
  }
  return resolved;
}

}  // namespace lwhost
