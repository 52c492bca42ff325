#include "masks/svg_file.h"

#include <algorithm>
#include <cmath>
#include <pugixml.hpp>
#include <set>
#include <unordered_map>

#include "masks/svg_bytes.h"
#include "masks/svg_path.h"
#include "masks/svg_shape.h"
#include "masks/svg_viewport.h"

namespace lwhost {
namespace {

// Elements whose content is never drawn where it stands (a <symbol> only through a <use>).
constexpr const char* kNotDrawn[] = {"defs", "symbol", "marker", "clipPath", "mask", "pattern"};
// Elements whose children are drawn with them.
constexpr const char* kContainers[] = {"g", "a", "switch", "svg", "symbol"};
// More element visits than this through <use> is a drawing built to take forever.
constexpr int kMaxVisits = 1000000;
// Deeper nesting (elements in elements, uses of uses) than this is refused, not followed down.
constexpr size_t kMaxDepth = 512;

template <size_t N>
bool Among(std::string_view name, const char* const (&names)[N]) {
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return name == n; });
}

std::string_view Trim(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\n\r\f");
  if (begin == std::string_view::npos) {
    return {};
  }
  return text.substr(begin, text.find_last_not_of(" \t\n\r\f") - begin + 1);
}

// display="none", or display:none in the style attribute (which wins).
bool DisplayNone(const pugi::xml_node& node) {
  bool none = Trim(node.attribute("display").value()) == "none";
  std::string_view style = node.attribute("style").value();
  while (!style.empty()) {
    const size_t end = std::min(style.find(';'), style.size());
    const std::string_view declaration = style.substr(0, end);
    style.remove_prefix(std::min(end + 1, style.size()));
    const size_t colon = declaration.find(':');
    if (colon != std::string_view::npos && Trim(declaration.substr(0, colon)) == "display") {
      none = Trim(declaration.substr(colon + 1)) == "none";
    }
  }
  return none;
}

Affine Translate(double x, double y) {
  return {1.0, 0.0, 0.0, 1.0, x, y};
}

// Where a shape was found: the element and the map from its user units to the drawing's.
struct Found {
  pugi::xml_node node;
  Affine m;
  SvgViewport viewport;  // for the shape's percentages
};

// The size a <use> gives the <svg> or <symbol> it shows; absent values are the shown element's.
struct UseSize {
  std::optional<double> width;
  std::optional<double> height;
};

class DrawingWalker {
 public:
  DrawingWalker(const pugi::xml_document& document, SvgViewport rootViewport)
      : root_(document.document_element()), rootViewport_(rootViewport) {
    for (pugi::xml_node node = root_; node; node = Next(node)) {
      if (const pugi::xml_attribute id = node.attribute("id")) {
        ids_.emplace(id.value(), node);  // the first of two equal ids counts
      }
    }
  }

  pugi::xml_node ById(const std::string& id) const {
    const auto found = ids_.find(id);
    return found == ids_.end() ? pugi::xml_node() : found->second;
  }

  // The first shape drawn in document order, <use> followed.
  std::optional<Found> FirstDrawn() {
    std::vector<pugi::xml_node> uses;
    return Visit(root_, Affine{}, rootViewport_, nullptr, false, uses);
  }

