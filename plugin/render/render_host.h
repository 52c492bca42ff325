// Everything the renderer asks of the host, and nothing more: the spine at an arc length, where
// the path breaks, abort and progress, and row bands on the host's threads. The walk, the bounds
// scan, the ribbon and the width profile take this interface; render/host_glue.h implements it
// over PF_InData and the suites, and a unit test implements it over plain data.
#pragma once

#include <cstdint>
#include <vector>

#include "ae_basic_types.h"

namespace lwd {

// A point of the spine: position in layer pixels and direction of travel (not normalised).
struct LWD_SpinePosition {
  double x = 0.0;
  double y = 0.0;
  double tx = 0.0;
  double ty = 0.0;
};

// One band of a banded run, as the host's iterate_generic calls it: band `i` of `iterations`.
using LWD_BandFunction = PF_Err (*)(void* refcon, A_long thread_index, A_long i, A_long iterations);

class LWD_RenderHost {
 public:
  virtual ~LWD_RenderHost() = default;

  // The spine at arc length `arc` (clamped to the path's ends), smoothed or exact as this host was
  // made for. After an error `out` holds nothing to use.
  virtual PF_Err EvalSpine(double arc, LWD_SpinePosition* out) = 0;

  // The arc lengths, in order, where a segment does not start where the one before it ended.
  // Found on the first call; the list lives as long as this host.
  virtual PF_Err PathBreaks(const std::vector<double>** breaks) = 0;

  // The host's cancel: PF_Err_INTERRUPT_CANCEL (or another error) stops the render.
  virtual PF_Err Abort() = 0;
  // The share done, `done` of `total`; the host may answer with a cancel as well.
  virtual PF_Err Progress(std::int64_t done, std::int64_t total) = 0;

  // Whether the host runs bands on its own threads; without, everything runs on this thread.
  virtual bool HasThreads() const = 0;
  // Runs `iterations` bands (PF_Iterations_ONCE_PER_PROCESSOR: one per granted thread) on the
  // host's threads; only when HasThreads().
  virtual PF_Err RunBands(A_long iterations, void* refcon, LWD_BandFunction band) = 0;

 protected:
  LWD_RenderHost() = default;
  LWD_RenderHost(const LWD_RenderHost&) = default;
  LWD_RenderHost& operator=(const LWD_RenderHost&) = default;
};

}  // namespace lwd
