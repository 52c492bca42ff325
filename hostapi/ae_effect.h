// Effect records and commands: what the host passes to EffectMain, the callbacks it offers in
// PF_InData, the extra records of particular commands, and the registration entry point.
#pragma once

#include "ae_basic_types.h"
#include "ae_params.h"
#include "ae_world.h"
#include "sp_basic_suite.h"

typedef A_long PF_Cmd;
enum {
  PF_Cmd_ABOUT = 0,
  PF_Cmd_GLOBAL_SETUP = 1,
  PF_Cmd_UNUSED_0 = 2,
  PF_Cmd_GLOBAL_SETDOWN = 3,
  PF_Cmd_PARAMS_SETUP = 4,
  PF_Cmd_SEQUENCE_SETUP = 5,
  PF_Cmd_SEQUENCE_RESETUP = 6,
  PF_Cmd_SEQUENCE_FLATTEN = 7,
  PF_Cmd_SEQUENCE_SETDOWN = 8,
  PF_Cmd_DO_DIALOG = 9,
  PF_Cmd_FRAME_SETUP = 10,
  PF_Cmd_RENDER = 11,
  PF_Cmd_FRAME_SETDOWN = 12,
  PF_Cmd_USER_CHANGED_PARAM = 13,
  PF_Cmd_UPDATE_PARAMS_UI = 14,
  PF_Cmd_EVENT = 15,
  PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
  PF_Cmd_COMPLETELY_GENERAL = 17,
  PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
  PF_Cmd_AUDIO_RENDER = 19,
  PF_Cmd_AUDIO_SETUP = 20,
  PF_Cmd_AUDIO_SETDOWN = 21,
  PF_Cmd_ARBITRARY_CALLBACK = 22,
  PF_Cmd_SMART_PRE_RENDER = 23,
  PF_Cmd_SMART_RENDER = 24,
  PF_Cmd_RESERVED1 = 25,
  PF_Cmd_RESERVED2 = 26,
  PF_Cmd_RESERVED3 = 27,
  PF_Cmd_GET_FLATTENED_SEQUENCE_DATA = 28,
  PF_Cmd_TRANSLATE_PARAMS_TO_PREFS = 29,
  PF_Cmd_RESERVED4 = 30,
  PF_Cmd_SMART_RENDER_GPU = 31,
  PF_Cmd_GPU_DEVICE_SETUP = 32,
  PF_Cmd_GPU_DEVICE_SETDOWN = 33,
  PF_Cmd_NUM_CMDS
};

typedef A_long PF_OutFlags;
enum {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_KEEP_RESOURCE_OPEN = 1L << 0,
  PF_OutFlag_WIDE_TIME_INPUT = 1L << 1,
  PF_OutFlag_NON_PARAM_VARY = 1L << 2,
  PF_OutFlag_RESERVED6 = 1L << 3,
  PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1L << 4,
  PF_OutFlag_I_DO_DIALOG = 1L << 5,
  PF_OutFlag_USE_OUTPUT_EXTENT = 1L << 6,
  PF_OutFlag_SEND_DO_DIALOG = 1L << 7,
  PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
  PF_OutFlag_I_EXPAND_BUFFER = 1L << 9,
  PF_OutFlag_PIX_INDEPENDENT = 1L << 10,
  PF_OutFlag_I_WRITE_INPUT_BUFFER = 1L << 11,
  PF_OutFlag_I_SHRINK_BUFFER = 1L << 12,
  PF_OutFlag_WORKS_IN_PLACE = 1L << 13,
  PF_OutFlag_RESERVED8 = 1L << 14,
  PF_OutFlag_CUSTOM_UI = 1L << 15,
  PF_OutFlag_RESERVED7 = 1L << 16,
  PF_OutFlag_REFRESH_UI = 1L << 17,
  PF_OutFlag_NOP_RENDER = 1L << 18,
  PF_OutFlag_I_USE_SHUTTER_ANGLE = 1L << 19,
  PF_OutFlag_I_USE_AUDIO = 1L << 20,
  PF_OutFlag_I_AM_OBSOLETE = 1L << 21,
  PF_OutFlag_FORCE_RERENDER = 1L << 22,
  PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 1L << 23,
  PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 1L << 24,
  PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,
  PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1L << 26,
  PF_OutFlag_AUDIO_FLOAT_ONLY = 1L << 27,
  PF_OutFlag_AUDIO_IIR = 1L << 28,
  PF_OutFlag_I_SYNTHESIZE_AUDIO = 1L << 29,
  PF_OutFlag_AUDIO_EFFECT_TOO = 1L << 30,
  PF_OutFlag_AUDIO_EFFECT_ONLY = 1L << 31
};

