#include "scenes/scene.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "core/file_gate.h"
#include "core/nearest_name.h"
#include "layers/background.h"
#include "layers/png_io.h"
#include "media/footage.h"
#include "media/still.h"
#include "scenes/frame_pattern.h"

namespace lwhost {
namespace {

// Objects keep the file's order, so layers, masks and parameters come out as written.
using Json = nlohmann::ordered_json;

// The host's times are 32-bit: time_scale = round(1000 x frameRate), current_time = 1000 x frame.
constexpr double kTimeUnitsPerFrame = 1000.0;
constexpr double kMaxTimeScale = std::numeric_limits<int32_t>::max();
constexpr int32_t kMaxStreams = 1000;  // more video streams than any file has

std::string Describe(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case Json::value_t::string:
      return "a text";
    case Json::value_t::array:
      return "a list";
    case Json::value_t::object:
      return "an object";
    default:
      return value.dump();  // numbers are shown as they are
  }
}

std::string Quote(std::string_view text) {
  // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on `"\"" + std::string`.
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}

// Deeper than any scene needs ({"params": {"Width Graph": {"keys": [[0, [[0, 1]]]]}}} is 6).
constexpr int kMaxNesting = 64;

struct TextCheck {
  std::string problem;  // "" when the text passed
  std::string rootAt;   // "line L, column C" of the document's first value
};

std::string LineColumn(std::string_view text, size_t at) {
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Walks the text once, outside strings: lists and objects nested deeper than kMaxNesting, and
// numbers beyond the range of a double. Syntax errors are left to the JSON parser.
TextCheck CheckSceneText(std::string_view text) {
  TextCheck check;
  int depth = 0;
  bool inString = false;
  bool rootFound = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (!rootFound && c != ' ' && c != '\t' && c != '\n' && c != '\r') {
      rootFound = true;
      check.rootAt = LineColumn(text, i);
    }
    if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) {
        check.problem = LineColumn(text, i) + ": lists and objects nested deeper than " +
                        std::to_string(kMaxNesting) + " levels";
        return check;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      size_t end = i;
      while (end < text.size() && std::strchr("+-.0123456789eE", text[end]) != nullptr) {
        ++end;
      }
      const std::string number(text.substr(i, end - i));
      const double value = std::strtod(number.c_str(), nullptr);
      if (!std::isfinite(value)) {
        check.problem = LineColumn(text, i) + ": the number " + number +
                        " is too large (beyond the range of a double)";
        return check;
      }
      i = end - 1;
    }
  }
  if (check.rootAt.empty()) {
    check.rootAt = LineColumn(text, text.size());
  }
  return check;
}

// "an image", "a movie".
std::string Article(const std::string& what) {
  return (what == "image" ? "an " : "a ") + what;
}

// Why `path` cannot be read as an image (or movie) file, or "" when it is a regular file. Decided
// from the file's type alone: a FIFO or a device such as /dev/zero is never opened, so it cannot
// hang.
std::string NotAMediaFile(const std::filesystem::path& path, const std::string& what,
                          const FileGate& gate) {
  if (!gate.root.empty()) {
    // A gate that keeps to a folder decides on the file it opens, and says nothing of others.
    try {
      OpenThroughGate(path, gate);
      return "";
    } catch (const FileGateError& e) {
      return e.what();
    }
  }
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  const std::string name = Quote(path.string());
  if (error == std::errc::too_many_symbolic_link_levels) {
    return what + " file " + name + " is a loop of symbolic links";
  }
  switch (status.type()) {
    case fs::file_type::regular:
      return "";
    case fs::file_type::not_found:
      return what + " file not found: " + name;
    case fs::file_type::directory:
      return what + " file " + name + " is a folder, not " + Article(what) + " file";
    case fs::file_type::fifo:
      return what + " file " + name + " is a FIFO (named pipe), not " + Article(what) + " file";
    case fs::file_type::character:
    case fs::file_type::block:
      return what + " file " + name + " is a device, not " + Article(what) + " file";
    case fs::file_type::socket:
      return what + " file " + name + " is a socket, not " + Article(what) + " file";
    default:
      return what + " file " + name +
             " cannot be read: " + (error ? error.message() : std::string("not a regular file"));
  }
}

