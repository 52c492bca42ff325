// The frei0r entry points both plug-ins share. Nothing may leave them as an exception or a
// crash: every call catches what it can throw and says so on standard error.
#include "entry_points.h"

#include "frei0r_api.h"

#include <iostream>
#include <new>

#include "effect_catalogue.h"
#include "instance.h"

using lwfrei0r::Catalogue;
using lwfrei0r::Instance;

namespace {

template <class Call>
void Guarded(const char* what, Call call) {
  try {
    call();
  } catch (const std::exception& e) {
    std::cerr << lwfrei0r::PluginName() << ": " << what << ": " << e.what() << std::endl;
  } catch (...) {
    std::cerr << lwfrei0r::PluginName() << ": " << what << " failed" << std::endl;
  }
}

}  // namespace

extern "C" {

int f0r_init() {
  Guarded("f0r_init", [] { Catalogue(); });
  return 1;  // a missing effect is said by each instance, which then gives its fallback
}

void f0r_deinit() {}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  const lwfrei0r::EffectCatalogue& catalogue = Catalogue();
  if (info == nullptr || param_index < 0 ||
      param_index >= static_cast<int>(catalogue.params.size())) {
    return;
  }
  const lwfrei0r::FreiParam& param = catalogue.params[param_index];
  info->name = param.name.c_str();
  info->type = param.type;
  info->explanation = param.explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  // The caller's library tells which host this is; asked here, where the caller is its own code.
  const lwfrei0r::Host host = lwfrei0r::HostOfCaller(__builtin_return_address(0));
  Instance* instance = nullptr;
  Guarded("f0r_construct", [&] {
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
      throw std::invalid_argument("a frame of " + std::to_string(width) + " x " +
                                  std::to_string(height) + " pixels cannot be used");
    }
    instance = new Instance(lwfrei0r::PluginName(), static_cast<int32_t>(width),
                            static_cast<int32_t>(height), host);
  });
  return instance;
}

void f0r_destruct(f0r_instance_t instance) {
  Guarded("f0r_destruct", [&] { delete static_cast<Instance*>(instance); });
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr || param == nullptr) {
    return;
  }
  Guarded("f0r_set_param_value", [&] {
    Instance& self = *static_cast<Instance*>(instance);
    if (param_index == lwfrei0r::kSceneParam || param_index == lwfrei0r::kPathParam) {
      self.SetString(param_index, *static_cast<f0r_param_string*>(param));
    } else {
      self.SetDouble(param_index, *static_cast<const double*>(param));
    }
  });
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  if (instance == nullptr || param == nullptr) {
    return;
  }
  Guarded("f0r_get_param_value", [&] {
    Instance& self = *static_cast<Instance*>(instance);
    if (param_index == lwfrei0r::kSceneParam || param_index == lwfrei0r::kPathParam) {
      // The host may only read the text, never free or change it.
      *static_cast<const char**>(param) = self.GetString(param_index);
    } else {
      *static_cast<double*>(param) = self.GetDouble(param_index);
    }
  });
}

}  // extern "C"

namespace lwfrei0r {

// Fills in what both plug-ins' infos share.
void FillPluginInfo(f0r_plugin_info_t* info) {
  info->author = "Corvane";
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = LATHEWIND_VERSION_MAJOR;
  info->minor_version = LATHEWIND_VERSION_MINOR;
  info->num_params = static_cast<int>(Catalogue().params.size());
}

// Runs a frame's update behind the guard; on anything thrown the frame is the fallback.
void UpdateGuarded(f0r_instance_t instance, double time, const uint32_t* source,
                   const uint32_t* background, uint32_t* out) {
  if (instance == nullptr) {
    return;
  }
  Guarded("f0r_update",
          [&] { static_cast<Instance*>(instance)->Update(time, source, background, out); });
}

}  // namespace lwfrei0r
