#include "scenes/scene_render.h"

#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "core/error_names.h"
#include "core/session.h"
#include "layers/background.h"
#include "layers/fill_matte.h"
#include "layers/png_io.h"
#include "params/param_store.h"
#include "params/scene_param_mapping.h"
#include "scenes/scene_masks.h"
#include "scenes/scene_params.h"

namespace lwhost {

namespace {

Image BuildLayerImage(const Scene& scene, const SceneLayer& layer) {
  switch (layer.kind) {
    case SceneLayerKind::kImage:
      try {
        return ReadPng(layer.imagePath, scene.bitDepth);
      } catch (const std::runtime_error& e) {
        throw SceneError(scene.fileName, JsonPointerChild(layer.pointer, "image"), e.what());
      }
    case SceneLayerKind::kChecker:
      return MakeChecker(layer.width, layer.height, layer.cell, layer.colors, scene.bitDepth);
    case SceneLayerKind::kEmpty:
      break;
  }
  Image none;
  none.bitDepth = scene.bitDepth;
  return none;
}

// A key's frame as a scene writes it: 12, or 12.5.
std::string FrameText(double frame) {
  std::ostringstream text;
  text << frame;
  return text.str();
}

int32_t CeilDiv(int32_t a, int32_t b) {
  return (a + b - 1) / b;
}

}  // namespace

SceneRenderer::SceneRenderer(Session& session, Scene scene)
    : session_(session), scene_(std::move(scene)), layers_(scene_.bitDepth) {
  PF_PathID nextPath = 1;
  for (const SceneMask& mask : scene_.masks) {
    masks_.SetKeys(nextPath, BuildSceneMaskKeys(scene_, mask));
    pathIds_[mask.name] = nextPath++;
  }
  int32_t nextLayer = 1;
  for (const SceneLayer& layer : scene_.layers) {
    Image image = BuildLayerImage(scene_, layer);
    if (image.bytes.empty()) {
      layers_.SetEmpty(nextLayer);
    } else {
      layers_.SetImage(nextLayer, std::move(image));
    }
    layerIds_[layer.name] = nextLayer++;
  }

  const CommandResult setup = session_.Send(PF_Cmd_PARAMS_SETUP);
  if (setup.err != PF_Err_NONE) {
    throw EffectError("parameter set-up failed with error " + std::to_string(setup.err) + " (" +
                          ErrorName(setup.err) + ")",
                      setup.err);
  }
  const std::vector<ParamDeclaration> declared = SceneDeclarations(session_.DeclaredParams());
  std::set<int32_t> layerIndices;
  for (const ParamDeclaration& param : declared) {
    if (param.type == DeclaredType::kLayer) {
      layerIndices.insert(param.index);
    }
  }
  const std::vector<ResolvedParam> resolved = ResolveSceneParams(scene_, declared);
  params_ = std::make_unique<ParamStore>(session_);
  if (PF_Err err = ApplySceneParams(*params_, resolved, layerIds_, pathIds_); err != PF_Err_NONE) {
    throw EffectError("loading the width curve failed with error " + std::to_string(err) + " (" +
                          ErrorName(err) + ")",
                      err);
  }

  RegisterPathSuites(session_, masks_);
  RegisterFillMatteSuite(session_);
  InstallLayerHooks(session_, layers_, *params_, std::move(layerIndices));
}

SceneRenderer::~SceneRenderer() {
  ClearLayerHooks(session_);
  UnregisterPathSuites(session_);
}

std::string SceneRenderer::PathWarning() const {
  const int index = params_->IndexOfLabel(kPathLabel);
  if (index < 0) {
    return "";
  }
  std::vector<ParamKey> chosen = params_->Keys(index);
  const bool animated = !chosen.empty();
  if (!animated) {
    chosen.push_back({0.0, params_->Static(index)});
  }
  const std::string label = "\"" + std::string(kPathLabel) + "\"";
  for (const ParamKey& key : chosen) {
    const std::string from = animated ? " from frame " + FrameText(key.frame) : std::string();
    const PF_PathID id = key.value.pathId;
    if (id == 0) {
      return label + " names no mask" + from + ", so nothing is drawn";
    }
    // Every key of a mask has the same vertex count, so one key answers for all.
    const std::optional<Mask> mask = masks_.Find(id);
    if (!mask || MaskSegmentCount(*mask) > 0) {
      continue;
    }
    for (const auto& [name, pathId] : pathIds_) {
      if (pathId == id) {
        const size_t n = mask->vertices.size();
        return label + " names the mask \"" + name + "\"" + from + ", which has " +
               std::to_string(n) + (n == 1 ? " vertex" : " vertices") +
               " and no segment, so nothing is drawn";
      }
    }
  }
  return "";
}

int32_t SceneRenderer::WorldWidth() const {
  return CeilDiv(scene_.layerWidth, scene_.downsampleX);
}

int32_t SceneRenderer::WorldHeight() const {
  return CeilDiv(scene_.layerHeight, scene_.downsampleY);
}

void SceneRenderer::CompositeBackground(FrameOutput& output) {
  const SceneBackground& background = scene_.background;
  if (background.kind == SceneBackgroundKind::kColor) {
    CompositeOverColor(output.image, background.color);
  } else if (background.kind == SceneBackgroundKind::kLayer) {
    const PF_LayerDef plate =
        layers_.World(LayerIdOf(background.layer), scene_.downsampleX, scene_.downsampleY);
    CompositeOverPlate(output.image, output.originX, output.originY, plate);
  }
}

PF_PathID SceneRenderer::PathIdOf(const std::string& maskName) const {
  const auto found = pathIds_.find(maskName);
  return found == pathIds_.end() ? PF_PathID{0} : found->second;
}

int32_t SceneRenderer::LayerIdOf(const std::string& layerName) const {
  const auto found = layerIds_.find(layerName);
  return found == layerIds_.end() ? 0 : found->second;
}

FrameRequest SceneRenderer::RequestFor(int32_t frame, PF_ParamDef** params) const {
  FrameRequest request;
  request.params = params;
  request.layerWidth = WorldWidth();
  request.layerHeight = WorldHeight();
  request.bitDepth = scene_.bitDepth;
  request.downsampleX = scene_.downsampleX;
  request.downsampleY = scene_.downsampleY;
  request.frameRate = scene_.frameRate;
  request.frame = frame;
  request.totalFrames = scene_.lastFrame + 1;
  return request;
}

FrameSetupResult SceneRenderer::SetupFrame(int32_t frame) {
  const std::unique_ptr<ParamArray> array = params_->At(frame);
  if (const PF_Err err = array->Error(); err != PF_Err_NONE) {
    FrameSetupResult failed;
    failed.err = err;
    return failed;
  }
  return lwhost::SetupFrame(session_, RequestFor(frame, array->Pointers()));
}

FrameOutput SceneRenderer::RenderFrame(int32_t frame, const RenderOptions& options) {
  const std::unique_ptr<ParamArray> array = params_->At(frame);
  if (const PF_Err err = array->Error(); err != PF_Err_NONE) {
    // A value of this frame could not be made (the effect's INTERP failed): a render without it
    // would pass a wrong frame off as a good one.
    FrameOutput failed;
    failed.err = err;
    return failed;
  }
  FrameRequest request = RequestFor(frame, array->Pointers());
  request.rowPadding = options.rowPadding;
  request.progress = options.progress;
  request.threads = options.threads;
  request.cancelled = options.cancelled;
  return RenderFrameCommands(session_, request);
}

}  // namespace lwhost
