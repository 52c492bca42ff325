#include "scenes/frame_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <utility>

#include "core/session.h"
#include "masks/svg_path.h"
#include "params/lathewind_effect.h"
#include "scenes/scene_masks.h"
#include "scenes/scene_render.h"

namespace lwhost {

namespace {

constexpr uint32_t kScale8 = 255;
// The last scene frame whose time (1000 x frame) still fits the host's 32-bit time values.
constexpr double kLastFrame = 2147483647.0 / 1000.0;

// Premultiplied "over": c + b x (S - a) / S, rounded to nearest.
uint8_t Over(uint32_t c, uint32_t b, uint32_t a) {
  return static_cast<uint8_t>(c + (2 * b * (kScale8 - a) + kScale8) / (2 * kScale8));
}

void CompositeOver(Image& image, const Image& background) {
  for (int32_t y = 0; y < image.height; ++y) {
    PF_Pixel* row = Pixel8(image, 0, y);
    const PF_Pixel* back = Pixel8(background, 0, y);
    for (int32_t x = 0; x < image.width; ++x) {
      PF_Pixel& p = row[x];
      const PF_Pixel& b = back[x];
      p = PF_Pixel{Over(p.alpha, b.alpha, p.alpha), Over(p.red, b.red, p.alpha),
                   Over(p.green, b.green, p.alpha), Over(p.blue, b.blue, p.alpha)};
    }
  }
}

// The scene file read, or the empty scene (every parameter at its default) without one.
Scene SceneForFrames(const FrameSceneSetup& setup) {
  Scene scene;
  if (!setup.sceneFile.empty()) {
    scene = ParseSceneFile(setup.sceneFile);
  }
  return scene;
}

}  // namespace

void StraightToStored(const FramePixels& pixels, Image* world) {
  if (world->width != pixels.width || world->height != pixels.height || world->bitDepth != 8) {
    *world = MakeImage(pixels.width, pixels.height, 8);
  }
  for (int32_t y = 0; y < pixels.height; ++y) {
    const uint8_t* in = pixels.rgba + static_cast<size_t>(y) * pixels.width * 4;
    PF_Pixel* out = Pixel8(*world, 0, y);
    for (int32_t x = 0; x < pixels.width; ++x, in += 4) {
      const uint32_t a = in[3];
      out[x] = PF_Pixel{in[3], static_cast<uint8_t>(Premultiply(in[0], a, kScale8)),
                        static_cast<uint8_t>(Premultiply(in[1], a, kScale8)),
                        static_cast<uint8_t>(Premultiply(in[2], a, kScale8))};
    }
  }
}

Image CutWindow(const Image& world, int32_t x0, int32_t y0, int32_t w, int32_t h) {
  Image window = MakeImage(w, h, world.bitDepth);
  // The rows and columns of the window that the world covers.
  const int32_t xBegin = std::clamp(-x0, 0, w);
  const int32_t xEnd = std::clamp(world.width - x0, xBegin, w);
  const int32_t yBegin = std::clamp(-y0, 0, h);
  const int32_t yEnd = std::clamp(world.height - y0, yBegin, h);
  const size_t pixelBytes = static_cast<size_t>(PixelBytes(world.bitDepth));
  for (int32_t y = yBegin; y < yEnd && xEnd > xBegin; ++y) {
    const unsigned char* from = world.bytes.data() + static_cast<size_t>(y + y0) * world.rowBytes +
                                (xBegin + x0) * pixelBytes;
    unsigned char* to =
        window.bytes.data() + static_cast<size_t>(y) * window.rowBytes + xBegin * pixelBytes;
    std::memcpy(to, from, (xEnd - xBegin) * pixelBytes);
  }
  return window;
}

void StoredToStraight(const Image& world, uint8_t* rgba) {
  for (int32_t y = 0; y < world.height; ++y) {
    StraightRow8(world, y, rgba + static_cast<size_t>(y) * world.width * 4);
  }
}

FrameScene::FrameScene(Session& session, const FrameSceneSetup& setup)
    : session_(session), width_(setup.width), height_(setup.height), threads_(setup.threads) {
  if (width_ < 1 || height_ < 1 || width_ > kMaxLayerSide || height_ > kMaxLayerSide) {
    throw std::invalid_argument("a frame of " + std::to_string(width_) + " x " +
                                std::to_string(height_) + " pixels: each side must be 1 to " +
                                std::to_string(kMaxLayerSide));
  }
  Scene scene = SceneForFrames(setup);
  // The masks in the scene layer's pixels, then scaled onto the frame.
  const double dx = static_cast<double>(scene.layerWidth) / width_;
  const double dy = static_cast<double>(scene.layerHeight) / height_;
  std::vector<std::vector<MaskKey>> maskKeys;
  for (const SceneMask& mask : scene.masks) {
    std::vector<MaskKey> keys = BuildSceneMaskKeys(scene, mask);
    for (MaskKey& key : keys) {
      key.mask = ScaledMask(key.mask, dx, dy);
    }
    maskKeys.push_back(std::move(keys));
  }
  std::optional<Mask> path;
  if (!setup.pathData.empty()) {
    try {
      path = ParseSvgPath(setup.pathData);
    } catch (const SvgPathError& e) {
      throw SceneError("path", "", e.what());
    }
  }
  scene.layerWidth = width_;
  scene.layerHeight = height_;
  scene.bitDepth = 8;
  scene.downsampleX = scene.downsampleY = 1;
  const std::vector<SceneMask> masks = scene.masks;
  renderer_ = std::make_unique<SceneRenderer>(session_, std::move(scene));

  for (size_t i = 0; i < masks.size(); ++i) {
    renderer_->Masks().SetKeys(renderer_->PathIdOf(masks[i].name), std::move(maskKeys[i]));
  }
  ParamStore& params = renderer_->Params();
  if (path) {
    const PF_PathID pathId = static_cast<PF_PathID>(masks.size() + 1);  // after the scene's own
    renderer_->Masks().Set(pathId, std::move(*path));
    const int index = params.IndexOfLabel(kPathLabel);
    if (index > 0) {
      ParamValue value = params.Static(index);
      value.pathId = pathId;
      params.SetStatic(index, value);
    }
  }

  // Every layer parameter sees the current frame; the scene's own layers serve nothing else.
  ParamHooks hooks;
  hooks.checkout = [this](CommandContext&, PF_ParamIndex index, A_long, A_long, A_u_long,
                          PF_ParamDef* param) -> PF_Err {
    if (index < 1 || index >= renderer_->Params().Count() ||
        renderer_->Params().Declaration(index).param_type != PF_Param_LAYER) {
      return PF_Err_INVALID_INDEX;
    }
    *param = PF_ParamDef{};
    param->param_type = PF_Param_LAYER;
    param->u.ld = MakeWorldView(source_);
    return PF_Err_NONE;
  };
  hooks.checkin = [](CommandContext&, PF_ParamDef*) -> PF_Err { return PF_Err_NONE; };
  session_.SetParamHooks(std::move(hooks));
}

FrameScene::~FrameScene() = default;

double FrameScene::FrameRate() const {
  return renderer_->GetScene().frameRate;
}

int32_t FrameScene::FrameAt(double seconds) const {
  const double frame = std::floor(seconds * FrameRate() + 0.5);
  return static_cast<int32_t>(std::clamp(frame, 0.0, kLastFrame));
}

void FrameScene::SetValue(int index, const ParamValue& value) {
  renderer_->Params().SetStatic(index, value);
}

ParamValue FrameScene::Value(int index) const {
  return renderer_->Params().Static(index);
}

PF_Err FrameScene::Render(int32_t frame, const FramePixels& source, const FramePixels* background,
                          uint8_t* out) {
  StraightToStored(source, &source_);
  RenderOptions options;
  options.threads = threads_;
  FrameOutput rendered = renderer_->RenderFrame(frame, options);
  if (rendered.err != PF_Err_NONE || rendered.image.bytes.empty()) {
    if (!rendered.footageProblem.empty()) {
      std::cerr << rendered.footageProblem << "\n";
    }
    std::memset(out, 0, static_cast<size_t>(width_) * height_ * 4);
    return rendered.err != PF_Err_NONE ? rendered.err : PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  Image frameWindow =
      CutWindow(rendered.image, rendered.originX, rendered.originY, width_, height_);
  if (background != nullptr) {
    StraightToStored(*background, &background_);
    CompositeOver(frameWindow, background_);
  }
  StoredToStraight(frameWindow, out);
  return PF_Err_NONE;
}

}  // namespace lwhost
