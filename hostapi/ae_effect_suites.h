// Effect suites obtained through SPBasicSuite. Every function sits at the position the host
// publishes it at; slots an effect never calls are kept so that the positions hold.
#pragma once

#include "ae_basic_types.h"
#include "ae_effect.h"
#include "ae_world.h"
#include "drawbot_suites.h"

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1

// Same layout as PF_ANSICallbacks: sprintf is the sixteenth function.
typedef struct PF_ANSICallbacksSuite1 {
  double (*atan)(double);
  double (*atan2)(double y, double x);
  double (*ceil)(double);
  double (*cos)(double);
  double (*exp)(double);
  double (*fabs)(double);
  double (*floor)(double);
  double (*fmod)(double, double);
  double (*hypot)(double, double);
  double (*log)(double);
  double (*log10)(double);
  double (*pow)(double, double);
  double (*sin)(double);
  double (*sqrt)(double);
  double (*tan)(double);
  int (*sprintf)(A_char* buffer, const A_char* format, ...);
  A_char* (*strcpy)(A_char* dst, const A_char* src);
  double (*asin)(double);
  double (*acos)(double);
} PF_ANSICallbacksSuite1;

#define kPFFillMatteSuite "PF Fill Matte Suite"
#define kPFFillMatteSuiteVersion2 2

typedef struct PF_FillMatteSuite2 {
  // A null rectangle fills the whole world.
  PF_Err (*fill)(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
                 PF_EffectWorld* world);
  PF_Err (*fill16)(PF_ProgPtr effect_ref, const PF_Pixel16* color, const PF_Rect* dst_rect,
                   PF_EffectWorld* world);
} PF_FillMatteSuite2;

#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion6 6

typedef struct PF_AppSuite6 {
  PF_Err (*PF_AppGetBgColor)(void* bg_colorP);
  PF_Err (*PF_AppGetColor)(A_long color_type, void* app_colorP);
  PF_Err (*PF_GetPersonalInfo)(void* ppi);
  PF_Err (*PF_GetFontStyleSheet)(A_long sheet, void* font_nameP, A_short* font_numPS,
                                 A_short* sizePS, A_short* stylePS);
  PF_Err (*PF_SetCursor)(A_long cursor);
  PF_Err (*PF_IsRenderEngine)(PF_Boolean* render_enginePB);
  PF_Err (*PF_AppColorPickerDialog)(const A_char* dialog_title, const void* sample_colorP,
                                    PF_Boolean use_ws_to_monitor_xformB, void* result_colorP);
  PF_Err (*PF_GetMouse)(PF_Point* pointP);
  // Ninth function: asks the host to redraw a rectangle of a control.
  PF_Err (*PF_InvalidateRect)(const PF_ContextH contextH, const PF_Rect* rectP);
  PF_Err (*PF_ConvertLocalToGlobal)(const PF_Point* localP, PF_Point* globalP);
} PF_AppSuite6;

#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1

typedef struct PF_EffectCustomUISuite1 {
  PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH, DRAWBOT_DrawRef* referenceP0);
} PF_EffectCustomUISuite1;
