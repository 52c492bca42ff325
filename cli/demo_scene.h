// The built-in demo scene of `lathewind render`: a textured ribbon along a flowing S-shaped mask,
// compiled into the program so that a first render needs no files.
#pragma once

#include <filesystem>
#include <string_view>

#include "layers/image.h"
#include "scenes/scene.h"

namespace lwcli {

// The demo scene as scene-file text. Its one source layer names kDemoTextureFile, relative to the
// scene's folder.
std::string_view DemoSceneText();
inline constexpr std::string_view kDemoTextureFile = "demo-texture.png";

// The demo's source texture, drawn in code: rainbow bands across the strip, diagonal stripes and a
// row of soft-edged holes, so that stretch, shading and transparency all show.
lwhost::Image MakeDemoTexture();

// The demo scene ready to render: the texture is written to `folder` (which must exist) and the
// text parsed against it. The texture file may be removed once the scene's layers are loaded.
lwhost::Scene LoadDemoScene(const std::filesystem::path& folder);

// A temporary folder for the demo's texture, removed with everything in it when destroyed.
class DemoFolder {
 public:
  DemoFolder();
  ~DemoFolder();
  DemoFolder(const DemoFolder&) = delete;
  DemoFolder& operator=(const DemoFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace lwcli
