#include "scenes/frame_resume.h"

#include <system_error>
#include <vector>

#include "layers/temporary_name.h"

namespace lwhost {

bool FrameAlreadyWritten(const std::filesystem::path& frameFile) {
  std::error_code error;
  if (std::filesystem::is_regular_file(frameFile, error)) {
    return true;
  }
  // Leftovers are removed on a best-effort basis: one that cannot be listed or removed only
  // takes space, it never stands for the frame.
  const std::filesystem::path folder =
      frameFile.parent_path().empty() ? std::filesystem::path(".") : frameFile.parent_path();
  std::vector<std::filesystem::path> leftovers;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    if (IsTemporaryNameOf(entry->path().filename(), frameFile.filename())) {
      leftovers.push_back(entry->path());
    }
  }
  for (const std::filesystem::path& leftover : leftovers) {
    std::filesystem::remove(leftover, error);
  }
  return false;
}

}  // namespace lwhost
