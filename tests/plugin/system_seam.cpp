#include "system_seam.h"

#include <mutex>

namespace {

std::mutex gMutex;
std::vector<std::string> gCalls;

}  // namespace

// Replaces the C library's system() for the whole process (see the link options of this test).
extern "C" int system(const char* command) {
  std::lock_guard lock(gMutex);
  gCalls.emplace_back(command != nullptr ? command : "<null>");
  return 0;
}

namespace lwtest {

std::vector<std::string> SystemCalls() {
  std::lock_guard lock(gMutex);
  return gCalls;
}

void ClearSystemCalls() {
  std::lock_guard lock(gMutex);
  gCalls.clear();
}

}  // namespace lwtest
