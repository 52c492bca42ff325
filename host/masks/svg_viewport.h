// The coordinate systems of an SVG drawing: lengths with units, viewBox and preserveAspectRatio,
// as nested <svg> viewports and instanced <symbol>s set them up.
#pragma once

#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "masks/svg_transform.h"

namespace lwhost {

// The size, in user units, that percentages of the current viewport refer to.
struct SvgViewport {
  double width = 0.0;
  double height = 0.0;
};

// What a percentage is of: the viewport's width (x, cx, width, rx, ...), its height (y, cy,
// height, ry, ...) or its normalised diagonal sqrt((w^2 + h^2) / 2) (r).
enum class SvgAxis { kX, kY, kDiagonal };

// A length in user units: a number, optionally followed by px, pt, pc, mm, cm, in (CSS's 96 px to
// the inch) or % of the viewport along `axis`. nullopt for anything else (em, ex, text).
std::optional<double> SvgLength(std::string_view text, SvgAxis axis, SvgViewport viewport);

struct SvgViewBox {
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double height = 0.0;
};

// "x y width height" with a positive size; nullopt otherwise.
std::optional<SvgViewBox> ParseSvgViewBox(std::string_view text);

// Numbers separated by white space and/or one comma, as in points="10,20 30,40". False on anything
// else.
bool SvgNumberList(std::string_view text, std::vector<double>* numbers);

// A preserveAspectRatio that cannot be read.
class SvgViewportError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The map that puts `box` into a viewport of `width` x `height` at the origin, as
// preserveAspectRatio (empty: "xMidYMid meet"; "none" stretches; "slice" covers) says. Throws
// SvgViewportError for text it cannot read.
Affine SvgViewBoxTransform(const SvgViewBox& box, std::string_view preserveAspectRatio,
                           double width, double height);

}  // namespace lwhost
