// PF_Cmd_RENDER: the frame is built from scratch. The output is cleared to transparent black, the
// Source layer and the masks are checked out, the settings derived, the ribbon splatted into
// accumulation buffers over the box it can touch, and the buffers composited over the output.
// Everything borrowed from the host goes back in one documented order on every exit.
#include "render/render.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "curve/curve_data.h"
#include "params/param_index.h"
#include "render/accum.h"
#include "render/host_glue.h"
#include "render/render_settings.h"
#include "render/ribbon.h"
#include "render/ribbon_bounds.h"
#include "render/ribbon_raster.h"
#include "render/width_profile.h"
#include "suites/host_errors.h"
#include "suites/suite_handler.h"

namespace lwd {

namespace {

constexpr double kMinDrawnLength = 0.5;  // px: a shorter visible range or path draws nothing

// What the render borrows from the host, from the curve lock to the walk. Release gives it back
// in order: the width profile, the segment preparations, the Path mask, the Source layer, the
// curve lock. The destructor runs it when a missing suite (a thrown PF_Err_BAD_CALLBACK_PARAM)
// unwinds the render; it never throws.
struct RenderHold {
  PF_InData* inData;
  PF_Handle curveHandle = nullptr;  // locked Width Graph value
  const LWD_CurveData* curve = nullptr;
  PF_ParamDef source{};  // checked-out Source; zeroed before the checkout
  bool sourceOut = false;
  LWD_PathCheckout path;
  LWD_RenderSettings settings;
  bool released = false;

  RenderHold(PF_InData* in, AEGP_SuiteHandler& s) : inData(in), path(in, s) {}
  RenderHold(const RenderHold&) = delete;
  RenderHold& operator=(const RenderHold&) = delete;
  ~RenderHold() { Release(PF_Err_NONE); }

  // The first non-zero of the pending error (segment clean-up merged into it), the Path
  // check-in's and the Source check-in's.
  PF_Err Release(PF_Err pending) noexcept {
    if (released) {
      return pending;
    }
    released = true;
    std::vector<double>().swap(settings.widthProfile);
    pending = path.Release(pending);

    PF_Err sourceErr = PF_Err_NONE;
    if (sourceOut) {
      sourceErr = inData->inter.checkin_param(inData->effect_ref, &source);
      sourceOut = false;
    }

    if (curveHandle != nullptr) {
      inData->utils->host_unlock_handle(curveHandle);
      curveHandle = nullptr;
      curve = nullptr;
      settings.curve = nullptr;
    }
    return MergeError(pending, sourceErr);
  }
};

LWD_RenderInputs ReadRenderInputs(const PF_InData* in_data, PF_ParamDef* params[],
                                  const PF_LayerDef* output, const PF_LayerDef& source) {
  LWD_RenderInputs in;
  in.downsampleXNum = in_data->downsample_x.num;
  in.downsampleXDen = in_data->downsample_x.den;
  in.downsampleYNum = in_data->downsample_y.num;
  in.downsampleYDen = in_data->downsample_y.den;
  in.outputOriginX = in_data->output_origin_x;
  in.outputOriginY = in_data->output_origin_y;
  in.outputWidth = output->width;
  in.outputHeight = output->height;
  in.deepColor = (output->world_flags & PF_WorldFlag_DEEP) != 0;

  in.sourceEmpty = source.data == nullptr || source.width <= 0 || source.height <= 0;
  in.sourceWidth = source.width;
  in.sourceHeight = source.height;

  for (const auto& input : kSliderInputs) {
    in.*input.field = params[input.param]->u.fs_d.value;
  }
  for (const auto& input : kPopupInputs) {
    in.*input.field = params[input.param]->u.pd.value;
  }
  for (const auto& input : kAngleInputs) {
    in.*input.field = params[input.param]->u.ad.value;
  }
  return in;
}

// Locks the Width Graph value for the whole render. A handle smaller than the record is not read
// as a curve (it would be read past its end), but its lock is still given back.
void LockCurve(PF_InData* in_data, PF_ParamDef* graph, RenderHold& hold) {
  const PF_Handle handle = graph->u.arb_d.value;
  // Without both handle callbacks the value cannot be borrowed and given back: no curve.
  if (handle == nullptr || in_data->utils->host_lock_handle == nullptr ||
      in_data->utils->host_unlock_handle == nullptr) {
    return;
  }
  void* record = in_data->utils->host_lock_handle(handle);
  if (record == nullptr) {
    return;
  }
  hold.curveHandle = handle;
  const bool sized = in_data->utils->host_get_handle_size == nullptr ||
                     in_data->utils->host_get_handle_size(handle) >= kCurveDataSize;
  hold.curve = sized ? static_cast<const LWD_CurveData*>(record) : nullptr;
}

PF_Err ClearOutput(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_LayerDef* output) {
  const PF_FillMatteSuite2* fill = suites.FillMatteSuite2();
  if ((output->world_flags & PF_WorldFlag_DEEP) != 0) {
    const PF_Pixel16 clear16 = {0, 0, 0, 0};
    return fill->fill16(in_data->effect_ref, &clear16, nullptr, output);
  }
  const PF_Pixel clear8 = {0, 0, 0, 0};
  return fill->fill(in_data->effect_ref, &clear8, nullptr, output);
}

// Cells resolved between two abort polls: a box of tens of millions of pixels takes seconds to
// resolve, and a cancel must not wait for all of it. A usual frame is one slice and is not polled.
constexpr std::int64_t kResolveCellsPerPoll = std::int64_t{1} << 22;

// The resolve in slices of rows with an abort poll between them, each slice in row bands on the
// threads the host grants (iterate_generic), or whole on this thread. Each pixel depends only on
// its own cells, so any split gives the same output. Only the cells inside each row's span can
// hold anything: they are composited and zeroed right after, while still in cache, so the
// buffers come out as clean as they went in and can serve the next frame.
struct ResolveBands {
  const LWD_RenderSettings& s;
  LWD_Accum* accum;
  LWD_Accum* depthAccum;
  const LWD_RowSpan* spans;  // outside its row's span a cell is zero in both buffers
  PF_LayerDef* output;
  LWD_RowBand slice{};

