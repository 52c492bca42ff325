// The "Width Graph" control's click and drag events at any coordinates, in any order, starting from
// the default curve. Every event gives back all it took, and the curve keeps what the editor
// promises whatever the events: 2 to 12 points, the first at x = 0 and the last at x = 1, every y
// within [0, 1]. A draw of the result ends the sequence.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "curve/curve_data.h"
#include "drawing/drawing_context.h"
#include "drawing/graph_session.h"
#include "fuzz_check.h"
#include "plugin_host.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

// A harness of the effect's own functions.
using namespace lwd;

namespace {

constexpr int kMaxEvents = 64;

// Mostly inside the control (220 x 150) and just around it, sometimes anywhere at all.
A_long Coordinate(FuzzedDataProvider& input, A_long side) {
  if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
    return input.ConsumeIntegral<A_long>();
  }
  return input.ConsumeIntegralInRange<A_long>(-20, side + 20);
}

void CheckCurve(const lwhost::GraphSession& graph) {
  std::vector<uint8_t> flat;
  lwfuzz::Check(graph.FlattenCurve(&flat) == PF_Err_NONE, "the edited curve cannot be stored");
  lwfuzz::Check(flat.size() == kCurveDataSize, "stored curve of " + std::to_string(flat.size()));
  LWD_CurveData curve;
  std::memcpy(&curve, flat.data(), sizeof curve);
  const int n = curve.numPoints;
  lwfuzz::Check(n >= 2 && n <= kCurveMaxPoints, "the curve has " + std::to_string(n) + " points");
  lwfuzz::Check(curve.x[0] == 0.0f && curve.x[n - 1] == 1.0f, "the curve's ends moved off 0 and 1");
  for (int i = 0; i < n; ++i) {
    lwfuzz::Check(curve.y[i] >= 0.0f && curve.y[i] <= 1.0f,
                  "point " + std::to_string(i) + " has y " + std::to_string(curve.y[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  lwhost::Session& session = lwfuzz::LoadedEffect();
  lwhost::SceneRenderer renderer(session, lwhost::Scene{});
  lwhost::GraphSession graph(session, renderer.Params());

  for (int i = 0; i < kMaxEvents && input.remaining_bytes() > 0; ++i) {
    const bool drag = input.ConsumeBool();
    const A_long x = Coordinate(input, 220);
    const A_long y = Coordinate(input, 150);
    const lwhost::GraphEventResult result = drag ? graph.Drag(x, y) : graph.Click(x, y);
    const std::string what = std::string(drag ? "drag" : "click") + " at " + std::to_string(x) +
                             ", " + std::to_string(y);
    lwfuzz::Check(result.err == PF_Err_NONE, what + " failed with " + std::to_string(result.err));
    lwfuzz::Check(result.balance.empty(), what + " left unbalanced: " + result.balance);
    CheckCurve(graph);
  }
  lwhost::DrawingContext drawing;
  const lwhost::GraphEventResult drawn = graph.Draw(drawing);
  lwfuzz::Check(drawn.err == PF_Err_NONE, "drawing failed with " + std::to_string(drawn.err));
  lwfuzz::CheckBalanced("drawing", drawn.balance);
  return 0;
}
