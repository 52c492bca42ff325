// Stills by content: PNG (libpng), JPEG, TIFF and DPX (FFmpeg's decoders), OpenEXR (OpenEXR).
#pragma once

#include <string>

#include "layers/image.h"

namespace lwhost {

class OpenedFile;

// Decodes the still in `file` at `bitDepth` bits, whatever its name says. `name` is the file as
// the scene wrote it, for messages. Throws FootageError.
Image DecodeStill(const OpenedFile& file, int bitDepth, const std::string& name);

// Whether the file's first bytes are those of a still kind DecodeStill reads.
bool HoldsStill(const OpenedFile& file);

}  // namespace lwhost
