// The "Width Graph" control driven as the effect panel drives it: click and drag events at control
// coordinates, every edit the effect reports taken as the parameter's new value, and a draw of the
// whole control into a drawing context.
//
//   lwhost::GraphSession graph(session, store);   // the store's values at frame 0
//   graph.Click(110, 75);                         // adds or picks a point
//   graph.Drag(120, 40);                          // moves the picked point
//   lwhost::DrawingContext drawing;               // 220 x 150, transparent
//   graph.Draw(drawing);
//   lwhost::WritePng("graph.png", lwhost::DrawingImage(drawing), lwhost::PngAlpha::kStraight);
//
// Every event goes to the parameter array of one frame (0 unless the constructor says otherwise),
// which stays the same for the session's life: an edited value is adopted into the store and the
// array shows it from then on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ae_effect.h"
#include "drawing/drawing_context.h"
#include "drawing/drawing_service.h"
#include "layers/image.h"
#include "params/lathewind_effect.h"

namespace lwhost {

class ParamArray;
class ParamStore;
class Session;

struct GraphEventResult {
  PF_Err err = PF_Err_NONE;
  // The effect flagged PF_ChangeFlag_CHANGED_VALUE and the store took the edited value.
  bool changed = false;
  // What the event left unbalanced: the command's ledger report, then the session's; "" when all
  // was given back.
  std::string balance;
};

class GraphSession {
 public:
  // Publishes the drawing suites in the session. Throws std::invalid_argument when the effect
  // declared no "Width Graph" and std::runtime_error when the values of frame 0 could not be made.
  // Events go to the values of `frame`.
  GraphSession(Session& session, ParamStore& store, double frame = 0.0);
  ~GraphSession();
  GraphSession(const GraphSession&) = delete;
  GraphSession& operator=(const GraphSession&) = delete;

  // PF_Event_DO_CLICK and PF_Event_DRAG at (x, y), in control coordinates (0, 0 = the control's
  // top-left corner). A failure of adopting the edited value is the result's error.
  GraphEventResult Click(A_long x, A_long y);
  GraphEventResult Drag(A_long x, A_long y);
  // PF_Event_DRAW into `drawing` (its observer is set to the session's ledger for the call).
  GraphEventResult Draw(DrawingContext& drawing);

  // The value the control shows, in its stored form (FLAT_SIZE and FLATTEN through the effect).
  PF_Err FlattenCurve(std::vector<uint8_t>* bytes) const;
  int Index() const { return index_; }

 private:
  GraphEventResult Send(PF_EventType type, DrawingContext& drawing, A_long x, A_long y);

  Session& session_;
  ParamStore& store_;
  int index_ = -1;
  std::unique_ptr<ParamArray> array_;
  SessionDrawingObserver observer_;
  // Clicks and drags name a drawing context too: the effect's redraw request points at it.
  DrawingContext editContext_;
};

// The drawing as an 8-bit world: Cairo's premultiplied pixels in the host's alpha-first order,
// ready for WritePng.
Image DrawingImage(const DrawingContext& drawing);

// A scene's JSON text (`sceneText`; empty for no scene, read as {}) with params["Width Graph"]
// set to the curve `flat` stores, as a list of points [[x, y], ...] (each coordinate the shortest
// text that reads back as the same 32-bit float), or as {"flat": "<200 hex digits>"} when the
// stored form is not a plain list of points. Every other byte of the text is kept. Throws
// std::invalid_argument when the text is not a JSON object or its "params" is not an object.
std::string SceneTextWithCurve(const std::string& sceneText, std::span<const uint8_t> flat);

// Writes `text` under a temporary name in the same folder and renames it into place, so `path`
// holds either what it held before or the whole new text. Throws std::runtime_error naming the
// path.
void WriteTextAtomically(const std::filesystem::path& path, const std::string& text);

}  // namespace lwhost
