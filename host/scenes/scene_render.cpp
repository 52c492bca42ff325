#include "scenes/scene_render.h"

#include <iostream>
#include <set>
#include <utility>
#include <vector>

#include "core/error_names.h"
#include "core/file_gate.h"
#include "core/session.h"
#include "layers/fill_matte.h"
#include "masks/mask_keys.h"
#include "masks/svg_file.h"
#include "masks/svg_path.h"
#include "media/frame_cache.h"
#include "media/movie.h"
#include "media/sequence.h"
#include "params/param_store.h"
#include "params/scene_param_mapping.h"
#include "scenes/scene_params.h"

namespace lwhost {

namespace {

Mask BuildShape(const Scene& scene, const SceneMaskShape& shape) {
  if (shape.isSvg) {
    try {
      return ParseSvgPath(shape.svg);
    } catch (const SvgPathError& e) {
      throw SceneError(scene.fileName, JsonPointerChild(shape.pointer, "svg"), e.what());
    }
  }
  if (shape.isSvgFile) {
    const std::string pointer = JsonPointerChild(shape.pointer, "svgFile");
    SvgMaskRequest request;
    request.id = shape.svgId;
    request.fit = shape.svgFitLayer ? SvgFit::kLayer : SvgFit::kNone;
    request.layerWidth = scene.layerWidth;
    request.layerHeight = scene.layerHeight;
    try {
      SvgFileMask read = MaskFromSvgFile(shape.svgFile, request);
      for (const std::string& warning : read.warnings) {
        std::cerr << scene.fileName << ": " << pointer << ": warning: " << shape.svgFileAsWritten
                  << ": " << warning << "\n";
      }
      return std::move(read.mask);
    } catch (const SvgFileError& e) {
      throw SceneError(scene.fileName, pointer, shape.svgFileAsWritten + ": " + e.what());
    }
  }
  const auto vecs = [](const std::vector<ScenePoint>& points) {
    std::vector<Vec2> out;
    out.reserve(points.size());
    for (const ScenePoint& p : points) {
      out.push_back(Vec2{p.x, p.y});
    }
    return out;
  };
  try {
    return MakeMask(vecs(shape.vertices), vecs(shape.inTangents), vecs(shape.outTangents),
                    shape.closed);
  } catch (const std::invalid_argument& e) {
    throw SceneError(scene.fileName, shape.pointer, e.what());
  }
}

std::string DescribeShape(const Mask& mask) {
  return std::to_string(mask.vertices.size()) + " vertices and is " +
         (mask.closed ? "closed" : "open");
}

// A keyframed mask's keys, checked to have one shape that can be interpolated.
std::vector<MaskKey> BuildMaskKeys(const Scene& scene, const SceneMask& mask) {
  std::vector<MaskKey> keys;
  if (mask.keys.empty()) {
    keys.push_back({0.0, BuildShape(scene, mask)});
    return keys;
  }
  for (const SceneMaskKey& key : mask.keys) {
    keys.push_back({key.frame, BuildShape(scene, key.shape)});
  }
  if (const int bad = FirstMismatchedMaskKey(keys); bad >= 0) {
    throw SceneError(scene.fileName, mask.keys[bad].shape.pointer,
                     "key " + std::to_string(bad) + " has " + DescribeShape(keys[bad].mask) +
                         " but key 0 has " + DescribeShape(keys[0].mask) +
                         ": every key needs the same vertex count and closedness");
  }
  return keys;
}

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

int32_t CeilDiv(int32_t a, int32_t b) {
  return (a + b - 1) / b;
}

}  // namespace

SceneRenderer::SceneRenderer(Session& session, Scene scene, const FileGate& gate)
    : session_(session), scene_(std::move(scene)), layers_(scene_.bitDepth) {
  PF_PathID nextPath = 1;
  for (const SceneMask& mask : scene_.masks) {
    masks_.SetKeys(nextPath, BuildMaskKeys(scene_, mask));
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

int32_t SceneRenderer::WorldWidth() const {
  return CeilDiv(scene_.layerWidth, scene_.downsampleX);
}

int32_t SceneRenderer::WorldHeight() const {
  return CeilDiv(scene_.layerHeight, scene_.downsampleY);
}

PF_PathID SceneRenderer::PathIdOf(const std::string& maskName) const {
  const auto found = pathIds_.find(maskName);
  return found == pathIds_.end() ? PF_PathID{0} : found->second;
}

int32_t SceneRenderer::LayerIdOf(const std::string& layerName) const {
  const auto found = layerIds_.find(layerName);
  return found == layerIds_.end() ? 0 : found->second;
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
  FrameRequest request;
  request.params = array->Pointers();
  request.layerWidth = WorldWidth();
  request.layerHeight = WorldHeight();
  request.bitDepth = scene_.bitDepth;
  request.downsampleX = scene_.downsampleX;
  request.downsampleY = scene_.downsampleY;
  request.frameRate = scene_.frameRate;
  request.frame = frame;
  request.totalFrames = scene_.lastFrame + 1;
  request.rowPadding = options.rowPadding;
  request.progress = options.progress;
  request.threads = options.threads;
  request.cancelled = options.cancelled;
  return RenderFrameCommands(session_, request);
}

}  // namespace lwhost
