#include "drawing/drawing_service.h"

#include <string>

#include "core/command_context.h"
#include "core/session.h"

namespace lwhost {

void RegisterDrawingSuites(Session& session) {
  session.RegisterSuite(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, DrawbotDrawSuite());
  session.RegisterSuite(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1,
                        DrawbotSupplierSuite());
  session.RegisterSuite(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2,
                        DrawbotSurfaceSuite());
  session.RegisterSuite(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, DrawbotPathSuite());
  session.RegisterSuite(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1,
                        EffectCustomUISuite());
  Ledger::NameKind(kDrawingObjectKind, "made", "released");
}

SessionDrawingObserver::SessionDrawingObserver(Session& session) : session_(session) {}

SPErr SessionDrawingObserver::Check(std::string_view call) {
  return session_.faults.Check(call);
}

// Objects made outside a command (a test drawing by hand) count in the session's ledger alone.
void SessionDrawingObserver::ObjectMade(const void* object, std::string_view) {
  if (CommandContext* context = CurrentContext()) {
    context->Open(kDrawingObjectKind, AddressKey(object));
  } else {
    session_.ledger.Open(kDrawingObjectKind, AddressKey(object));
  }
}

void SessionDrawingObserver::ObjectReleased(const void* object) {
  if (CommandContext* context = CurrentContext()) {
    context->Close(kDrawingObjectKind, AddressKey(object));
  } else {
    session_.ledger.Close(kDrawingObjectKind, AddressKey(object));
  }
}

void SessionDrawingObserver::Misuse(std::string_view what) {
  session_.ledger.NoteMisuse(what);
  if (CommandContext* context = CurrentContext()) {
    context->ledger.NoteMisuse(what);
  }
}

}  // namespace lwhost
