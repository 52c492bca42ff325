// Request bodies on every route of the studio, in any order, against one studio on a small scene
// in a folder of its own. Whatever the bytes, every reply is a 200 or a 4xx with a JSON body
// {"error", "location"} (a 409 where the built-in scene has no file): never a crash, a 500 or a
// reply that is not JSON. The first byte of each request picks the route, the next two its length.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz_check.h"
#include "studio.h"

namespace {

constexpr int kMaxRequests = 8;

constexpr const char* kScene = R"json({
  "layer": {"width": 64, "height": 48},
  "layers": {"checker": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                         "colors": ["#E8553BFF", "#2D7DD2FF"]}},
  "masks": {"spine": {"vertices": [[4, 40], [32, 8], [60, 40]]}},
  "params": {"Path": "spine", "Source": "checker", "Thickness (0 = from source)": 6}
})json";

lwstudio::Studio& TheStudio() {
  static lwstudio::Studio* studio = [] {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "lathewind-fuzz-studio";
    std::filesystem::create_directories(folder);
    lwstudio::StudioScene scene;  // no file: Save and Export answer 409 once the body is checked
    scene.text = kScene;
    scene.folder = folder;
    return new lwstudio::Studio(LATHEWIND_PLUGIN_PATH, std::move(scene));
  }();
  return *studio;
}

void CheckReply(const lwstudio::Reply& reply, const std::string& route) {
  lwfuzz::Check(reply.status == 200 || (reply.status >= 400 && reply.status < 500),
                route + " answered " + std::to_string(reply.status) + ": " + reply.body);
  const auto body = nlohmann::json::parse(reply.body, nullptr, false);
  lwfuzz::Check(!body.is_discarded(), route + " answered text that is not JSON: " + reply.body);
  if (reply.status != 200) {
    lwfuzz::Check(body.is_object() && body.contains("error") && body.contains("location"),
                  route + " refused without an error and a location: " + reply.body);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  lwstudio::Studio& studio = TheStudio();
  for (int i = 0; i < kMaxRequests && input.remaining_bytes() > 0; ++i) {
    const int route = input.ConsumeIntegralInRange<int>(0, 4);
    const std::string body = input.ConsumeBytesAsString(input.ConsumeIntegral<uint16_t>());
    switch (route) {
      case 0:
        CheckReply(studio.PutScene(body), "PUT /api/scene");
        break;
      case 1:
        CheckReply(studio.GraphEvent(body), "POST /api/graph/event");
        break;
      case 2:
        CheckReply(studio.StartExport(body), "POST /api/export");
        break;
      case 3:
        CheckReply(studio.Save(body), "POST /api/save");
        break;
      default:
        CheckReply(studio.Masks(), "GET /api/masks");
        break;
    }
  }
  // Whatever came before, the scene it holds is one it can show.
  CheckReply(studio.GetScene(), "GET /api/scene");
  return 0;
}
