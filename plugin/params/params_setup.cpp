#include "params/params_setup.h"

#include <cstring>

#include "curve/curve_data.h"
#include "params/param_table.h"
#include "shell/strings.h"

namespace {

// Append at the end of the parameter list.
constexpr PF_ParamIndex kAppendParam = -1;

const char* ParamText(int str) {
  return str == kStrVersionText ? kVersionText : GetStringPtr(str);
}

// The name field holds 31 characters and a NUL; a longer text is cut, never overrun.
void CopyLabel(const char* src, PF_ParamDef* def) {
  std::strncpy(def->name, src, PF_MAX_EFFECT_PARAM_NAME_LEN);
  def->name[PF_MAX_EFFECT_PARAM_NAME_LEN] = '\0';
}

// Fills a cleared record from its table row. The width graph's default handle (null when it could
// not be made) is made by the caller beforehand.
void FillParamDef(const LWD_ParamSpec& spec, PF_Handle defaultCurve, PF_ParamDef* def) {
  def->param_type = spec.type;
  CopyLabel(GetStringPtr(spec.labelStr), def);
  def->ui_flags = spec.uiFlags;
  def->flags = spec.flags;

  switch (spec.type) {
    case PF_Param_FLOAT_SLIDER: {
      PF_FloatSliderDef& fs = def->u.fs_d;
      fs.value = spec.dflt;
      fs.dephault = spec.dflt;
      fs.valid_min = spec.validMin;
      fs.valid_max = spec.validMax;
      fs.slider_min = spec.sliderMin;
      fs.slider_max = spec.sliderMax;
      fs.precision = spec.precision;
      fs.display_flags = spec.displayFlags;
      fs.fs_flags = PF_FSliderFlag_NONE;
      fs.curve_tolerance = 0.0f;
      break;
    }
    case PF_Param_POPUP:
      def->u.pd.value = spec.popupDefault;
      def->u.pd.dephault = spec.popupDefault;
      def->u.pd.num_choices = spec.numChoices;
      def->u.pd.u.namesptr = GetStringPtr(spec.choicesStr);
      break;
    case PF_Param_ANGLE:
      def->u.ad.value = spec.angleDefault;
      def->u.ad.dephault = spec.angleDefault;
      break;
    case PF_Param_LAYER:
      def->u.ld.dephault = PF_LayerDefault_NONE;  // no layer until the user picks one
      break;
    case PF_Param_PATH:
      def->u.path_d.dephault = 0;  // no mask until the user picks one
      break;
    case PF_Param_ARBITRARY_DATA:
      def->u.arb_d.id = kWidthGraphDataId;
      def->u.arb_d.dephault = defaultCurve;
      def->u.arb_d.value = nullptr;
      def->u.arb_d.refconPV = kCurveRefcon;
      def->ui_width = kGraphUiWidth;
      def->ui_height = kGraphUiHeight;
      break;
    case PF_Param_BUTTON:
      def->u.button_d.u.namesptr = ParamText(spec.buttonTextStr);
      break;
    default:
      break;
  }
  def->uu.id = spec.diskId;
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
  if (in_data == nullptr || out_data == nullptr || in_data->inter.add_param == nullptr ||
      in_data->inter.register_ui == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }

  // A failed default curve does not stop the declaration: the graph is declared without a
  // default, and the failure is reported once the list is complete.
  PF_Err curveErr = PF_Err_NONE;
  PF_ParamDef def;
  for (const LWD_ParamSpec& spec : kParamTable) {
    std::memset(&def, 0, sizeof def);
    PF_Handle defaultCurve = nullptr;
    if (spec.type == PF_Param_ARBITRARY_DATA) {
      curveErr = CreateDefaultCurve(in_data, out_data, &defaultCurve);
    }
    FillParamDef(spec, defaultCurve, &def);
    if (PF_Err err = in_data->inter.add_param(in_data->effect_ref, kAppendParam, &def);
        err != PF_Err_NONE) {
      // A refused graph parameter never reached the host, so its default is still ours to free.
      if (defaultCurve != nullptr && in_data->utils != nullptr &&
          in_data->utils->host_dispose_handle != nullptr) {
        in_data->utils->host_dispose_handle(defaultCurve);
      }
      return err;
    }
  }
  out_data->num_params = LWD_NUM_PARAMS;

  if (curveErr != PF_Err_NONE) {
    return curveErr;
  }
  // The graph needs events from the effect panel only.
  PF_CustomUIInfo ui;
  std::memset(&ui, 0, sizeof ui);
  ui.events = PF_CustomEFlag_EFFECT;
  return in_data->inter.register_ui(in_data->effect_ref, &ui);
}
