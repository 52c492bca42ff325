// What the two plug-ins' own files and the frei0r entry points they share tell each other.
#pragma once

#include "frei0r_api.h"

namespace lwfrei0r {

// "Lathewind" or "Lathewind Over": the plug-in's frei0r name, which starts its messages. Each
// plug-in's own file defines it.
const char* PluginName();

// The fields of f0r_plugin_info_t both plug-ins share: author, colour model, versions and the
// parameter count.
void FillPluginInfo(f0r_plugin_info_t* info);

// One frame of an instance, with nothing thrown out of it. `background` is null for the filter.
void UpdateGuarded(f0r_instance_t instance, double time, const uint32_t* source,
                   const uint32_t* background, uint32_t* out);

}  // namespace lwfrei0r
