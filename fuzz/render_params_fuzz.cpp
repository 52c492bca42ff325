// Parameter vectors rendered on a small scene: every parameter takes a value anywhere in its
// declared range (its minimum, its maximum, its default or any value between; angles anywhere a
// 16.16 value reaches; masks, layers and the width curve chosen or not), at 8 or 16 bits. Each
// render must end with success or a cancel, give back all it took and keep the output's row
// padding untouched. A render that runs past its time is cancelled through the abort and progress
// callbacks, which the effect polls as it walks the path and between blocks of drawing. A third
// mask takes vertices and tangents up to the largest doubles; one the host cannot measure may
// only fail the render with the path suite's refusal.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/session.h"
#include "fuzz_check.h"
#include "layers/frame_render.h"
#include "layers/image.h"
#include "masks/bezier.h"
#include "masks/mask.h"
#include "masks/path_suites.h"
#include "params/param_index.h"
#include "params/param_store.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

// A harness of the effect's own functions.
using namespace lwd;

namespace {

constexpr auto kRenderTimeBound = std::chrono::seconds(2);
constexpr int32_t kRowPadding = 4;
constexpr double kUsualMargin = 64.0;  // pixels of "Expand Bounds" most inputs stay within

// A 512 x 384 layer rendered at 1/8 resolution (a 64 x 48 world): sizes in pixels shrink eightfold,
// which keeps the largest widths and depths quick. A textured source; a spine with a curve and a
// sharp corner, and a V to read as a width profile.
std::string SceneText(int bitDepth) {
  return R"({
  "layer": {"width": 512, "height": 384},
  "downsample": [8, 8],
  "bitDepth": )" +
         std::to_string(bitDepth) + R"(,
  "layers": {
    "tex": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
            "colors": ["#ff006eff", "#3a86ff80"]}
  },
  "masks": {
    "spine": {"svg": "M 32 320 C 160 0 352 0 480 320 L 240 160"},
    "profile": {"vertices": [[0, 0], [256, 320], [512, 0]]},
    "wild": {"vertices": [[0, 0], [512, 384]]}
  },
  "params": {"Path": "spine", "Source": "tex"}
})";
}

struct Renderer {
  lwhost::Session session{LATHEWIND_PLUGIN_PATH};
  std::unique_ptr<lwhost::SceneRenderer> scene;

  explicit Renderer(int bitDepth) {
    lwfuzz::Check(session.GlobalSetup().err == PF_Err_NONE, "global set-up failed");
    scene = std::make_unique<lwhost::SceneRenderer>(
        session, lwhost::ParseSceneText(SceneText(bitDepth), "fuzz-render.json", "."));
  }
};

Renderer& RendererFor(int bitDepth) {
  static Renderer* eight = new Renderer(8);
  static Renderer* sixteen = new Renderer(16);
  return bitDepth == 8 ? *eight : *sixteen;
}

constexpr PF_PathID kWildMaskId = 3;  // the scene's third mask

// A coordinate anywhere from a pixel to the largest doubles, either sign.
double WildCoordinate(FuzzedDataProvider& input) {
  static constexpr double kMagnitudes[] = {
      0.0, 1.0, 1e12, 1e19, 3.4e38, 1e300, 5e307, 1e308, std::numeric_limits<double>::max()};
  const int pick = input.ConsumeIntegralInRange<int>(0, std::size(kMagnitudes));
  const double sign = input.ConsumeBool() ? -1.0 : 1.0;
  if (pick == static_cast<int>(std::size(kMagnitudes))) {
    return sign * input.ConsumeFloatingPointInRange<double>(0.0, 1024.0);
  }
  return sign * kMagnitudes[pick];
}

// Two or three vertices with wild positions and tangents; true when the host can measure it.
bool SetWildMask(lwhost::LayerMasks& masks, FuzzedDataProvider& input) {
  const int count = input.ConsumeIntegralInRange<int>(2, 3);
  std::vector<lwhost::Vec2> vertices, in, out;
  for (int i = 0; i < count; ++i) {
    vertices.push_back({WildCoordinate(input), WildCoordinate(input)});
    in.push_back({WildCoordinate(input), WildCoordinate(input)});
    out.push_back({WildCoordinate(input), WildCoordinate(input)});
  }
  lwhost::Mask mask = lwhost::MakeMask(vertices, in, out, input.ConsumeBool());
  bool measurable = true;
  for (int i = 0; i < lwhost::MaskSegmentCount(mask); ++i) {
    measurable = measurable && lwhost::WhyUnmeasurable(lwhost::MaskSegment(mask, i)).empty();
  }
  masks.Set(kWildMaskId, std::move(mask));
  return measurable;
}

