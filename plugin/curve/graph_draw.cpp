// Drawing the width graph (PF_Event_DRAW): background, grid, the curve and a marker per point,
// through the host's Drawbot suites.
#include "curve/curve_data.h"
#include "curve/graph_editor.h"
#include "curve/graph_geometry.h"
#include "params/param_index.h"
#include "suites/aefx_helpers.h"
#include "suites/host_errors.h"

namespace lwd {

namespace {

constexpr DRAWBOT_ColorRGBA kBackgroundColor = {0.13f, 0.13f, 0.13f, 1.0f};
constexpr DRAWBOT_ColorRGBA kGridColor = {0.32f, 0.32f, 0.32f, 1.0f};
constexpr DRAWBOT_ColorRGBA kCurveColor = {0.9f, 0.9f, 0.9f, 1.0f};
constexpr DRAWBOT_ColorRGBA kMarkerColor = {1.0f, 0.72f, 0.1f, 1.0f};
constexpr float kGridPenWidth = 1.0f;   // hairlines on the half-pixel grid stay crisp
constexpr float kCurvePenWidth = 1.5f;  // a touch heavier than the grid so the curve reads first
constexpr int kGridDivisions = 4;       // lines at 1/4, 2/4 and 3/4 of each side
constexpr float kMarkerSize = 6.0f;     // square marker, centred on the point

// One drawing pass. Once a call fails every later drawing call is skipped, but every object
// already made is still released; the first error wins, and a release error counts only when
// nothing failed before it.
struct GraphPainter {
  const DrawbotSuites& suites;
  DRAWBOT_SupplierRef supplier;
  DRAWBOT_SurfaceRef surface;
  LWD_GraphRect g;
  PF_Err err = PF_Err_NONE;

  bool Ok() const { return err == PF_Err_NONE; }

  // Runs a drawing call only while nothing has failed.
  template <typename Call>
  void Step(Call call) {
    if (Ok()) {
      err = call();
    }
  }

  // Objects are made only while nothing has failed; a failed make leaves the ref null.
  DRAWBOT_PathRef NewPath() {
    DRAWBOT_PathRef path = nullptr;
    Step([&] { return suites.supplier_suiteP->NewPath(supplier, &path); });
    return Ok() ? path : nullptr;
  }
  DRAWBOT_PenRef NewPen(const DRAWBOT_ColorRGBA& color, float width) {
    DRAWBOT_PenRef pen = nullptr;
    Step([&] { return suites.supplier_suiteP->NewPen(supplier, &color, width, &pen); });
    return Ok() ? pen : nullptr;
  }
  DRAWBOT_BrushRef NewBrush(const DRAWBOT_ColorRGBA& color) {
    DRAWBOT_BrushRef brush = nullptr;
    Step([&] { return suites.supplier_suiteP->NewBrush(supplier, &color, &brush); });
    return Ok() ? brush : nullptr;
  }
  void Release(DRAWBOT_ObjectRef object) {
    if (object != nullptr) {
      err = MergeError(err, suites.supplier_suiteP->ReleaseObject(object));
    }
  }

  void AddRect(DRAWBOT_PathRef path, const DRAWBOT_RectF32& rect) {
    Step([&] { return suites.path_suiteP->AddRect(path, &rect); });
  }
  void MoveTo(DRAWBOT_PathRef path, double x, double y) {
    Step([&] {
      return suites.path_suiteP->MoveTo(path, static_cast<float>(x), static_cast<float>(y));
    });
  }
  void LineTo(DRAWBOT_PathRef path, double x, double y) {
    Step([&] {
      return suites.path_suiteP->LineTo(path, static_cast<float>(x), static_cast<float>(y));
    });
  }
  void Fill(DRAWBOT_BrushRef brush, DRAWBOT_PathRef path) {
    Step([&] {
      return suites.surface_suiteP->FillPath(surface, brush, path, kDRAWBOT_FillType_Winding);
    });
  }
  void Stroke(DRAWBOT_PenRef pen, DRAWBOT_PathRef path) {
    Step([&] { return suites.surface_suiteP->StrokePath(surface, pen, path); });
  }

  void DrawBackground() {
    DRAWBOT_PathRef path = NewPath();
    AddRect(path, DRAWBOT_RectF32{g.left, g.top, kGraphWidth, kGraphHeight});
    DRAWBOT_BrushRef brush = NewBrush(kBackgroundColor);
    Fill(brush, path);
    Release(brush);
    Release(path);
  }

  void DrawGrid() {
    DRAWBOT_PenRef pen = NewPen(kGridColor, kGridPenWidth);
    for (int k = 1; k < kGridDivisions; ++k) {
      const double f = static_cast<double>(k) / kGridDivisions;
      const double x = g.left + kGraphWidth * f;
      const double y = g.top + kGraphHeight * f;
      DRAWBOT_PathRef path = NewPath();
      MoveTo(path, x, g.top);
      LineTo(path, x, g.top + kGraphHeight);
      MoveTo(path, g.left, y);
      LineTo(path, g.left + kGraphWidth, y);
      Stroke(pen, path);
      Release(path);
    }
    Release(pen);
  }

