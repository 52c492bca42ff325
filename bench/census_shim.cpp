// Linked into the census build of the effect only. The linker routes every call of SplatBilinear
// made from another object file (the ribbon's deposits) here: the call is recorded and nothing is
// deposited, so a census render costs the walk alone and cannot disturb a timed render, which uses
// the untouched plug-in.
#include <cstdint>
#include <mutex>

#include "census.h"
#include "render/accum.h"

namespace {

std::mutex gMutex;
lwbench::Census gCensus;

void Keep(lwbench::CensusBuffer& b, double x, double y) {
  if (b.deposits % b.stride != 0) {
    return;
  }
  if (b.xy.size() >= 2 * lwbench::kCensusPositionCap) {
    // Full: keep every second position and double the stride.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < b.xy.size(); i += 4) {
      b.xy[kept++] = b.xy[i];
      b.xy[kept++] = b.xy[i + 1];
    }
    b.xy.resize(kept);
    b.stride *= 2;
    if (b.deposits % b.stride != 0) {
      return;
    }
  }
  b.xy.push_back(static_cast<float>(x));
  b.xy.push_back(static_cast<float>(y));
}

}  // namespace

extern "C" {

// The wrapped name of lwd::SplatBilinear(LWD_Accum*, int, int, int, int, double, double,
// const LWD_Color&, double); see -Wl,--wrap in bench/CMakeLists.txt.
__attribute__((visibility("default"))) void
__wrap__ZN3lwd13SplatBilinearEPNS_9LWD_AccumEiiiiddRKNS_9LWD_ColorEd(
    lwd::LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w, std::int32_t h,
    double x, double y, const lwd::LWD_Color& /*colour*/, double weight) {
  std::lock_guard lock(gMutex);
  lwbench::Census& c = gCensus;
  c.boxX0 = x0;
  c.boxY0 = y0;
  c.boxWidth = w;
  c.boxHeight = h;
  int index = 0;
  while (index < c.bufferCount && c.buffers[index].cells != buffer) {
    ++index;
  }
  if (index == c.bufferCount) {
    if (c.bufferCount == 2) {
      ++c.foreign;
      return;
    }
    c.buffers[c.bufferCount++].cells = buffer;
  }
  lwbench::CensusBuffer& b = c.buffers[index];
  Keep(b, x, y);
  ++b.deposits;
  if (c.lead.size() < lwbench::kCensusLeadCalls) {
    c.lead.push_back({index, x, y, weight});
  }
}

__attribute__((visibility("default"))) const lwbench::Census* LathewindBenchCensus() {
  return &gCensus;
}

__attribute__((visibility("default"))) void LathewindBenchCensusReset() {
  std::lock_guard lock(gMutex);
  gCensus = lwbench::Census{};
}

}  // extern "C"