  // The shape an element chosen by id stands for: itself, or what its <use> chain shows. Where it
  // stands in the drawing decides its map, even inside <defs>.
  Found Chosen(const pugi::xml_node& node) {
    Affine m;
    SvgViewport viewport = rootViewport_;
    std::vector<pugi::xml_node> ancestors;
    for (pugi::xml_node up = node.parent(); up.type() == pugi::node_element; up = up.parent()) {
      ancestors.push_back(up);
    }
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
      m = Compose(m, LocalMap(*it, viewport, nullptr, &viewport));
    }
    std::vector<pugi::xml_node> uses;
    const std::optional<Found> found = Visit(node, m, viewport, nullptr, true, uses);
    if (!found) {
      throw SvgFileError(DescribeSvgElement(node), "no geometry: the element draws nothing");
    }
    return *found;
  }

 private:
  // Document order without recursion.
  pugi::xml_node Next(pugi::xml_node node) const {
    if (pugi::xml_node child = node.first_child()) {
      return child;
    }
    while (node && node != root_) {
      if (pugi::xml_node sibling = node.next_sibling()) {
        return sibling;
      }
      node = node.parent();
    }
    return {};
  }

  // The map an element sets up for its children (and, for a shape, itself) inside its parent's
  // user units: its transform, then for a nested <svg> or a shown <symbol> the viewport (x, y,
  // width, height) and the viewBox in it. `*inner` becomes the viewport its children see.
  Affine LocalMap(const pugi::xml_node& node, SvgViewport outer, const UseSize* shownBy,
                  SvgViewport* inner) const {
    Affine m;
    if (const pugi::xml_attribute transform = node.attribute("transform")) {
      try {
        m = ParseSvgTransform(transform.value());
      } catch (const SvgTransformError& e) {
        throw SvgFileError(DescribeSvgElement(node), e.what());
      }
    }
    *inner = outer;
    const std::string_view name = SvgLocalName(node);
    const bool nestedSvg = name == "svg" && node != root_;
    if (!nestedSvg && !(name == "symbol" && shownBy != nullptr)) {
      return m;
    }
    const double x = SvgLengthAttribute(node, "x", SvgAxis::kX, outer);
    const double y = SvgLengthAttribute(node, "y", SvgAxis::kY, outer);
    double width = SvgLengthAttribute(node, "width", SvgAxis::kX, outer, outer.width);
    double height = SvgLengthAttribute(node, "height", SvgAxis::kY, outer, outer.height);
    if (shownBy != nullptr) {
      width = shownBy->width.value_or(width);
      height = shownBy->height.value_or(height);
    }
    m = Compose(m, Translate(x, y));
    *inner = {width, height};
    const pugi::xml_attribute viewBoxText = node.attribute("viewBox");
    if (!viewBoxText) {
      return m;
    }
    const std::optional<SvgViewBox> viewBox = ParseSvgViewBox(viewBoxText.value());
    if (!viewBox) {
      throw SvgFileError(DescribeSvgElement(node),
                         "viewBox=\"" + std::string(viewBoxText.value()) +
                             "\" is not \"x y width height\" with a positive size");
    }
    *inner = {viewBox->width, viewBox->height};
    if (!(width > 0.0 && height > 0.0)) {
      return Compose(m, Affine{0.0, 0.0, 0.0, 0.0, 0.0, 0.0});  // a viewport of no size
    }
    try {
      return Compose(m, SvgViewBoxTransform(*viewBox, node.attribute("preserveAspectRatio").value(),
                                            width, height));
    } catch (const SvgViewportError& e) {
      throw SvgFileError(DescribeSvgElement(node), e.what());
    }
  }

  // The first shape at or under `node`, whose parent maps by `parent`. `chosen`: the element was
  // named by id, so it counts wherever it stands, but must be a shape or a <use> of one.
  // `uses` holds the <use> elements being followed, to refuse a chain that comes back.
  std::optional<Found> Visit(const pugi::xml_node& node, const Affine& parent, SvgViewport viewport,
                             const UseSize* shownBy, bool chosen,
                             std::vector<pugi::xml_node>& uses) {
    if (++visits_ > kMaxVisits) {
      throw SvgFileError("", "the drawing shows more than " + std::to_string(kMaxVisits) +
                                 " elements through <use>; it is not read");
    }
    if (++depth_ > kMaxDepth) {
      throw SvgFileError(DescribeSvgElement(node), "elements and uses nested deeper than " +
                                                       std::to_string(kMaxDepth) +
                                                       " levels are not read");
    }
    struct Leave {
      size_t& depth;
      ~Leave() { --depth; }
    } leave{depth_};
    const std::string_view name = SvgLocalName(node);
    const bool shown = shownBy != nullptr;
    if (!chosen &&
        ((Among(name, kNotDrawn) && !(name == "symbol" && shown)) || DisplayNone(node))) {
      return std::nullopt;
    }
    SvgViewport inner;
    Affine m = Compose(parent, LocalMap(node, viewport, shownBy, &inner));
    if (IsSvgShape(name)) {
      return Found{node, m, inner};
    }
    if (name == "use") {
      return VisitUse(node, m, inner, chosen, uses);
    }
    if (chosen && !shown) {
      throw SvgFileError(DescribeSvgElement(node), std::string("no geometry: only ") +
                                                       kSvgShapeList +
                                                       " elements, or a <use> of one, are read");
    }
    if (!Among(name, kContainers) || (chosen && shown)) {
      return std::nullopt;
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) {
        continue;
      }
      if (std::optional<Found> found = Visit(child, m, inner, nullptr, false, uses)) {
        return found;
      }
    }
    return std::nullopt;
  }

  // A <use>: its x and y move what it shows, which is drawn as the use's child. A use named by id
  // must show a shape (perhaps through more uses).
  std::optional<Found> VisitUse(const pugi::xml_node& use, const Affine& m, SvgViewport viewport,
                                bool chosen, std::vector<pugi::xml_node>& uses) {
    const std::string name = DescribeSvgElement(use);
    pugi::xml_attribute href = use.attribute("href");
    if (!href) {
      href = use.attribute("xlink:href");
    }
    const std::string_view link = Trim(href.value());
    if (link.size() < 2 || link[0] != '#') {
      throw SvgFileError(name, href ? "href=\"" + std::string(href.value()) +
                                          "\" does not name an element of this drawing (#id)"
                                    : std::string("no href: the <use> shows nothing"));
    }
    const pugi::xml_node target = ById(std::string(link.substr(1)));
    if (!target) {
      throw SvgFileError(name, "no element with id \"" + std::string(link.substr(1)) + "\"");
    }
    // Showing an element that holds a use being followed (or is one) would never end.
    uses.push_back(use);
    if (std::any_of(uses.begin(), uses.end(), [&](const pugi::xml_node& u) {
          return target == u || IsAncestor(target, u);
        })) {
      throw SvgFileError(
          name, "the <use> chain comes back to itself through " + DescribeSvgElement(target));
    }
    UseSize size;
    if (use.attribute("width")) {
      size.width = SvgLengthAttribute(use, "width", SvgAxis::kX, viewport);
    }
    if (use.attribute("height")) {
      size.height = SvgLengthAttribute(use, "height", SvgAxis::kY, viewport);
    }
    const Affine moved = Compose(m, Translate(SvgLengthAttribute(use, "x", SvgAxis::kX, viewport),
                                              SvgLengthAttribute(use, "y", SvgAxis::kY, viewport)));
    std::optional<Found> found = Visit(target, moved, viewport, &size, chosen, uses);
    uses.pop_back();
    if (chosen && !found) {
      throw SvgFileError(name, "shows " + DescribeSvgElement(target) + ", which is not " +
                                   kSvgShapeList + " (or a <use> of one)");
    }
    return found;
  }

  static bool IsAncestor(const pugi::xml_node& ancestor, pugi::xml_node node) {
    for (node = node.parent(); node; node = node.parent()) {
      if (node == ancestor) {
        return true;
      }
    }
    return false;
  }

  pugi::xml_node root_;
  SvgViewport rootViewport_;
  std::unordered_map<std::string, pugi::xml_node> ids_;
  int visits_ = 0;
  size_t depth_ = 0;
};

