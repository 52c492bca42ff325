#include "scenes/scene_render.h"

#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "core/error_names.h"
#include "core/file_gate.h"
#include "core/session.h"
#include "layers/background.h"
#include "layers/fill_matte.h"
#include "media/frame_cache.h"
#include "media/movie.h"
#include "media/sequence.h"
#include "params/param_store.h"
#include "params/scene_param_mapping.h"
#include "scenes/scene_masks.h"
#include "scenes/scene_params.h"

namespace lwhost {

namespace {

// A movie or an image sequence behind its cache; the first frame is decoded here, so a file that
// cannot give one is a scene error before any render.
std::shared_ptr<MovingSource> BuildMovingSource(const Scene& scene, const SceneLayer& layer,
                                                const FileGate& gate) {
  const bool video = layer.kind == SceneLayerKind::kVideo;
  const std::string pointer = JsonPointerChild(layer.pointer, video ? "video" : "image");
  const ClipPlacement placement{layer.start, layer.loop};
  try {
    std::unique_ptr<Footage> footage;
    if (video) {
      MovieRequest request;
      request.name = layer.imagePath.string();
      request.stream = layer.stream;
      request.placement = placement;
      request.bitDepth = scene.bitDepth;
      footage = OpenMovie(OpenThroughGate(layer.imagePath, gate), request);
    } else {
      SequenceRequest request;
      request.pattern = layer.imagePath;
      request.asWritten = layer.imagePath.string();
      request.first = layer.first;
      request.placement = placement;
      request.bitDepth = scene.bitDepth;
      footage = OpenSequence(request, gate);
    }
    return std::make_shared<MovingSource>(std::move(footage));
  } catch (const std::runtime_error& e) {
    throw SceneError(scene.fileName, pointer, e.what());
  }
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

SceneRenderer::SceneRenderer(Session& session, Scene scene, const FileGate& gate)
    : session_(session), scene_(std::move(scene)), layers_(scene_.bitDepth) {
  PF_PathID nextPath = 1;
  for (const SceneMask& mask : scene_.masks) {
    masks_.SetKeys(nextPath, BuildSceneMaskKeys(scene_, mask, gate));
    pathIds_[mask.name] = nextPath++;
  }
  int32_t nextLayer = 1;
  for (const SceneLayer& layer : scene_.layers) {
    if (layer.kind == SceneLayerKind::kSequence || layer.kind == SceneLayerKind::kVideo) {
      layers_.SetMoving(nextLayer, BuildMovingSource(scene_, layer, gate));
      layerIds_[layer.name] = nextLayer++;
      continue;
    }
    Image image = LoadSceneLayer(scene_, layer, gate);
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

void SceneRenderer::CompositeBackground(FrameOutput& output, int32_t frame,
                                        const CancelListener& cancelled) {
  const SceneBackground& background = scene_.background;
  if (background.kind == SceneBackgroundKind::kColor) {
    CompositeOverColor(output.image, background.color);
  } else if (background.kind == SceneBackgroundKind::kLayer) {
    LayerStore::LentWorld plate;
    try {
      // `keep` holds a moving plate's frame while it is composited.
      plate = layers_.WorldAt(LayerIdOf(background.layer), FrameTime(frame, scene_.frameRate),
                              scene_.downsampleX, scene_.downsampleY, cancelled);
    } catch (const FootageWaitCancelled&) {
      output.err = PF_Interrupt_CANCEL;
      return;
    } catch (const FootageError& e) {
      output.footageProblem = e.what();
      output.err = PF_Err_INTERNAL_STRUCT_DAMAGED;
      return;
    } catch (const std::bad_alloc&) {
      output.err = PF_Err_OUT_OF_MEMORY;
      return;
    }
    CompositeOverPlate(output.image, output.originX, output.originY, plate.world);
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
  request.hostWorkCancelled = options.hostWorkCancelled;
  return RenderFrameCommands(session_, request);
}

}  // namespace lwhost
