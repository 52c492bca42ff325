// The peak memory of one render, measured in a fresh child process so that nothing this process
// has allocated or freed before can hide or inflate it. The child loads the scene, reads its
// resident size, resets the kernel's peak-resident mark (/proc/self/clear_refs, "5"), renders the
// first frame and reads the peak mark again: the difference is what the render itself touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lwbench {

struct RenderMemory {
  std::int64_t peakGrowth = 0;   // bytes: peak resident during the render - resident before it
  std::int64_t outputBytes = 0;  // the output world the host made for the frame
  std::int64_t sourceBytes = 0;  // the Source world (resident before the render, lent not copied)
  bool markReset = true;         // false: the peak mark could not be reset, so it includes loading
};

// Runs this executable again as a probe of `sceneFile` on `pluginPath`. nullopt when the child
// fails (the reason is printed on stderr).
std::optional<RenderMemory> MeasureRenderMemory(const std::string& pluginPath,
                                                const std::string& sceneFile);

// The child's side: measures and prints one JSON line on stdout. Returns the exit code.
int RunMemoryProbe(const std::string& pluginPath, const std::string& sceneFile);

}  // namespace lwbench
