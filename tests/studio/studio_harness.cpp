#include "studio_harness.h"

#include <fstream>
#include <sstream>

namespace lwstudiotest {

RunningStudio::RunningStudio(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  lwstudio::StudioScene scene;
  scene.text = text.str();
  scene.file = file;
  scene.folder = file.parent_path();
  scene.name = file.filename().string();
  studio_ = std::make_unique<lwstudio::Studio>(LATHEWIND_PLUGIN_PATH, std::move(scene));
  server_ = std::make_unique<lwstudio::StudioServer>(*studio_);
  port_ = server_->Bind(0);
  thread_ = std::thread([this] { server_->Run(); });
}

RunningStudio::~RunningStudio() {
  server_->Stop();
  thread_.join();
}

std::string SmallSceneText() {
  return R"json({
  "layer": {"width": 320, "height": 180},
  "frames": [0, 9],
  "layers": {
    "checker": {"pattern": "checker", "width": 96, "height": 32, "cell": 8,
                "colors": ["#E8553BFF", "#2D7DD2FF"]}
  },
  "masks": {
    "spine": {"vertices": [[30, 120], [160, 60], [290, 120]],
              "inTangents": [[0, 0], [-50, 0], [0, 0]],
              "outTangents": [[0, 0], [50, 0], [0, 0]]}
  },
  "params": {
    "Path": "spine",
    "Source": "checker",
    "Fit": "Tile",
    "Thickness (0 = from source)": 30,
    "Offset": {"keys": [[0, 0], [9, 40]]}
  }
}
)json";
}

}  // namespace lwstudiotest
