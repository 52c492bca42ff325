// The studio's state and what each of its routes does, apart from HTTP: the scene being edited (its
// text is the truth), one loaded effect, a renderer rebuilt whenever the scene or the resolution
// changes, and the width graph control. Every answer is a Reply; bad input is a 4xx with a JSON
// {"error", "location"} body and changes nothing.
//
// Calls may come from several threads. A frame render holds the studio for its duration; every
// change, and every newer frame request, cancels a render in flight through the effect's abort
// callback before it waits its turn.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/file_gate.h"
#include "core/session.h"
#include "drawing/graph_session.h"
#include "media/output_writer.h"
#include "scenes/frame_pattern.h"
#include "scenes/scene_render.h"

namespace lwstudio {

struct Reply {
  Reply() = default;
  Reply(int status, std::string type, std::string body)
      : status(status), type(std::move(type)), body(std::move(body)) {}

  int status = 200;
  std::string type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// {"error": message, "location": JSON pointer} with `status`.
Reply ErrorReply(int status, const std::string& message, const std::string& location);

struct StudioScene {
  std::string text;                            // the scene file's text
  std::filesystem::path file;                  // where Save writes; empty for the built-in demo
  std::filesystem::path folder;                // relative paths resolve here
  std::filesystem::path root;                  // reads and exports stay inside it; empty: `folder`
  std::string name = "(built-in demo scene)";  // names the scene in messages
};

// How the studio has a frame rendered: SceneRenderer::RenderFrame unless a test puts itself in
// between (to make a render throw, fail or wait for its cancel).
using RenderCall = std::function<lwhost::FrameOutput(lwhost::SceneRenderer&, int32_t frame,
                                                     const lwhost::RenderOptions&)>;

class Studio {
 public:
  // Loads the effect, sends global set-up and brings the scene up. Throws lwhost::SceneError for
  // a bad scene, lwhost::EffectError or lwhost::HostError when the effect fails.
  Studio(const std::string& pluginPath, StudioScene scene, RenderCall render = {});
  ~Studio();
  Studio(const Studio&) = delete;
  Studio& operator=(const Studio&) = delete;

  Reply Params() const;  // GET /api/params
  Reply GetScene();      // GET /api/scene
  Reply PutScene(const std::string& body);
  // PATCH /api/scene: a JSON merge patch (RFC 7386) of the scene, checked like a whole scene.
  Reply PatchScene(const std::string& body);
  // The file the studio edits, for the page ("" for the built-in demo).
  std::string FileName() const { return scene_.file.empty() ? "" : scene_.file.string(); }
  // GET /api/frame. `downsample` 0 is the scene's own; `clientGone` is asked while rendering.
  Reply Frame(int64_t frame, int downsample, const std::function<bool()>& clientGone);
  Reply GraphPng(int64_t frame);
  Reply GraphEvent(const std::string& body);
  // GET /api/masks: the scene's masks at `frame` (keyed ones interpolated) as vertices and
  // tangents, in full-resolution pixels.
  Reply Masks(int64_t frame = 0);
  Reply Save(const std::string& body = "");  // POST /api/save: an empty body or {}
  // POST /api/export {"first", "last", "output", "format"}: starts a job that renders frames to
  // still files or one movie in the scene's folder through the host's output service, as
  // `lathewind render -o OUTPUT [--format FORMAT]` writes them, from the scene as it is now;
  // answers 202 at once. The job takes the edit lock for one frame at a time. One job at a time.
  Reply StartExport(const std::string& body);
  // GET /api/export: {"state": "idle" | "running" | "done" | "cancelled" | "failed", "first",
  // "last", "done", "total", "written", "error"}.
  Reply ExportStatus();
  // DELETE /api/export: the job stops before its next frame, or within its frame's render; a
  // movie it was writing is not left behind.
  Reply CancelExport();

  // Cancels every render in flight and every one to come: the studio is stopping.
  void Stop();

  // Renders that ended because a newer request came in or the client went away.
  int CancelledRenders() const { return cancelled_.load(); }
  int RendersInFlight() const { return inFlight_.load(); }

 private:
  // The renderer for the current text at downsampling (dx, dy); rebuilt when either changed.
  lwhost::SceneRenderer& RendererFor(int32_t dx, int32_t dy);
  // The same for `text` at `version` (an export's scene, which edits may since have changed).
  lwhost::SceneRenderer& RendererForText(const std::string& text, uint64_t version, int32_t dx,
                                         int32_t dy);
  void RunExport();
  lwhost::Scene ParseText(const std::string& text) const;
  lwhost::GraphSession& GraphAt(int64_t frame);
  Reply RenderImage(int64_t frame, const std::function<lwhost::SceneRenderer&()>& rendererOf,
                    const lwhost::CancelListener& cancel, lwhost::FrameOutput* output);

  // The export in progress or the last one.
  struct ExportJob {
    std::string text;  // the scene when the export began
    uint64_t version = 0;
    int64_t first = 0;
    int64_t last = 0;
    std::unique_ptr<lwhost::OutputWriter> writer;
    lwhost::FramePattern pattern;  // the stills' names, or the movie's file, in the scene's folder
    bool movie = false;
    int32_t dx = 1;
    int32_t dy = 1;
    std::string state = "idle";
    int64_t done = 0;
    nlohmann::ordered_json written = nlohmann::ordered_json::array();
    std::string error;
    std::atomic<bool> cancel{false};
  };

  StudioScene scene_;
  RenderCall render_;
  std::filesystem::path folder_;  // canonical: where relative names resolve
  std::filesystem::path root_;    // canonical: nothing is read or written outside it
  lwhost::FileGate gate_;         // every file the scene names is opened through it
  lwhost::Session session_;
  std::string paramsJson_;
  std::string fileText_;  // the scene file's text as last read or saved; Save edits it

  std::mutex mutex_;
  std::atomic<uint64_t> generation_{0};
  std::atomic<int> cancelled_{0};
  std::atomic<int> inFlight_{0};
  std::atomic<bool> stopping_{false};
  uint64_t textVersion_ = 0;
  std::optional<lwhost::SceneRenderer> renderer_;
  uint64_t rendererVersion_ = 0;
  int32_t rendererDx_ = 0;
  int32_t rendererDy_ = 0;
  std::unique_ptr<lwhost::GraphSession> graph_;
  int64_t graphFrame_ = -1;
  std::mutex jobMutex_;  // guards job_'s state, progress and error
  ExportJob job_;
  std::thread exportThread_;
};

}  // namespace lwstudio
