#include "effect_catalogue.h"

#include <dlfcn.h>
#include "frei0r_api.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/session.h"
#include "params/param_store.h"

namespace lwfrei0r {

namespace {

namespace fs = std::filesystem;

// This plug-in's own folder, found through the address of one of its functions.
fs::path OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&FindEffect), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::error_code error;
  const fs::path self = fs::canonical(info.dli_fname, error);
  return error ? fs::path(info.dli_fname).parent_path() : self.parent_path();
}

std::string Explain(const lwhost::UnitParam& param) {
  const auto number = [](double v) {
    std::string text = std::to_string(v);
    text.erase(text.find_last_not_of('0') + 1);
    if (!text.empty() && text.back() == '.') {
      text.pop_back();
    }
    return text;
  };
  switch (param.kind) {
    case lwhost::UnitParamKind::kSlider:
      return param.label + ": 0 to 1 is " + number(param.min) + " to " + number(param.max) +
             (param.percent ? " %" : "");
    case lwhost::UnitParamKind::kAngle:
      return param.label + ": 0 to 1 is -180 to 180 degrees";
    case lwhost::UnitParamKind::kPopup: {
      std::string text = param.label + ": 0 to 1 picks";
      for (size_t i = 0; i < param.choices.size(); ++i) {
        text += (i == 0 ? " " : ", ") + param.choices[i];
      }
      return text;
    }
  }
  return param.label;
}

EffectCatalogue MakeCatalogue() {
  EffectCatalogue catalogue;
  catalogue.params.push_back(
      {"scene", "Scene file (JSON): masks, values, keys, frame rate", F0R_PARAM_STRING});
  catalogue.params.push_back(
      {"path", "SVG path data in frame pixels: the Path mask", F0R_PARAM_STRING});
  try {
    catalogue.effectPath = FindEffect();
    lwhost::Session session(catalogue.effectPath);
    const lwhost::CommandResult global = session.GlobalSetup();
    const lwhost::CommandResult setup =
        global.err == PF_Err_NONE ? session.Send(PF_Cmd_PARAMS_SETUP) : global;
    if (setup.err != PF_Err_NONE) {
      catalogue.loadError = "the effect's set-up failed with error " + std::to_string(setup.err);
      return catalogue;
    }
    const lwhost::ParamStore store(session);
    catalogue.unitParams = lwhost::UnitParams(store);
    for (const lwhost::UnitParam& param : catalogue.unitParams) {
      catalogue.params.push_back({param.name, Explain(param), F0R_PARAM_DOUBLE});
    }
  } catch (const std::exception& e) {
    catalogue.loadError = e.what();
    catalogue.unitParams.clear();
    catalogue.params.resize(kFirstEffectParam);
  } catch (...) {
    catalogue.loadError = "the effect could not be loaded";
    catalogue.unitParams.clear();
    catalogue.params.resize(kFirstEffectParam);
  }
  return catalogue;
}

}  // namespace

std::string FindEffect() {
  const char* fromEnvironment = std::getenv("LATHEWIND_PLUGIN");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  const fs::path folder = OwnFolder();
  const fs::path candidates[] = {
      folder / LATHEWIND_PLUGIN_FILE,
      (folder / LATHEWIND_INSTALLED_PLUGIN_DIR / LATHEWIND_PLUGIN_FILE).lexically_normal(),
      (folder / LATHEWIND_BUILT_PLUGIN_DIR / LATHEWIND_PLUGIN_FILE).lexically_normal(),
  };
  std::error_code error;
  for (const fs::path& candidate : candidates) {
    if (fs::exists(candidate, error)) {
      return candidate;
    }
  }
  return candidates[1];  // when none is there, the load error names the installed place
}

const EffectCatalogue& Catalogue() {
  static const EffectCatalogue catalogue = MakeCatalogue();
  return catalogue;
}

}  // namespace lwfrei0r
