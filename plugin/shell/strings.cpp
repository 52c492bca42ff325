#include "shell/strings.h"

#include <string_view>

#include "params/param_table.h"

namespace lwd {

const char kVersionText[] = "v1.7  build 24";

extern "C" constexpr LWD_TableString g_strs[kNumStrings] = {
    {kStrNone, ""},
    {kStrName, "Lathewind"},
    {kStrDescription,
     "Wraps a source layer along a mask path.\r"
     "Lathewind Free Edition, made by Corvane."},
    {kStrPath, "Path"},
    {kStrSmoothCorners, "Smooth Corners"},
    {kStrSource, "Source"},
    {kStrStretchAlongPath, "Stretch Along Path"},
    {kStrStretchAlongChoices, "Width|Height"},
    {kStrFit, "Fit"},
    {kStrFitChoices, "Stretch|Tile|Segment"},
    {kStrSegmentPosition, "Segment Position"},
    {kStrSegmentLength, "Segment Length"},
    {kStrSegmentGrowsFrom, "Segment Grows From"},
    {kStrGrowsFromChoices, "Start|Center|End"},
    {kStrThickness, "Thickness (0 = from source)"},
    {kStrTaperStart, "Taper Start"},
    {kStrTaperEnd, "Taper End"},
    {kStrTaperShape, "Taper Shape"},
    {kStrTaperShapeChoices, "Linear|Smooth"},
    {kStrOffset, "Offset"},
    {kStrTrimStart, "Trim Start"},
    {kStrTrimEnd, "Trim End"},
    {kStrWidthCurve, "Width Curve"},
    {kStrWidthGraph, "Width Graph"},
    {kStrStartWidth, "Start Width"},
    {kStrEndWidth, "End Width"},
    {kStrBank, "Bank"},
    {kStrSurface, "Surface"},
    {kStrSurfaceChoices, "Tube|Flat"},
    {kStrShading, "Shading"},
    {kStrLightDirection, "Light Direction"},
    {kStrDepth, "Depth"},
    {kStrDepthDirection, "Depth Direction"},
    {kStrDepthShade, "Depth Shade"},
    {kStrExpandBounds, "Expand Bounds"},
    {kStrQuality, "Quality"},
    {kStrQualityChoices, "Normal|High"},
    {kStrOpacity, "Opacity"},
    {kStrVersionButtonLabel, ""},
    {kStrWebButtonLabel, ""},
    {kStrWebButtonText, "Get Lathewind Pro..."},
    {kStrCreditButtonLabel, ""},
    {kStrCreditButtonText, "(c) 2026 Corvane"},
    {kStrAutoBank, "Auto Bank"},
    {kStrFlatPosition, "Flat Position"},
    {kStrFlatWidth, "Flat Width"},
    {kStrBankFalloff, "Bank Falloff"},
    {kStrErrLoadSuite, "Error loading suite."},
    {kStrErrReleaseSuite, "Error releasing suite."},
};

// Every record sits at the position of its own number.
constexpr bool EveryStringAtItsNumber() {
  for (int i = 0; i < kNumStrings; ++i) {
    if (g_strs[i].index != i) {
      return false;
    }
  }
  return true;
}
static_assert(EveryStringAtItsNumber());

// The number of '|'-separated choices in a popup's text.
constexpr int ChoiceCount(const char* text) {
  int count = 1;
  for (; *text != '\0'; ++text) {
    count += *text == '|' ? 1 : 0;
  }
  return count;
}

// Every text a parameter row names is an entry of this table, and a popup's text holds as many
// choices as its row declares, its default among them: rows and texts cannot drift apart unseen.
constexpr bool RowsNameTheirTexts() {
  const auto inTable = [](int id) { return id > kStrNone && id < kNumStrings; };
  for (const LWD_ParamRow& row : kParamTable) {
    if (!inTable(row.labelStr)) {
      return false;
    }
    if (row.type == PF_Param_POPUP &&
        (!inTable(row.choicesStr) || ChoiceCount(g_strs[row.choicesStr].str) != row.numChoices ||
         row.popupDefault < 1 || row.popupDefault > row.numChoices)) {
      return false;
    }
    if (row.type == PF_Param_BUTTON && row.buttonTextStr != kStrVersionText &&
        !inTable(row.buttonTextStr)) {
      return false;
    }
  }
  return true;
}
static_assert(RowsNameTheirTexts());

// The About text is written into return_msg (256 bytes) without a bound, after two blanks, the
// 14-character version and a carriage return: name and description must fit in the rest.
static_assert(std::string_view(g_strs[kStrName].str).size() +
                  std::string_view(g_strs[kStrDescription].str).size() <=
              238);

extern "C" const char* GetStringPtr(int32_t index) {
  if (index < 0 || index >= kNumStrings) {
    return g_strs[kStrNone].str;
  }
  return g_strs[index].str;
}

}  // namespace lwd
