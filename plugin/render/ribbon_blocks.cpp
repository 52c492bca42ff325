#include "render/ribbon_blocks.h"

#include <algorithm>

namespace lwd {

namespace {

// A block is drawn when it holds this many samples or this many deposits, whichever comes first.
constexpr std::size_t kBlockSamples = 4096;
constexpr double kBlockDeposits = 8.0e6;
constexpr std::int64_t kBandsPerThread = 2;

}  // namespace

// One iteration per granted thread tells how many there are.
PF_Err LWD_BlockDraw::CountThreads(void* refcon, A_long /*thread_index*/, A_long i,
                                   A_long iterations) {
  if (i == 0) {
    *static_cast<A_long*>(refcon) = iterations;
  }
  return PF_Err_NONE;
}

PF_Err LWD_BlockDraw::Band(void* refcon, A_long /*thread_index*/, A_long i, A_long iterations) {
  const auto* draw = static_cast<const LWD_BlockDraw*>(refcon);
  if (static_cast<std::size_t>(i) + 1 >= draw->bounds.size() || iterations != draw->bands) {
    return PF_Err_BAD_CALLBACK_PARAM;  // the host called beyond what was asked
  }
  RasterizeRibbonSamples(draw->s, draw->samples->data(), draw->samples->size(), draw->source,
                         draw->accum, draw->depthAccum, {draw->bounds[i], draw->bounds[i + 1]},
                         draw->spans);
  return PF_Err_NONE;
}

PF_Err LWD_BlockDraw::ChooseBands(LWD_RenderHost& host) {
  A_long threads = 1;
  if (const PF_Err err = host.RunBands(PF_Iterations_ONCE_PER_PROCESSOR, &threads, CountThreads);
      err != PF_Err_NONE) {
    return err;
  }
  // Two bands per thread: a thread that finishes early (the work estimate is rough, the host
  // may be busy elsewhere) takes another. More bands cost more than they balance: every band
  // walks all of the block's points and fetches those near its edges again.
  bands = threads <= 1 ? 1
                       : static_cast<A_long>(std::min<std::int64_t>(
                             s.boxHeight, static_cast<std::int64_t>(threads) * kBandsPerThread));
  return PF_Err_NONE;
}

PF_Err LWD_BlockDraw::Run(LWD_RenderHost& host, const std::vector<LWD_RibbonSample>& block) {
  if (block.empty()) {
    return PF_Err_NONE;
  }
  samples = &block;
  const bool threaded = host.HasThreads();
  if (threaded && bands == 0) {
    if (const PF_Err err = ChooseBands(host); err != PF_Err_NONE) {
      return err;
    }
  }
  // A block is a stretch of the path and lands in a few of the box's rows, unevenly: the bands
  // split those rows into equal shares of the block's estimated work, so that no thread waits
  // long for the last band.
  const LWD_RowBand rows = RibbonSamplesRows(s, block.data(), block.size());
  if (threaded && bands > 1 && rows.rowEnd - rows.rowBegin > 1) {
    bounds = BalancedRowBands(s, block.data(), block.size(), rows, bands);
    return host.RunBands(bands, this, Band);
  }
  RasterizeRibbonSamples(s, block.data(), block.size(), source, accum, depthAccum, {0, s.boxHeight},
                         spans);
  return PF_Err_NONE;
}

LWD_BlockBatcher::LWD_BlockBatcher(const LWD_RenderSettings& s, const PF_LayerDef& source,
                                   LWD_Accum* accum, LWD_Accum* depthAccum, LWD_RowSpan* spans)
    : draw_{s, source, accum, depthAccum, spans},
      depositsPerPoint_(1.0 + (depthAccum != nullptr ? s.depthSteps : 0)),
      pointsPerPiece_(static_cast<std::int64_t>(kBlockDeposits / depositsPerPoint_)) {
  block_.reserve(kBlockSamples);
}

PF_Err LWD_BlockBatcher::Add(LWD_RenderHost& host, LWD_RibbonSample sample, LWD_RibbonPoll& poll) {
  const std::int64_t points = (sample.points + 2) * (static_cast<std::int64_t>(sample.fan) + 1);
  std::int64_t begin = 0;
  while (points - begin > pointsPerPiece_) {
    sample.firstPoint = begin;
    sample.endPoint = begin + pointsPerPiece_;
    block_.push_back(sample);
    PF_Err err = Flush(host);
    if (err == PF_Err_NONE) {
      err = poll.AfterHeavyWork();
    }
    if (err != PF_Err_NONE) {
      return err;
    }
    begin = sample.endPoint;
  }
  sample.firstPoint = begin;
  sample.endPoint = points;
  block_.push_back(sample);
  blockDeposits_ += static_cast<double>(points - begin) * depositsPerPoint_;
  return PF_Err_NONE;
}

PF_Err LWD_BlockBatcher::DrawIfFull(LWD_RenderHost& host, LWD_RibbonPoll& poll) {
  if (block_.size() != kBlockSamples && blockDeposits_ < kBlockDeposits) {
    return PF_Err_NONE;
  }
  // A block full of deposits is a long piece of work: ask for a cancel after it.
  const bool heavy = blockDeposits_ >= kBlockDeposits;
  PF_Err err = Flush(host);
  if (err == PF_Err_NONE && heavy) {
    err = poll.AfterHeavyWork();
  }
  return err;
}

PF_Err LWD_BlockBatcher::Flush(LWD_RenderHost& host) {
  const PF_Err err = draw_.Run(host, block_);
  block_.clear();
  blockDeposits_ = 0.0;
  return err;
}

}  // namespace lwd
