// lathewind.so: the effect as a frei0r filter. The input frame is the Source; out comes the
// ribbon on transparency.
#include "frei0r_api.h"

#include "entry_points.h"

const char* lwfrei0r::PluginName() {
  return "Lathewind";
}

extern "C" {

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  lwfrei0r::FillPluginInfo(info);
  info->name = "Lathewind";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->explanation = "Wraps the frame along a mask path as a ribbon";
}

// No f0r_update2 here: GStreamer calls it in preference to f0r_update when a filter has one.
void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
  lwfrei0r::UpdateGuarded(instance, time, inframe, nullptr, outframe);
}

}  // extern "C"