class SceneReader {
 public:
  SceneReader(std::string fileName, std::filesystem::path folder, FileGate gate)
      : file_(std::move(fileName)), folder_(std::move(folder)), gate_(std::move(gate)) {}

  Scene Read(const Json& root) {
    Scene scene;
    scene.fileName = file_;
    scene.folder = folder_;
    scene.gate = gate_;
    RequireObject(root, "");
    CheckKeys(root, "",
              {"layer", "bitDepth", "downsample", "frameRate", "frames", "layers", "masks",
               "params", "background"});
    if (root.contains("layer")) {
      ReadLayerSize(root["layer"], "/layer", scene);
    }
    if (root.contains("bitDepth")) {
      const int64_t depth = Integer(root["bitDepth"], "/bitDepth");
      if (depth != 8 && depth != 16) {
        Fail("/bitDepth", std::to_string(depth) + " is not a bit depth: use 8 or 16");
      }
      scene.bitDepth = static_cast<int>(depth);
    }
    if (root.contains("downsample")) {
      const Json& factors = root["downsample"];
      RequireList(factors, "/downsample", 2, "[DX, DY]");
      scene.downsampleX = IntegerIn(factors[0], "/downsample/0", 1, kMaxDownsample);
      scene.downsampleY = IntegerIn(factors[1], "/downsample/1", 1, kMaxDownsample);
    }
    if (root.contains("frameRate")) {
      ReadFrameRate(root["frameRate"], scene);
    }
    if (root.contains("frames")) {
      ReadFrames(root["frames"], scene);
    }
    if (root.contains("layers")) {
      RequireObject(root["layers"], "/layers");
      for (const auto& [name, layer] : root["layers"].items()) {
        scene.layers.push_back(ReadLayer(name, layer, JsonPointerChild("/layers", name)));
      }
    }
    if (root.contains("background")) {
      scene.background = ReadBackground(root["background"], scene);
    }
    if (root.contains("masks")) {
      RequireObject(root["masks"], "/masks");
      for (const auto& [name, mask] : root["masks"].items()) {
        scene.masks.push_back(ReadMask(name, mask, JsonPointerChild("/masks", name)));
      }
    }
    if (root.contains("params")) {
      RequireObject(root["params"], "/params");
      for (const auto& [label, value] : root["params"].items()) {
        scene.params.push_back(ReadParam(label, value, JsonPointerChild("/params", label)));
      }
    }
    return scene;
  }

  [[noreturn]] void Fail(const std::string& pointer, const std::string& problem) const {
    throw SceneError(file_, pointer, problem);
  }

 private:
  void RequireObject(const Json& value, const std::string& pointer) const {
    if (!value.is_object()) {
      Fail(pointer, "expected an object, found " + Describe(value));
    }
  }

  // A list of exactly `size` entries (any size when `size` is 0).
  void RequireList(const Json& value, const std::string& pointer, size_t size,
                   const char* form) const {
    if (!value.is_array() || (size != 0 && value.size() != size)) {
      Fail(pointer, std::string("expected ") + form + ", found " + Describe(value) +
                        (value.is_array() ? " of " + std::to_string(value.size()) : ""));
    }
  }

  // `where` names what holds the keys ("layer", "mask") in the message; null for the scene.
  void CheckKeys(const Json& object, const std::string& pointer,
                 std::initializer_list<const char*> known, const char* where = nullptr) const {
    const std::vector<std::string> names(known.begin(), known.end());
    for (const auto& [key, value] : object.items()) {
      if (std::find(names.begin(), names.end(), key) != names.end()) {
        continue;
      }
      std::string list;
      for (const std::string& name : names) {
        list += (list.empty() ? "" : ", ") + Quote(name);
      }
      Fail(JsonPointerChild(pointer, key),
           "unknown " + (where != nullptr ? std::string(where) + " " : std::string()) + "key " +
               Quote(key) + DidYouMean(key, names) + " (known: " + list + ")");
    }
  }