  void Rows(LWD_RowBand band) const {
    for (std::int64_t row = band.rowBegin; row < band.rowEnd; ++row) {
      const LWD_RowSpan span = spans[row];
      if (span.begin >= span.end) {
        continue;
      }
      const auto offset = static_cast<std::size_t>(row) * s.boxWidth + span.begin;
      const auto cells = static_cast<std::size_t>(span.end - span.begin);
      const auto x0 = static_cast<std::int32_t>(s.boxX0 + static_cast<std::int64_t>(span.begin));
      const auto y0 = static_cast<std::int32_t>(s.boxY0 + row);
      const auto w = static_cast<std::int32_t>(cells);
      // The extrusion first, so the front surface lies over it.
      if (depthAccum != nullptr) {
        ResolveAccum(depthAccum + offset, x0, y0, w, 1, output, s.opacity, s.deepColor);
        std::memset(static_cast<void*>(depthAccum + offset), 0, cells * sizeof(LWD_Accum));
      }
      ResolveAccum(accum + offset, x0, y0, w, 1, output, s.opacity, s.deepColor);
      std::memset(static_cast<void*>(accum + offset), 0, cells * sizeof(LWD_Accum));
    }
  }

  static PF_Err Band(void* refcon, A_long /*thread_index*/, A_long i, A_long iterations) {
    const auto* bands = static_cast<const ResolveBands*>(refcon);
    const LWD_RowBand band = RowBandOf(bands->slice.rowEnd - bands->slice.rowBegin, i, iterations);
    bands->Rows({bands->slice.rowBegin + band.rowBegin, bands->slice.rowBegin + band.rowEnd});
    return PF_Err_NONE;
  }

