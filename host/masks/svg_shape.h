// The outline of one SVG shape element (<path>, <line>, <polyline>, <polygon>, <rect>, <circle>,
// <ellipse>) as path data in the element's own user units.
#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "masks/svg_viewport.h"

namespace lwhost {

// "<path>, <line>, <polyline>, <polygon>, <rect>, <circle> or <ellipse>", for messages.
extern const char* const kSvgShapeList;

// The element's name without a namespace prefix ("svg:path" is a path).
std::string_view SvgLocalName(const pugi::xml_node& node);

bool IsSvgShape(std::string_view localName);

// How messages name an element: <path id="spine">.
std::string DescribeSvgElement(const pugi::xml_node& node);

// A length attribute of `node` in user units (SvgLength), `fallback` when it is absent. Throws
// SvgFileError naming the element when it is not a length.
double SvgLengthAttribute(const pugi::xml_node& node, const char* attribute, SvgAxis axis,
                          SvgViewport viewport, double fallback = 0.0);

// Path data for a shape element; `viewport` resolves its percentages. Throws SvgFileError naming
// the element when the shape has no geometry or an attribute cannot be read.
std::string SvgShapePathData(const pugi::xml_node& node, SvgViewport viewport);

}  // namespace lwhost
