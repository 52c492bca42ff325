#include "studio.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/error_names.h"
#include "core/nearest_name.h"
#include "core/number_text.h"
#include "layers/png_io.h"
#include "media/output_file.h"
#include "media/output_format.h"
#include "params/param_listing.h"
#include "params/param_store.h"
#include "scenes/frame_pattern.h"
#include "scenes/movie_size.h"
#include "scenes/scene.h"
#include "scenes/scene_text_edit.h"

namespace lwstudio {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// Frames a request may name: current_time = 1000 x frame must fit in 32 bits.
constexpr int64_t kMaxFrame = 2147483647 / 1000;
// Graph events happen on a 220 x 150 control; anything far outside it is a bad request.
constexpr int64_t kMaxEventCoordinate = 100000;
// A sequence export renders at most this many frames in one request.
constexpr int64_t kMaxExportFrames = 10000;

// Text from a file or a body may hold bytes that are not UTF-8: they are replaced, not thrown on.
std::string JsonText(const Json& value) {
  return value.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Reply JsonReply(const Json& body, int status = 200) {
  return Reply{status, "application/json", JsonText(body)};
}

Reply SceneErrorReply(const lwhost::SceneError& e) {
  return ErrorReply(400, e.problem(), e.pointer());
}

// A whole number in [low, high] at `key` of `body`, or the reply that refuses it.
std::optional<Reply> WholeNumber(const Json& body, const char* key, int64_t low, int64_t high,
                                 int64_t* value) {
  const Json& v = body.at(key);
  const std::string where = "/" + std::string(key);
  if (!v.is_number_integer()) {
    return ErrorReply(400, std::string(key) + " must be a whole number", where);
  }
  const bool negative = v.is_number_unsigned() ? false : v.get<int64_t>() < 0;
  if ((v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(high)) ||
      (!v.is_number_unsigned() && (v.get<int64_t>() < low || v.get<int64_t>() > high)) ||
      (negative && low >= 0)) {
    return ErrorReply(
        400,
        std::string(key) + " must lie in " + std::to_string(low) + " to " + std::to_string(high),
        where);
  }
  *value = v.get<int64_t>();
  return std::nullopt;
}

// Keys of `body` other than `known` are refused, as in a scene file.
std::optional<Reply> OnlyKeys(const Json& body, std::initializer_list<const char*> known) {
  for (const auto& [key, value] : body.items()) {
    bool found = false;
    for (const char* k : known) {
      found = found || key == k;
    }
    if (!found) {
      return ErrorReply(400, "unknown key \"" + lwhost::ShortName(key) + "\"",
                        lwhost::JsonPointerChild("", key));
    }
  }
  return std::nullopt;
}

// An empty body (a bare POST) is an empty object: the route then names what it misses.
std::optional<Json> ParseBody(const std::string& body, Reply* refusal) {
  if (body.empty()) {
    return Json::object();
  }
  // Nested as deep as a scene file may be, no deeper: the JSON library recurses.
  if (const std::string problem = lwhost::JsonTextProblem(body); !problem.empty()) {
    *refusal = ErrorReply(400, "the body is not valid: " + problem, "");
    return std::nullopt;
  }
  Json parsed = Json::parse(body, nullptr, false);
  if (parsed.is_discarded()) {
    *refusal = ErrorReply(400, "the body is not valid JSON", "");
    return std::nullopt;
  }
  if (!parsed.is_object()) {
    *refusal = ErrorReply(400, "the body must be a JSON object", "");
    return std::nullopt;
  }
  return parsed;
}

// Counts a render in flight for as long as it lives, however the render ends.
class InFlight {
 public:
  explicit InFlight(std::atomic<int>& count) : count_(count) { ++count_; }
  ~InFlight() { --count_; }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  std::atomic<int>& count_;
};

// Why `name` cannot be an export's output file name, or "".
std::string BadOutputName(const std::string& name) {
  if (name.empty()) {
    return "output must be a file name";
  }
  const fs::path path(name);
  for (const fs::path& part : path) {
    if (part.native().size() > 255) {
      return "output has a name longer than 255 bytes";
    }
  }
  const std::string last = path.filename().string();
  if (last.empty() || last == "." || last == "..") {
    return "output must name a file, not a folder";
  }
  return "";
}

bool Inside(const fs::path& folder, const fs::path& path) {
  const fs::path relative = fs::weakly_canonical(path).lexically_relative(folder);
  return !relative.empty() && *relative.begin() != ".." && relative.is_relative();
}

Json PointList(const std::vector<lwhost::MaskVertex>& vertices,
               lwhost::Vec2 lwhost::MaskVertex::*member) {
  Json list = Json::array();
  for (const lwhost::MaskVertex& v : vertices) {
    const lwhost::Vec2& p = v.*member;
    list.push_back({p.x, p.y});
  }
  return list;
}

lwhost::FrameOutput RenderWithTheHost(lwhost::SceneRenderer& renderer, int32_t frame,
                                      const lwhost::RenderOptions& options) {
  return renderer.RenderFrame(frame, options);
}

}  // namespace

Reply ErrorReply(int status, const std::string& message, const std::string& location) {
  return Reply{status, "application/json",
               JsonText(Json{{"error", message}, {"location", location}})};
}

Studio::Studio(const std::string& pluginPath, StudioScene scene, RenderCall render)
    : scene_(std::move(scene)),
      render_(render ? std::move(render) : RenderCall(RenderWithTheHost)),
      folder_(fs::weakly_canonical(fs::absolute(scene_.folder))),
      root_(scene_.root.empty() ? folder_ : fs::weakly_canonical(fs::absolute(scene_.root))),
      gate_{root_, "the studio"},
      session_(pluginPath),
      fileText_(scene_.text) {
  if (const lwhost::CommandResult setup = session_.GlobalSetup(); setup.err != PF_Err_NONE) {
    throw lwhost::EffectError("global set-up failed with error " + std::to_string(setup.err) +
                                  " (" + lwhost::ErrorName(setup.err) + ")",
                              setup.err);
  }
  {
    // The declarations, with the defaults of a store fresh from parameter set-up.
    const lwhost::CommandResult setup = session_.Send(PF_Cmd_PARAMS_SETUP);
    if (setup.err != PF_Err_NONE) {
      throw lwhost::EffectError("parameter set-up failed with error " + std::to_string(setup.err) +
                                    " (" + lwhost::ErrorName(setup.err) + ")",
                                setup.err);
    }
    const lwhost::ParamStore store(session_);
    paramsJson_ = lwhost::DeclaredParamsJson(store);
  }
  lwhost::Scene parsed = ParseText(scene_.text);
  RendererFor(parsed.downsampleX, parsed.downsampleY);
}

void Studio::Stop() {
  stopping_ = true;
  ++generation_;
}

Studio::~Studio() {
  stopping_ = true;
  if (exportThread_.joinable()) {
    exportThread_.join();
  }
  graph_.reset();
  renderer_.reset();
}

lwhost::Scene Studio::ParseText(const std::string& text) const {
  return lwhost::ParseSceneText(text, scene_.name, scene_.folder, gate_);
}

lwhost::SceneRenderer& Studio::RendererFor(int32_t dx, int32_t dy) {
  return RendererForText(scene_.text, textVersion_, dx, dy);
}

lwhost::SceneRenderer& Studio::RendererForText(const std::string& text, uint64_t version,
                                               int32_t dx, int32_t dy) {
  if (renderer_ && rendererVersion_ == version && rendererDx_ == dx && rendererDy_ == dy) {
    return *renderer_;
  }
  // One renderer serves the session at a time: the old one goes first.
  graph_.reset();
  renderer_.reset();
  lwhost::Scene scene = ParseText(text);
  scene.downsampleX = dx;
  scene.downsampleY = dy;
  renderer_.emplace(session_, std::move(scene), gate_);
  rendererVersion_ = version;
  rendererDx_ = dx;
  rendererDy_ = dy;
  return *renderer_;
}

lwhost::GraphSession& Studio::GraphAt(int64_t frame) {
  if (!renderer_ || rendererVersion_ != textVersion_) {
    const lwhost::Scene scene = ParseText(scene_.text);
    RendererFor(scene.downsampleX, scene.downsampleY);
  }
  if (!graph_ || graphFrame_ != frame) {
    graph_.reset();
    graph_ = std::make_unique<lwhost::GraphSession>(session_, renderer_->Params(),
                                                    static_cast<double>(frame));
    graphFrame_ = frame;
  }
  return *graph_;
}

Reply Studio::Params() const {
  return Reply{200, "application/json", paramsJson_};
}

Reply Studio::GetScene() {
  std::lock_guard lock(mutex_);
  return Reply{200, "application/json", scene_.text};
}

Reply Studio::PutScene(const std::string& body) {
  ++generation_;  // a render in flight is for the old scene
  std::lock_guard lock(mutex_);
  try {
    lwhost::Scene parsed = ParseText(body);
    // The effect's declarations decide the rest: bring the new scene up in place of the old, at
    // the resolution of the last frame asked for (the next is likely at the same while dragging).
    graph_.reset();
    renderer_.reset();
    const int32_t dx = rendererDx_ > 0 ? rendererDx_ : parsed.downsampleX;
    const int32_t dy = rendererDy_ > 0 ? rendererDy_ : parsed.downsampleY;
    parsed.downsampleX = dx;
    parsed.downsampleY = dy;
    renderer_.emplace(session_, std::move(parsed), gate_);
    scene_.text = body;
    rendererVersion_ = ++textVersion_;
    rendererDx_ = dx;
    rendererDy_ = dy;
  } catch (const lwhost::SceneError& e) {
    renderer_.reset();  // the old scene comes back up at the next request
    return SceneErrorReply(e);
  } catch (const lwhost::EffectError& e) {
    renderer_.reset();
    return ErrorReply(500, e.what(), "");
  }
  return JsonReply(Json{{"version", textVersion_}});
}

Reply Studio::PatchScene(const std::string& body) {
  Reply refusal;
  const std::optional<Json> patch = ParseBody(body, &refusal);
  if (!patch) {
    return refusal;
  }
  std::string merged;
  {
    std::lock_guard lock(mutex_);
    Json scene = Json::parse(scene_.text, nullptr, false);
    if (scene.is_discarded()) {
      return ErrorReply(409, "the scene being edited is not JSON", "");
    }
    scene.merge_patch(*patch);
    merged = JsonText(scene);
  }
  // Checked and brought up exactly as a whole scene put in its place.
  return PutScene(merged);
}

Reply Studio::RenderImage(int64_t frame, const std::function<lwhost::SceneRenderer&()>& rendererOf,
                          const lwhost::CancelListener& cancel, lwhost::FrameOutput* output) {
  if (frame < 0 || frame > kMaxFrame) {
    return ErrorReply(400, "frame must lie in 0 to " + std::to_string(kMaxFrame), "/frame");
  }
  try {
    lwhost::RenderOptions options;
    options.cancelled = cancel;
    options.hostWorkCancelled = cancel;
    // One frame at a time here: all the cores go to it (the bytes do not depend on the count).
    options.threads = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    lwhost::SceneRenderer& renderer = rendererOf();
    const InFlight counted(inFlight_);
    const auto cancelledReply = [this] {
      ++cancelled_;
      return ErrorReply(409, "cancelled: a newer request came in or the client left", "");
    };
    lwhost::FrameOutput out = render_(renderer, static_cast<int32_t>(frame), options);
    if (out.err != PF_Err_NONE) {
      if (cancel && cancel()) {
        return cancelledReply();
      }
      if (!out.footageProblem.empty()) {
        return ErrorReply(500, "frame " + std::to_string(frame) + ": " + out.footageProblem, "");
      }
      return ErrorReply(500,
                        "the effect answered error " + std::to_string(out.err) + " (" +
                            lwhost::ErrorName(out.err) + ") rendering frame " +
                            std::to_string(frame),
                        "");
    }
    // Over the scene's plate, as the command writes the frame.
    renderer.CompositeBackground(out, static_cast<int32_t>(frame), cancel);
    if (out.err == PF_Interrupt_CANCEL) {
      return cancelledReply();
    }
    if (out.err != PF_Err_NONE) {
      return ErrorReply(
          500,
          "frame " + std::to_string(frame) + ": " +
              (out.footageProblem.empty() ? lwhost::ErrorName(out.err) : out.footageProblem),
          "");
    }
    *output = std::move(out);
  } catch (const lwhost::SceneError& e) {
    return SceneErrorReply(e);
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
  return Reply{200, "image/png", {}};
}

Reply Studio::Frame(int64_t frame, int downsample, const std::function<bool()>& clientGone) {
  const uint64_t ticket = ++generation_;  // a newer frame request supersedes this one
  std::lock_guard lock(mutex_);
  if (downsample < 0 || downsample > lwhost::kMaxDownsample) {
    return ErrorReply(400, "downsample must lie in 1 to " + std::to_string(lwhost::kMaxDownsample),
                      "/downsample");
  }
  int32_t dx = downsample;
  int32_t dy = downsample;
  if (downsample == 0) {
    try {
      const lwhost::Scene scene = ParseText(scene_.text);
      dx = scene.downsampleX;
      dy = scene.downsampleY;
    } catch (const lwhost::SceneError& e) {
      return SceneErrorReply(e);
    }
  }
  const lwhost::CancelListener cancel = [this, ticket, &clientGone] {
    return stopping_.load() || generation_.load() != ticket || (clientGone && clientGone());
  };
  lwhost::FrameOutput output;
  Reply reply = RenderImage(
      frame, [this, dx, dy]() -> lwhost::SceneRenderer& { return RendererFor(dx, dy); }, cancel,
      &output);
  if (reply.status != 200) {
    return reply;
  }
  // Where the layer lies in the image, and at what resolution, for the page's mask overlay.
  reply.headers = {
      {"X-Lathewind-Origin", std::to_string(output.originX) + "," + std::to_string(output.originY)},
      {"X-Lathewind-Downsample", std::to_string(dx) + "," + std::to_string(dy)}};
  try {
    const std::vector<unsigned char> png =
        lwhost::EncodePng(output.image, lwhost::PngAlpha::kStraight);
    reply.body.assign(png.begin(), png.end());
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
  return reply;
}

Reply Studio::GraphPng(int64_t frame) {
  std::lock_guard lock(mutex_);
  if (frame < 0 || frame > kMaxFrame) {
    return ErrorReply(400, "frame must lie in 0 to " + std::to_string(kMaxFrame), "/frame");
  }
  try {
    lwhost::GraphSession& graph = GraphAt(frame);
    lwhost::DrawingContext drawing;
    const lwhost::GraphEventResult drawn = graph.Draw(drawing);
    if (drawn.err != PF_Err_NONE) {
      return ErrorReply(500,
                        "drawing the graph failed with error " + std::to_string(drawn.err) + " (" +
                            lwhost::ErrorName(drawn.err) + ")",
                        "");
    }
    const std::vector<unsigned char> png =
        lwhost::EncodePng(lwhost::DrawingImage(drawing), lwhost::PngAlpha::kStraight);
    return Reply{200, "image/png", std::string(png.begin(), png.end())};
  } catch (const lwhost::SceneError& e) {
    return SceneErrorReply(e);
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
}

Reply Studio::GraphEvent(const std::string& body) {
  Reply refusal;
  const std::optional<Json> event = ParseBody(body, &refusal);
  if (!event) {
    return refusal;
  }
  if (auto bad = OnlyKeys(*event, {"kind", "x", "y", "frame"})) {
    return *bad;
  }
  for (const char* key : {"kind", "x", "y"}) {
    if (!event->contains(key)) {
      return ErrorReply(400, std::string("\"") + key + "\" is missing", "");
    }
  }
  const Json& kind = event->at("kind");
  if (!kind.is_string() || (kind != "click" && kind != "drag")) {
    return ErrorReply(400, "kind must be \"click\" or \"drag\"", "/kind");
  }
  int64_t x = 0;
  int64_t y = 0;
  int64_t frame = 0;
  if (auto bad = WholeNumber(*event, "x", -kMaxEventCoordinate, kMaxEventCoordinate, &x)) {
    return *bad;
  }
  if (auto bad = WholeNumber(*event, "y", -kMaxEventCoordinate, kMaxEventCoordinate, &y)) {
    return *bad;
  }
  if (event->contains("frame")) {
    if (auto bad = WholeNumber(*event, "frame", 0, kMaxFrame, &frame)) {
      return *bad;
    }
  }

  ++generation_;  // the curve may change under a render in flight
  std::lock_guard lock(mutex_);
  try {
    lwhost::GraphSession& graph = GraphAt(frame);
    const auto ax = static_cast<A_long>(x);
    const auto ay = static_cast<A_long>(y);
    const lwhost::GraphEventResult result =
        kind == "click" ? graph.Click(ax, ay) : graph.Drag(ax, ay);
    if (result.err != PF_Err_NONE) {
      return ErrorReply(500,
                        "the effect answered error " + std::to_string(result.err) + " (" +
                            lwhost::ErrorName(result.err) + ") to the " + kind.get<std::string>(),
                        "");
    }
    if (result.changed) {
      std::vector<uint8_t> flat;
      if (const PF_Err err = graph.FlattenCurve(&flat); err != PF_Err_NONE) {
        return ErrorReply(500,
                          "flattening the width curve failed with error " + std::to_string(err) +
                              " (" + lwhost::ErrorName(err) + ")",
                          "");
      }
      scene_.text = lwhost::SceneTextWithCurve(scene_.text, flat);
      // The store already holds the edited curve: the renderer stays as it is.
      rendererVersion_ = ++textVersion_;
    }
    return JsonReply(Json{{"changed", result.changed}, {"version", textVersion_}});
  } catch (const lwhost::SceneError& e) {
    return SceneErrorReply(e);
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
}

Reply Studio::Masks(int64_t frame) {
  if (frame < 0 || frame > kMaxFrame) {
    return ErrorReply(400, "frame must lie in 0 to " + std::to_string(kMaxFrame), "/frame");
  }
  std::lock_guard lock(mutex_);
  try {
    if (!renderer_ || rendererVersion_ != textVersion_) {
      const lwhost::Scene scene = ParseText(scene_.text);
      RendererFor(scene.downsampleX, scene.downsampleY);
    }
    Json masks = Json::object();
    for (const lwhost::SceneMask& mask : renderer_->GetScene().masks) {
      const std::optional<lwhost::Mask> found =
          renderer_->Masks().Find(renderer_->PathIdOf(mask.name), static_cast<double>(frame));
      if (!found) {
        continue;
      }
      masks[mask.name] = {
          {"vertices", PointList(found->vertices, &lwhost::MaskVertex::point)},
          {"inTangents", PointList(found->vertices, &lwhost::MaskVertex::inTangent)},
          {"outTangents", PointList(found->vertices, &lwhost::MaskVertex::outTangent)},
          {"closed", found->closed}};
    }
    return JsonReply(masks);
  } catch (const lwhost::SceneError& e) {
    return SceneErrorReply(e);
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
}

Reply Studio::Save(const std::string& body) {
  if (!body.empty()) {  // Save takes nothing, but what it is sent is checked like any body
    Reply refusal;
    const std::optional<Json> request = ParseBody(body, &refusal);
    if (!request) {
      return refusal;
    }
    if (auto bad = OnlyKeys(*request, {})) {
      return *bad;
    }
  }
  std::lock_guard lock(mutex_);
  if (scene_.file.empty()) {
    return ErrorReply(409,
                      "the built-in demo scene has no file: start the studio with a scene file "
                      "to save",
                      "");
  }
  try {
    // Only what changed is edited in the file's own text: its layout and key order stay.
    const std::string text = lwhost::SceneTextKeeping(fileText_, scene_.text);
    lwhost::WriteTextAtomically(scene_.file, text);
    fileText_ = text;
    scene_.text = text;  // the same scene, in the file's words
  } catch (const std::exception& e) {
    return ErrorReply(500, e.what(), "");
  }
  return JsonReply(Json{{"saved", scene_.file.string()}});
}

Reply Studio::StartExport(const std::string& body) {
  Reply refusal;
  const std::optional<Json> request = ParseBody(body, &refusal);
  if (!request) {
    return refusal;
  }
  if (auto bad = OnlyKeys(*request, {"first", "last", "output", "format"})) {
    return *bad;
  }
  if (!request->contains("first") || !request->contains("output")) {
    return ErrorReply(400, "\"first\" and \"output\" are needed", "");
  }
  int64_t first = 0;
  if (auto bad = WholeNumber(*request, "first", 0, kMaxFrame, &first)) {
    return *bad;
  }
  int64_t last = first;
  if (request->contains("last")) {
    if (auto bad = WholeNumber(*request, "last", first, first + kMaxExportFrames - 1, &last)) {
      return *bad;
    }
  }
  const Json& output = request->at("output");
  if (!output.is_string()) {
    return ErrorReply(400, "output must be a file name", "/output");
  }
  const std::string name = output.get<std::string>();
  if (const std::string bad = BadOutputName(name); !bad.empty()) {
    return ErrorReply(400, bad, "/output");
  }
  // The kind of file, as the command picks it: by name when given, else by the extension.
  std::optional<lwhost::OutputKind> kind;
  if (request->contains("format")) {
    const Json& format = request->at("format");
    kind = format.is_string() ? lwhost::FormatFromName(format.get<std::string>()) : std::nullopt;
    if (!kind) {
      return ErrorReply(400, "format must be one of " + lwhost::KnownOutputExtensions(), "/format");
    }
  } else {
    kind = lwhost::FormatFromPath(name);
    if (!kind) {
      return ErrorReply(400,
                        "output has an unknown extension; known: " +
                            lwhost::KnownOutputExtensions() + " (or give \"format\")",
                        "/output");
    }
  }
  const lwhost::OutputFormat& format = lwhost::FormatOf(*kind);
  {
    // Answered without waiting for the frame the running job renders.
    std::lock_guard jobLock(jobMutex_);
    if (job_.state == "running") {
      return ErrorReply(409, "an export is running: cancel it or wait for it to end", "");
    }
  }
  std::lock_guard lock(mutex_);
  if (scene_.file.empty()) {
    return ErrorReply(409,
                      "the built-in demo scene has no folder: start the studio with a scene file "
                      "to export",
                      "");
  }
  lwhost::FramePattern pattern;
  try {
    pattern = format.movie ? lwhost::ParseFramePattern(name)
                           : lwhost::ParseOutputPattern(name, last - first + 1);
  } catch (const std::invalid_argument& e) {
    return ErrorReply(400, e.what(), "/output");
  }
  if (format.movie && pattern.hasField) {
    return ErrorReply(400, "a movie holds every frame in one file; drop the frame field",
                      "/output");
  }
  const fs::path relative(name);
  if (relative.is_absolute() || !Inside(root_, folder_ / relative)) {
    return ErrorReply(400, "the studio writes only inside " + root_.string(), "/output");
  }
  if (!fs::is_directory((folder_ / relative).parent_path())) {
    return ErrorReply(400, "the output's folder does not exist", "/output");
  }
  if (std::error_code error; fs::is_directory(folder_ / relative, error)) {
    return ErrorReply(400, "output must name a file, not a folder", "/output");
  }
  lwhost::OutputSettings settings;
  int32_t dx = 1;
  int32_t dy = 1;
  try {
    const lwhost::Scene scene = ParseText(scene_.text);
    dx = scene.downsampleX;
    dy = scene.downsampleY;
    settings.bitDepth = scene.bitDepth;
    settings.frameRate = scene.frameRate;
  } catch (const lwhost::SceneError& e) {
    return SceneErrorReply(e);
  }
  std::lock_guard jobLock(jobMutex_);
  if (job_.state == "running") {
    return ErrorReply(409, "an export is running: cancel it or wait for it to end", "");
  }
  if (exportThread_.joinable()) {
    exportThread_.join();  // the last job has ended
  }
  settings.path = (folder_ / relative).string();
  settings.kind = *kind;
  settings.firstFrame = first;
  try {
    // Made now, so that an output that cannot be written is refused before anything renders.
    job_.writer = lwhost::OpenOutput(settings);
    job_.pattern = lwhost::ParseFramePattern(settings.path);
  } catch (const std::exception& e) {  // OutputError, or a folder whose name reads as a pattern
    job_.writer.reset();
    return ErrorReply(400, e.what(), "/output");
  }
  job_.text = scene_.text;
  job_.version = textVersion_;
  job_.first = first;
  job_.last = last;
  job_.movie = format.movie;
  job_.dx = dx;
  job_.dy = dy;
  job_.state = "running";
  job_.done = 0;
  job_.written = Json::array();
  job_.error.clear();
  job_.cancel = false;
  exportThread_ = std::thread([this] { RunExport(); });
  return JsonReply(Json{{"state", "running"}, {"total", last - first + 1}}, 202);
}

void Studio::RunExport() {
  lwhost::OutputWriter& writer = *job_.writer;
  const auto finish = [this, &writer](const char* state, const std::string& error) {
    if (std::string(state) != "done") {
      writer.Abandon();  // a movie leaves nothing; the stills written stay, each one whole
    }
    std::lock_guard jobLock(jobMutex_);
    job_.state = state;
    job_.error = error;
  };
  const lwhost::CancelListener cancel = [this] { return stopping_.load() || job_.cancel.load(); };
  // The job's fields other than its progress stay as StartExport set them until it ends.
  if (job_.movie) {
    // Frame set-up tells every frame's size before the first one renders.
    std::string problem;
    PF_Err err = PF_Err_NONE;
    int64_t failedFrame = 0;
    {
      std::lock_guard lock(mutex_);
      problem = lwhost::MovieSizeProblem(RendererForText(job_.text, job_.version, job_.dx, job_.dy),
                                         job_.first, job_.last, cancel, err, failedFrame);
    }
    if (err != PF_Err_NONE) {
      return finish("failed", "frame set-up failed with error " + std::to_string(err) + " (" +
                                  lwhost::ErrorName(err) + ") at frame " +
                                  std::to_string(failedFrame));
    }
    if (!problem.empty()) {
      return finish("failed", problem);
    }
  }
  for (int64_t frame = job_.first; frame <= job_.last; ++frame) {
    if (cancel()) {
      return finish("cancelled", "");
    }
    lwhost::FrameOutput output;
    Reply reply;
    int32_t layerWidth = 0;
    int32_t layerHeight = 0;
    {
      // The edit lock for one frame at a time: edits and the live frames go on between them.
      std::lock_guard lock(mutex_);
      const auto renderer = [this]() -> lwhost::SceneRenderer& {
        return RendererForText(job_.text, job_.version, job_.dx, job_.dy);
      };
      reply = RenderImage(frame, renderer, cancel, &output);
      if (reply.status == 200) {
        layerWidth = renderer().WorldWidth();
        layerHeight = renderer().WorldHeight();
      }
    }
    if (reply.status != 200) {
      if (cancel()) {
        return finish("cancelled", "");
      }
      const Json refusal = Json::parse(reply.body, nullptr, false);
      return finish("failed", refusal.is_object() ? refusal.value("error", "") : reply.body);
    }
    // Encoded outside the edit lock: a movie's frame costs about a render.
    try {
      writer.Write(frame, {&output.image, output.originX, output.originY, layerWidth, layerHeight});
    } catch (const std::exception& e) {
      return finish("failed", e.what());
    }
    std::lock_guard jobLock(jobMutex_);
    ++job_.done;
    if (!job_.movie) {
      job_.written.push_back(lwhost::FormatFrame(job_.pattern, frame));
    }
  }
  if (cancel()) {
    return finish("cancelled", "");
  }
  try {
    writer.Finish();
  } catch (const std::exception& e) {
    return finish("failed", e.what());
  }
  if (job_.movie) {
    std::lock_guard jobLock(jobMutex_);
    job_.written.push_back(lwhost::FormatFrame(job_.pattern, job_.first));
  }
  finish("done", "");
}

Reply Studio::ExportStatus() {
  std::lock_guard jobLock(jobMutex_);
  Json status{{"state", job_.state}};
  if (job_.state != "idle") {
    status["first"] = job_.first;
    status["last"] = job_.last;
    status["done"] = job_.done;
    status["total"] = job_.last - job_.first + 1;
    status["written"] = job_.written;
    if (!job_.error.empty()) {
      status["error"] = job_.error;
    }
  }
  return JsonReply(status);
}

Reply Studio::CancelExport() {
  job_.cancel = true;
  return ExportStatus();
}

}  // namespace lwstudio
