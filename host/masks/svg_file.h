// A mask taken from an element of an SVG drawing as Inkscape draws it: a <path>, <line>,
// <polyline>, <polygon>, <rect>, <circle> or <ellipse>, or a <use> that shows one, moved by its
// own transform and those of its ancestors, nested <svg> viewports (x, y, width, height, viewBox,
// preserveAspectRatio) and <use> offsets included. Drawings may be gzip-compressed (.svgz).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_gate.h"
#include "masks/mask.h"
#include "masks/svg_transform.h"

namespace lwhost {

enum class SvgFit {
  kNone,   // user units are the layer's pixels
  kLayer,  // the root's viewBox (or else its width and height) is fitted into the layer, centred
           // (xMidYMid meet)
};

struct SvgMaskRequest {
  // The element's id; empty for the first element that is drawn (a shape, or a <use> showing one,
  // outside <defs>, <symbol>, <marker>, <clipPath>, <mask> and <pattern>, not display:none).
  std::string id;
  SvgFit fit = SvgFit::kNone;
  double layerWidth = 0.0;   // the layer the viewBox is fitted into; also the root's viewport
  double layerHeight = 0.0;  // when the drawing gives none
  // Which subpath of a path of several, from 0; absent takes 0 and warns that there are more.
  std::optional<int> subpath;
};

// Drawings larger than this, or unpacking to more, are refused rather than read.
inline constexpr size_t kMaxSvgBytes = 64u << 20;

struct SvgFileMask {
  Mask mask;
  std::string element;                // how messages name it: <path id="spine">
  size_t subpathCount = 1;            // subpaths with a segment in the element's outline
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

// Reads the mask out of SVG text, plain or gzip-compressed. Throws SvgFileError when the text is
// not SVG, the id is not there, the element has no geometry, a <use> leads nowhere or back to
// itself, or the subpath asked for is not there.
SvgFileMask MaskFromSvgText(std::string_view text, const SvgMaskRequest& request);

// The same for a file, opened through `gate`; a file the gate refuses or that cannot be read is an
// SvgFileError too.
SvgFileMask MaskFromSvgFile(const std::filesystem::path& file, const SvgMaskRequest& request,
                            const FileGate& gate);

// The map that puts the viewBox (x, y, w, h) into a layer as xMidYMid meet: uniformly scaled to
// fit, centred along the other axis.
Affine FitViewBox(double x, double y, double w, double h, double layerWidth, double layerHeight);

}  // namespace lwhost
