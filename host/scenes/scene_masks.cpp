#include "scenes/scene_masks.h"

#include <iostream>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/file_gate.h"
#include "masks/bezier.h"
#include "masks/mask.h"
#include "masks/svg_file.h"
#include "masks/svg_path.h"

namespace lwhost {

namespace {

Mask BuildShape(const Scene& scene, const SceneMaskShape& shape, const FileGate& gate) {
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
    request.subpath = shape.svgSubpath;
    try {
      SvgFileMask read = MaskFromSvgFile(shape.svgFile, request, gate);
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

// A segment the host cannot measure would fail every render of the frame: name it now.
Mask CheckedMeasurable(const Scene& scene, const std::string& pointer, Mask mask) {
  for (int i = 0; i < MaskSegmentCount(mask); ++i) {
    if (const std::string why = WhyUnmeasurable(MaskSegment(mask, i)); !why.empty()) {
      throw SceneError(scene.fileName, pointer,
                       "segment " + std::to_string(i) + " cannot be measured: " + why);
    }
  }
  return mask;
}

std::string DescribeShape(const Mask& mask) {
  return std::to_string(mask.vertices.size()) + " vertices and is " +
         (mask.closed ? "closed" : "open");
}

}  // namespace

std::vector<MaskKey> BuildSceneMaskKeys(const Scene& scene, const SceneMask& mask,
                                        const FileGate& gate) {
  std::vector<MaskKey> keys;
  if (mask.keys.empty()) {
    keys.push_back({0.0, CheckedMeasurable(scene, mask.pointer, BuildShape(scene, mask, gate))});
    return keys;
  }
  for (const SceneMaskKey& key : mask.keys) {
    keys.push_back({key.frame,
                    CheckedMeasurable(scene, key.shape.pointer, BuildShape(scene, key.shape, gate)),
                    key.interpolation});
  }
  if (const int bad = FirstMismatchedMaskKey(keys); bad >= 0) {
    throw SceneError(scene.fileName, mask.keys[bad].shape.pointer,
                     "key " + std::to_string(bad) + " has " + DescribeShape(keys[bad].mask) +
                         " but key 0 has " + DescribeShape(keys[0].mask) +
                         ": every key needs the same vertex count and closedness");
  }
  return keys;
}

}  // namespace lwhost
