#include "shell/strings.h"

#include <string_view>

const char kVersionText[] = "v1.7  build 24";

extern "C" constexpr LWD_TableString g_strs[kNumStrings] = {
    {0, ""},
    {1, "Lathewind"},
    {2,
     "Wraps a source layer along a mask path.\r"
     "Lathewind Free Edition, made by Corvane."},
    {3, "Path"},
    {4, "Smooth Corners"},
    {5, "Source"},
    {6, "Stretch Along Path"},
    {7, "Width|Height"},
    {8, "Fit"},
    {9, "Stretch|Tile|Segment"},
    {10, "Segment Position"},
    {11, "Segment Length"},
    {12, "Segment Grows From"},
    {13, "Start|Center|End"},
    {14, "Thickness (0 = from source)"},
    {15, "Taper Start"},
    {16, "Taper End"},
    {17, "Taper Shape"},
    {18, "Linear|Smooth"},
    {19, "Offset"},
    {20, "Trim Start"},
    {21, "Trim End"},
    {22, "Width Curve"},
    {23, "Width Graph"},
    {24, "Start Width"},
    {25, "End Width"},
    {26, "Bank"},
    {27, "Surface"},
    {28, "Tube|Flat"},
    {29, "Shading"},
    {30, "Light Direction"},
    {31, "Depth"},
    {32, "Depth Direction"},
    {33, "Depth Shade"},
    {34, "Expand Bounds"},
    {35, "Quality"},
    {36, "Normal|High"},
    {37, "Opacity"},
    {38, ""},
    {39, ""},
    {40, "Get Lathewind Pro..."},
    {41, ""},
    {42, "(c) 2026 Corvane"},
    {43, "Auto Bank"},
    {44, "Flat Position"},
    {45, "Flat Width"},
    {46, "Bank Falloff"},
    {47, "Error loading suite."},
    {48, "Error releasing suite."},
};

// The About text is written into return_msg (256 bytes) without a bound, after two blanks, the
// 14-character version and a carriage return: name and description must fit in the rest.
static_assert(std::string_view(g_strs[StrID_Name].str).size() +
                  std::string_view(g_strs[StrID_Description].str).size() <=
              238);

extern "C" const char* GetStringPtr(int32_t index) {
  if (index < 0 || index >= kNumStrings) {
    return g_strs[StrID_NONE].str;
  }
  return g_strs[index].str;
}
