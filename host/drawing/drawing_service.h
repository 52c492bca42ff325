// The drawing API inside a session: its suites published, and a drawing context's objects and
// calls reported to the session's balance ledger and fault injection.
//
//   lwhost::RegisterDrawingSuites(session);
//   lwhost::DrawingContext drawing;
//   lwhost::SessionDrawingObserver observer(session);
//   drawing.SetObserver(&observer);
//   event.contextH = drawing.ContextHandle();
//   session.Send(PF_Cmd_EVENT, input);        // a pen left unreleased shows in r.balance
#pragma once

#include <string_view>

#include "drawing/drawing_context.h"

namespace lwhost {

class Session;

// Ledger kind of pens, brushes and paths: made by the supplier, released by ReleaseObject.
inline constexpr std::string_view kDrawingObjectKind = "drawing object";

// Publishes "DRAWBOT Draw Suite" 1, "DRAWBOT Supplier Suite" 1, "DRAWBOT Surface Suite" 2,
// "DRAWBOT Path Suite" 1 and "PF Effect Custom UI Suite" 1.
void RegisterDrawingSuites(Session& session);

// Counts objects in the ledgers of the command running on the calling thread and of the session;
// each Drawbot function is a fault site under its own name ("NewPath", "FillPath",
// "ReleaseObject", "PF_GetDrawingReference", ...).
class SessionDrawingObserver : public DrawingObserver {
 public:
  explicit SessionDrawingObserver(Session& session);

  SPErr Check(std::string_view call) override;
  void ObjectMade(const void* object, std::string_view kind) override;
  void ObjectReleased(const void* object) override;
  void Misuse(std::string_view what) override;

 private:
  Session& session_;
};

}  // namespace lwhost