  void DrawCurve(const LWD_CurveData& curve) {
    DRAWBOT_PenRef pen = NewPen(kCurveColor, kCurvePenWidth);
    DRAWBOT_PathRef path = NewPath();
    for (int i = 0; i < kGraphCurveSamples && Ok(); ++i) {
      const double v = CurveEval(&curve, static_cast<double>(i) / (kGraphCurveSamples - 1));
      const double x = g.left + static_cast<double>(i);
      const double y = GraphScreenY(g, v);
      if (i == 0) {
        MoveTo(path, x, y);
      } else {
        LineTo(path, x, y);
      }
    }
    Stroke(pen, path);
    Release(path);
    Release(pen);
  }

  void DrawMarkers(const LWD_CurveData& curve) {
    DRAWBOT_BrushRef brush = NewBrush(kMarkerColor);
    const int n = CurveUsedPoints(curve);
    for (int j = 0; j < n && Ok(); ++j) {
      const float half = kMarkerSize / 2;
      const DRAWBOT_RectF32 rect = {static_cast<float>(GraphScreenX(g, curve.x[j]) - half),
                                    static_cast<float>(GraphScreenY(g, curve.y[j]) - half),
                                    kMarkerSize, kMarkerSize};
      DRAWBOT_PathRef path = NewPath();
      AddRect(path, rect);
      Fill(brush, path);
      Release(path);
    }
    Release(brush);
  }
};

// The drawing reference of the event's context, through the custom UI suite that is held only
// around this one call. A missing reference with no error gives 0 and a null *ref.
PF_Err GetDrawingReference(PF_InData* in_data, PF_OutData* out_data, const PF_EventExtra& event,
                           DRAWBOT_DrawRef* ref) {
  *ref = nullptr;
  void* raw = nullptr;
  PF_Err err = AEFX_AcquireSuite(in_data, out_data, kPFEffectCustomUISuite,
                                 kPFEffectCustomUISuiteVersion1, nullptr, &raw);
  if (err != PF_Err_NONE) {
    return err;
  }
  const auto* ui = static_cast<const PF_EffectCustomUISuite1*>(raw);
  err = ui->PF_GetDrawingReference(event.contextH, ref);
  err = MergeError(err, AEFX_ReleaseSuite(in_data, out_data, kPFEffectCustomUISuite,
                                          kPFEffectCustomUISuiteVersion1, nullptr));
  if (err != PF_Err_NONE) {
    *ref = nullptr;
  }
  return err;
}

}  // namespace

PF_Err DrawCurveGraph(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                      PF_EventExtra* event) {
  PF_Handle value = params[LWD_WIDTH_GRAPH]->u.arb_d.value;
  if (value == nullptr) {
    return PF_Err_NONE;
  }

  DrawbotSuites suites{};
  PF_Err err = AEFX_AcquireDrawbotSuites(in_data, out_data, &suites);
  if (err != PF_Err_NONE) {
    // Give back only what was obtained: the rest was never ours.
    ReleaseObtainedDrawbotSuites(in_data, out_data, suites);
    return err;
  }

  DRAWBOT_DrawRef drawRef = nullptr;
  err = GetDrawingReference(in_data, out_data, *event, &drawRef);
  if (err != PF_Err_NONE || drawRef == nullptr) {
    AEFX_ReleaseDrawbotSuites(in_data, out_data);
    return err;
  }

  DRAWBOT_SupplierRef supplier = nullptr;
  DRAWBOT_SurfaceRef surface = nullptr;
  err = suites.drawbot_suiteP->GetSupplier(drawRef, &supplier);
  if (err == PF_Err_NONE) {
    err = suites.drawbot_suiteP->GetSurface(drawRef, &surface);
  }
  const LWD_CurveData* curve = nullptr;
  if (err == PF_Err_NONE) {
    curve = static_cast<const LWD_CurveData*>(in_data->utils->host_lock_handle(value));
  }

  if (curve != nullptr) {
    GraphPainter painter{suites, supplier, surface, GraphRectOf(*event)};
    painter.DrawBackground();
    painter.DrawGrid();
    painter.DrawCurve(*curve);
    painter.DrawMarkers(*curve);
    err = painter.err;
    // Unlock only what was locked, so the host's lock count stays balanced.
    in_data->utils->host_unlock_handle(value);
  }

  AEFX_ReleaseDrawbotSuites(in_data, out_data);
  event->evt_out_flags |= PF_EO_HANDLED_EVENT;
  return err;
}

}  // namespace lwd
