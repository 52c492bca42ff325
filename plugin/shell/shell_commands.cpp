#include "shell/shell_commands.h"

#include <cstdio>
#include <cstdlib>

#include "params/param_index.h"
#include "shell/strings.h"
#include "suites/suite_handler.h"

namespace lwd {

const char kUpgradePageUrl[] = "https://corvane.example/lathewind#upgrade";
const char kSupportUrl[] = "https://corvane.example/";

namespace {

// The platform's opener, run in the background of the shell so that system() does not wait for
// the browser.
#if defined(__APPLE__)
constexpr char kOpenCommandFormat[] = "/usr/bin/open '%s' >/dev/null 2>&1 &";
#else
constexpr char kOpenCommandFormat[] = "xdg-open '%s' >/dev/null 2>&1 &";
#endif

}  // namespace

PF_Err About(PF_InData* in_data, PF_OutData* out_data) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  suites.ANSICallbacksSuite1()->sprintf(out_data->return_msg, "%s  %s\r%s", GetStringPtr(kStrName),
                                        kVersionText, GetStringPtr(kStrDescription));
  return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_OutData* out_data) {
  out_data->my_version = kEffectVersion;
  out_data->out_flags = kGlobalOutFlags;
  out_data->out_flags2 = kGlobalOutFlags2;
  return PF_Err_NONE;
}

PF_Err UserChangedParam(const PF_UserChangedParamExtra* extra) {
  if (extra->param_index != LWD_WEB_BUTTON) {
    return PF_Err_NONE;
  }
  char command[512];
  std::snprintf(command, sizeof(command), kOpenCommandFormat, kUpgradePageUrl);
  // A browser that fails to start is not the user's error to handle here.
  [[maybe_unused]] const int ignored = std::system(command);
  return PF_Err_NONE;
}

}  // namespace lwd
