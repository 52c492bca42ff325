// A mask taken from an element of an SVG drawing: a <path>, <line>, <polyline>, <polygon>,
// <rect>, <circle> or <ellipse>, moved by its own transform and those of its ancestors.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "masks/mask.h"
#include "masks/svg_transform.h"

namespace lwhost {

enum class SvgFit {
  kNone,   // user units are the layer's pixels
  kLayer,  // the root's viewBox is fitted into the layer, centred (xMidYMid meet)
};

struct SvgMaskRequest {
  std::string id;  // the element's id; empty for the document's first <path>
  SvgFit fit = SvgFit::kNone;
  double layerWidth = 0.0;  // the layer the viewBox is fitted into
  double layerHeight = 0.0;
};

struct SvgFileMask {
  Mask mask;
  std::string element;                // how messages name it: <path id="spine">
  std::vector<std::string> warnings;  // what was left out, for the user
};

// The drawing cannot give the mask. `element()` names the element ("" when the problem is the
// file as a whole), `reason()` says why; what() is "<element>: reason".
class SvgFileError : public std::runtime_error {
 public:
  SvgFileError(std::string element, std::string reason);
  const std::string& element() const { return element_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string element_;
  std::string reason_;
};

// Reads the mask out of SVG text. Throws SvgFileError when the text is not SVG, the id is not
// there, or the element has no geometry.
SvgFileMask MaskFromSvgText(std::string_view text, const SvgMaskRequest& request);

// The same for a file; a file that cannot be read is an SvgFileError too.
SvgFileMask MaskFromSvgFile(const std::filesystem::path& file, const SvgMaskRequest& request);

// The map that puts the viewBox (x, y, w, h) into a layer as xMidYMid meet: uniformly scaled to
// fit, centred along the other axis.
Affine FitViewBox(double x, double y, double w, double h, double layerWidth, double layerHeight);

}  // namespace lwhost
