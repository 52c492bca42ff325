// Scene files through the loader: any text either gives a scene or a SceneError, nothing else.
// Image paths resolve against an empty folder of its own, so no input reads a real file.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "scene.h"

namespace {

std::filesystem::path EmptyFolder() {
  static const std::filesystem::path folder = [] {
    std::filesystem::path f = std::filesystem::temp_directory_path() / "lathewind-fuzz-scene";
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    (void)lwhost::ParseSceneText(text, "fuzz.json", EmptyFolder());
  } catch (const lwhost::SceneError&) {
    // The expected answer to bad input; any other exception escapes and ends the run.
  }
  return 0;
}
