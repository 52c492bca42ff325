#include "render/ribbon.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "render/ribbon_raster.h"
#include "render/ribbon_sample.h"
#include "render/source_fetch.h"

namespace {

constexpr std::int64_t kPollMask = 63;  // the host is polled every 64 samples
// Samples that never reach the fan stage do not poll; after this many evaluated in a row the
// abort is asked anyway, so a walk that draws nothing still ends promptly on a cancel.
constexpr std::int64_t kSilentSamplesPerAbort = 4096;
// A block of prepared samples is drawn when it holds this many samples or this many deposits,
// whichever comes first: memory stays bounded on long paths, and a cancel waits for at most one
// block.
constexpr std::size_t kBlockSamples = 4096;
constexpr double kBlockDeposits = 8.0e6;
constexpr std::int64_t kBandsPerThread = 2;

// Draws one block of samples over the whole box: in row bands on the threads the host grants
// through iterate_generic, or on this thread when the host has no such service.
struct BlockDraw {
  const LWD_RenderSettings& s;
  const PF_LayerDef& source;
  LWD_Accum* accum;
  LWD_Accum* depthAccum;
  LWD_RowSpan* spans;
  const std::vector<LWD_RibbonSample>* samples = nullptr;
  std::vector<std::int64_t> bounds{};  // the bands' first rows, then the end of the last
  A_long bands = 0;                    // 0 until the host has been asked for its threads

  // One iteration per granted thread tells how many there are.
  static PF_Err CountThreads(void* refcon, A_long /*thread_index*/, A_long i, A_long iterations) {
    if (i == 0) {
      *static_cast<A_long*>(refcon) = iterations;
    }
    return PF_Err_NONE;
  }

  static PF_Err Band(void* refcon, A_long /*thread_index*/, A_long i, A_long iterations) {
    const auto* draw = static_cast<const BlockDraw*>(refcon);
    if (static_cast<std::size_t>(i) + 1 >= draw->bounds.size() || iterations != draw->bands) {
      return PF_Err_BAD_CALLBACK_PARAM;  // the host called beyond what was asked
    }
    RasterizeRibbonSamples(draw->s, draw->samples->data(), draw->samples->size(), draw->source,
                           draw->accum, draw->depthAccum, {draw->bounds[i], draw->bounds[i + 1]},
                           draw->spans);
    return PF_Err_NONE;
  }

  PF_Err Run(PF_InData* in_data, const std::vector<LWD_RibbonSample>& block) {
    if (block.empty()) {
      return PF_Err_NONE;
    }
    samples = &block;
    const auto iterate = in_data->utils != nullptr ? in_data->utils->iterate_generic : nullptr;
    if (iterate != nullptr && bands == 0) {
      A_long threads = 1;
      if (const PF_Err err = iterate(PF_Iterations_ONCE_PER_PROCESSOR, &threads, CountThreads);
          err != PF_Err_NONE) {
        return err;
      }
      // Two bands per thread: a thread that finishes early (the work estimate is rough, the host
      // may be busy elsewhere) takes another. More bands cost more than they balance: every band
      // walks all of the block's points and fetches those near its edges again.
      bands = threads <= 1
                  ? 1
                  : static_cast<A_long>(std::min<std::int64_t>(
                        s.boxHeight, static_cast<std::int64_t>(threads) * kBandsPerThread));
    }
    // A block is a stretch of the path and lands in a few of the box's rows, unevenly: the bands
    // split those rows into equal shares of the block's estimated work, so that no thread waits
    // long for the last band.
    const LWD_RowBand rows = RibbonSamplesRows(s, block.data(), block.size());
    if (iterate != nullptr && bands > 1 && rows.rowEnd - rows.rowBegin > 1) {
      bounds = BalancedRowBands(s, block.data(), block.size(), rows, bands);
      return iterate(bands, this, Band);
    }
    RasterizeRibbonSamples(s, block.data(), block.size(), source, accum, depthAccum,
                           {0, s.boxHeight}, spans);
    return PF_Err_NONE;
  }
};

PF_Err PollHost(PF_InData* in_data, std::int64_t index, std::int64_t total, bool progress) {
  PF_Err err = PF_Err_NONE;
  if (in_data->inter.abort != nullptr) {
    err = in_data->inter.abort(in_data->effect_ref);
  }
  if (progress && err == PF_Err_NONE && in_data->inter.progress != nullptr) {
    err = in_data->inter.progress(in_data->effect_ref, static_cast<A_long>(index),
                                  static_cast<A_long>(total));
  }
  return err;
}

}  // namespace

