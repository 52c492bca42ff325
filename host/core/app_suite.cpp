// "PF AE App Suite" 6. The effect only asks it to redraw a part of its control; the call is
// recorded with the context it named. The other functions answer 0 and leave their outputs as
// they are.
#include "ae_effect_suites.h"
#include "core/callbacks.h"
#include "core/command_context.h"
#include "core/session.h"

namespace lwhost {

namespace {

PF_Err GetBgColor(void*) {
  return PF_Err_NONE;
}
PF_Err GetColor(A_long, void*) {
  return PF_Err_NONE;
}
PF_Err GetPersonalInfo(void*) {
  return PF_Err_NONE;
}
PF_Err GetFontStyleSheet(A_long, void*, A_short*, A_short*, A_short*) {
  return PF_Err_NONE;
}
PF_Err SetCursor(A_long) {
  return PF_Err_NONE;
}
PF_Err IsRenderEngine(PF_Boolean*) {
  return PF_Err_NONE;
}
PF_Err ColorPickerDialog(const A_char*, const void*, PF_Boolean, void*) {
  return PF_Err_NONE;
}
PF_Err GetMouse(PF_Point*) {
  return PF_Err_NONE;
}
PF_Err ConvertLocalToGlobal(const PF_Point*, PF_Point*) {
  return PF_Err_NONE;
}

PF_Err InvalidateRect(const PF_ContextH contextH, const PF_Rect* rectP) {
  CommandContext* context = CurrentContext();
  if (context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Session& session = context->GetSession();
  if (PF_Err err = session.faults.Check("PF_InvalidateRect"); err != PF_Err_NONE) {
    return err;
  }
  Invalidation invalidation;
  invalidation.command = context->Command();
  invalidation.context = contextH;
  if (rectP != nullptr) {
    invalidation.rect = *rectP;
  }
  session.RecordInvalidation(invalidation);
  return PF_Err_NONE;
}

const PF_AppSuite6 kAppSuite = {
    GetBgColor,     GetColor,          GetPersonalInfo, GetFontStyleSheet, SetCursor,
    IsRenderEngine, ColorPickerDialog, GetMouse,        InvalidateRect,    ConvertLocalToGlobal,
};

}  // namespace

void RegisterAppSuite(SuiteRegistry& registry) {
  registry.Register(kPFAppSuite, kPFAppSuiteVersion6, &kAppSuite);
}

void RegisterCoreSuites(SuiteRegistry& registry) {
  RegisterAnsiSuite(registry);
  RegisterAppSuite(registry);
}

}  // namespace lwhost
