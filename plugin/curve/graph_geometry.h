// Geometry and state shared by the width graph's drawing and its click/drag editing.
//
//   current_frame.left/top
//   +--------------------------------------+  220 x 150 control
//   |  G: 219 x 149, inset by half a pixel |  y = 1 at G's top edge,
//   |  so 1-pixel lines land on pixel      |  y = 0 at its bottom edge;
//   |  centres                             |  x = 0 .. 1 left to right
//   +--------------------------------------+
#pragma once

#include <atomic>

#include "ae_effect.h"

namespace lwd {

constexpr float kGraphWidth = 219.0f;    // one pixel less than the control, so both edges show
constexpr float kGraphHeight = 149.0f;   // likewise for the 150-pixel height
constexpr float kGraphInset = 0.5f;      // puts G's edges on pixel centres
constexpr int kGraphCurveSamples = 220;  // one curve vertex per pixel column of the control

// The graph rectangle G in the coordinates of the event's current_frame.
struct LWD_GraphRect {
  float left;
  float top;
};

inline LWD_GraphRect GraphRectOf(const PF_EventExtra& event) {
  const PF_Rect& frame = event.effect_win.current_frame;
  return {static_cast<float>(frame.left) + kGraphInset,
          static_cast<float>(frame.top) + kGraphInset};
}

// Screen position of the curve point (x, y).
inline double GraphScreenX(const LWD_GraphRect& g, double x) {
  return g.left + kGraphWidth * x;
}
inline double GraphScreenY(const LWD_GraphRect& g, double y) {
  return g.top + kGraphHeight * (1.0 - y);
}

// The index of the point being dragged, -1 for none. One per process, shared by every instance:
// a drag always starts with a click that sets it. Atomic so that two instances receiving events
// on different threads do not race on it.
extern std::atomic<int> g_dragIdx;

}  // namespace lwd