LWD_Color SampleSource(const PF_LayerDef& source, double sx, double sy) {
  if (source.data == nullptr || source.width <= 0 || source.height <= 0) {
    return {0.0f, 0.0f, 0.0f, 0.0f};
  }
  if ((source.world_flags & PF_WorldFlag_DEEP) != 0) {
    return lwd_fetch::Fetch<PF_Pixel16>(source, sx, sy);
  }
  return lwd_fetch::Fetch<PF_Pixel>(source, sx, sy);
}

PF_Err RasterizeRibbon(PF_InData* in_data, AEGP_SuiteHandler& suites,
                       const LWD_RenderSettings& settings, PF_PathOutlinePtr outline,
                       LWD_PathWalk& walk, const PF_LayerDef& source, LWD_Accum* accum,
                       LWD_Accum* depthAccum, LWD_RowSpan* spans) {
  const LWD_RenderSettings& s = settings;
  BlockDraw draw{s, source, accum, depthAccum, spans};
  std::vector<LWD_RibbonSample> block;
  block.reserve(kBlockSamples);
  double blockDeposits = 0.0;
  const double depositsPerPoint = 1.0 + (depthAccum != nullptr ? s.depthSteps : 0);
  const auto pointsPerPiece = static_cast<std::int64_t>(kBlockDeposits / depositsPerPoint);

  LWD_WalkState state;
  PF_Err err = PF_Err_NONE;
  std::int64_t silent = 0;
  // alongSteps + 2 samples; the last (and with an exact multiple also the one before) lies on
  // visibleEnd.
  const std::int64_t lastSample = static_cast<std::int64_t>(s.alongSteps) + 1;
  const auto arcOf = [&s](std::int64_t index) {
    return std::min(s.visibleEnd, s.visibleStart + index * s.sampleStep);
  };
  // The spine at sample `index`, through the host; false when the sample lies outside the
  // texture and is not evaluated.
  const auto evaluate = [&](std::int64_t index, LWD_SpinePoint* p, PF_Err* evalErr) {
    const double arc = arcOf(index);
    if (!MapAlongPath(s, arc, &p->alongCoord, &p->t)) {
      return false;
    }
    double x = 0.0;
    double y = 0.0;
    *evalErr = s.smoothRadius > 0.0
                   ? EvalPathSmoothed(in_data, suites, outline, walk, arc, s.smoothRadius, &x, &y,
                                      &p->tx, &p->ty)
                   : EvalPathExact(in_data, suites, outline, walk, arc, &x, &y, &p->tx, &p->ty);
    p->x = x + s.outputOriginX;
    p->y = y + s.outputOriginY;
    return true;
  };
  // After a jump the walk lands on a sample with no direction or width: the normal the next fan
  // turns from is that of the last sample before it that had both, which may lie in the run
  // jumped over (samples up to `from` are known). A long way back (a wide stretch without width)
  // asks the host's abort as the walk would.
  const auto recoverNormal = [&](std::int64_t from, std::int64_t land) -> PF_Err {
    std::int64_t looked = 0;
    for (std::int64_t k = land - 1; k > from; --k) {
      LWD_SpinePoint q{};
      PF_Err evalErr = PF_Err_NONE;
      if (!evaluate(k, &q, &evalErr)) {
        continue;
      }
      if (evalErr == PF_Err_NONE && ++looked % kSilentSamplesPerAbort == 0) {
        evalErr = PollHost(in_data, land, lastSample, false);
      }
      if (evalErr != PF_Err_NONE) {
        return evalErr;
      }
      LWD_WalkState scratch = state;
      LWD_RibbonSample unused;
      if (PrepareRibbonSample(s, q, scratch, &unused) != LWD_SampleOutcome::kSkipped) {
        state.prevNormalX = scratch.prevNormalX;
        state.prevNormalY = scratch.prevNormalY;
        state.prevNormalValid = true;
        return PF_Err_NONE;
      }
    }
    return PF_Err_NONE;
  };
  std::int64_t jumpedFrom = -1;  // the sample before the run the walk last jumped over
  bool jumped = false;
  for (std::int64_t i = 0; i <= lastSample; ++i) {
    LWD_SpinePoint p{};
    if (!evaluate(i, &p, &err)) {
      continue;
    }
    if (err != PF_Err_NONE) {
      break;
    }

    LWD_RibbonSample smp;
    const LWD_SampleOutcome outcome = PrepareRibbonSample(s, p, state, &smp);
    if (outcome == LWD_SampleOutcome::kSkipped && jumpedFrom >= 0) {
      err = recoverNormal(jumpedFrom, i);
      if (err != PF_Err_NONE) {
        break;
      }
    }
    jumpedFrom = -1;
    state.prevX = p.x;
    state.prevY = p.y;
    state.prevPositionValid = true;
    // A sample that cannot reach the box is not kept: nothing of it would land.
    if (outcome == LWD_SampleOutcome::kDrawn && RibbonSampleReachesBox(s, smp)) {
      // A sample bigger than a block (a huge width, a wide fan, deep extrusion) is drawn a
      // block's worth of points at a time, with an abort poll after each, so a cancel is seen
      // within one block's work.
      const std::int64_t points = (smp.points + 2) * (static_cast<std::int64_t>(smp.fan) + 1);
      std::int64_t begin = 0;
      while (points - begin > pointsPerPiece) {
        smp.firstPoint = begin;
        smp.endPoint = begin + pointsPerPiece;
        block.push_back(smp);
        err = draw.Run(in_data, block);
        block.clear();
        blockDeposits = 0.0;
        if (err == PF_Err_NONE) {
          err = PollHost(in_data, i, lastSample, false);
        }
        if (err != PF_Err_NONE) {
          return err;
        }
        begin = smp.endPoint;
      }
      smp.firstPoint = begin;
      smp.endPoint = points;
      block.push_back(smp);
      blockDeposits += static_cast<double>(points - begin) * depositsPerPoint;
    }
    if (outcome != LWD_SampleOutcome::kSkipped) {
      silent = 0;
      if ((i & kPollMask) == 0) {
        err = PollHost(in_data, i, lastSample, true);
      }
    } else if (++silent == kSilentSamplesPerAbort) {
      silent = 0;
      err = PollHost(in_data, i, lastSample, false);
    }
    if (err != PF_Err_NONE) {
      break;
    }
    if (block.size() == kBlockSamples || blockDeposits >= kBlockDeposits) {
      // A block full of deposits is a long piece of work: ask for a cancel after it.
      const bool heavy = blockDeposits >= kBlockDeposits;
      err = draw.Run(in_data, block);
      block.clear();
      blockDeposits = 0.0;
      if (err == PF_Err_NONE && heavy) {
        err = PollHost(in_data, i, lastSample, false);
      }
      if (err != PF_Err_NONE) {
        return err;
      }
    }
    // Far from the box, the samples that surely reach nothing of it are not evaluated. The walk
    // lands on the last of them the path would evaluate, which leaves the state (position,
    // normal) the next sample needs exactly as a sample-by-sample walk leaves it; being out of
    // reach, the landing sample draws nothing whatever it makes of its stale predecessor.
    std::int64_t far = SamplesOutsideBox(s, p.x, p.y);
    if (far > 1) {
      err = ClipJumpToJoinedPath(in_data, suites, outline, walk, arcOf(i), s.smoothRadius,
                                 s.sampleStep, &far);
      if (err != PF_Err_NONE) {
        break;
      }
    }
    if (far > 1) {
      const std::int64_t target = std::min(lastSample, i + far);
      std::int64_t land = target;
      double unusedCoord = 0.0;
      double unusedT = 0.0;
      while (land > i && !MapAlongPath(s, arcOf(land), &unusedCoord, &unusedT)) {
        --land;
      }
      if (land == i) {
        i = target;  // none of them is on the texture: the walk would evaluate none
        jumped = true;
      } else if (land > i + 1) {
        jumpedFrom = i;
        i = land - 1;
        jumped = true;
      }
    }
  }
  // A walk that jumped may have left its last progress report far behind: it ends at 100%.
  if (jumped && err == PF_Err_NONE) {
    err = PollHost(in_data, lastSample, lastSample, true);
  }
  // The samples before an error are drawn, as they would have been one by one.
  const PF_Err drawErr = draw.Run(in_data, block);
  return err != PF_Err_NONE ? err : drawErr;
}
