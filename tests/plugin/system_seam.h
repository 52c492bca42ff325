// The web-page button's seam: the plug-in starts the browser with the C library's system(). This
// test executable defines its own system(), exported from the executable so that the dlopen'ed
// plug-in's call binds to it, which records the command instead of running it.
#pragma once

#include <string>
#include <vector>

namespace lwtest {

std::vector<std::string> SystemCalls();
void ClearSystemCalls();

}  // namespace lwtest