typedef A_long PF_OutFlags2;
enum {
  PF_OutFlag2_NONE = 0,
  PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1L << 0,
  PF_OutFlag2_I_USE_3D_CAMERA = 1L << 1,
  PF_OutFlag2_I_USE_3D_LIGHTS = 1L << 2,
  PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1L << 3,
  PF_OutFlag2_I_AM_THREADSAFE = 1L << 4,
  PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 1L << 5,
  PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 1L << 6,
  PF_OutFlag2_REVEALS_ZERO_ALPHA = 1L << 7,
  PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 1L << 8,
  PF_OutFlag2_SUPPORTS_SMART_RENDER = 1L << 10,
  PF_OutFlag2_FLOAT_COLOR_AWARE = 1L << 12,
  PF_OutFlag2_I_USE_COLORSPACE_ENUMERATION = 1L << 13,
  PF_OutFlag2_I_AM_DEPRECATED = 1L << 14,
  PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 1L << 15,
  PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 1L << 17,
  PF_OutFlag2_I_USE_TIMECODE = 1L << 18,
  PF_OutFlag2_DEPENDS_ON_UNREFERENCED_MASKS = 1L << 19,
  PF_OutFlag2_OUTPUT_IS_WATERMARKED = 1L << 20,
  PF_OutFlag2_I_MIX_GUID_DEPENDENCIES = 1L << 21,
  PF_OutFlag2_WIDE_TIME_INPUT_NO_REPEAT = 1L << 22,
  PF_OutFlag2_SUPPORTS_GET_FLATTENED_SEQUENCE_DATA = 1L << 23,
  PF_OutFlag2_CUSTOM_UI_ASYNC_MANAGER = 1L << 24,
  PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 = 1L << 25,
  PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1L << 27,
  PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER = 1L << 28
};

typedef A_long PF_InFlags;

// Version packing of my_version.
enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

typedef A_long PF_Quality;
enum { PF_Quality_LO = 0, PF_Quality_HI = 1 };

typedef struct PF_SpecVersion {
  A_short major;
  A_short minor;
} PF_SpecVersion;

// Custom user interface registration.
enum {
  PF_CustomEFlag_NONE = 0,
  PF_CustomEFlag_COMP = 1L << 0,
  PF_CustomEFlag_LAYER = 1L << 1,
  PF_CustomEFlag_EFFECT = 1L << 2,  // events for the effect panel only
  PF_CustomEFlag_PREVIEW = 1L << 3
};

typedef struct PF_CustomUIInfo {
  A_long events;
  A_long comp_ui_width;
  A_long comp_ui_height;
  A_long comp_ui_alignment;
  A_long layer_ui_width;
  A_long layer_ui_height;
  A_long layer_ui_alignment;
  A_long preview_ui_width;
  A_long preview_ui_height;
  A_long preview_ui_alignment;
} PF_CustomUIInfo;

// Interaction callbacks: the calls an effect makes back into the host during a command.
typedef struct PF_InteractCallbacks {
  PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                           A_long time_step, A_u_long time_scale, PF_ParamDef* param);
  PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
  PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
  PF_Err (*abort)(PF_ProgPtr effect_ref);
  PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
  PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
  PF_Err (*checkout_layer_audio)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long start_time,
                                 A_long duration, A_u_long time_scale, A_long rate,
                                 A_long bytes_per_sample, A_long num_channels, A_long fmt_signed,
                                 void** audio);
  PF_Err (*checkin_layer_audio)(PF_ProgPtr effect_ref, void* audio);
  PF_Err (*get_audio_data)(PF_ProgPtr effect_ref, void* audio, void** data, A_long* num_samples,
                           A_u_long* rate, A_long* bytes_per_sample, A_long* num_channels,
                           A_long* fmt_signed);
  void* reserved_str[3];
  void* reserved[10];
} PF_InteractCallbacks;

