// Resuming a render that stopped midway (`render --skip-existing`, a requeued farm task): which
// frames are already on disk.
#pragma once

#include <filesystem>

namespace lwhost {

// True when `frameFile` exists under its final name: every writer renames a file into place only
// when it is complete (see temporary_name.h), so such a file is whole and is not rendered again.
// Otherwise removes what a writer killed while writing this frame left behind (its temporaries)
// and returns false: the frame is to be rendered.
bool FrameAlreadyWritten(const std::filesystem::path& frameFile);

}  // namespace lwhost
