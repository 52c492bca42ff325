// OpenEXR stills, read through an Imf::IStream over the gate's descriptor.
#pragma once

#include <string>

#include "layers/image.h"

namespace lwhost {

// Reads the first part's R, G, B (and A) channels over its data window. EXR values are
// premultiplied already: each becomes clamp(c, 0, 1) x S, rounded, NaN as 0, a missing A as 1.
// Throws FootageError naming `name` (no R, G, B, a size over kMaxFootageSide, damage).
Image DecodeExr(int fd, int bitDepth, const std::string& name);

// One channel value into a world of full scale `scale`.
uint32_t ExrToStored(float value, uint32_t scale);

}  // namespace lwhost
