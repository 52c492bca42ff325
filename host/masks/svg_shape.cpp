#include "masks/svg_shape.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "masks/svg_file.h"

namespace lwhost {

const char* const kSvgShapeList =
    "<path>, <line>, <polyline>, <polygon>, <rect>, <circle> or <ellipse>";

namespace {

constexpr const char* kShapes[] = {"path", "line",   "polyline", "polygon",
                                   "rect", "circle", "ellipse"};

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\n\r\f") == std::string_view::npos;
}

// Shortest text that reads back as the same double, so generated path data is exact.
std::string Num(double value) {
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

std::string Pt(double x, double y) {
  return " " + Num(x) + " " + Num(y);
}

class ElementReader {
 public:
  ElementReader(const pugi::xml_node& node, SvgViewport viewport)
      : node_(node), name_(DescribeSvgElement(node)), viewport_(viewport) {}

  [[noreturn]] void Fail(const std::string& reason) const { throw SvgFileError(name_, reason); }

  double Length(const char* attribute, SvgAxis axis) const {
    return SvgLengthAttribute(node_, attribute, axis, viewport_);
  }

  // Path data for the element's geometry, and whether it is a <path> (whose extra subpaths are
  // dropped with a warning) or a generated outline.
  std::string PathData() const {
    const std::string_view kind = SvgLocalName(node_);
    if (kind == "path") {
      const std::string d = node_.attribute("d").value();
      if (IsBlank(d)) {
        Fail("no geometry: the d attribute is missing or empty");
      }
      return d;
    }
    if (kind == "line") {
      return "M" + Pt(Length("x1", SvgAxis::kX), Length("y1", SvgAxis::kY)) + " L" +
             Pt(Length("x2", SvgAxis::kX), Length("y2", SvgAxis::kY));
    }
    if (kind == "polyline" || kind == "polygon") {
      return PointsPath(kind == "polygon");
    }
    if (kind == "rect") {
      return RectPath();
    }
    if (kind == "circle") {
      const double r = Length("r", SvgAxis::kDiagonal);
      if (!(r > 0.0)) {
        Fail("no geometry: r must be greater than 0");
      }
      return EllipsePath(Length("cx", SvgAxis::kX), Length("cy", SvgAxis::kY), r, r);
    }
    if (kind == "ellipse") {
      const double rx = Length("rx", SvgAxis::kX);
      const double ry = Length("ry", SvgAxis::kY);
      if (!(rx > 0.0 && ry > 0.0)) {
        Fail("no geometry: rx and ry must both be greater than 0");
      }
      return EllipsePath(Length("cx", SvgAxis::kX), Length("cy", SvgAxis::kY), rx, ry);
    }
    Fail(std::string("no geometry: only ") + kSvgShapeList + " elements are read");
  }

 private:
  std::string PointsPath(bool closed) const {
    std::vector<double> v;
    if (!SvgNumberList(node_.attribute("points").value(), &v)) {
      Fail("points=\"" + std::string(node_.attribute("points").value()) +
           "\" is not a list of numbers");
    }
    if (v.size() % 2 != 0) {
      Fail("points holds an odd count of numbers (" + std::to_string(v.size()) + ")");
    }
    if (v.size() < 4) {
      Fail("no geometry: points needs at least two points");
    }
    std::string d = "M" + Pt(v[0], v[1]);
    for (size_t i = 2; i < v.size(); i += 2) {
      d += " L" + Pt(v[i], v[i + 1]);
    }
    return closed ? d + " Z" : d;
  }

  // Clockwise from the top-left corner (after the corner's rounding), as SVG outlines a rect.
  std::string RectPath() const {
    const double x = Length("x", SvgAxis::kX);
    const double y = Length("y", SvgAxis::kY);
    const double w = Length("width", SvgAxis::kX);
    const double h = Length("height", SvgAxis::kY);
    if (!(w > 0.0 && h > 0.0)) {
      Fail("no geometry: width and height must both be greater than 0");
    }
    // A radius given alone serves both axes; each is at most half the side.
    const bool hasRx = static_cast<bool>(node_.attribute("rx"));
    const bool hasRy = static_cast<bool>(node_.attribute("ry"));
    double rx = hasRx ? Length("rx", SvgAxis::kX) : 0.0;
    double ry = hasRy ? Length("ry", SvgAxis::kY) : 0.0;
    if (hasRx != hasRy) {
      (hasRx ? ry : rx) = hasRx ? rx : ry;
    }
    rx = std::clamp(rx, 0.0, w / 2.0);
    ry = std::clamp(ry, 0.0, h / 2.0);
    if (rx == 0.0 || ry == 0.0) {
      return "M" + Pt(x, y) + " L" + Pt(x + w, y) + " L" + Pt(x + w, y + h) + " L" + Pt(x, y + h) +
             " Z";
    }
    const std::string corner = " A" + Pt(rx, ry) + " 0 0 1";
    std::string d = "M" + Pt(x + rx, y);
    // Straight sides only where the corners leave some.
    const auto side = [&](bool room, double px, double py) {
      if (room) {
        d += " L" + Pt(px, py);
      }
    };
    side(w > 2.0 * rx, x + w - rx, y);
    d += corner + Pt(x + w, y + ry);
    side(h > 2.0 * ry, x + w, y + h - ry);
    d += corner + Pt(x + w - rx, y + h);
    side(w > 2.0 * rx, x + rx, y + h);
    d += corner + Pt(x, y + h - ry);
    side(h > 2.0 * ry, x, y + ry);
    d += corner + Pt(x + rx, y) + " Z";
    return d;
  }

  // Four quarter arcs from the rightmost point, clockwise on screen, as SVG outlines them.
  static std::string EllipsePath(double cx, double cy, double rx, double ry) {
    const std::string quarter = " A" + Pt(rx, ry) + " 0 0 1";
    return "M" + Pt(cx + rx, cy) + quarter + Pt(cx, cy + ry) + quarter + Pt(cx - rx, cy) + quarter +
           Pt(cx, cy - ry) + quarter + Pt(cx + rx, cy) + " Z";
  }

  pugi::xml_node node_;
  std::string name_;
  SvgViewport viewport_;
};

}  // namespace

std::string_view SvgLocalName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsSvgShape(std::string_view localName) {
  return std::any_of(std::begin(kShapes), std::end(kShapes),
                     [&](const char* shape) { return localName == shape; });
}

std::string DescribeSvgElement(const pugi::xml_node& node) {
  std::string text = "<" + std::string(node.name());
  if (const pugi::xml_attribute id = node.attribute("id")) {
    text += " id=\"" + std::string(id.value()) + "\"";
  }
  return text + ">";
}

double SvgLengthAttribute(const pugi::xml_node& node, const char* attribute, SvgAxis axis,
                          SvgViewport viewport, double fallback) {
  const pugi::xml_attribute a = node.attribute(attribute);
  if (!a) {
    return fallback;
  }
  const std::optional<double> length = SvgLength(a.value(), axis, viewport);
  if (!length) {
    throw SvgFileError(DescribeSvgElement(node),
                       std::string(attribute) + "=\"" + a.value() +
                           "\" is not a length (a number, optionally with px, pt, pc, mm, cm, "
                           "in or %)");
  }
  return *length;
}

std::string SvgShapePathData(const pugi::xml_node& node, SvgViewport viewport) {
  return ElementReader(node, viewport).PathData();
}

}  // namespace lwhost
