// The ribbon's samples gathered into blocks and drawn a block at a time: memory stays bounded on
// long paths, and a cancel waits for at most one block's work. A block is drawn in row bands on
// the threads the host grants, or on this thread when it has none.
#pragma once

#include <cstdint>
#include <vector>

#include "ae_effect.h"
#include "render/accum.h"
#include "render/render_host.h"
#include "render/render_settings.h"
#include "render/ribbon_poll.h"
#include "render/ribbon_raster.h"
#include "render/ribbon_sample.h"

namespace lwd {

// Draws one block of samples over the whole box, in balanced row bands.
struct LWD_BlockDraw {
  const LWD_RenderSettings& s;
  const PF_LayerDef& source;
  LWD_Accum* accum;
  LWD_Accum* depthAccum;
  LWD_RowSpan* spans;
  const std::vector<LWD_RibbonSample>* samples = nullptr;
  std::vector<std::int64_t> bounds{};  // the bands' first rows, then the end of the last
  A_long bands = 0;                    // 0 until the host has been asked for its threads

  PF_Err Run(LWD_RenderHost& host, const std::vector<LWD_RibbonSample>& block);

 private:
  PF_Err ChooseBands(LWD_RenderHost& host);
  static PF_Err CountThreads(void* refcon, A_long thread_index, A_long i, A_long iterations);
  static PF_Err Band(void* refcon, A_long thread_index, A_long i, A_long iterations);
};

class LWD_BlockBatcher {
 public:
  LWD_BlockBatcher(const LWD_RenderSettings& s, const PF_LayerDef& source, LWD_Accum* accum,
                   LWD_Accum* depthAccum, LWD_RowSpan* spans);

  // Adds a sample that draws. One bigger than a block (a huge width, a wide fan, deep extrusion)
  // is drawn a block's worth of points at a time, with an abort after each piece.
  PF_Err Add(LWD_RenderHost& host, LWD_RibbonSample sample, LWD_RibbonPoll& poll);
  // Draws the block once it is full; after one full of deposits, asks for a cancel.
  PF_Err DrawIfFull(LWD_RenderHost& host, LWD_RibbonPoll& poll);
  // Draws what the block holds.
  PF_Err Flush(LWD_RenderHost& host);

 private:
  LWD_BlockDraw draw_;
  std::vector<LWD_RibbonSample> block_;
  double blockDeposits_ = 0.0;
  double depositsPerPoint_;
  std::int64_t pointsPerPiece_;
};

}  // namespace lwd
