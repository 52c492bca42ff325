// Basic scalar types, handles and error codes of the host's effect API.
// Declarations only: the host and the effect both compile against these.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef uint8_t A_Boolean;
typedef int64_t A_longlong;
typedef uint64_t A_u_longlong;
typedef int32_t A_Err;
typedef int32_t SPErr;

typedef A_long PF_Err;
typedef A_long PF_Fixed;  // 16.16 fixed point
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef A_u_char PF_Boolean;
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;

// A host handle: a pointer to a master pointer, as the host hands them out.
typedef void** PF_Handle;
typedef PF_Handle PF_ArbitraryH;

// Opaque host references. The effect only passes them back to the host.
typedef struct _PF_ProgressInfo* PF_ProgPtr;
typedef struct _PF_Context** PF_ContextH;

// Error codes.
enum {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517,
  PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518
};

typedef struct PF_Point {
  A_long h;
  A_long v;
} PF_Point;

typedef struct PF_Rect {
  A_long left;
  A_long top;
  A_long right;
  A_long bottom;
} PF_Rect;

typedef struct PF_RationalScale {
  A_long num;
  A_u_long den;
} PF_RationalScale;

#define PF_MAX_EFFECT_NAME_LEN 31
#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255
