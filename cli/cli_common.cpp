#include "cli_common.h"

#include <cstdlib>
#include <ostream>

#include "core/error_names.h"

namespace lwcli {

std::string PluginPath() {
  const char* fromEnvironment = std::getenv("LATHEWIND_PLUGIN");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
    return fromEnvironment;
  }
  return LATHEWIND_DEFAULT_PLUGIN;
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
