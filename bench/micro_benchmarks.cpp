// Micro-benchmarks of the renderer's kernels, called directly from the effect's objects: the width
// curve, the source fetch at both depths, the deposit, the resolve, and the path walk's smoothed
// evaluation through the reference host's path suites.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "bench_options.h"
#include "core/session.h"
#include "curve/curve_data.h"
#include "masks/path_suites.h"
#include "masks/svg_path.h"
#include "path/path_walk.h"
#include "render/accum.h"
#include "render/ribbon.h"
#include "suites/host_errors.h"
#include "suites/suite_handler.h"

namespace lwbench {

using lwd::BuildPathWalk;
using lwd::CurveEval;
using lwd::EvalPathSmoothed;
using lwd::LWD_Accum;
using lwd::LWD_Color;
using lwd::LWD_CurveData;
using lwd::LWD_PathWalk;
using lwd::MergeError;
using lwd::ReleasePathWalk;
using lwd::ResolveAccum;
using lwd::SampleSource;
using lwd::SplatBilinear;

namespace {

// A row of points across a 120 px ribbon every half pixel, the ribbon advancing half a pixel per
// row: the order in which the walk visits pixels.
std::vector<double> CrossSectionPoints(double x0, double y0) {
  std::vector<double> xy;
  for (int row = 0; row < 32; ++row) {
    for (int j = 0; j <= 240; ++j) {
      xy.push_back(x0 + row * 0.5 + j * 0.05);
      xy.push_back(y0 + j * 0.5 - row * 0.1);
    }
  }
  return xy;
}

void BM_CurveEval(benchmark::State& state) {
  LWD_CurveData curve{};
  curve.tag = 1;
  curve.numPoints = 6;
  const float xs[] = {0.0f, 0.15f, 0.4f, 0.55f, 0.8f, 1.0f};
  const float ys[] = {0.2f, 1.0f, 0.6f, 0.9f, 0.3f, 0.7f};
  for (int i = 0; i < 6; ++i) {
    curve.x[i] = xs[i];
    curve.y[i] = ys[i];
  }
  double t = 0.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CurveEval(&curve, t));
    t = t >= 1.0 ? 0.0 : t + 0.000731;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CurveEval)->Name("micro/CurveEval");

template <typename Pixel>
void SampleSourceAt(benchmark::State& state, bool deep) {
  // A 256 x 64 source, as in the scenes, with the ribbon's cross-sections sweeping its height.
  constexpr int kW = 256;
  constexpr int kH = 64;
  std::vector<Pixel> pixels(kW * kH);
  for (int i = 0; i < kW * kH; ++i) {
    pixels[i].alpha = static_cast<decltype(pixels[i].alpha)>(200 + i % 50);
    pixels[i].red = static_cast<decltype(pixels[i].red)>(i % 251);
    pixels[i].green = static_cast<decltype(pixels[i].green)>(i % 13);
    pixels[i].blue = static_cast<decltype(pixels[i].blue)>(i % 7);
  }
  PF_LayerDef source{};
  source.data = reinterpret_cast<PF_Pixel*>(pixels.data());
  source.width = kW;
  source.height = kH;
  source.rowbytes = kW * sizeof(Pixel);
  source.world_flags = deep ? PF_WorldFlag_DEEP : 0;
  const std::vector<double> xy = CrossSectionPoints(3.0, 0.0);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(SampleSource(source, xy[i] * 4.0, xy[i + 1] * 0.26));
    i = i + 2 == xy.size() ? 0 : i + 2;
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_SampleSource8(benchmark::State& state) {
  SampleSourceAt<PF_Pixel>(state, false);
}
void BM_SampleSource16(benchmark::State& state) {
  SampleSourceAt<PF_Pixel16>(state, true);
}
BENCHMARK(BM_SampleSource8)->Name("micro/SampleSource/8bit");
BENCHMARK(BM_SampleSource16)->Name("micro/SampleSource/16bit");

void BM_SplatBilinear(benchmark::State& state) {
  constexpr std::int32_t kW = 512;
  constexpr std::int32_t kH = 256;
  std::vector<LWD_Accum> cells(kW * kH, LWD_Accum{});
  const std::vector<double> xy = CrossSectionPoints(100.0, 60.0);
  const LWD_Color colour = {0.8f, 0.4f, 0.1f, 0.9f};
  std::size_t i = 0;
  for (auto _ : state) {
    SplatBilinear(cells.data(), 0, 0, kW, kH, xy[i], xy[i + 1], colour, 0.25);
    i = i + 2 == xy.size() ? 0 : i + 2;
  }
  benchmark::DoNotOptimize(cells.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplatBilinear)->Name("micro/SplatBilinear");

// One resolve of a 512 x 512 box, every cell covered, over an output world of the same size.
void BM_ResolveAccum(benchmark::State& state) {
  const bool deep = state.range(0) == 16;
  constexpr std::int32_t kSide = 512;
  std::vector<LWD_Accum> cells(kSide * kSide);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const float w = 0.5f + static_cast<float>(i % 7) * 0.25f;
    cells[i] = {0.3f * w, 0.2f * w, 0.1f * w, 0.9f * w, w};
  }
  const std::int32_t pixelBytes = deep ? 8 : 4;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(kSide) * kSide * pixelBytes);
  PF_EffectWorld output{};
  output.data = reinterpret_cast<PF_Pixel*>(pixels.data());
  output.width = kSide;
  output.height = kSide;
  output.rowbytes = kSide * pixelBytes;
  output.world_flags = deep ? PF_WorldFlag_DEEP : 0;
  for (auto _ : state) {
    ResolveAccum(cells.data(), 0, 0, kSide, kSide, &output, 1.0, deep);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_ResolveAccum)->Name("micro/ResolveAccum/8bit")->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResolveAccum)
    ->Name("micro/ResolveAccum/16bit")
    ->Arg(16)
    ->Unit(benchmark::kMicrosecond);

// The path walk's smoothed evaluation (five host evaluations) over the HD tube's S curve, checked
// out from the reference host inside a render command, as the effect's walk does.
void BM_EvalPathSmoothed(benchmark::State& state) {
  lwhost::Session session(GetBenchOptions().plugin);
  lwhost::LayerMasks masks;
  masks.Set(1,
            lwhost::ParseSvgPath(
                "M 120 860 C 420 1180 760 1020 900 600 S 1260 20 1500 300 S 1900 900 1800 1000"));
  lwhost::RegisterPathSuites(session, masks);
  {
    auto context = session.Begin(PF_Cmd_RENDER);
    PF_InData* in = context->InData();
    AEGP_SuiteHandler suites(in->pica_basicP);
    PF_PathOutlinePtr outline = nullptr;
    if (suites.PathQuerySuite1()->PF_CheckoutPath(in->effect_ref, 1, 0, 1, 24, &outline) !=
            PF_Err_NONE ||
        outline == nullptr) {
      state.SkipWithError("the host did not check the mask out");
    } else {
      LWD_PathWalk walk;
      PF_Err err = BuildPathWalk(in, suites, outline, walk);
      double s = 0.0;
      for (auto _ : state) {
        double x, y, tx, ty;
        err =
            MergeError(err, EvalPathSmoothed(in, suites, outline, walk, s, 12.0, &x, &y, &tx, &ty));
        benchmark::DoNotOptimize(x + y + tx + ty);
        s = s + 0.5 > walk.totalLength ? 0.0 : s + 0.5;
      }
      err = ReleasePathWalk(in, suites, outline, walk, err);
      suites.PathQuerySuite1()->PF_CheckinPath(in->effect_ref, 1, false, outline);
      if (err != PF_Err_NONE) {
        state.SkipWithError("a path evaluation failed");
      }
    }
  }
  lwhost::UnregisterPathSuites(session);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EvalPathSmoothed)->Name("micro/EvalPathSmoothed");

}  // namespace
}  // namespace lwbench
