// The two entry points the host calls: registration and the command dispatcher.
#include <new>

#include "ae_effect.h"
#include "curve/curve_callbacks.h"
#include "curve/graph_editor.h"
#include "params/params_setup.h"
#include "render/accum.h"
#include "render/frame_setup.h"
#include "render/render.h"
#include "shell/shell_commands.h"
#include "shell/strings.h"
#include "suites/suite_handler.h"

namespace lwd {
namespace {

using Handler = PF_Err (*)(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

PF_Err HandleAbout(PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
  return About(in, out);
}

PF_Err HandleGlobalSetup(PF_InData*, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
  return GlobalSetup(out);
}

PF_Err HandleParamsSetup(PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void*) {
  return ParamsSetup(in, out);
}

PF_Err HandleFrameSetup(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef*,
                        void*) {
  return FrameSetup(in, out, params);
}

PF_Err HandleRender(PF_InData* in, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output, void*) {
  return Render(in, params, output);
}

PF_Err HandleUserChangedParam(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void* extra) {
  return UserChangedParam(static_cast<const PF_UserChangedParamExtra*>(extra));
}

PF_Err HandleEvent(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef*,
                   void* extra) {
  auto* event = static_cast<PF_EventExtra*>(extra);
  switch (event->e_type) {
    case PF_Event_DO_CLICK:
      return CurveClickEvent(in, out, params, event, false);
    case PF_Event_DRAG:
      return CurveClickEvent(in, out, params, event, true);
    case PF_Event_DRAW:
      return DrawCurveGraph(in, out, params, event);
    default:
      return PF_Err_NONE;
  }
}

PF_Err HandleArbitrary(PF_InData* in, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void* extra) {
  return HandleArbitraryCallback(in, static_cast<PF_ArbParamsExtra*>(extra));
}

constexpr A_u_long kLastDispatchedCommand = PF_Cmd_ARBITRARY_CALLBACK;

// One entry per command 0..22; a null entry answers 0 and does nothing.
constexpr Handler kDispatch[kLastDispatchedCommand + 1] = {
    HandleAbout,             // 0  PF_Cmd_ABOUT
    HandleGlobalSetup,       // 1  PF_Cmd_GLOBAL_SETUP
    nullptr,                 // 2
    nullptr,                 // 3  PF_Cmd_GLOBAL_SETDOWN
    HandleParamsSetup,       // 4  PF_Cmd_PARAMS_SETUP
    nullptr,                 // 5  PF_Cmd_SEQUENCE_SETUP
    nullptr,                 // 6
    nullptr,                 // 7
    nullptr,                 // 8
    nullptr,                 // 9
    HandleFrameSetup,        // 10 PF_Cmd_FRAME_SETUP
    HandleRender,            // 11 PF_Cmd_RENDER
    nullptr,                 // 12 PF_Cmd_FRAME_SETDOWN
    HandleUserChangedParam,  // 13 PF_Cmd_USER_CHANGED_PARAM
    nullptr,                 // 14 PF_Cmd_UPDATE_PARAMS_UI
    HandleEvent,             // 15 PF_Cmd_EVENT
    nullptr,                 // 16
    nullptr,                 // 17
    nullptr,                 // 18
    nullptr,                 // 19
    nullptr,                 // 20
    nullptr,                 // 21
    HandleArbitrary,         // 22 PF_Cmd_ARBITRARY_CALLBACK
};

// Commands whose handlers read a command-specific extra record.
bool NeedsExtra(A_u_long cmd) {
  return cmd == PF_Cmd_USER_CHANGED_PARAM || cmd == PF_Cmd_EVENT ||
         cmd == PF_Cmd_ARBITRARY_CALLBACK;
}

}  // namespace
}  // namespace lwd

// The entry points stay outside the effect's namespace: the host finds them by these names.
extern "C" LWD_EXPORT PF_Err PluginDataEntryFunction2(PF_PluginDataPtr inPtr,
                                                      PF_PluginDataCB2 inPluginDataCallBackPtr,
                                                      SPBasicSuite* /*inSPBasicSuitePtr*/,
                                                      const char* /*inHostName*/,
                                                      const char* /*inHostVersion*/) {
  if (inPluginDataCallBackPtr == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return inPluginDataCallBackPtr(
      inPtr, reinterpret_cast<const A_u_char*>("Lathewind"),
      reinterpret_cast<const A_u_char*>("CRVN Spoolrun"),
      reinterpret_cast<const A_u_char*>("Corvane"), reinterpret_cast<const A_u_char*>("EffectMain"),
      PF_PLUGIN_KIND_EFFECT, 13, 29, 8, reinterpret_cast<const A_u_char*>(lwd::kSupportUrl));
}

extern "C" LWD_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                        PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
  const auto command = static_cast<A_u_long>(cmd);
  if (command == PF_Cmd_GLOBAL_SETDOWN) {
    // The accumulation buffers kept between renders go with the effect; nothing else to do.
    lwd::DrainAccumPool();
  }
  if (command > lwd::kLastDispatchedCommand || lwd::kDispatch[command] == nullptr) {
    return PF_Err_NONE;
  }
  // A host that leaves out a record a handler reads gets an error, not a crash.
  if (in_data == nullptr || out_data == nullptr || (lwd::NeedsExtra(command) && extra == nullptr)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  try {
    return lwd::kDispatch[command](in_data, out_data, params, output, extra);
  } catch (PF_Err err) {
    // Thrown by the suite cache after its destructor has given back what it held.
    return err;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    // No other exception may cross into the host; report it as damage inside the effect.
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