// The root's width or height in user units when it is an absolute length; nullopt when absent or
// a percentage (of a window the file does not know).
std::optional<double> RootSide(const pugi::xml_node& root, const char* attribute, SvgAxis axis) {
  const std::string_view text = Trim(root.attribute(attribute).value());
  if (text.empty() || text.back() == '%') {
    return std::nullopt;
  }
  const double side = SvgLengthAttribute(root, attribute, axis, {});
  return side > 0.0 ? std::optional<double>(side) : std::nullopt;
}

// The root's viewBox, or else (0, 0, width, height) from its absolute width and height.
std::optional<SvgViewBox> RootBox(const pugi::xml_node& root) {
  if (const pugi::xml_attribute viewBox = root.attribute("viewBox")) {
    const std::optional<SvgViewBox> box = ParseSvgViewBox(viewBox.value());
    if (!box) {
      throw SvgFileError(DescribeSvgElement(root),
                         "viewBox=\"" + std::string(viewBox.value()) +
                             "\" is not \"x y width height\" with a positive size");
    }
    return box;
  }
  const std::optional<double> width = RootSide(root, "width", SvgAxis::kX);
  const std::optional<double> height = RootSide(root, "height", SvgAxis::kY);
  if (width && height) {
    return SvgViewBox{0.0, 0.0, *width, *height};
  }
  return std::nullopt;
}