  double Number(const Json& value, const std::string& pointer) const {
    if (!value.is_number()) {
      Fail(pointer, "expected a number, found " + Describe(value));
    }
    const double number = value.get<double>();
    if (!std::isfinite(number)) {
      Fail(pointer, "the number is too large");
    }
    return number;
  }

  int64_t Integer(const Json& value, const std::string& pointer) const {
    const double number = Number(value, pointer);
    constexpr double kLimit = 9.0e15;  // well inside the doubles that hold integers exactly
    if (number != std::floor(number) || std::fabs(number) > kLimit) {
      Fail(pointer, "expected a whole number, found " + value.dump());
    }
    return static_cast<int64_t>(number);
  }

  int32_t IntegerIn(const Json& value, const std::string& pointer, int32_t lo, int32_t hi) const {
    const int64_t number = Integer(value, pointer);
    if (number < lo || number > hi) {
      Fail(pointer, std::to_string(number) + " is out of range " + std::to_string(lo) + " to " +
                        std::to_string(hi));
    }
    return static_cast<int32_t>(number);
  }

  // [frame, value] or [frame, value, interpolation].
  void RequireKey(const Json& value, const std::string& pointer, const char* form) const {
    if (!value.is_array() || value.size() < 2 || value.size() > 3) {
      RequireList(value, pointer, 2, form);  // names what was found
    }
  }

  // The key's third entry, linear when there is none.
  KeyInterpolation Interpolation(const Json& key, const std::string& keyPointer) const {
    if (key.size() < 3) {
      return KeyInterpolation::kLinear;
    }
    const Json& name = key[2];
    const std::optional<KeyInterpolation> known =
        name.is_string() ? KeyInterpolationNamed(name.get<std::string>()) : std::nullopt;
    if (!known) {
      Fail(keyPointer + "/2", "expected \"linear\", \"hold\" or \"ease\", found " +
                                  (name.is_string() ? name.dump() : Describe(name)));
    }
    return *known;
  }

