// Scene files: the JSON description of a render (layer size, bit depth, downsampling, frames,
// source layers, masks and parameter values), read into plain records.
//
// Reading is in two steps. ParseSceneFile checks everything the file alone can decide (keys,
// kinds of values, ranges of the scene's own entries, image files). Values whose meaning depends
// on the effect's declared parameters are checked and converted by ResolveSceneParams
// (scene_params.h) once the effect has declared them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_gate.h"
#include "layers/image.h"
#include "params/key_interpolation.h"
#include "params/lathewind_effect.h"

namespace lwhost {

struct FileGate;

// A bad scene: names the file, the JSON location (a JSON pointer such as "/params/Taper Start";
// empty for the whole document) and what is wrong.
class SceneError : public std::runtime_error {
 public:
  SceneError(std::string file, std::string pointer, std::string problem);
  const std::string& file() const { return file_; }
  const std::string& pointer() const { return pointer_; }
  const std::string& problem() const { return problem_; }

 private:
  std::string file_;
  std::string pointer_;
  std::string problem_;
};

// The JSON pointer of `key` inside the object at `parent` ("~" and "/" escaped as ~0 and ~1).
std::string JsonPointerChild(const std::string& parent, std::string_view key);

inline constexpr int32_t kMaxLayerSide = 16384;  // largest layer side a scene may ask for
inline constexpr int32_t kMaxDownsample = 16;    // coarsest downsampling a scene may ask for
// The last frame a scene may name: the host's times are 32-bit and a frame's is 1000 x frame.
inline constexpr int32_t kMaxSceneFrame = std::numeric_limits<int32_t>::max() / 1000;

struct ScenePoint {
  double x = 0.0;
  double y = 0.0;
};

// kImage: a still; kSequence: "name.%04d.ext"; kVideo: a movie's video stream.
enum class SceneLayerKind { kImage, kSequence, kVideo, kChecker, kEmpty };

struct SceneLayer {
  std::string name;
  std::string pointer;  // where the layer is in the file, for later errors
  SceneLayerKind kind = SceneLayerKind::kEmpty;
  // kImage, kSequence, kVideo: the file (or pattern), resolved against the scene's folder; a
  // still's and a movie's file exists.
  std::filesystem::path imagePath;
  std::string imageAsWritten;    // for messages
  int64_t start = 0;             // kSequence, kVideo: the scene frame the first frame shows at
  bool loop = false;             // kSequence, kVideo: repeat past the end, rather than hold
  std::optional<int64_t> first;  // kSequence: the first file's number (default: the lowest)
  int stream = 0;                // kVideo: among the movie's video streams
  int32_t width = 0;             // kChecker
  int32_t height = 0;            // kChecker
  double cell = 1.0;             // kChecker: side of one checker square, > 0
  std::array<StraightColor8, 2> colors{};  // kChecker
};

// One shape of a mask, as written in the file; turned into segments when the scene is loaded
// (scene_render.h).
struct SceneMaskShape {
  std::string pointer;  // where the shape is in the file, for later errors
  // Given as SVG path data: `svg` holds the text, to be turned into segments by the SVG reader;
  // the vertex lists stay empty.
  bool isSvg = false;
  std::string svg;
  // Given as an element of an SVG file: the file (resolved against the scene's folder; it
  // exists), the element's id (empty for the first element drawn) and whether the viewBox is
  // fitted into the layer.
  bool isSvgFile = false;
  std::filesystem::path svgFile;
  std::string svgFileAsWritten;  // for messages
  std::string svgId;
  bool svgFitLayer = false;
  std::optional<int> svgSubpath;  // "subpath": which subpath of a path of several, from 0
  // Given as vertices: the three lists have the same length (missing tangent lists are zeros).
  std::vector<ScenePoint> vertices;
  std::vector<ScenePoint> inTangents;
  std::vector<ScenePoint> outTangents;
  bool closed = false;
};

// A key is [frame, value] or [frame, value, "linear" | "hold" | "ease"]: the third entry says how
// the span from this key to the next moves; absent, it is linear (and is written back absent).
struct SceneMaskKey {
  double frame = 0.0;
  SceneMaskShape shape;
  KeyInterpolation interpolation = KeyInterpolation::kLinear;
};

// A still mask is its own shape; a keyframed one ({"keys": ...}) has its shapes in `keys`, frames
// strictly ascending, at least one.
struct SceneMask : SceneMaskShape {
  std::string name;
  std::vector<SceneMaskKey> keys;
};

// One parameter value as written in the file, before the effect's declarations give it meaning.
enum class SceneValueKind {
  kNumber,  // sliders, angles (degrees), popups by number
  kText,    // popup choice text, layer name, mask name
  kPoints,  // "Width Graph" as a list of [x, y] points
  kFlat,    // "Width Graph" as {"flat": "HEX"}: the 100-byte stored form
};

struct SceneValue {
  SceneValueKind kind = SceneValueKind::kNumber;
  std::string pointer;  // where the value is in the file
  double number = 0.0;
  std::string text;
  std::vector<ScenePoint> points;
  std::array<uint8_t, kFlatCurveBytes> flat{};
};

struct SceneKey {
  double frame = 0.0;
  SceneValue value;
  KeyInterpolation interpolation = KeyInterpolation::kLinear;  // as for SceneMaskKey
};

struct SceneParam {
  std::string label;
  std::string pointer;
  // A plain value is one key at frame 0 with `animated` false; {"keys": ...} gives the keys in
  // strictly ascending frame order, at least one.
  bool animated = false;
  std::vector<SceneKey> keys;
};

// The plate the effect's output is composited over before it is written.
enum class SceneBackgroundKind { kNone, kColor, kLayer };

struct SceneBackground {
  SceneBackgroundKind kind = SceneBackgroundKind::kNone;
  StraightColor8 color;  // kColor
  std::string layer;     // kLayer: the name of one of the scene's layers
};

struct Scene {
  std::string fileName;          // as given, for messages
  std::filesystem::path folder;  // relative paths in the file are relative to this
  FileGate gate;                 // the gate its files were checked through when it was read
  int32_t layerWidth = 1280;
  int32_t layerHeight = 720;
  int bitDepth = 8;
  int32_t downsampleX = 1;
  int32_t downsampleY = 1;
  double frameRate = 24.0;
  int32_t firstFrame = 0;  // frames to render, inclusive
  int32_t lastFrame = 0;
  std::vector<SceneLayer> layers;  // in file order
  std::vector<SceneMask> masks;    // in file order
  std::vector<SceneParam> params;  // in file order
  SceneBackground background;
};

// Reads and checks a scene file. Throws SceneError.
Scene ParseSceneFile(const std::filesystem::path& path);

// Reads scene text (the built-in demo scene, tests). `fileName` names it in messages; relative
// image paths are resolved against `folder`; the files it names are opened through `gate`.
// Throws SceneError.
Scene ParseSceneText(std::string_view text, const std::string& fileName,
                     const std::filesystem::path& folder, const FileGate& gate = OpenGate());

// What keeps `text` from being read as JSON by the scene reader before it is parsed (lists and
// objects nested too deep, numbers beyond a double), or "". Every JSON body the host takes is
// checked by the same rule.
std::string JsonTextProblem(std::string_view text);

// The full-resolution pixels a still layer stands for, at the scene's bit depth: the image read
// through `gate` and converted, the checker drawn, or a world without pixels (also for moving
// layers: see scene_render.h). An image that cannot be read is reported as SceneError at the
// layer's "image" entry.
Image LoadSceneLayer(const Scene& scene, const SceneLayer& layer, const FileGate& gate);

// Looks a layer or mask up by name; null when there is none.
const SceneLayer* FindSceneLayer(const Scene& scene, std::string_view name);
const SceneMask* FindSceneMask(const Scene& scene, std::string_view name);

}  // namespace lwhost
