#include "render/frame_setup.h"

#include "params/param_index.h"

namespace lwd {

namespace {

constexpr double kMaxExpand = 2000.0;  // the slider's valid maximum

}  // namespace

std::int32_t ExpandBoundsPixels(double expandBounds) {
  const double rounded = expandBounds + 0.5;
  if (!(rounded > 0.0)) {
    return 0;
  }
  return static_cast<std::int32_t>(rounded < kMaxExpand ? rounded : kMaxExpand);
}

PF_Err FrameSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[]) {
  if (in_data == nullptr || out_data == nullptr || params == nullptr ||
      params[LWD_EXPAND_BOUNDS] == nullptr) {
    return PF_Err_NONE;
  }
  const std::int32_t grow = ExpandBoundsPixels(params[LWD_EXPAND_BOUNDS]->u.fs_d.value);
  if (grow <= 0) {
    // The host's own sizes stand.
    return PF_Err_NONE;
  }
  // The host renders into a world grown on every side and tells the render where the layer's
  // origin now lies (output_origin). The margin is a pixel count of that world, not downsampled.
  out_data->width = in_data->width + 2 * grow;
  out_data->height = in_data->height + 2 * grow;
  out_data->origin.h = grow;
  out_data->origin.v = grow;
  return PF_Err_NONE;
}

}  // namespace lwd
