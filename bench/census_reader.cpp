#include "census_reader.h"

#include <stdexcept>

#include "census.h"
#include "scene_rig.h"

namespace lwbench {

namespace {

SceneCensus ReadCensus(const Census& c) {
  SceneCensus out;
  if (c.bufferCount == 0 || c.foreign != 0) {
    throw std::runtime_error(
        c.foreign != 0 ? "the census saw deposits into more than two buffers"
                       : "the census saw no deposits: is SplatBilinear still called out of line?");
  }
  out.boxX0 = c.boxX0;
  out.boxY0 = c.boxY0;
  out.boxWidth = c.boxWidth;
  out.boxHeight = c.boxHeight;
  // With Depth, a point deposits its copies into the extrusion first, so the extrusion is the
  // first buffer used and the front the second.
  const int front = c.bufferCount == 2 ? 1 : 0;
  const CensusBuffer& f = c.buffers[front];
  out.frontDeposits = f.deposits;
  out.stride = f.stride;
  out.frontXY = f.xy;
  if (c.bufferCount == 2) {
    out.depthDeposits = c.buffers[0].deposits;
    // A point deposits its depth copies, then its front. Copies that cannot reach the box are
    // skipped, so points may have fewer: the offsets are those of the point with the most copies
    // among the first calls, and the floor spreads the counted copies evenly over the points.
    std::size_t runStart = 0;
    std::size_t bestStart = 0;
    std::size_t bestEnd = 0;
    bool sawFront = false;
    for (std::size_t i = 0; i < c.lead.size(); ++i) {
      if (c.lead[i].buffer == 0) {
        continue;
      }
      sawFront = true;
      if (i - runStart > bestEnd - bestStart) {
        bestStart = runStart;
        bestEnd = i;
      }
      runStart = i + 1;
    }
    if (!sawFront) {
      throw std::runtime_error("the census did not see the first point's front deposit");
    }
    for (std::size_t k = bestStart; k < bestEnd; ++k) {
      out.depthOffsets.push_back(
          {c.lead[k].x - c.lead[bestEnd].x, c.lead[k].y - c.lead[bestEnd].y});
    }
    if (out.depthOffsets.empty() ||
        out.depthDeposits > out.frontDeposits * out.depthOffsets.size()) {
      throw std::runtime_error("the census saw points with more depth copies than its first points");
    }
  }
  for (const CensusCall& call : c.lead) {
    if (call.buffer == front) {
      out.weight = call.weight;
      break;
    }
  }
  return out;
}

}  // namespace

SceneCensus TakeCensus(const std::string& censusPluginPath, const std::string& sceneFile) {
  SceneRig rig(censusPluginPath, sceneFile);
  const auto census = reinterpret_cast<LathewindBenchCensusFn>(
      rig.GetSession().Library().Symbol("LathewindBenchCensus"));
  const auto reset = reinterpret_cast<LathewindBenchCensusResetFn>(
      rig.GetSession().Library().Symbol("LathewindBenchCensusReset"));
  if (census == nullptr || reset == nullptr) {
    throw std::runtime_error(censusPluginPath + " is not a census build of the effect");
  }
  reset();
  rig.Render();
  SceneCensus out = ReadCensus(*census());
  reset();
  return out;
}

}  // namespace lwbench
