// How much work a scene's render is: its deposits and where they land, taken once from a render
// of the census build of the effect (see census_shim.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lwbench {

struct DepthOffset {
  double dx = 0.0;
  double dy = 0.0;
};

struct SceneCensus {
  std::int32_t boxX0 = 0;
  std::int32_t boxY0 = 0;
  std::int32_t boxWidth = 0;
  std::int32_t boxHeight = 0;
  // One front deposit per drawn point, and one source fetch per point: a point is deposited
  // exactly when its fetch is not fully transparent, which SourceIsOpaque checks for the scenes.
  std::uint64_t frontDeposits = 0;
  std::uint64_t depthDeposits = 0;
  std::vector<DepthOffset> depthOffsets;  // the depth copies of a point, from its front position
  std::uint64_t stride = 1;               // one kept front position per `stride` deposits
  std::vector<float> frontXY;             // kept front positions, x then y, in walk order
  double weight = 0.0;                    // the first point's weight

  std::uint64_t Deposits() const { return frontDeposits + depthDeposits; }
  bool HasDepth() const { return !depthOffsets.empty(); }
};

// Renders the scene's first frame with the census build and reads its census. Throws
// std::runtime_error when the census saw nothing it can read (no deposits: the effect no longer
// calls SplatBilinear from another object file, so the linker cannot route the calls).
SceneCensus TakeCensus(const std::string& censusPluginPath, const std::string& sceneFile);

}  // namespace lwbench
