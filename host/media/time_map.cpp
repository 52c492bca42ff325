#include "media/time_map.h"

#include <algorithm>

namespace lwhost {
namespace {

using Wide = __int128;

// floor(a / b) for b > 0.
int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

}  // namespace

int64_t SequenceIndexAt(const SceneTime& time, const ClipPlacement& placement, int64_t count) {
  if (count <= 0 || time.step <= 0) {
    return 0;
  }
  const int64_t offset = FloorDiv(time.value, time.step) - placement.start;
  if (offset < 0) {
    return 0;
  }
  return placement.loop ? offset % count : std::min(offset, count - 1);
}

int64_t ClipIndexAt(const SceneTime& time, const ClipPlacement& placement,
                    const ClipTimeline& timeline) {
  if (timeline.starts.empty() || time.scale <= 0 || timeline.timeBaseDen <= 0) {
    return 0;
  }
  // Both sides in units of 1 / (scale x timeBaseDen) seconds: the clip time
  // (value - start x step) / scale, and a presentation time pts x num / den.
  const Wide clipTime =
      (Wide{time.value} - Wide{placement.start} * time.step) * timeline.timeBaseDen;
  if (clipTime < 0) {
    return 0;
  }
  const Wide perTick = Wide{timeline.timeBaseNum} * time.scale;
  Wide t = clipTime;
  if (placement.loop && timeline.end > 0) {
    t %= Wide{timeline.end} * perTick;
  }
  // Time stamps are rounded to the time base (Matroska's milliseconds put a 24 fps frame 1 at
  // 42 ms, not 41.67): a start up to half a tick, at most half a millisecond, late still counts.
  // Both sides doubled, to stay in integers.
  const Wide slack = std::min<Wide>(perTick, Wide{time.scale} * timeline.timeBaseDen / 1000);
  const Wide doubled = 2 * t + slack;
  const auto after = std::upper_bound(
      timeline.starts.begin(), timeline.starts.end(), doubled,
      [perTick](Wide value, int64_t start) { return value < 2 * Wide{start} * perTick; });
  return std::max<int64_t>(0, (after - timeline.starts.begin()) - 1);
}

}  // namespace lwhost