// The ANSI table reached from the utility callbacks: the host's maths and formatting.
typedef struct PF_ANSICallbacks {
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
  A_long ansi_procs[1];
} PF_ANSICallbacks;

// iterate_generic's iteration count for one iteration per thread the host grants.
#define PF_Iterations_ONCE_PER_PROCESSOR (-1)

// Utility callbacks. The effect uses the handle calls, the ANSI sprintf and iterate_generic; the
// others are present so that the table keeps the host's shape.
typedef struct _PF_UtilCallbacks {
  void* begin_sampling;
  void* subpixel_sample;
  void* area_sample;
  void* get_batch_func_is_deprecated;
  void* end_sampling;
  void* composite_rect;
  void* blend;
  void* convolve;
  void* copy;
  void* fill;
  void* gaussian_kernel;
  void* iterate;
  void* premultiply;
  void* premultiply_color;
  void* new_world;
  void* dispose_world;
  void* iterate_origin;
  void* iterate_lut;
  void* transfer_rect;
  void* transform_world;
  PF_Handle (*host_new_handle)(A_u_longlong size);
  void* (*host_lock_handle)(PF_Handle pf_handle);
  void (*host_unlock_handle)(PF_Handle pf_handle);
  void (*host_dispose_handle)(PF_Handle pf_handle);
  void* get_callback_addr;
  void* app;
  PF_ANSICallbacks ansi;
  void* colorCB;
  void* get_platform_data;
  A_u_longlong (*host_get_handle_size)(PF_Handle pf_handle);
  void* iterate_origin_non_clip_src;
  // Calls fn_func(refconPV, thread_indexL, i, iterationsL) for i = 0 .. iterationsL - 1, spread
  // over the threads the host grants this render; PF_Iterations_ONCE_PER_PROCESSOR asks for one
  // iteration per granted thread (iterationsL then tells how many). Returns the first error of
  // an iteration.
  PF_Err (*iterate_generic)(A_long iterationsL, void* refconPV,
                            PF_Err (*fn_func)(void* refconPV, A_long thread_indexL, A_long i,
                                              A_long iterationsL));
  PF_Err (*host_resize_handle)(A_u_longlong new_sizeL, PF_Handle* handlePH);
  void* subpixel_sample16;
  void* area_sample16;
  void* fill16;
  void* premultiply_color16;
  void* iterate16;
  void* iterate_origin16;
  void* iterate_origin_non_clip_src16;
  void* get_pixel_data8;
  void* get_pixel_data16;
  A_long reserved[1];
} PF_UtilCallbacks;

typedef struct PF_InData {
  PF_InteractCallbacks inter;
  PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  PF_Quality quality;
  PF_SpecVersion version;
  A_long serial_num;
  A_long appl_id;
  A_long num_params;
  A_long reserved;
  A_long what_cpu;
  A_long what_fpu;
  A_long current_time;
  A_long time_step;
  A_long total_time;
  A_long local_time_step;
  A_u_long time_scale;
  A_long field;
  PF_Fixed shutter_angle;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  A_long output_origin_x;
  A_long output_origin_y;
  PF_RationalScale downsample_x;
  PF_RationalScale downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  PF_InFlags in_flags;
  PF_Handle global_data;
  PF_Handle sequence_data;
  PF_Handle frame_data;
  A_long start_sampL;
  A_long dur_sampL;
  A_long total_sampL;
  void* src_snd;
  SPBasicSuite* pica_basicP;
  A_long pre_effect_source_origin_x;
  A_long pre_effect_source_origin_y;
  PF_Fixed shutter_phase;
} PF_InData;

