// lathewind_over.so: the effect as a frei0r mixer2. The second input is the Source, the first
// the background the ribbon is laid over.
#include "frei0r_api.h"

#include "entry_points.h"

const char* lwfrei0r::PluginName() {
  return "Lathewind Over";
}

extern "C" {

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  lwfrei0r::FillPluginInfo(info);
  info->name = "Lathewind Over";
  info->plugin_type = F0R_PLUGIN_TYPE_MIXER2;
  info->explanation = "Wraps the second input along a mask path as a ribbon over the first";
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1,
                 const uint32_t* inframe2, const uint32_t* /*inframe3*/, uint32_t* outframe) {
  lwfrei0r::UpdateGuarded(instance, time, inframe2, inframe1, outframe);
}

// frei0r hosts call f0r_update2 for mixers; a host that calls f0r_update gets the fallback of
// a mixer without its second input: the background unchanged.
void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
  lwfrei0r::UpdateGuarded(instance, time, nullptr, inframe, outframe);
}

}  // extern "C"
