// Inside the drawing API: the host-side records behind Drawbot refs and the registry that
// validates refs coming back from the effect. Only drawing_context.cpp and drawbot_functions.cpp
// include this; it does not know DrawingContext, which owns a canvas.
#pragma once

#include <cairo.h>

#include <memory>
#include <vector>

#include "ae_effect_suites.h"
#include "drawbot_suites.h"
#include "drawing/drawing_observer.h"

namespace lwhost {

enum class DrawbotKind { kSupplier, kSurface, kPen, kBrush, kPath };

const char* DrawbotKindName(DrawbotKind kind);

// One recorded path element; replayed into Cairo at fill or stroke time, so a path can be drawn
// any number of times and changed between draws.
struct PathOp {
  enum Kind { kMove, kLine, kCurve, kRect, kArc, kClose } kind;
  float v[6];  // move/line: x y; curve: x1 y1 x2 y2 x3 y3; rect: l t w h; arc: cx cy r start sweep
};

struct DrawingCanvas;

struct DrawbotObject {
  DrawbotObject(DrawbotKind k, DrawingCanvas* o) : kind(k), owner(o) {}

  DrawbotKind kind;
  DrawingCanvas* owner;
  int refs = 1;  // pens, brushes and paths: released when this reaches 0
  DRAWBOT_ColorRGBA colour{};
  float width = 0.0f;
  std::vector<PathOp> ops;
};

// The state behind one drawing context's refs. Its address is the context's draw ref.
struct DrawingCanvas {
  // `owner` is what the context handle points at (the DrawingContext); only its address is used.
  DrawingCanvas(void* owner, int width, int height);
  ~DrawingCanvas();
  DRAWBOT_DrawRef DrawRef() { return reinterpret_cast<DRAWBOT_DrawRef>(this); }

  // A new pen, brush or path, registered and counted.
  DrawbotObject* Make(DrawbotKind kind);
  // Gives up one reference; the error to return to the effect.
  SPErr Release(DrawbotObject* object);
  SPErr Retain(DrawbotObject* object);
  void NoteMisuse(const char* what);
  SPErr Check(const char* call) { return observer != nullptr ? observer->Check(call) : 0; }

  // Replays a path into Cairo's current path.
  void LoadPath(const DrawbotObject& path);

  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  void* handleMaster;  // the context handle points here; it holds the owner's address
  DrawbotObject supplierObject;
  DrawbotObject surfaceObject;
  std::vector<std::unique_ptr<DrawbotObject>> objects;  // kept until the context dies
  int made = 0;
  int released = 0;
  int misuses = 0;
  DRAWBOT_InterpolationPolicy interpolation = 0;
  DRAWBOT_AntiAliasPolicy antiAlias = 0;
  DrawingObserver* observer = nullptr;
};

// The live object behind a ref, of one of the given kinds, or null for anything else (a stray
// pointer, an object of a context that is gone, or an object of another kind).
DrawbotObject* LookUpObject(const void* ref);
// The live context behind a draw ref or a context handle, or null.
DrawingCanvas* LookUpDrawRef(DRAWBOT_DrawRef ref);
DrawingCanvas* LookUpContextHandle(PF_ContextH handle);

}  // namespace lwhost
