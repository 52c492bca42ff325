#include "masks/svg_viewport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace lwhost {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsSpace(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

struct Unit {
  std::string_view name;
  double pixels;
};

// CSS's absolute units: 96 px to the inch.
constexpr Unit kUnits[] = {{"px", 1.0},         {"pt", 96.0 / 72.0}, {"pc", 16.0},
                           {"mm", 96.0 / 25.4}, {"cm", 96.0 / 2.54}, {"in", 96.0}};

// The position of the alignment along one axis: 0 (min), 0.5 (mid) or 1 (max); -1 when the text is
// not one.
double Alignment(std::string_view text) {
  if (text == "Min") {
    return 0.0;
  }
  if (text == "Mid") {
    return 0.5;
  }
  if (text == "Max") {
    return 1.0;
  }
  return -1.0;
}

}  // namespace

bool SvgNumberList(std::string_view text, std::vector<double>* numbers) {
  size_t pos = 0;
  const auto skip = [&] {
    while (pos < text.size() && IsSpace(text[pos])) {
      ++pos;
    }
    if (pos < text.size() && text[pos] == ',') {
      ++pos;
      while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
      }
    }
  };
  skip();
  while (pos < text.size()) {
    const char* begin = text.data() + pos + (text[pos] == '+' ? 1 : 0);
    double value = 0.0;
    const auto parsed = std::from_chars(begin, text.data() + text.size(), value);
    if (parsed.ec != std::errc() || !std::isfinite(value)) {
      return false;
    }
    numbers->push_back(value);
    pos = static_cast<size_t>(parsed.ptr - text.data());
    skip();
  }
  return true;
}

std::optional<double> SvgLength(std::string_view text, SvgAxis axis, SvgViewport viewport) {
  text = Trim(text);
  double scale = 1.0;
  if (!text.empty() && text.back() == '%') {
    text.remove_suffix(1);
    const double of =
        axis == SvgAxis::kX ? viewport.width
        : axis == SvgAxis::kY
            ? viewport.height
            : std::sqrt((viewport.width * viewport.width + viewport.height * viewport.height) /
                        2.0);
    scale = of / 100.0;
  } else {
    for (const Unit& unit : kUnits) {
      if (text.size() > unit.name.size() && text.ends_with(unit.name)) {
        text.remove_suffix(unit.name.size());
        scale = unit.pixels;
        break;
      }
    }
  }
  // The number must reach the unit: "5 mm" is not a length.
  if (text.empty() || IsSpace(text.back())) {
    return std::nullopt;
  }
  std::vector<double> numbers;
  if (!SvgNumberList(text, &numbers) || numbers.size() != 1) {
    return std::nullopt;
  }
  const double length = numbers[0] * scale;
  return std::isfinite(length) ? std::optional<double>(length) : std::nullopt;
}

std::optional<SvgViewBox> ParseSvgViewBox(std::string_view text) {
  std::vector<double> v;
  if (!SvgNumberList(text, &v) || v.size() != 4 || !(v[2] > 0.0 && v[3] > 0.0)) {
    return std::nullopt;
  }
  return SvgViewBox{v[0], v[1], v[2], v[3]};
}

Affine SvgViewBoxTransform(const SvgViewBox& box, std::string_view preserveAspectRatio,
                           double width, double height) {
  std::string_view text = Trim(preserveAspectRatio);
  if (text.starts_with("defer")) {  // only for images; ignored elsewhere
    text = Trim(text.substr(5));
  }
  const size_t space = text.find_first_of(" \t\n\r\f");
  const std::string_view align = text.empty() ? "xMidYMid" : text.substr(0, space);
  const std::string_view mode = space == std::string_view::npos ? "" : Trim(text.substr(space));
  const auto fail = [&]() -> Affine {
    throw SvgViewportError("preserveAspectRatio=\"" + std::string(preserveAspectRatio) +
                           "\" is not \"none\" or \"x(Min|Mid|Max)Y(Min|Mid|Max) [meet|slice]\"");
  };
  if (mode != "" && mode != "meet" && mode != "slice") {
    return fail();
  }
  const double sx = width / box.width;
  const double sy = height / box.height;
  if (align == "none") {
    return {sx, 0.0, 0.0, sy, -box.x * sx, -box.y * sy};
  }
  if (align.size() != 8 || align[0] != 'x' || align[4] != 'Y') {
    return fail();
  }
  const double ax = Alignment(align.substr(1, 3));
  const double ay = Alignment(align.substr(5, 3));
  if (ax < 0.0 || ay < 0.0) {
    return fail();
  }
  const double s = mode == "slice" ? std::max(sx, sy) : std::min(sx, sy);
  return {s,
          0.0,
          0.0,
          s,
          (width - box.width * s) * ax - box.x * s,
          (height - box.height * s) * ay - box.y * s};
}

}  // namespace lwhost
