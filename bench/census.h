// The census of one render: how many deposits went into each accumulation buffer, the box they
// were made for, and where they landed. The census build of the effect (census_shim.cpp) fills it;
// the benchmark reads it through LathewindBenchCensus() after a render.
#pragma once

#include <cstdint>
#include <vector>

namespace lwbench {

// Positions are kept for every deposit until a buffer's list is full, then for every second one,
// every fourth, and so on: a uniform thinning in walk order that bounds the census's memory.
inline constexpr std::size_t kCensusPositionCap = std::size_t{1} << 22;
// The first deposits in call order, enough to see a whole point: its depth copies, then its front.
inline constexpr std::size_t kCensusLeadCalls = 512;

struct CensusBuffer {
  const void* cells = nullptr;  // the buffer's address during the render
  std::uint64_t deposits = 0;
  std::uint64_t stride = 1;  // one position kept per `stride` deposits
  std::vector<float> xy;     // kept positions, x then y
};

struct CensusCall {
  int buffer = 0;  // index into Census::buffers
  double x = 0.0;
  double y = 0.0;
  double weight = 0.0;
};

struct Census {
  std::int32_t boxX0 = 0;
  std::int32_t boxY0 = 0;
  std::int32_t boxWidth = 0;
  std::int32_t boxHeight = 0;
  CensusBuffer buffers[2];  // in order of first use: with Depth, [0] is the extrusion
  int bufferCount = 0;
  std::uint64_t foreign = 0;  // deposits into a third buffer: a census this code cannot read
  std::vector<CensusCall> lead;
};

}  // namespace lwbench

extern "C" {
// Exported by the census build of the effect.
using LathewindBenchCensusFn = const lwbench::Census* (*)();
using LathewindBenchCensusResetFn = void (*)();
}