  PF_Err Run(PF_InData* in_data) {
    const std::int64_t sliceRows = std::max<std::int64_t>(1, kResolveCellsPerPoll / s.boxWidth);
    for (std::int64_t first = 0; first < s.boxHeight; first += sliceRows) {
      if (first > 0 && in_data->inter.abort != nullptr) {
        if (const PF_Err err = in_data->inter.abort(in_data->effect_ref); err != PF_Err_NONE) {
          return err;
        }
      }
      slice = {first, std::min<std::int64_t>(s.boxHeight, first + sliceRows)};
      if (in_data->utils->iterate_generic != nullptr && slice.rowEnd - slice.rowBegin > 1) {
        if (const PF_Err err =
                in_data->utils->iterate_generic(PF_Iterations_ONCE_PER_PROCESSOR, this, Band);
            err != PF_Err_NONE) {
          return err;
        }
      } else {
        Rows(slice);
      }
    }
    return PF_Err_NONE;
  }
};

// Checks the profile mask out, samples it and gives it back. Any host failure leaves the profile
// empty and is returned (the first one wins).
PF_Err BuildWidthProfile(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_PathID pathId,
                         std::vector<double>& profile) {
  profile.clear();
  LWD_PathCheckout mask(in_data, suites);
  PF_Err err = mask.Checkout(pathId);
  if (err == PF_Err_NONE && mask.walk.totalLength > 0.0) {
    LWD_SuiteRenderHost host(in_data, suites, mask, 0.0);
    err = SampleWidthProfile(host, mask.walk.totalLength, profile);
  }
  err = mask.Release(err);
  if (err != PF_Err_NONE) {
    profile.clear();
  }
  return err;
}

// The accumulation buffers live only here: they are released (depth first) before the hold.
PF_Err SplatAndResolve(PF_InData* in_data, AEGP_SuiteHandler& suites, LWD_RenderHost& host,
                       PF_LayerDef* output, RenderHold& hold) {
  const LWD_RenderSettings& s = hold.settings;
  LWD_AccumBuffer accum;
  LWD_AccumBuffer depthAccum;
  PF_Err err = AllocateAccum(s.boxWidth, s.boxHeight, accum);
  if (err == PF_Err_NONE && s.depthSteps > 0) {
    err = AllocateAccum(s.boxWidth, s.boxHeight, depthAccum);
  }
  if (err != PF_Err_NONE) {
    return PF_Err_OUT_OF_MEMORY;
  }

  std::vector<LWD_RowSpan> spans(static_cast<std::size_t>(s.boxHeight), kEmptyRowSpan);
  err = RasterizeRibbon(host, s, hold.source.u.ld, accum.data(),
                        depthAccum.empty() ? nullptr : depthAccum.data(), spans.data());
  if (err == PF_Err_NONE) {
    ResolveBands bands{s, accum.data(), depthAccum.empty() ? nullptr : depthAccum.data(),
                       spans.data(), output};
    err = bands.Run(in_data);
    if (err != PF_Err_NONE) {
      // Stopped part-way: the frame goes back as transparent as any other that failed.
      err = MergeError(err, ClearOutput(in_data, suites, output));
    }
  }
  // Only a whole resolve has zeroed every cell again.
  ReleaseAccum(depthAccum, err == PF_Err_NONE);
  ReleaseAccum(accum, err == PF_Err_NONE);
  return err;
}

// The set-up sequence; its result is the pending error of the release.
PF_Err RenderFrame(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output,
                   AEGP_SuiteHandler& suites, RenderHold& hold) {
  LockCurve(in_data, params[LWD_WIDTH_GRAPH], hold);

  PF_Err err = ClearOutput(in_data, suites, output);
  if (err != PF_Err_NONE) {
    return err;
  }

  const PF_PathID pathId = params[LWD_PATH]->u.path_d.path_id;
  if (pathId == PF_PathID_NONE) {
    return PF_Err_NONE;
  }

  err = in_data->inter.checkout_param(in_data->effect_ref, LWD_SOURCE, in_data->current_time,
                                      in_data->time_step, in_data->time_scale, &hold.source);
  if (err != PF_Err_NONE) {
    return err;
  }
  hold.sourceOut = true;

  err = hold.path.Checkout(pathId);
  if (err != PF_Err_NONE || !(hold.path.walk.totalLength > 0.0)) {
    return err;
  }

  LWD_RenderSettings& s = hold.settings;
  s = DeriveRenderSettings(ReadRenderInputs(in_data, params, output, hold.source.u.ld),
                           hold.path.walk.totalLength);
  s.curve = hold.curve;

  PF_Err profileErr = PF_Err_NONE;
  const PF_PathID profileId = params[LWD_WIDTH_CURVE]->u.path_d.path_id;
  if (profileId != PF_PathID_NONE) {
    profileErr = BuildWidthProfile(in_data, suites, profileId, s.widthProfile);
  }
  s.maxWidthFactor = MaxWidthFactor(s);

  if (!(s.visibleLength > kMinDrawnLength) || !(s.pathLength > kMinDrawnLength) ||
      !(s.opacity > 0.0)) {
    return profileErr;
  }
  if (profileErr != PF_Err_NONE) {
    return profileErr;
  }

  LWD_SuiteRenderHost spine(in_data, suites, hold.path, s.smoothRadius);
  err = EstimateRibbonBounds(spine, s);
  if (err != PF_Err_NONE || s.boxWidth <= 0 || s.boxHeight <= 0) {
    return err;
  }
  return SplatAndResolve(in_data, suites, spine, output, hold);
}

}  // namespace

PF_Err Render(PF_InData* in_data, PF_ParamDef* params[], PF_LayerDef* output) {
  if (in_data == nullptr || params == nullptr || output == nullptr || in_data->utils == nullptr ||
      in_data->inter.checkout_param == nullptr || in_data->inter.checkin_param == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  for (int i = LWD_PATH; i < LWD_NUM_PARAMS; ++i) {
    if (params[i] == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
  }
  // Made first and destroyed last: the suites go back after everything else.
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  RenderHold hold(in_data, suites);
  const PF_Err err = RenderFrame(in_data, params, output, suites, hold);
  return hold.Release(err);
}

}  // namespace lwd
