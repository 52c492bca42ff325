// Positions of the effect's parameters in the array the host hands to every command. Index 0 is
// the layer that carries the effect; 1 to 36 are declared by parameter set-up in this order.
#pragma once

namespace lwd {

enum LWD_ParamIndex {
  LWD_INPUT = 0,
  LWD_PATH = 1,
  LWD_SMOOTH_CORNERS = 2,
  LWD_SOURCE = 3,
  LWD_STRETCH_ALONG = 4,
  LWD_FIT = 5,
  LWD_SEGMENT_POSITION = 6,
  LWD_SEGMENT_LENGTH = 7,
  LWD_SEGMENT_GROWS_FROM = 8,
  LWD_THICKNESS = 9,
  LWD_TAPER_START = 10,
  LWD_TAPER_END = 11,
  LWD_TAPER_SHAPE = 12,
  LWD_WIDTH_CURVE = 13,
  LWD_WIDTH_GRAPH = 14,
  LWD_START_WIDTH = 15,
  LWD_END_WIDTH = 16,
  LWD_OFFSET = 17,
  LWD_TRIM_START = 18,
  LWD_TRIM_END = 19,
  LWD_BANK = 20,
  LWD_SURFACE = 21,
  LWD_SHADING = 22,
  LWD_LIGHT_DIRECTION = 23,
  LWD_DEPTH = 24,
  LWD_DEPTH_DIRECTION = 25,
  LWD_DEPTH_SHADE = 26,
  LWD_EXPAND_BOUNDS = 27,
  LWD_QUALITY = 28,
  LWD_OPACITY = 29,
  LWD_VERSION_BUTTON = 30,
  LWD_WEB_BUTTON = 31,
  LWD_CREDIT_BUTTON = 32,
  LWD_AUTO_BANK = 33,
  LWD_FLAT_POSITION = 34,
  LWD_FLAT_WIDTH = 35,
  LWD_BANK_FALLOFF = 36,
  LWD_NUM_PARAMS = 37  // the declared parameters and the input layer
};

}  // namespace lwd
