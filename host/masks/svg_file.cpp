#include "masks/svg_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "masks/svg_path.h"

namespace lwhost {
namespace {

constexpr const char* kShapes[] = {"path", "line",   "polyline", "polygon",
                                   "rect", "circle", "ellipse"};
constexpr const char* kShapeList =
    "<path>, <line>, <polyline>, <polygon>, <rect>, <circle> or <ellipse>";

// The element's name without a namespace prefix ("svg:path" is a path).
std::string_view LocalName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsShape(std::string_view name) {
  return std::any_of(std::begin(kShapes), std::end(kShapes),
                     [&](const char* shape) { return name == shape; });
}

std::string Describe(const pugi::xml_node& node) {
  std::string text = "<" + std::string(node.name());
  if (const pugi::xml_attribute id = node.attribute("id")) {
    text += " id=\"" + std::string(id.value()) + "\"";
  }
  return text + ">";
}

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

// Numbers separated by white space and/or one comma, as in points="10,20 30,40" and viewBox.
// Returns false on anything else.
bool NumberList(std::string_view text, std::vector<double>* numbers) {
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
  explicit ElementReader(const pugi::xml_node& node) : node_(node), name_(Describe(node)) {}

  [[noreturn]] void Fail(const std::string& reason) const { throw SvgFileError(name_, reason); }

  // A length in user units: a number, optionally followed by "px". `fallback` when absent.
  double Length(const char* attribute, double fallback = 0.0) const {
    const pugi::xml_attribute a = node_.attribute(attribute);
    if (!a) {
      return fallback;
    }
    std::string_view text = Trim(a.value());
    if (text.size() > 2 && text.substr(text.size() - 2) == "px") {
      text.remove_suffix(2);
    }
    std::vector<double> numbers;
    if (!NumberList(text, &numbers) || numbers.size() != 1) {
      Fail(std::string(attribute) + "=\"" + a.value() +
           "\" is not a length in user units (a number, optionally with px)");
    }
    return numbers[0];
  }

  // Path data for the element's geometry, and whether it is a <path> (whose extra subpaths are
  // dropped with a warning) or a generated outline.
  std::string PathData() const {
    const std::string_view kind = LocalName(node_);
    if (kind == "path") {
      const std::string d = node_.attribute("d").value();
      if (Trim(d).empty()) {
        Fail("no geometry: the d attribute is missing or empty");
      }
      return d;
    }
    if (kind == "line") {
      return "M" + Pt(Length("x1"), Length("y1")) + " L" + Pt(Length("x2"), Length("y2"));
    }
    if (kind == "polyline" || kind == "polygon") {
      return PointsPath(kind == "polygon");
    }
    if (kind == "rect") {
      return RectPath();
    }
    if (kind == "circle") {
      const double r = Length("r");
      if (!(r > 0.0)) {
        Fail("no geometry: r must be greater than 0");
      }
      return EllipsePath(Length("cx"), Length("cy"), r, r);
    }
    if (kind == "ellipse") {
      const double rx = Length("rx");
      const double ry = Length("ry");
      if (!(rx > 0.0 && ry > 0.0)) {
        Fail("no geometry: rx and ry must both be greater than 0");
      }
      return EllipsePath(Length("cx"), Length("cy"), rx, ry);
    }
    Fail(std::string("no geometry: only ") + kShapeList + " elements are read");
  }

 private:
  std::string PointsPath(bool closed) const {
    std::vector<double> v;
    if (!NumberList(node_.attribute("points").value(), &v)) {
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
    const double x = Length("x");
    const double y = Length("y");
    const double w = Length("width");
    const double h = Length("height");
    if (!(w > 0.0 && h > 0.0)) {
      Fail("no geometry: width and height must both be greater than 0");
    }
    // A radius given alone serves both axes; each is at most half the side.
    const bool hasRx = static_cast<bool>(node_.attribute("rx"));
    const bool hasRy = static_cast<bool>(node_.attribute("ry"));
    double rx = hasRx ? Length("rx") : 0.0;
    double ry = hasRy ? Length("ry") : 0.0;
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
};

pugi::xml_node FindElement(const pugi::xml_node& root, const std::string& id) {
  return root.find_node([&](const pugi::xml_node& node) {
    if (node.type() != pugi::node_element) {
      return false;
    }
    return id.empty() ? LocalName(node) == "path" : id == node.attribute("id").value();
  });
}

// The element's transform after those of its ancestors, outermost last.
Affine TransformOf(const pugi::xml_node& element) {
  Affine m;
  for (pugi::xml_node node = element; node.type() == pugi::node_element; node = node.parent()) {
    const pugi::xml_attribute transform = node.attribute("transform");
    if (!transform) {
      continue;
    }
    try {
      m = Compose(ParseSvgTransform(transform.value()), m);
    } catch (const SvgTransformError& e) {
      throw SvgFileError(Describe(node), e.what());
    }
  }
  return m;
}

Affine FitOf(const pugi::xml_node& root, const SvgMaskRequest& request) {
  const pugi::xml_attribute viewBox = root.attribute("viewBox");
  if (!viewBox) {
    throw SvgFileError(Describe(root), "\"fit\": \"layer\" needs a viewBox on the root <svg>");
  }
  std::vector<double> v;
  if (!NumberList(viewBox.value(), &v) || v.size() != 4 || !(v[2] > 0.0 && v[3] > 0.0)) {
    throw SvgFileError(Describe(root), "viewBox=\"" + std::string(viewBox.value()) +
                                           "\" is not \"x y width height\" with a positive size");
  }
  return FitViewBox(v[0], v[1], v[2], v[3], request.layerWidth, request.layerHeight);
}

}  // namespace

SvgFileError::SvgFileError(std::string element, std::string reason)
    : std::runtime_error(element.empty() ? reason : element + ": " + reason),
      element_(std::move(element)),
      reason_(std::move(reason)) {}

Affine FitViewBox(double x, double y, double w, double h, double layerWidth, double layerHeight) {
  const double scale = std::min(layerWidth / w, layerHeight / h);
  return {scale,
          0.0,
          0.0,
          scale,
          (layerWidth - w * scale) / 2.0 - x * scale,
          (layerHeight - h * scale) / 2.0 - y * scale};
}

SvgFileMask MaskFromSvgText(std::string_view text, const SvgMaskRequest& request) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
  if (!parsed) {
    throw SvgFileError("", std::string("not an SVG file: XML error \"") + parsed.description() +
                               "\" at byte " + std::to_string(parsed.offset));
  }
  const pugi::xml_node root = document.document_element();
  if (LocalName(root) != "svg") {
    throw SvgFileError(
        "", "not an SVG file: the root element is <" + std::string(root.name()) + ">, not <svg>");
  }
  const pugi::xml_node element = FindElement(root, request.id);
  if (!element) {
    throw SvgFileError("", request.id.empty() ? std::string("no <path> element in the drawing")
                                              : "no element with id \"" + request.id + "\"");
  }
  SvgFileMask result;
  result.element = Describe(element);
  const ElementReader reader(element);
  if (!IsShape(LocalName(element))) {
    reader.Fail(std::string("no geometry: only ") + kShapeList + " elements are read");
  }
  SvgSubpath subpath;
  try {
    subpath = ParseFirstSvgSubpath(reader.PathData());
  } catch (const SvgPathError& e) {
    reader.Fail(e.what());
  }
  if (MaskSegmentCount(subpath.mask) == 0) {
    reader.Fail("no geometry: the outline has no segment");
  }
  if (subpath.moreSubpaths) {
    result.warnings.push_back(result.element +
                              " has more than one subpath; only the first is used");
  }
  Affine m = TransformOf(element);
  if (request.fit == SvgFit::kLayer) {
    m = Compose(FitOf(root, request), m);
  }
  result.mask = TransformedMask(subpath.mask, m);
  return result;
}

SvgFileMask MaskFromSvgFile(const std::filesystem::path& file, const SvgMaskRequest& request) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in || in.bad()) {
    throw SvgFileError("", "cannot read the file");
  }
  return MaskFromSvgText(text.str(), request);
}

}  // namespace lwhost