  // A {"keys": [...]} list of parameter values or mask shapes: at least one key, frames strictly
  // ascending, no keys inside a key; `what` ("value" or "mask") names the second entry.
  template <typename Key, typename ReadEntry>
  std::vector<Key> ReadKeyList(const Json& keys, const std::string& keysPointer,
                               const std::string& what, const ReadEntry& readEntry) const {
    RequireList(keys, keysPointer, 0, ("a list of [frame, " + what + "] keys").c_str());
    if (keys.empty()) {
      Fail(keysPointer, "needs at least one [frame, " + what + "] key");
    }
    const std::string form = "a key [frame, " + what + "] or [frame, " + what + ", interpolation]";
    std::vector<Key> list;
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::string keyPointer = keysPointer + "/" + std::to_string(i);
      RequireKey(keys[i], keyPointer, form.c_str());
      const double frame = Number(keys[i][0], keyPointer + "/0");
      if (i > 0 && frame <= list.back().frame) {
        Fail(keyPointer + "/0", "key frames must ascend: " + keys[i][0].dump() +
                                    " does not come after " + keys[i - 1][0].dump());
      }
      const Json& entry = keys[i][1];
      if (entry.is_object() && entry.contains("keys")) {
        Fail(keyPointer + "/1", "keys cannot hold keys");
      }
      list.push_back(
          {frame, readEntry(entry, keyPointer + "/1"), Interpolation(keys[i], keyPointer)});
    }
    return list;
  }

  ScenePoint Point(const Json& value, const std::string& pointer) const {
    RequireList(value, pointer, 2, "a point [x, y]");
    return {Number(value[0], pointer + "/0"), Number(value[1], pointer + "/1")};
  }

  std::vector<ScenePoint> Points(const Json& value, const std::string& pointer) const {
    RequireList(value, pointer, 0, "a list of [x, y] points");
    std::vector<ScenePoint> points;
    for (size_t i = 0; i < value.size(); ++i) {
      points.push_back(Point(value[i], pointer + "/" + std::to_string(i)));
    }
    return points;
  }

  void ReadLayerSize(const Json& layer, const std::string& pointer, Scene& scene) const {
    RequireObject(layer, pointer);
    CheckKeys(layer, pointer, {"width", "height"});
    if (layer.contains("width")) {
      scene.layerWidth = IntegerIn(layer["width"], pointer + "/width", 1, kMaxLayerSide);
    }
    if (layer.contains("height")) {
      scene.layerHeight = IntegerIn(layer["height"], pointer + "/height", 1, kMaxLayerSide);
    }
  }

  void ReadFrameRate(const Json& value, Scene& scene) const {
    const double rate = Number(value, "/frameRate");
    // The host's time scale is round(1000 x rate) and must be a positive 32-bit number.
    const double timeScale = std::floor(rate * kTimeUnitsPerFrame + 0.5);
    if (rate <= 0.0 || timeScale < 1.0 || timeScale > kMaxTimeScale) {
      Fail("/frameRate", value.dump() + " is out of range: frames per second from 0.0005 to " +
                             std::to_string(static_cast<int64_t>(kMaxTimeScale) / 1000));
    }
    scene.frameRate = rate;
  }

  void ReadFrames(const Json& value, Scene& scene) const {
    if (value.is_array()) {
      RequireList(value, "/frames", 2, "a frame number or [first, last]");
      scene.firstFrame = IntegerIn(value[0], "/frames/0", 0, kMaxSceneFrame);
      scene.lastFrame = IntegerIn(value[1], "/frames/1", 0, kMaxSceneFrame);
      if (scene.lastFrame < scene.firstFrame) {
        Fail("/frames", "the last frame " + std::to_string(scene.lastFrame) +
                            " comes before the first " + std::to_string(scene.firstFrame));
      }
      return;
    }
    scene.firstFrame = scene.lastFrame = IntegerIn(value, "/frames", 0, kMaxSceneFrame);
  }

  // "#RRGGBB", "#RRGGBBAA" or the name of a layer of the scene.
  SceneBackground ReadBackground(const Json& value, const Scene& scene) const {
    const std::string pointer = "/background";
    if (!value.is_string() || value.get<std::string>().empty()) {
      Fail(pointer, "expected a colour \"#RRGGBB\" or \"#RRGGBBAA\" or a layer name, found " +
                        Describe(value));
    }
    const std::string text = value.get<std::string>();
    SceneBackground background;
    if (text[0] == '#') {
      const std::optional<StraightColor8> color = ParseHexColor(text);
      if (!color) {
        Fail(pointer, "expected a colour \"#RRGGBB\" or \"#RRGGBBAA\", found " + Quote(text));
      }
      background.kind = SceneBackgroundKind::kColor;
      background.color = *color;
      return background;
    }
    if (FindSceneLayer(scene, text) == nullptr) {
      std::vector<std::string> names;
      for (const SceneLayer& layer : scene.layers) {
        names.push_back(layer.name);
      }
      Fail(pointer, "no layer named " + Quote(text) + DidYouMean(text, names) + " in \"layers\"");
    }
    background.kind = SceneBackgroundKind::kLayer;
    background.layer = text;
    return background;
  }

  StraightColor8 Color(const Json& value, const std::string& pointer) const {
    constexpr size_t kColorText = 9;  // "#RRGGBBAA"
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    bool ok = value.is_string() && text.size() == kColorText && text[0] == '#';
    uint8_t channel[4] = {};
    for (size_t i = 0; ok && i < 4; ++i) {
      const int high = HexDigit(text[1 + 2 * i]);
      const int low = HexDigit(text[2 + 2 * i]);
      ok = high >= 0 && low >= 0;
      channel[i] = static_cast<uint8_t>(high * 16 + low);
    }
    if (!ok) {
      Fail(pointer, "expected a colour \"#RRGGBBAA\", found " +
                        (value.is_string() ? Quote(text) : Describe(value)));
    }
    return {channel[0], channel[1], channel[2], channel[3]};
  }

  static int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
      return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
      return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
      return c - 'A' + 10;
    }
    return -1;
  }

  // The path a layer reads, as written and resolved against the scene's folder.
  void ReadMediaPath(const Json& value, const std::string& pointer, const char* form,
                     SceneLayer& layer) const {
    if (!value.is_string() || value.get<std::string>().empty()) {
      Fail(pointer, std::string("expected the path of ") + form + ", found " + Describe(value));
    }
    layer.imageAsWritten = value.get<std::string>();
    layer.imagePath = folder_ / std::filesystem::path(layer.imageAsWritten);
  }

  // "start" and "loop", the keys every moving layer takes.
  void ReadPlacement(const Json& value, const std::string& pointer, SceneLayer& layer) const {
    if (value.contains("start")) {
      layer.start = IntegerIn(value["start"], pointer + "/start", -kMaxSceneFrame, kMaxSceneFrame);
    }
    if (value.contains("loop")) {
      if (!value["loop"].is_boolean()) {
        Fail(pointer + "/loop", "expected true or false, found " + Describe(value["loop"]));
      }
      layer.loop = value["loop"].get<bool>();
    }
  }

  // {"image": "still.png"} or {"image": "f.%04d.png", "start": S, "first": N, "loop": false}.
  void ReadImageLayer(const Json& value, const std::string& pointer, SceneLayer& layer) const {
    ReadMediaPath(value["image"], pointer + "/image", "an image file", layer);
    if (!NamesImageSequence(layer.imagePath.filename().string())) {
      for (const char* key : {"start", "first", "loop", "stream"}) {
        if (value.contains(key)) {
          Fail(JsonPointerChild(pointer, key),
               std::string("\"") + key + "\" is for " +
                   (std::string(key) == "stream" ? "a movie" : "an image sequence") + ": " +
                   Quote(layer.imageAsWritten) + " has no frame field such as %04d");
        }
      }
      layer.kind = SceneLayerKind::kImage;
      if (const std::string problem = NotAMediaFile(layer.imagePath, "image", gate_);
          !problem.empty()) {
        Fail(pointer + "/image", problem);
      }
      return;
    }
    CheckKeys(value, pointer, {"image", "start", "first", "loop"}, "image sequence");
    layer.kind = SceneLayerKind::kSequence;
    ReadPlacement(value, pointer, layer);
    if (value.contains("first")) {
      layer.first = Integer(value["first"], pointer + "/first");
    }
  }

  // {"video": "clip.mov", "start": S, "loop": false, "stream": K}.
  void ReadVideoLayer(const Json& value, const std::string& pointer, SceneLayer& layer) const {
    CheckKeys(value, pointer, {"video", "start", "loop", "stream"}, "video");
    ReadMediaPath(value["video"], pointer + "/video", "a movie file", layer);
    layer.kind = SceneLayerKind::kVideo;
    ReadPlacement(value, pointer, layer);
    if (value.contains("stream")) {
      layer.stream = IntegerIn(value["stream"], pointer + "/stream", 0, kMaxStreams);
    }
    if (const std::string problem = NotAMediaFile(layer.imagePath, "movie", gate_);
        !problem.empty()) {
      Fail(pointer + "/video", problem);
    }
  }

  SceneLayer ReadLayer(const std::string& name, const Json& value,
                       const std::string& pointer) const {
    if (name.empty()) {
      Fail(pointer, "a layer needs a name");
    }
    RequireObject(value, pointer);
    SceneLayer layer;
    layer.name = name;
    layer.pointer = pointer;
    // A misspelt key ("imgae") is named before the question of which kind of layer this is.
    CheckKeys(value, pointer,
              {"image", "video", "start", "first", "loop", "stream", "pattern", "width", "height",
               "cell", "colors", "empty"},
              "layer");
    const int kinds =
        static_cast<int>(value.contains("image")) + static_cast<int>(value.contains("video")) +
        static_cast<int>(value.contains("pattern")) + static_cast<int>(value.contains("empty"));
    if (kinds != 1) {
      Fail(pointer,
           "a layer is exactly one of {\"image\": ...}, {\"video\": ...}, "
           "{\"pattern\": \"checker\", ...} or {\"empty\": true}");
    }
    if (value.contains("image")) {
      ReadImageLayer(value, pointer, layer);
    } else if (value.contains("video")) {
      ReadVideoLayer(value, pointer, layer);
    } else if (value.contains("pattern")) {
      CheckKeys(value, pointer, {"pattern", "width", "height", "cell", "colors"}, "layer");
      for (const char* key : {"width", "height", "cell", "colors"}) {
        if (!value.contains(key)) {
          Fail(pointer, std::string("a checker layer needs \"") + key + "\"");
        }
      }
      if (value["pattern"] != "checker") {
        Fail(pointer + "/pattern",
             "unknown pattern " + value["pattern"].dump() + ": the only pattern is \"checker\"");
      }
      layer.kind = SceneLayerKind::kChecker;
      layer.width = IntegerIn(value["width"], pointer + "/width", 1, kMaxLayerSide);
      layer.height = IntegerIn(value["height"], pointer + "/height", 1, kMaxLayerSide);
      layer.cell = Number(value["cell"], pointer + "/cell");
      if (layer.cell <= 0.0) {
        Fail(pointer + "/cell", value["cell"].dump() + " is not a cell size: use a number above 0");
      }
      RequireList(value["colors"], pointer + "/colors", 2, "two colours [\"#RRGGBBAA\", ...]");
      layer.colors = {Color(value["colors"][0], pointer + "/colors/0"),
                      Color(value["colors"][1], pointer + "/colors/1")};
    } else {
      CheckKeys(value, pointer, {"empty"}, "layer");
      if (value["empty"] != true) {
        Fail(pointer + "/empty", "expected true, found " + Describe(value["empty"]));
      }
      layer.kind = SceneLayerKind::kEmpty;
    }
    return layer;
  }

  SceneMask ReadMask(const std::string& name, const Json& value, const std::string& pointer) const {
    if (name.empty()) {
      Fail(pointer, "a mask needs a name");
    }
    RequireObject(value, pointer);
    SceneMask mask;
    mask.name = name;
    if (!value.contains("keys")) {
      static_cast<SceneMaskShape&>(mask) = ReadMaskShape(value, pointer);
      return mask;
    }
    mask.pointer = pointer;
    CheckKeys(value, pointer, {"keys"}, "mask");
    mask.keys = ReadKeyList<SceneMaskKey>(
        value["keys"], pointer + "/keys", "mask",
        [this](const Json& shape, const std::string& at) { return ReadMaskShape(shape, at); });
    return mask;
  }

  SceneMaskShape ReadMaskShape(const Json& value, const std::string& pointer) const {
    RequireObject(value, pointer);
    SceneMaskShape mask;
    mask.pointer = pointer;
    if (value.contains("svg")) {
      // Closure comes from the path data's Z, vertices from its commands.
      CheckKeys(value, pointer, {"svg"}, "mask");
      if (!value["svg"].is_string()) {
        Fail(pointer + "/svg", "expected SVG path data, found " + Describe(value["svg"]));
      }
      mask.isSvg = true;
      mask.svg = value["svg"].get<std::string>();
      return mask;
    }
    if (value.contains("svgFile")) {
      ReadSvgFileShape(value, pointer, mask);
      return mask;
    }
    CheckKeys(value, pointer,
              {"vertices", "inTangents", "outTangents", "closed", "svg", "svgFile", "keys"},
              "mask");
    if (!value.contains("vertices")) {
      Fail(pointer, "a mask needs \"vertices\", \"svg\", \"svgFile\" or \"keys\"");
    }
    mask.vertices = Points(value["vertices"], pointer + "/vertices");
    for (const char* key : {"inTangents", "outTangents"}) {
      std::vector<ScenePoint>& list = key[0] == 'i' ? mask.inTangents : mask.outTangents;
      if (!value.contains(key)) {
        list.assign(mask.vertices.size(), ScenePoint{});
        continue;
      }
      list = Points(value[key], pointer + "/" + key);
      if (list.size() != mask.vertices.size()) {
        Fail(pointer + "/" + key, "has " + std::to_string(list.size()) +
                                      " entries; \"vertices\" has " +
                                      std::to_string(mask.vertices.size()));
      }
    }
    if (value.contains("closed")) {
      if (!value["closed"].is_boolean()) {
        Fail(pointer + "/closed", "expected true or false, found " + Describe(value["closed"]));
      }
      mask.closed = value["closed"].get<bool>();
    }
    return mask;
  }

  // {"svgFile": "drawing.svg", "id": "spine", "fit": "none" | "layer", "subpath": N}: the file
  // must exist; reading the drawing waits until the scene is loaded.
  void ReadSvgFileShape(const Json& value, const std::string& pointer, SceneMaskShape& mask) const {
    CheckKeys(value, pointer, {"svgFile", "id", "fit", "subpath"}, "mask");
    const Json& file = value["svgFile"];
    if (!file.is_string() || file.get<std::string>().empty()) {
      Fail(pointer + "/svgFile", "expected the path of an SVG file, found " + Describe(file));
    }
    mask.isSvgFile = true;
    mask.svgFileAsWritten = file.get<std::string>();
    mask.svgFile = folder_ / std::filesystem::path(mask.svgFileAsWritten);
    if (!gate_.root.empty()) {
      // A gate that keeps to a folder decides on the file it opens, and says nothing of others.
      try {
        OpenThroughGate(mask.svgFile, gate_);
      } catch (const FileGateError& e) {
        Fail(pointer + "/svgFile", e.what());
      }
    } else if (std::error_code error; !std::filesystem::is_regular_file(mask.svgFile, error)) {
      Fail(pointer + "/svgFile", "SVG file not found: " + Quote(mask.svgFile.string()));
    }
    if (value.contains("id")) {
      const Json& id = value["id"];
      if (!id.is_string() || id.get<std::string>().empty()) {
        Fail(pointer + "/id", "expected an element id, found " + Describe(id));
      }
      mask.svgId = id.get<std::string>();
    }
    if (value.contains("fit")) {
      const Json& fit = value["fit"];
      if (fit != "none" && fit != "layer") {
        Fail(pointer + "/fit", "expected \"none\" or \"layer\", found " +
                                   (fit.is_string() ? fit.dump() : Describe(fit)));
      }
      mask.svgFitLayer = fit == "layer";
    }
    if (value.contains("subpath")) {
      mask.svgSubpath =
          IntegerIn(value["subpath"], pointer + "/subpath", 0, std::numeric_limits<int32_t>::max());
    }
  }

  SceneValue ReadValue(const Json& value, const std::string& pointer) const {
    SceneValue result;
    result.pointer = pointer;
    if (value.is_number()) {
      result.kind = SceneValueKind::kNumber;
      result.number = Number(value, pointer);
    } else if (value.is_string()) {
      result.kind = SceneValueKind::kText;
      result.text = value.get<std::string>();
    } else if (value.is_array()) {
      result.kind = SceneValueKind::kPoints;
      result.points = Points(value, pointer);
    } else if (value.is_object() && value.contains("flat")) {
      CheckKeys(value, pointer, {"flat"});
      result.kind = SceneValueKind::kFlat;
      result.flat = Flat(value["flat"], pointer + "/flat");
    } else {
      Fail(pointer,
           "expected a number, a text, a list of [x, y] points, {\"flat\": \"HEX\"} or "
           "{\"keys\": [[frame, value], ...]}, found " +
               Describe(value));
    }
    return result;
  }

  std::array<uint8_t, kFlatCurveBytes> Flat(const Json& value, const std::string& pointer) const {
    std::array<uint8_t, kFlatCurveBytes> bytes{};
    const std::string text = value.is_string() ? value.get<std::string>() : std::string();
    bool ok = value.is_string() && text.size() == 2 * kFlatCurveBytes;
    for (size_t i = 0; ok && i < kFlatCurveBytes; ++i) {
      const int high = HexDigit(text[2 * i]);
      const int low = HexDigit(text[2 * i + 1]);
      ok = high >= 0 && low >= 0;
      bytes[i] = static_cast<uint8_t>(high * 16 + low);
    }
    if (!ok) {
      Fail(pointer,
           "expected " + std::to_string(2 * kFlatCurveBytes) +
               " hex digits (the 100-byte stored form), found " +
               (value.is_string() ? std::to_string(text.size()) + " characters" : Describe(value)));
    }
    return bytes;
  }

  SceneParam ReadParam(const std::string& label, const Json& value,
                       const std::string& pointer) const {
    SceneParam param;
    param.label = label;
    param.pointer = pointer;
    if (!value.is_object() || !value.contains("keys")) {
      param.keys.push_back({0.0, ReadValue(value, pointer)});
      return param;
    }
    CheckKeys(value, pointer, {"keys"});
    param.animated = true;
    param.keys = ReadKeyList<SceneKey>(
        value["keys"], pointer + "/keys", "value",
        [this](const Json& keyValue, const std::string& at) { return ReadValue(keyValue, at); });
    return param;
  }

  std::string file_;
  std::filesystem::path folder_;
  FileGate gate_;
};

}  // namespace

