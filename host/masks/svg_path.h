// SVG path data ("M 10 10 C 40 0 80 0 110 10 Z") read into a mask: one subpath of the commands
// M, L, H, V, C, S, Q, T, A and Z, absolute (upper case) and relative (lower case).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "masks/mask.h"

namespace lwhost {

// A path that cannot be read. The message names what is wrong and where ("character 14" counts
// from 1); offset() is the same place counted from 0.
class SvgPathError : public std::invalid_argument {
 public:
  SvgPathError(const std::string& message, size_t offset)
      : std::invalid_argument(message), offset_(offset) {}
  size_t offset() const { return offset_; }

 private:
  size_t offset_;
};

// Lines become segments with zero tangents, quadratics the equivalent cubics and arcs the cubics
// of SvgArcToCubics (svg_arc.h). Z closes the mask; a last point equal to the first is then
// dropped, so that a closed mask has no zero-length closing segment. A second subpath, malformed
// or out-of-range numbers, a missing leading M and unknown letters throw SvgPathError.
Mask ParseSvgPath(std::string_view data);

// Every subpath of data that may hold several (a drawing's path), in order; a subpath without a
// segment (a lone move) is left out. Errors as for ParseSvgPath, apart from the second subpath.
std::vector<Mask> ParseSvgSubpathList(std::string_view data);

}  // namespace lwhost
