#include "params/params_setup.h"

#include <cstring>

#include "curve/curve_data.h"
#include "params/param_table.h"
#include "shell/strings.h"

namespace lwd {

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
void FillParamDef(const LWD_ParamRow& row, PF_Handle defaultCurve, PF_ParamDef* def) {
  def->param_type = row.type;
  CopyLabel(GetStringPtr(row.labelStr), def);
  def->ui_flags = row.uiFlags;
  def->flags = row.flags;

  switch (row.type) {
    case PF_Param_FLOAT_SLIDER: {
      PF_FloatSliderDef& fs = def->u.fs_d;
      fs.value = row.dflt;
      fs.dephault = row.dflt;
      fs.valid_min = row.validMin;
      fs.valid_max = row.validMax;
      fs.slider_min = row.sliderMin;
      fs.slider_max = row.sliderMax;
      fs.precision = row.precision;
      fs.display_flags = row.displayFlags;
      fs.fs_flags = PF_FSliderFlag_NONE;
      fs.curve_tolerance = 0.0f;
      break;
    }
    case PF_Param_POPUP:
      def->u.pd.value = row.popupDefault;
      def->u.pd.dephault = row.popupDefault;
      def->u.pd.num_choices = row.numChoices;
      def->u.pd.u.namesptr = GetStringPtr(row.choicesStr);
      break;
    case PF_Param_ANGLE:
      def->u.ad.value = row.angleDefault;
      def->u.ad.dephault = row.angleDefault;
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
      def->u.button_d.u.namesptr = ParamText(row.buttonTextStr);
      break;
    default:
      break;
  }
  def->uu.id = row.diskId;
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
  for (const LWD_ParamRow& row : kParamTable) {
    std::memset(&def, 0, sizeof def);
    PF_Handle defaultCurve = nullptr;
    if (row.type == PF_Param_ARBITRARY_DATA) {
      curveErr = CreateDefaultCurve(in_data, out_data, &defaultCurve);
    }
    FillParamDef(row, defaultCurve, &def);
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

}  // namespace lwd
