// The interaction callbacks of PF_InData: what the effect calls back during a command.
#include <cstring>

#include "core/callbacks.h"
#include "core/command_context.h"
#include "core/session.h"

namespace lwhost {

namespace {

// The text a declared parameter points to, if its type has one.
const A_char** TextPointer(PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_POPUP:
      return &def.u.pd.u.namesptr;
    case PF_Param_BUTTON:
      return &def.u.button_d.u.namesptr;
    case PF_Param_CHECKBOX:
      return &def.u.bd.u.nameptr;
    default:
      return nullptr;
  }
}

PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr || def == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Session& session = context->GetSession();
  if (PF_Err err = session.faults.Check("add_param"); err != PF_Err_NONE) {
    return err;
  }
  DeclaredParam param;
  param.index = index;
  param.def = *def;
  if (const A_char** text = TextPointer(param.def)) {
    if (*text != nullptr) {
      param.text = *text;
    }
    *text = nullptr;
  }
  // The host keeps an arbitrary parameter's default (and a value given with it) from now on.
  if (def->param_type == PF_Param_ARBITRARY_DATA) {
    for (PF_Handle handle : {def->u.arb_d.dephault, def->u.arb_d.value}) {
      if (handle != nullptr) {
        session.handles.MarkHostOwned(handle);
      }
    }
  }
  session.RecordParam(std::move(param));
  return PF_Err_NONE;
}

PF_Err RegisterUI(PF_ProgPtr effect_ref, PF_CustomUIInfo* info) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr || info == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (PF_Err err = context->GetSession().faults.Check("register_ui"); err != PF_Err_NONE) {
    return err;
  }
  context->GetSession().RecordCustomUI(*info);
  return PF_Err_NONE;
}

PF_Err Abort(PF_ProgPtr effect_ref) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Session& session = context->GetSession();
  context->abortCalls++;
  if (PF_Err err = session.faults.Check("abort"); err != PF_Err_NONE) {
    return err;
  }
  const int cancelAt = session.options.cancelAtAbortCall;
  return cancelAt > 0 && context->abortCalls >= cancelAt ? PF_Interrupt_CANCEL : PF_Err_NONE;
}

PF_Err Progress(PF_ProgPtr effect_ref, A_long current, A_long total) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  context->progress.push_back(ProgressCall{current, total});
  return context->GetSession().faults.Check("progress");
}

PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                     A_u_long time_scale, PF_ParamDef* param) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr || param == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Session& session = context->GetSession();
  if (PF_Err err = session.faults.Check("checkout_param"); err != PF_Err_NONE) {
    return err;
  }
  const ParamHooks& hooks = session.GetParamHooks();
  if (!hooks.checkout) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return hooks.checkout(*context, index, what_time, time_step, time_scale, param);
}

PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr || param == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  Session& session = context->GetSession();
  if (PF_Err err = session.faults.Check("checkin_param"); err != PF_Err_NONE) {
    return err;
  }
  const ParamHooks& hooks = session.GetParamHooks();
  if (!hooks.checkin) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return hooks.checkin(*context, param);
}

}  // namespace

PF_InteractCallbacks MakeInteractCallbacks(const HostOptions& options) {
  PF_InteractCallbacks inter{};
  inter.checkout_param = CheckoutParam;
  inter.checkin_param = CheckinParam;
  inter.add_param = AddParam;
  inter.abort = options.abortPresent ? Abort : nullptr;
  inter.progress = options.progressPresent ? Progress : nullptr;
  inter.register_ui = RegisterUI;
  return inter;
}

}  // namespace lwhost
