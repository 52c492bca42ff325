// Frames already on disk, read back as the samples their files hold, so that `lathewind encode`
// puts exactly those numbers in a movie (reading them into a premultiplied world and out again
// would round faint pixels).
#pragma once

#include <filesystem>

#include "media/output_pixels.h"

namespace lwhost {

// A PNG's samples as straight RGBA: 16-bit files give 16-bit samples, anything else 8-bit (grey,
// palette and missing alpha expanded the way PNG defines them). Throws OutputError naming the
// path and the reason.
FileFrame ReadPngSamples(const std::filesystem::path& path);

}  // namespace lwhost