std::string CountText(size_t n) {
  return std::to_string(n) + (n == 1 ? " subpath" : " subpaths");
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
  std::string unpacked;
  if (IsGzip(text)) {
    unpacked = Gunzip(text, kMaxSvgBytes);
    text = unpacked;
  }
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
  if (!parsed) {
    throw SvgFileError("", std::string("not an SVG file: XML error \"") + parsed.description() +
                               "\" at byte " + std::to_string(parsed.offset));
  }
  const pugi::xml_node root = document.document_element();
  if (SvgLocalName(root) != "svg") {
    throw SvgFileError(
        "", "not an SVG file: the root element is <" + std::string(root.name()) + ">, not <svg>");
  }
  const std::optional<SvgViewBox> box = RootBox(root);
  const SvgViewport rootViewport = box ? SvgViewport{box->width, box->height}
                                       : SvgViewport{request.layerWidth, request.layerHeight};
  DrawingWalker walker(document, rootViewport);
  std::optional<Found> found;
  if (request.id.empty()) {
    found = walker.FirstDrawn();
    if (!found) {
      throw SvgFileError("", std::string("nothing in the drawing is drawn: no ") + kSvgShapeList +
                                 " outside <defs>, <symbol>, <marker>, <clipPath>, <mask> and "
                                 "<pattern>");
    }
  } else {
    const pugi::xml_node node = walker.ById(request.id);
    if (!node) {
      throw SvgFileError("", "no element with id \"" + request.id + "\"");
    }
    found = walker.Chosen(node);
  }

  SvgFileMask result;
  result.element = DescribeSvgElement(found->node);
  const auto fail = [&](const std::string& reason) { throw SvgFileError(result.element, reason); };
  std::vector<Mask> subpaths;
  try {
    subpaths = ParseSvgSubpathList(SvgShapePathData(found->node, found->viewport));
  } catch (const SvgPathError& e) {
    fail(e.what());
  }
  if (subpaths.empty()) {
    fail("no geometry: the outline has no segment");
  }
  result.subpathCount = subpaths.size();
  const int index = request.subpath.value_or(0);
  if (index < 0 || static_cast<size_t>(index) >= subpaths.size()) {
    fail("has " + CountText(subpaths.size()) + "; \"subpath\": " + std::to_string(index) +
         " is not one of them (0 to " + std::to_string(subpaths.size() - 1) + ")");
  }
  if (!request.subpath && subpaths.size() > 1) {
    result.warnings.push_back(result.element + " has " + CountText(subpaths.size()) +
                              "; subpath 0 is used (\"subpath\": 0 to " +
                              std::to_string(subpaths.size() - 1) + " picks one)");
  }
  Affine m = found->m;
  if (request.fit == SvgFit::kLayer) {
    if (!box) {
      throw SvgFileError(DescribeSvgElement(root),
                         "\"fit\": \"layer\" needs a viewBox, or a width and height in absolute "
                         "units, on the root <svg>");
    }
    m = Compose(FitViewBox(box->x, box->y, box->width, box->height, request.layerWidth,
                           request.layerHeight),
                m);
  }
  result.mask = TransformedMask(subpaths[static_cast<size_t>(index)], m);
  return result;
}

SvgFileMask MaskFromSvgFile(const std::filesystem::path& file, const SvgMaskRequest& request,
                            const FileGate& gate) {
  std::string text;
  try {
    text = ReadOpenedFile(OpenThroughGate(file, gate), kMaxSvgBytes);
  } catch (const FileGateError& e) {
    throw SvgFileError("", e.what());
  }
  return MaskFromSvgText(text, request);
}

}  // namespace lwhost
