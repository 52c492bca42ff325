// Editing the width graph with the mouse: a click picks the nearest point or adds one, and the
// drags that follow move the picked point.
#include <algorithm>

#include "curve/curve_data.h"
#include "curve/graph_editor.h"
#include "curve/graph_geometry.h"
#include "params/param_index.h"
#include "suites/suite_handler.h"

namespace lwd {

std::atomic<int> g_dragIdx{-1};

namespace {

constexpr double kPickRadiusSquared = 49.0;  // 7 pixels: about a marker and a half
constexpr double kDragMinGap = 0.01;  // a dragged point keeps this x distance to each neighbour

// Nearest point within the pick radius, ties to the higher index; -1 when none is near.
int PickPoint(const LWD_CurveData& curve, const LWD_GraphRect& g, double mx, double my) {
  int picked = -1;
  double best = kPickRadiusSquared;
  const int n = CurveUsedPoints(curve);
  for (int j = 0; j < n; ++j) {
    const double dx = mx - GraphScreenX(g, curve.x[j]);
    const double dy = my - GraphScreenY(g, curve.y[j]);
    const double d2 = dx * dx + dy * dy;
    if (d2 <= best) {
      best = d2;
      picked = j;
    }
  }
  return picked;
}

// Adds the point under the mouse when it lies inside G and there is room; returns its index after
// sorting, or -1 when nothing was added.
int AddPoint(LWD_CurveData* curve, const LWD_GraphRect& g, double mx, double my) {
  const int n = CurveUsedPoints(*curve);
  const bool insideG =
      mx >= g.left && mx <= g.left + kGraphWidth && my >= g.top && my <= g.top + kGraphHeight;
  if (!insideG || n >= kCurveMaxPoints) {
    return -1;
  }
  // The new point is worked out in single precision, G's own precision, so the stored y is what
  // 1 - (my - top) / 149 gives in floats (a double quotient rounded once can differ in the last
  // bit). The mouse position is a whole pixel, exact as a float.
  const float x = (static_cast<float>(mx) - g.left) / kGraphWidth;
  const float y = 1.0f - (static_cast<float>(my) - g.top) / kGraphHeight;
  curve->x[n] = x;
  curve->y[n] = y;
  curve->numPoints = static_cast<std::uint8_t>(n + 1);
  CurveSort(curve);
  // The sort is stable, so among equal x the new point is behind the old ones; the first equal x
  // is the point the user will drag.
  for (int j = 0; j <= n; ++j) {
    if (curve->x[j] == x) {
      return j;
    }
  }
  return -1;
}

// Moves point i to the mouse. The end points stay pinned at x = 0 and 1; an inner point keeps
// kDragMinGap to both neighbours, the right bound applied last, so the order needs no re-sort.
void DragPoint(LWD_CurveData* curve, int i, const LWD_GraphRect& g, double mx, double my) {
  const int n = CurveUsedPoints(*curve);
  const double y = std::clamp(1.0 - (my - g.top) / kGraphHeight, 0.0, 1.0);
  double x;
  if (i == 0) {
    x = 0.0;
  } else if (i == n - 1) {
    x = 1.0;
  } else {
    x = std::clamp((mx - g.left) / kGraphWidth, 0.0, 1.0);
    x = std::max(x, static_cast<double>(curve->x[i - 1]) + kDragMinGap);
    x = std::min(x, static_cast<double>(curve->x[i + 1]) - kDragMinGap);
  }
  curve->x[i] = static_cast<float>(x);
  curve->y[i] = static_cast<float>(y);
}

}  // namespace

PF_Err CurveClickEvent(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_EventExtra* event,
                       bool drag) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  PF_ParamDef* graphParam = params[LWD_WIDTH_GRAPH];
  PF_Handle value = graphParam->u.arb_d.value;
  if (value == nullptr || event->effect_win.area != PF_EA_CONTROL) {
    return PF_Err_NONE;
  }
  auto* curve = static_cast<LWD_CurveData*>(in_data->utils->host_lock_handle(value));
  if (curve == nullptr) {
    return PF_Err_NONE;
  }

  const LWD_GraphRect g = GraphRectOf(*event);
  const double mx = event->u.do_click.screen_point.h;
  const double my = event->u.do_click.screen_point.v;

  // This event's own copy of the index decides what happens at the end, whatever another
  // instance's event does to the shared value meanwhile.
  int dragIdx;
  if (!drag) {
    g_dragIdx.store(-1);
    dragIdx = PickPoint(*curve, g, mx, my);
    if (dragIdx < 0) {
      dragIdx = AddPoint(curve, g, mx, my);
    }
    g_dragIdx.store(dragIdx);
    event->u.do_click.send_drag = dragIdx >= 0;
  } else {
    dragIdx = g_dragIdx.load();
    if (dragIdx >= 0 && dragIdx < CurveUsedPoints(*curve)) {
      DragPoint(curve, dragIdx, g, mx, my);
    }
  }

  in_data->utils->host_unlock_handle(value);
  if (dragIdx < 0) {
    return PF_Err_NONE;
  }

  // Throws 516 when the host has no app suite; the edit stays but nothing is reported.
  const PF_AppSuite6* app = suites.AppSuite6();
  const PF_Rect frame = event->effect_win.current_frame;
  const PF_Err err = app->PF_InvalidateRect(event->contextH, &frame);
  graphParam->uu.change_flags |= PF_ChangeFlag_CHANGED_VALUE;
  event->evt_out_flags |= PF_EO_HANDLED_EVENT | PF_EO_UPDATE_NOW;
  return err;
}

}  // namespace lwd
