// Pixels and worlds (image buffers) as the host lays them out. Channels put alpha first.
#pragma once

#include "ae_basic_types.h"

typedef struct PF_Pixel {
  A_u_char alpha;
  A_u_char red;
  A_u_char green;
  A_u_char blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;

typedef struct PF_Pixel16 {
  A_u_short alpha;
  A_u_short red;
  A_u_short green;
  A_u_short blue;
} PF_Pixel16;

typedef PF_Pixel* PF_PixelPtr;

enum {
  PF_MAX_CHAN8 = 255,
  PF_MAX_CHAN16 = 32768  // full scale of a 16-bit channel
};

typedef A_long PF_WorldFlags;
enum {
  PF_WorldFlag_DEEP = 1L << 0,  // 16 bits per channel
  PF_WorldFlag_WRITEABLE = 1L << 1,
  PF_WorldFlag_RESERVED0 = 1L << 24,
  PF_WorldFlag_RESERVED1 = 1L << 25
};

typedef struct PF_LayerDef {
  void* reserved0;
  void* reserved1;
  PF_WorldFlags world_flags;
  PF_PixelPtr data;
  A_long rowbytes;
  A_long width;
  A_long height;
  PF_Rect extent_hint;
  void* platform_ref;
  A_long reserved_long1;
  void* reserved_long4;
  PF_RationalScale pix_aspect_ratio;
  void* reserved_long2;
  A_long origin_x;
  A_long origin_y;
  A_long reserved_long3;
  A_long dephault;  // layer parameters: PF_LayerDefault_NONE or _MYSELF
} PF_LayerDef;

typedef PF_LayerDef PF_EffectWorld;

enum { PF_LayerDefault_MYSELF = -1, PF_LayerDefault_NONE = 0 };
