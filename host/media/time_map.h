// Which frame of a clip or an image sequence a scene time shows. Pure functions over plain data,
// in exact integer arithmetic: a boundary such as 25 fps footage in a 24 fps scene falls exactly
// where it should, whatever the rates.
#pragma once

#include <cstdint>
#include <vector>

#include "media/footage.h"

namespace lwhost {

// Where a clip sits in the scene: its first frame at scene frame `start`; past the end the last
// frame holds, or with `loop` the clip repeats.
struct ClipPlacement {
  int64_t start = 0;
  bool loop = false;
};

// Scene frame f (the integer part of value / step) shows file N + (f - start) of a sequence of
// `count` files; the result is the 0-based position in the sequence.
int64_t SequenceIndexAt(const SceneTime& time, const ClipPlacement& placement, int64_t count);

// A movie stream's frames: presentation times in units of timeBaseNum / timeBaseDen seconds,
// measured from the first frame (so starts[0] == 0), ascending; `end` is the end of the last
// frame's interval (the clip's duration), above starts.back().
struct ClipTimeline {
  std::vector<int64_t> starts;
  int64_t end = 0;
  int64_t timeBaseNum = 1;
  int64_t timeBaseDen = 1;
};

// The frame whose interval [starts[k], starts[k + 1]) holds the clip time
// t = (time - start frame) in seconds, a start up to half a tick of the time base (at most half a
// millisecond) after t counting as at t, since stamps are rounded to it. Before the first frame the
// first shows; past the end the last holds, or with `loop` t wraps at the clip's duration.
int64_t ClipIndexAt(const SceneTime& time, const ClipPlacement& placement,
                    const ClipTimeline& timeline);

}  // namespace lwhost
