#include "cli_common.h"

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "core/error_names.h"

namespace lwcli {

std::string PluginPath() {
  namespace fs = std::filesystem;
  const char* fromEnvironment = std::getenv("LATHEWIND_PLUGIN");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  // The command's own file, links resolved: a link to it in another bin folder still finds the
  // plug-in beside the real file.
  std::error_code error;
  const fs::path self = fs::canonical("/proc/self/exe", error);
  if (error) {
    return fs::path(LATHEWIND_INSTALLED_PLUGIN_DIR) / LATHEWIND_PLUGIN_FILE;
  }
  const fs::path installed =
      (self.parent_path() / LATHEWIND_INSTALLED_PLUGIN_DIR / LATHEWIND_PLUGIN_FILE)
          .lexically_normal();
  const fs::path built =
      (self.parent_path() / LATHEWIND_BUILT_PLUGIN_DIR / LATHEWIND_PLUGIN_FILE).lexically_normal();
  if (!fs::exists(installed, error) && fs::exists(built, error)) {
    return built;
  }
  return installed;  // when neither is there, the load error names the installed place
}

std::string VersionText() {
  return std::string("lathewind ") + LATHEWIND_VERSION;
}

int ReportEffectError(std::ostream& err, const std::string& what, PF_Err code) {
  err << "lathewind: " << what << " failed with error " << code << " (" << lwhost::ErrorName(code)
      << ")\n";
  return kExitEffectError;
}

std::string MessageText(const char* returnMsg) {
  std::string text(returnMsg);
  for (char& c : text) {
    if (c == '\r') {
      c = '\n';
    }
  }
  return text;
}

}  // namespace lwcli
