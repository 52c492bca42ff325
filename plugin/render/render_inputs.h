// The raw values the render reads once per frame, and which parameter each one comes from. The
// parameter table (params/param_table.h) is the one home of every default: the inputs start at
// the table's defaults, and the render reads the host's values through the same mapping.
#pragma once

#include <array>

#include "ae_basic_types.h"
#include "params/param_index.h"
#include "params/param_table.h"

namespace lwd {

// Popup values count from 1.
enum : A_long { LWD_STRETCH_WIDTH = 1, LWD_STRETCH_HEIGHT = 2 };
enum : A_long { LWD_FIT_STRETCH = 1, LWD_FIT_TILE = 2, LWD_FIT_SEGMENT = 3 };
enum : A_long { LWD_GROW_START = 1, LWD_GROW_CENTER = 2, LWD_GROW_END = 3 };
enum : A_long { LWD_TAPER_LINEAR = 1, LWD_TAPER_SMOOTH = 2 };
enum : A_long { LWD_SURFACE_TUBE = 1, LWD_SURFACE_FLAT = 2 };
enum : A_long { LWD_QUALITY_NORMAL = 1, LWD_QUALITY_HIGH = 2 };

// From PF_InData, the output world, the checked-out Source world and the parameter array.
// Sliders are as the host stores them (percent or px), angles are 16.16 fixed-point degrees,
// popups count from 1.
struct LWD_RenderInputs {
  // Host and output.
  A_long downsampleXNum = 1;
  A_u_long downsampleXDen = 1;
  A_long downsampleYNum = 1;
  A_u_long downsampleYDen = 1;
  A_long outputOriginX = 0;
  A_long outputOriginY = 0;
  A_long outputWidth = 0;
  A_long outputHeight = 0;
  bool deepColor = false;

  // The checked-out Source world.
  bool sourceEmpty = true;
  A_long sourceWidth = 0;
  A_long sourceHeight = 0;

  // Parameters, at the table's defaults until the render reads them.
  double smoothCorners = 0.0;
  A_long stretchAlong = 0;
  A_long fit = 0;
  double segmentPosition = 0.0;
  double segmentLength = 0.0;
  A_long segmentGrowsFrom = 0;
  double thickness = 0.0;
  double taperStart = 0.0;
  double taperEnd = 0.0;
  A_long taperShape = 0;
  double startWidth = 0.0;
  double endWidth = 0.0;
  double offset = 0.0;
  double trimStart = 0.0;
  double trimEnd = 0.0;
  PF_Fixed bank = 0;
  A_long surface = 0;
  double shading = 0.0;
  PF_Fixed lightDirection = 0;
  double depth = 0.0;
  PF_Fixed depthDirection = 0;
  double depthShade = 0.0;
  A_long quality = 0;
  double opacity = 0.0;
  double autoBank = 0.0;
  double flatPosition = 0.0;
  double flatWidth = 0.0;
  double bankFalloff = 0.0;

  constexpr LWD_RenderInputs();
};

// Which input each parameter fills, by kind of value.
template <typename Value>
struct LWD_InputOf {
  LWD_ParamIndex param;
  Value LWD_RenderInputs::*field;
};

inline constexpr std::array<LWD_InputOf<double>, 19> kSliderInputs{{
    {LWD_SMOOTH_CORNERS, &LWD_RenderInputs::smoothCorners},
    {LWD_SEGMENT_POSITION, &LWD_RenderInputs::segmentPosition},
    {LWD_SEGMENT_LENGTH, &LWD_RenderInputs::segmentLength},
    {LWD_THICKNESS, &LWD_RenderInputs::thickness},
    {LWD_TAPER_START, &LWD_RenderInputs::taperStart},
    {LWD_TAPER_END, &LWD_RenderInputs::taperEnd},
    {LWD_START_WIDTH, &LWD_RenderInputs::startWidth},
    {LWD_END_WIDTH, &LWD_RenderInputs::endWidth},
    {LWD_OFFSET, &LWD_RenderInputs::offset},
    {LWD_TRIM_START, &LWD_RenderInputs::trimStart},
    {LWD_TRIM_END, &LWD_RenderInputs::trimEnd},
    {LWD_SHADING, &LWD_RenderInputs::shading},
    {LWD_DEPTH, &LWD_RenderInputs::depth},
    {LWD_DEPTH_SHADE, &LWD_RenderInputs::depthShade},
    {LWD_OPACITY, &LWD_RenderInputs::opacity},
    {LWD_AUTO_BANK, &LWD_RenderInputs::autoBank},
    {LWD_FLAT_POSITION, &LWD_RenderInputs::flatPosition},
    {LWD_FLAT_WIDTH, &LWD_RenderInputs::flatWidth},
    {LWD_BANK_FALLOFF, &LWD_RenderInputs::bankFalloff},
}};

inline constexpr std::array<LWD_InputOf<A_long>, 6> kPopupInputs{{
    {LWD_STRETCH_ALONG, &LWD_RenderInputs::stretchAlong},
    {LWD_FIT, &LWD_RenderInputs::fit},
    {LWD_SEGMENT_GROWS_FROM, &LWD_RenderInputs::segmentGrowsFrom},
    {LWD_TAPER_SHAPE, &LWD_RenderInputs::taperShape},
    {LWD_SURFACE, &LWD_RenderInputs::surface},
    {LWD_QUALITY, &LWD_RenderInputs::quality},
}};

inline constexpr std::array<LWD_InputOf<PF_Fixed>, 3> kAngleInputs{{
    {LWD_BANK, &LWD_RenderInputs::bank},
    {LWD_LIGHT_DIRECTION, &LWD_RenderInputs::lightDirection},
    {LWD_DEPTH_DIRECTION, &LWD_RenderInputs::depthDirection},
}};

// Every mapped parameter is declared with the kind of value it is read as.
template <typename Inputs>
constexpr bool InputsOfType(const Inputs& inputs, PF_ParamType type) {
  for (const auto& input : inputs) {
    // An index check rather than comparing ParamRowAt's pointer with null: the sanitizers'
    // builds do not fold that comparison into a constant.
    if (input.param < 1 || input.param > static_cast<int>(kParamTable.size()) ||
        kParamTable[static_cast<std::size_t>(input.param - 1)].type != type) {
      return false;
    }
  }
  return true;
}
static_assert(InputsOfType(kSliderInputs, PF_Param_FLOAT_SLIDER));
static_assert(InputsOfType(kPopupInputs, PF_Param_POPUP));
static_assert(InputsOfType(kAngleInputs, PF_Param_ANGLE));

constexpr LWD_RenderInputs::LWD_RenderInputs() {
  for (const auto& input : kSliderInputs) {
    this->*input.field = ParamRowAt(input.param)->dflt;
  }
  for (const auto& input : kPopupInputs) {
    this->*input.field = ParamRowAt(input.param)->popupDefault;
  }
  for (const auto& input : kAngleInputs) {
    this->*input.field = ParamRowAt(input.param)->angleDefault;
  }
}

}  // namespace lwd