typedef struct PF_OutData {
  A_u_long my_version;
  A_char name[32];
  PF_Handle global_data;
  A_long num_params;
  PF_Handle sequence_data;
  A_long flat_sdata_size;
  PF_Handle frame_data;
  A_long width;
  A_long height;
  PF_Point origin;
  PF_OutFlags out_flags;
  A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
  A_long start_sampL;
  A_long dur_sampL;
  void* dest_snd;
  PF_OutFlags2 out_flags2;
} PF_OutData;

// Extra record of PF_Cmd_USER_CHANGED_PARAM.
typedef struct PF_UserChangedParamExtra {
  PF_ParamIndex param_index;
} PF_UserChangedParamExtra;

// Extra record of PF_Cmd_ARBITRARY_CALLBACK.
typedef A_long PF_FunctionSelector;
enum {
  PF_Arbitrary_NEW_FUNC = 0,
  PF_Arbitrary_DISPOSE_FUNC = 1,
  PF_Arbitrary_COPY_FUNC = 2,
  PF_Arbitrary_FLAT_SIZE_FUNC = 3,
  PF_Arbitrary_FLATTEN_FUNC = 4,
  PF_Arbitrary_UNFLATTEN_FUNC = 5,
  PF_Arbitrary_INTERP_FUNC = 6,
  PF_Arbitrary_COMPARE_FUNC = 7,
  PF_Arbitrary_PRINT_SIZE_FUNC = 8,
  PF_Arbitrary_PRINT_FUNC = 9,
  PF_Arbitrary_SCAN_FUNC = 10
};

typedef A_long PF_ArbCompareResult;
enum {
  PF_ArbCompare_EQUAL = 0,
  PF_ArbCompare_LESS = 1,
  PF_ArbCompare_MORE = 2,
  PF_ArbCompare_NOT_EQUAL = 3
};

typedef A_long PF_ArbPrintFlags;

typedef struct PF_ArbParamsExtra {
  PF_FunctionSelector which_function;
  A_short id;
  A_short padding;
  union {
    struct {
      void* refconPV;
      PF_ArbitraryH* arbPH;
    } new_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH arbH;
    } dispose_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH src_arbH;
      PF_ArbitraryH* dst_arbPH;
    } copy_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH arbH;
      A_u_long* flat_data_sizePLu;
    } flat_size_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH arbH;
      A_u_long buf_sizeLu;
      void* flat_dataPV;
    } flatten_func_params;
    struct {
      void* refconPV;
      A_u_long buf_sizeLu;
      const void* flat_dataPV;
      PF_ArbitraryH* arbPH;
    } unflatten_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH left_arbH;
      PF_ArbitraryH right_arbH;
      PF_FpLong tF;
      PF_ArbitraryH* interpPH;
    } interp_func_params;
    struct {
      void* refconPV;
      PF_ArbitraryH a_arbH;
      PF_ArbitraryH b_arbH;
      PF_ArbCompareResult* compareP;
    } compare_func_params;
    struct {
      void* refconPV;
      PF_ArbPrintFlags print_flags;
      PF_ArbitraryH arbH;
      A_u_long* print_sizePLu;
    } print_size_func_params;
    struct {
      void* refconPV;
      PF_ArbPrintFlags print_flags;
      PF_ArbitraryH arbH;
      A_u_long print_sizeLu;
      A_char* print_bufferPC;
    } print_func_params;
    struct {
      void* refconPV;
      const A_char* bufPC;
      A_u_long bytes_to_scanLu;
      PF_ArbitraryH* arbPH;
    } scan_func_params;
  } u;
} PF_ArbParamsExtra;

// Extra record of PF_Cmd_EVENT.
typedef A_long PF_EventType;
enum {
  PF_Event_NEW_CONTEXT = 0,
  PF_Event_ACTIVATE = 1,
  PF_Event_DO_CLICK = 2,
  PF_Event_DRAG = 3,
  PF_Event_DRAW = 4,
  PF_Event_DEACTIVATE = 5,
  PF_Event_CLOSE_CONTEXT = 6,
  PF_Event_IDLE = 7,
  PF_Event_ADJUST_CURSOR = 8,
  PF_Event_KEYDOWN = 9,
  PF_Event_MOUSE_EXITED = 10,
  PF_Event_NUM_EVENTS
};