SceneError::SceneError(std::string file, std::string pointer, std::string problem)
    : std::runtime_error(file + ": " + (pointer.empty() ? std::string() : pointer + ": ") +
                         problem),
      file_(std::move(file)),
      pointer_(std::move(pointer)),
      problem_(std::move(problem)) {}

std::string JsonPointerChild(const std::string& parent, std::string_view key) {
  std::string result = parent + "/";
  for (const char c : key) {
    if (c == '~') {
      result += "~0";
    } else if (c == '/') {
      result += "~1";
    } else {
      result += c;
    }
  }
  return result;
}

Scene ParseSceneText(std::string_view text, const std::string& fileName,
                     const std::filesystem::path& folder, const FileGate& gate) {
  // Checked before the JSON library sees the text: it nests by recursion, and a number it
  // cannot hold leaves it without a location to report.
  const TextCheck check = CheckSceneText(text);
  if (!check.problem.empty()) {
    throw SceneError(fileName, "", check.problem);
  }
  Json root;
  try {
    root = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& error) {
    // nlohmann's message carries the line and column.
    throw SceneError(fileName, "", std::string("not valid JSON: ") + error.what());
  } catch (const Json::exception& error) {
    throw SceneError(fileName, "", std::string("not valid JSON: ") + error.what());
  }
  if (!root.is_object()) {
    throw SceneError(
        fileName, "",
        check.rootAt + ": expected the scene as an object {...}, found " + Describe(root));
  }
  return SceneReader(fileName, folder, gate).Read(root);
}

