// The effect's 36 parameters as one table, in the order of the effect panel. Parameter set-up walks
// it to declare them; anything else that needs a parameter's declared range or default can read the
// same row (ParamRowAt) instead of repeating a number.
#pragma once

#include <array>

#include "ae_effect.h"
#include "params/param_index.h"
#include "shell/string_ids.h"

namespace lwd {

// The width graph's control area in the effect panel, in pixels.
constexpr A_short kGraphUiWidth = 220;
constexpr A_short kGraphUiHeight = 150;
// The arbitrary-data id the width graph is declared with (its disk id as well).
constexpr A_short kWidthGraphDataId = 27;
// The graph draws its own area and the host must not erase it first.
constexpr PF_ParamUIFlags kGraphUiFlags = PF_PUI_CONTROL | PF_PUI_DONT_ERASE_CONTROL;

// One parameter's declaration. Only the fields of its type are meaningful; the others stay zero.
struct LWD_ParamRow {
  LWD_ParamIndex index;
  PF_ParamType type;
  A_long diskId;  // the key of the stored value in projects: fixed forever
  int labelStr;
  PF_ParamUIFlags uiFlags;
  PF_ParamFlags flags;
  // Float slider.
  float dflt;
  float validMin, validMax;
  float sliderMin, sliderMax;
  A_short precision;  // decimals shown
  PF_ValueDisplayFlags displayFlags;
  // Popup: default counted from 1.
  int choicesStr;
  A_short numChoices;
  A_short popupDefault;
  // Angle: 16.16 fixed-point degrees.
  PF_Fixed angleDefault;
  // Button.
  int buttonTextStr;
};

namespace param_rows {

constexpr PF_ValueDisplayFlags kPct = PF_ValueDisplayFlag_PERCENT;
constexpr PF_ValueDisplayFlags kNum = PF_ValueDisplayFlag_NONE;
// 180 degrees in 16.16 fixed point.
constexpr PF_Fixed kDegrees180 = 180 << 16;

constexpr LWD_ParamRow Slider(LWD_ParamIndex index, A_long id, int label, float dflt,
                              float validMin, float validMax, float sliderMin, float sliderMax,
                              A_short precision, PF_ValueDisplayFlags display) {
  LWD_ParamRow s{};
  s.index = index;
  s.type = PF_Param_FLOAT_SLIDER;
  s.diskId = id;
  s.labelStr = label;
  s.dflt = dflt;
  s.validMin = validMin;
  s.validMax = validMax;
  s.sliderMin = sliderMin;
  s.sliderMax = sliderMax;
  s.precision = precision;
  s.displayFlags = display;
  return s;
}

constexpr LWD_ParamRow Popup(LWD_ParamIndex index, A_long id, int label, int choices,
                             A_short numChoices, A_short dflt) {
  LWD_ParamRow s{};
  s.index = index;
  s.type = PF_Param_POPUP;
  s.diskId = id;
  s.labelStr = label;
  s.choicesStr = choices;
  s.numChoices = numChoices;
  s.popupDefault = dflt;
  return s;
}

constexpr LWD_ParamRow Angle(LWD_ParamIndex index, A_long id, int label, PF_Fixed dflt) {
  LWD_ParamRow s{};
  s.index = index;
  s.type = PF_Param_ANGLE;
  s.diskId = id;
  s.labelStr = label;
  s.angleDefault = dflt;
  return s;
}

// Layers, masks and the width graph carry nothing beyond type, id and label here.
constexpr LWD_ParamRow Plain(LWD_ParamIndex index, PF_ParamType type, A_long id, int label,
                             PF_ParamUIFlags uiFlags = PF_PUI_NONE) {
  LWD_ParamRow s{};
  s.index = index;
  s.type = type;
  s.diskId = id;
  s.labelStr = label;
  s.uiFlags = uiFlags;
  return s;
}

constexpr LWD_ParamRow Button(LWD_ParamIndex index, A_long id, int label, int text,
                              PF_ParamUIFlags uiFlags, PF_ParamFlags flags) {
  LWD_ParamRow s{};
  s.index = index;
  s.type = PF_Param_BUTTON;
  s.diskId = id;
  s.labelStr = label;
  s.buttonTextStr = text;
  s.uiFlags = uiFlags;
  s.flags = flags;
  return s;
}

}  // namespace param_rows

// Percent sliders hold percent; the renderer divides by 100. Disk ids run 1 to 39 without 11, 34
// and 35; stored projects find their values by them, so they never change.
// clang-format off
inline constexpr std::array<LWD_ParamRow, LWD_NUM_PARAMS - 1> kParamTable = [] {
  using namespace param_rows;
  return std::array<LWD_ParamRow, LWD_NUM_PARAMS - 1>{{
    //     index                 id  label              default   valid       slider    prec
    Plain (LWD_PATH, PF_Param_PATH, 1, kStrPath),
    Slider(LWD_SMOOTH_CORNERS,    37, kStrSmoothCorners,       0,    0,  100,    0,  100, 1, kPct),
    Plain (LWD_SOURCE, PF_Param_LAYER, 2, kStrSource),
    Popup (LWD_STRETCH_ALONG,      3, kStrStretchAlongPath, kStrStretchAlongChoices, 2, 1),
    Popup (LWD_FIT,                4, kStrFit, kStrFitChoices, 3, 1),
    Slider(LWD_SEGMENT_POSITION,  28, kStrSegmentPosition,     0, -200,  300, -100,  200, 1, kPct),
    // The shortest segment is the float nearest 0.1 %, never 0.
    Slider(LWD_SEGMENT_LENGTH,    29, kStrSegmentLength,      25, 0.1f,  200, 0.1f,  100, 1, kPct),
    Popup (LWD_SEGMENT_GROWS_FROM, 36, kStrSegmentGrowsFrom, kStrGrowsFromChoices, 3, 1),
    // In pixels; 0 takes the thickness from the source, a negative value mirrors it across.
    Slider(LWD_THICKNESS,          5, kStrThickness,           0,-4000, 4000, -500,  500, 1, kNum),
    Slider(LWD_TAPER_START,       13, kStrTaperStart,          0,    0,  100,    0,  100, 1, kPct),
    Slider(LWD_TAPER_END,         14, kStrTaperEnd,            0,    0,  100,    0,  100, 1, kPct),
    Popup (LWD_TAPER_SHAPE,       15, kStrTaperShape, kStrTaperShapeChoices, 2, 2),
    Plain (LWD_WIDTH_CURVE, PF_Param_PATH, 26, kStrWidthCurve),
    Plain (LWD_WIDTH_GRAPH, PF_Param_ARBITRARY_DATA, kWidthGraphDataId, kStrWidthGraph,
           kGraphUiFlags),
    Slider(LWD_START_WIDTH,       21, kStrStartWidth,        100,    0,  400,    0,  200, 1, kPct),
    Slider(LWD_END_WIDTH,         22, kStrEndWidth,          100,    0,  400,    0,  200, 1, kPct),
    Slider(LWD_OFFSET,             6, kStrOffset,              0, -500,  500, -100,  100, 1, kPct),
    Slider(LWD_TRIM_START,         7, kStrTrimStart,           0,    0,  100,    0,  100, 1, kPct),
    Slider(LWD_TRIM_END,           8, kStrTrimEnd,           100,    0,  100,    0,  100, 1, kPct),
    Angle (LWD_BANK,              23, kStrBank, 0),
    Popup (LWD_SURFACE,           24, kStrSurface, kStrSurfaceChoices, 2, 1),
    Slider(LWD_SHADING,           16, kStrShading,             0,    0,  100,    0,  100, 1, kPct),
    Angle (LWD_LIGHT_DIRECTION,   17, kStrLightDirection, 0),
    Slider(LWD_DEPTH,             18, kStrDepth,               0,    0,  200,    0,  100, 1, kNum),
    Angle (LWD_DEPTH_DIRECTION,   19, kStrDepthDirection, kDegrees180),
    Slider(LWD_DEPTH_SHADE,       20, kStrDepthShade,         45,    0,  100,    0,  100, 1, kPct),
    // Whole pixels of growth on every side of the output.
    Slider(LWD_EXPAND_BOUNDS,     10, kStrExpandBounds,        0,    0, 2000,    0,  500, 0, kNum),
    Popup (LWD_QUALITY,           25, kStrQuality, kStrQualityChoices, 2, 1),
    Slider(LWD_OPACITY,            9, kStrOpacity,           100,    0,  100,    0,  100, 1, kPct),
    // Two information buttons, shown disabled, around the one live button: only the web-page
    // button is supervised, so only its clicks come back as USER_CHANGED_PARAM.
    //     index                 id  label                   button text
    Button(LWD_VERSION_BUTTON,    12, kStrVersionButtonLabel, kStrVersionText,
           PF_PUI_DISABLED, 0),
    Button(LWD_WEB_BUTTON,        38, kStrWebButtonLabel,     kStrWebButtonText,
           PF_PUI_NONE, PF_ParamFlag_SUPERVISE),
    Button(LWD_CREDIT_BUTTON,     39, kStrCreditButtonLabel,  kStrCreditButtonText,
           PF_PUI_DISABLED, 0),
    Slider(LWD_AUTO_BANK,         30, kStrAutoBank,            0,    0,  200,    0,  200, 1, kPct),
    Slider(LWD_FLAT_POSITION,     31, kStrFlatPosition,       50,    0,  100,    0,  100, 1, kPct),
    Slider(LWD_FLAT_WIDTH,        32, kStrFlatWidth,          20,    0,  100,    0,  100, 1, kPct),
    // At least 1 %: the automatic twist needs some length to turn over.
    Slider(LWD_BANK_FALLOFF,      33, kStrBankFalloff,        35,    1,  100,    1,  100, 1, kPct),
  }};
}();
// clang-format on

// Row i declares parameter index i + 1: the table's order is the panel's order.
constexpr bool ParamTableInIndexOrder() {
  for (std::size_t i = 0; i < kParamTable.size(); ++i) {
    if (kParamTable[i].index != static_cast<int>(i) + 1) {
      return false;
    }
  }
  return true;
}
static_assert(ParamTableInIndexOrder());

// The declaration of parameter `index` (1 to 36), or null for the input layer and anything out of
// range.
constexpr const LWD_ParamRow* ParamRowAt(int index) {
  if (index < 1 || index > static_cast<int>(kParamTable.size())) {
    return nullptr;
  }
  return &kParamTable[static_cast<std::size_t>(index - 1)];
}

}  // namespace lwd
