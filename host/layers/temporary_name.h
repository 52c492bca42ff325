// How a file comes to exist whole: it is written as ".NAME.tmp<pid>-<n>" in its own folder and
// renamed to NAME when complete, so a file under its final name is always whole and anything
// partial a killed writer leaves behind carries a temporary name.
#pragma once

#include <filesystem>

namespace lwhost {

// A temporary name for `path` in the same folder (so the final rename stays within one file
// system) that no other writer in this or another process picks at the same time.
std::filesystem::path TemporaryName(const std::filesystem::path& path);

// True when `candidate` is a name TemporaryName(path) could have returned, by this or another
// process.
bool IsTemporaryNameOf(const std::filesystem::path& candidate, const std::filesystem::path& path);

}  // namespace lwhost
