// The callback tables the host puts into PF_InData, and the core suites.
#pragma once

#include "ae_effect.h"

namespace lwhost {

struct HostOptions;
class SuiteRegistry;

// Handle calls, the ANSI table (maths and a sprintf that formats into the caller's buffer) and
// host_get_handle_size / host_resize_handle. The functions find their command through
// CurrentContext(); outside a command the handle calls fail (null, 0 or an error).
PF_UtilCallbacks MakeUtilCallbacks();

// add_param, register_ui, abort and progress; checkout_param and checkin_param go to the
// session's ParamHooks. Fault sites carry the callbacks' names.
PF_InteractCallbacks MakeInteractCallbacks(const HostOptions& options);

// The host's formatter, shared by the ANSI table and the "PF ANSI Suite".
int HostSprintf(A_char* buffer, const A_char* format, ...);

// Publishes "PF ANSI Suite" 1 and "PF AE App Suite" 6 (both through RegisterCoreSuites).
void RegisterAnsiSuite(SuiteRegistry& registry);
void RegisterAppSuite(SuiteRegistry& registry);
void RegisterCoreSuites(SuiteRegistry& registry);

}  // namespace lwhost
