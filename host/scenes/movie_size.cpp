#include "scenes/movie_size.h"

#include <vector>

namespace lwhost {
namespace {

// "frames 0-11" or "frame 12".
std::string FrameSpan(int64_t first, int64_t last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

std::string MovieSizeProblem(SceneRenderer& renderer, int64_t first, int64_t last,
                             const CancelListener& cancelled, PF_Err& err, int64_t& failedFrame) {
  struct Run {
    int64_t first;
    int64_t last;
    int32_t width;
    int32_t height;
  };
  std::vector<Run> runs;
  for (int64_t frame = first; frame <= last && !cancelled(); ++frame) {
    const FrameSetupResult setup = renderer.SetupFrame(static_cast<int32_t>(frame));
    if (setup.err != PF_Err_NONE) {
      err = setup.err;
      failedFrame = frame;
      return "";
    }
    if (!runs.empty() && runs.back().width == setup.width && runs.back().height == setup.height) {
      runs.back().last = frame;
    } else {
      runs.push_back({frame, frame, setup.width, setup.height});
    }
  }
  bool oneSize = true;
  for (const Run& run : runs) {
    oneSize = oneSize && run.width == runs.front().width && run.height == runs.front().height;
  }
  if (oneSize) {
    return "";
  }
  constexpr size_t kRunsNamed = 6;  // enough to see the pattern of a keyed Expand Bounds
  std::string text = "a movie has one size, but the frames change it (Expand Bounds):";
  for (size_t i = 0; i < runs.size() && i < kRunsNamed; ++i) {
    text += (i == 0 ? " " : ", ") + FrameSpan(runs[i].first, runs[i].last) + " " +
            (runs[i].first == runs[i].last ? "is " : "are ") + std::to_string(runs[i].width) +
            " x " + std::to_string(runs[i].height);
  }
  if (runs.size() > kRunsNamed) {
    text += ", ...";
  }
  return text + "; render stills, or keep Expand Bounds still";
}

}  // namespace lwhost