Scene ParseSceneFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw SceneError(path.string(), "", std::string("cannot open: ") + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    throw SceneError(path.string(), "", "cannot read the file");
  }
  return ParseSceneText(text.str(), path.string(), path.parent_path());
}

std::string JsonTextProblem(std::string_view text) {
  return CheckSceneText(text).problem;
}

Image LoadSceneLayer(const Scene& scene, const SceneLayer& layer, const FileGate& gate) {
  switch (layer.kind) {
    case SceneLayerKind::kImage:
      try {
        return DecodeStill(OpenThroughGate(layer.imagePath, gate), scene.bitDepth,
                           layer.imagePath.string());
      } catch (const std::runtime_error& error) {
        throw SceneError(scene.fileName, layer.pointer + "/image", error.what());
      }
    case SceneLayerKind::kChecker:
      return MakeChecker(layer.width, layer.height, layer.cell, layer.colors, scene.bitDepth);
    case SceneLayerKind::kSequence:
    case SceneLayerKind::kVideo:
    case SceneLayerKind::kEmpty:
      break;
  }
  return MakeImage(0, 0, scene.bitDepth);
}

const SceneLayer* FindSceneLayer(const Scene& scene, std::string_view name) {
  for (const SceneLayer& layer : scene.layers) {
    if (layer.name == name) {
      return &layer;
    }
  }
  return nullptr;
}

const SceneMask* FindSceneMask(const Scene& scene, std::string_view name) {
  for (const SceneMask& mask : scene.masks) {
    if (mask.name == name) {
      return &mask;
    }
  }
  return nullptr;
}

}  // namespace lwhost