typedef A_long PF_EventInFlags;
typedef A_long PF_EventOutFlags;
enum {
  PF_EO_NONE = 0,
  PF_EO_HANDLED_EVENT = 1L << 0,
  PF_EO_ALWAYS_UPDATE = 1L << 1,
  PF_EO_NEVER_UPDATE = 1L << 2,
  PF_EO_UPDATE_NOW = 1L << 3
};

typedef A_long PF_WindowType;
enum {
  PF_Window_NONE = -1,
  PF_Window_COMP = 0,
  PF_Window_LAYER = 1,
  PF_Window_EFFECT = 2,
  PF_Window_PREVIEW = 3
};

typedef A_long PF_EffectArea;
enum {
  PF_EA_NONE = 0,
  PF_EA_PARAM_TITLE = 1,  // the parameter's title row
  PF_EA_CONTROL = 2       // the parameter's own control area
};

typedef A_long PF_Modifiers;

typedef struct PF_DoClickEventInfo {
  A_u_long when;
  PF_Point screen_point;
  A_long num_clicks;
  PF_Modifiers modifiers;
  A_long continue_refcon[4];
  PF_Boolean send_drag;  // set by the effect: the host sends drag events next
  PF_Boolean last_time;
  A_short reserved[1];
  A_long reserved2[4];
} PF_DoClickEventInfo;

typedef struct PF_DrawEventInfo {
  PF_Rect update_rect;
  A_long depth;
} PF_DrawEventInfo;

typedef struct PF_AdjustCursorEventInfo {
  PF_Point screen_point;
  PF_Modifiers modifiers;
  A_long set_cursor;
} PF_AdjustCursorEventInfo;

typedef struct PF_KeyDownEvent {
  A_u_long when;
  PF_Point screen_point;
  A_long char_code;
  A_long key_code;
  PF_Modifiers modifiers;
} PF_KeyDownEvent;

typedef union PF_EventUnion {
  PF_DoClickEventInfo do_click;
  PF_DrawEventInfo draw;
  PF_AdjustCursorEventInfo adjust_cursor;
  PF_KeyDownEvent key_down;
} PF_EventUnion;

typedef struct PF_EffectWindowInfo {
  PF_ParamIndex index;
  PF_EffectArea area;
  PF_Rect current_frame;
  PF_Rect param_title_frame;
  A_long horiz_offset;
} PF_EffectWindowInfo;

typedef struct PF_EventCallbacks {
  void* refcon;
  void* layer_to_comp;
  void* comp_to_layer;
  void* get_comp2layer_xform;
  void* get_layer2comp_xform;
  void* source_to_frame;
  void* frame_to_source;
  void* info_draw_color;
  void* info_draw_text;
} PF_EventCallbacks;

typedef struct PF_EventExtra {
  PF_ContextH contextH;
  PF_EventType e_type;
  PF_EventUnion u;
  PF_EffectWindowInfo effect_win;
  PF_EventCallbacks cbs;
  PF_EventInFlags evt_in_flags;
  PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

// Entry points.
typedef PF_Err (*PF_EffectMainFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* output, void* extra);

// Registration: the host passes this callback to PluginDataEntryFunction2, which calls it once.
typedef void* PF_PluginDataPtr;
typedef PF_Err (*PF_PluginDataCB2)(PF_PluginDataPtr inPtr, const A_u_char* inNodeName,
                                   const A_u_char* inMatchName, const A_u_char* inCategory,
                                   const A_u_char* inEntryPointName, A_long inPluginType,
                                   A_long inApiMajor, A_long inApiMinor, A_long inReservedInfo,
                                   const A_u_char* inSupportURL);
typedef PF_Err (*PF_PluginDataEntryFunc2)(PF_PluginDataPtr inPtr,
                                          PF_PluginDataCB2 inPluginDataCallBackPtr,
                                          SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                          const char* inHostVersion);

#define PF_PLUGIN_KIND_EFFECT 0x65464B54  // 'eFKT'