// 0: the minimum, 1: the maximum, 2: the default, otherwise a point in between.
template <typename T>
T InRange(FuzzedDataProvider& input, T lo, T hi, T dflt) {
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return lo;
    case 1:
      return hi;
    case 2:
      return dflt;
    default:
      if constexpr (std::is_floating_point_v<T>) {
        return lo + (hi - lo) * input.ConsumeProbability<T>();
      } else {
        return input.ConsumeIntegralInRange<T>(lo, hi);
      }
  }
}

void SetParameter(lwhost::ParamStore& store, int index, FuzzedDataProvider& input) {
  const PF_ParamDef& def = store.Declaration(index);
  lwhost::ParamValue value;
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: {
      const auto& d = def.u.fs_d;
      // A wide margin makes an output of up to 4064 x 4064 pixels whatever the layer, which
      // takes seconds to make and clear: it gets its whole range only now and then.
      const bool margin = index == LWD_EXPAND_BOUNDS;
      const double hi = margin && input.ConsumeIntegralInRange<int>(0, 15) != 0
                            ? std::min<double>(d.valid_max, kUsualMargin)
                            : d.valid_max;
      value.number = InRange<double>(input, d.valid_min, hi, std::min<double>(d.dephault, hi));
      break;
    }
    case PF_Param_ANGLE: {
      const auto& d = def.u.ad;
      const bool hasRange = d.valid_min < d.valid_max;
      value.fixed = InRange<PF_Fixed>(
          input, hasRange ? d.valid_min : std::numeric_limits<PF_Fixed>::min(),
          hasRange ? d.valid_max : std::numeric_limits<PF_Fixed>::max(), d.dephault);
      break;
    }
    case PF_Param_POPUP:
      value.popup = InRange<int32_t>(input, 1, def.u.pd.num_choices, def.u.pd.dephault);
      break;
    case PF_Param_LAYER:
      value.layerId = input.ConsumeIntegralInRange<int32_t>(0, 1);
      break;
    case PF_Param_PATH:
      value.pathId = input.ConsumeIntegralInRange<PF_PathID>(0, kWildMaskId);
      break;
    case PF_Param_ARBITRARY_DATA: {
      if (input.ConsumeBool()) {
        return;  // keep the value the store has
      }
      const std::vector<uint8_t> flat = input.ConsumeBytes<uint8_t>(lwhost::kFlatCurveBytes);
      if (store.LoadArbitrary(index, flat, &value) != PF_Err_NONE) {
        return;  // short data makes no value: the store keeps the old one
      }
      break;
    }
    default:
      return;  // buttons carry no value
  }
  store.SetStatic(index, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Renderer& renderer = RendererFor(input.ConsumeBool() ? 16 : 8);
  const bool measurable = SetWildMask(renderer.scene->Masks(), input);
  lwhost::ParamStore& store = renderer.scene->Params();
  for (int index = 1; index < store.Count(); ++index) {
    SetParameter(store, index, input);
  }

  const auto deadline = std::chrono::steady_clock::now() + kRenderTimeBound;
  lwhost::RenderOptions options;
  options.rowPadding = kRowPadding;
  options.progress = [deadline](A_long, A_long) {
    return std::chrono::steady_clock::now() < deadline;
  };
  // Asked on the effect's abort calls, which come more often than progress (inside long pieces
  // of work too).
  options.cancelled = [deadline] { return std::chrono::steady_clock::now() >= deadline; };
  options.hostWorkCancelled = options.cancelled;
  const lwhost::FrameOutput out = renderer.scene->RenderFrame(0, options);

  const bool refused = !measurable && out.err == PF_Err_BAD_CALLBACK_PARAM;
  lwfuzz::Check(out.err == PF_Err_NONE || out.err == PF_Interrupt_CANCEL || refused,
                "render failed with error " + std::to_string(out.err));
  lwfuzz::Check(out.balance.empty(), "render left unbalanced: " + out.balance);
  const std::string outstanding = renderer.session.ledger.Report();
  lwfuzz::Check(outstanding.empty(), "outstanding after the render: " + outstanding);
  const lwhost::Image& image = out.image;
  const size_t pixelBytes = size_t(image.width) * size_t(lwhost::PixelBytes(image.bitDepth));
  for (int32_t y = 0; y < image.height; ++y) {
    const unsigned char* row = image.bytes.data() + size_t(y) * size_t(image.rowBytes);
    for (size_t i = pixelBytes; i < size_t(image.rowBytes); ++i) {
      lwfuzz::Check(row[i] == lwhost::kRowPaddingSentinel,
                    "the render wrote past a row's pixels at row " + std::to_string(y));
    }
  }
  return 0;
}
