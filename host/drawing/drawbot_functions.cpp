// The Drawbot suites and the custom UI suite over Cairo. Every function validates the refs it
// gets through the registry, so a stale or foreign ref is an error answer, never a crash.
#include <algorithm>
#include <cmath>

#include "drawing/drawing_context.h"
#include "drawing/drawing_objects.h"

namespace lwhost {

namespace {

// The object behind a ref when it is live and of the wanted kind; null otherwise.
DrawbotObject* Want(const void* ref, DrawbotKind kind) {
  DrawbotObject* object = LookUpObject(ref);
  if (object == nullptr || object->kind != kind) {
    return nullptr;
  }
  // A released pen, brush or path stays in the registry until its context dies, so a use after
  // release is caught here rather than read from freed memory.
  return object->refs > 0 ? object : nullptr;
}

// Colour components outside [0, 1] are clamped as Cairo would.
void SetSource(cairo_t* cr, const DRAWBOT_ColorRGBA& c) {
  cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

// ---- "DRAWBOT Draw Suite" 1

SPErr GetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* out) {
  DrawingCanvas* ctx = LookUpDrawRef(ref);
  if (ctx == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = ctx->Check("GetSupplier"); err != 0) {
    return err;
  }
  *out = reinterpret_cast<DRAWBOT_SupplierRef>(&ctx->supplierObject);
  return 0;
}

SPErr GetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* out) {
  DrawingCanvas* ctx = LookUpDrawRef(ref);
  if (ctx == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = ctx->Check("GetSurface"); err != 0) {
    return err;
  }
  *out = reinterpret_cast<DRAWBOT_SurfaceRef>(&ctx->surfaceObject);
  return 0;
}

// ---- "DRAWBOT Supplier Suite" 1

// Makes a pen, brush or path for the supplier `ref`; the out ref is written only on success.
SPErr MakeObject(DRAWBOT_SupplierRef ref, DrawbotKind kind, const char* call,
                 DRAWBOT_ObjectRef* out, DrawbotObject** made) {
  DrawbotObject* supplier = Want(ref, DrawbotKind::kSupplier);
  if (supplier == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = supplier->owner->Check(call); err != 0) {
    return err;
  }
  *made = supplier->owner->Make(kind);
  *out = reinterpret_cast<DRAWBOT_ObjectRef>(*made);
  return 0;
}

SPErr NewPen(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour, float size,
             DRAWBOT_PenRef* out) {
  if (colour == nullptr || !(size >= 0.0f)) {
    return kDrawbotBadParameter;
  }
  DrawbotObject* pen = nullptr;
  const SPErr err = MakeObject(ref, DrawbotKind::kPen, "NewPen", out, &pen);
  if (err == 0) {
    pen->colour = *colour;
    pen->width = size;
  }
  return err;
}

SPErr NewBrush(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour, DRAWBOT_BrushRef* out) {
  if (colour == nullptr) {
    return kDrawbotBadParameter;
  }
  DrawbotObject* brush = nullptr;
  const SPErr err = MakeObject(ref, DrawbotKind::kBrush, "NewBrush", out, &brush);
  if (err == 0) {
    brush->colour = *colour;
  }
  return err;
}

SPErr NewPath(DRAWBOT_SupplierRef ref, DRAWBOT_PathRef* out) {
  DrawbotObject* path = nullptr;
  return MakeObject(ref, DrawbotKind::kPath, "NewPath", out, &path);
}

SPErr SupportsText(DRAWBOT_SupplierRef ref, A_Boolean* out) {
  if (Want(ref, DrawbotKind::kSupplier) == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  *out = 0;  // no fonts here: the host draws no text
  return 0;
}

SPErr GetDefaultFontSize(DRAWBOT_SupplierRef, float*) {
  return kDrawbotUnimplemented;
}
SPErr NewDefaultFont(DRAWBOT_SupplierRef, float, DRAWBOT_FontRef*) {
  return kDrawbotUnimplemented;
}
SPErr NewImageFromBuffer(DRAWBOT_SupplierRef, int, int, int, DRAWBOT_PixelLayout, const void*,
                         DRAWBOT_ImageRef*) {
  return kDrawbotUnimplemented;
}

// No image support, so no pixel layout is supported or preferred.
SPErr AnswerNo(DRAWBOT_SupplierRef ref, A_Boolean* out) {
  if (Want(ref, DrawbotKind::kSupplier) == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  *out = 0;
  return 0;
}

SPErr RetainObject(DRAWBOT_ObjectRef ref) {
  DrawbotObject* object = LookUpObject(ref);
  if (object == nullptr) {
    return kDrawbotBadParameter;
  }
  return object->owner->Retain(object);
}

SPErr ReleaseObject(DRAWBOT_ObjectRef ref) {
  DrawbotObject* object = LookUpObject(ref);
  if (object == nullptr) {
    return kDrawbotBadParameter;  // no live context knows it: nobody to tell
  }
  if (SPErr err = object->owner->Check("ReleaseObject"); err != 0) {
    return err;
  }
  return object->owner->Release(object);
}

// ---- "DRAWBOT Surface Suite" 2

DrawingCanvas* SurfaceContext(DRAWBOT_SurfaceRef ref) {
  DrawbotObject* surface = Want(ref, DrawbotKind::kSurface);
  return surface != nullptr ? surface->owner : nullptr;
}

SPErr PushStateStack(DRAWBOT_SurfaceRef ref) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr) {
    return kDrawbotBadParameter;
  }
  cairo_save(ctx->cr);
  return 0;
}

SPErr PopStateStack(DRAWBOT_SurfaceRef ref) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr) {
    return kDrawbotBadParameter;
  }
  cairo_restore(ctx->cr);
  // Cairo puts itself in an error state on an unbalanced restore; report it as the call's error.
  return cairo_status(ctx->cr) == CAIRO_STATUS_SUCCESS ? 0 : kDrawbotBadParameter;
}

SPErr PaintRect(DRAWBOT_SurfaceRef ref, const DRAWBOT_ColorRGBA* colour,
                const DRAWBOT_RectF32* rect) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || colour == nullptr || rect == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = ctx->Check("PaintRect"); err != 0) {
    return err;
  }
  cairo_new_path(ctx->cr);
  cairo_rectangle(ctx->cr, rect->left, rect->top, rect->width, rect->height);
  SetSource(ctx->cr, *colour);
  cairo_fill(ctx->cr);
  return 0;
}

SPErr FillPath(DRAWBOT_SurfaceRef ref, DRAWBOT_BrushRef brushRef, DRAWBOT_PathRef pathRef,
               DRAWBOT_FillType type) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  DrawbotObject* brush = Want(brushRef, DrawbotKind::kBrush);
  DrawbotObject* path = Want(pathRef, DrawbotKind::kPath);
  if (ctx == nullptr || brush == nullptr || path == nullptr || brush->owner != ctx ||
      path->owner != ctx) {
    return kDrawbotBadParameter;
  }
  if (type != kDRAWBOT_FillType_EvenOdd && type != kDRAWBOT_FillType_Winding) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = ctx->Check("FillPath"); err != 0) {
    return err;
  }
  ctx->LoadPath(*path);
  cairo_set_fill_rule(ctx->cr, type == kDRAWBOT_FillType_EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                                 : CAIRO_FILL_RULE_WINDING);
  SetSource(ctx->cr, brush->colour);
  cairo_fill(ctx->cr);
  return 0;
}

SPErr StrokePath(DRAWBOT_SurfaceRef ref, DRAWBOT_PenRef penRef, DRAWBOT_PathRef pathRef) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  DrawbotObject* pen = Want(penRef, DrawbotKind::kPen);
  DrawbotObject* path = Want(pathRef, DrawbotKind::kPath);
  if (ctx == nullptr || pen == nullptr || path == nullptr || pen->owner != ctx ||
      path->owner != ctx) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = ctx->Check("StrokePath"); err != 0) {
    return err;
  }
  ctx->LoadPath(*path);
  cairo_set_line_width(ctx->cr, pen->width);
  SetSource(ctx->cr, pen->colour);
  cairo_stroke(ctx->cr);
  return 0;
}

SPErr Clip(DRAWBOT_SurfaceRef ref, DRAWBOT_SupplierRef, const DRAWBOT_Rect32* rect) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || rect == nullptr) {
    return kDrawbotBadParameter;
  }
  cairo_new_path(ctx->cr);
  cairo_rectangle(ctx->cr, rect->left, rect->top, rect->width, rect->height);
  cairo_clip(ctx->cr);
  return 0;
}

SPErr GetClipBounds(DRAWBOT_SurfaceRef ref, DRAWBOT_Rect32* out) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  double x1, y1, x2, y2;
  cairo_clip_extents(ctx->cr, &x1, &y1, &x2, &y2);
  out->left = static_cast<A_long>(std::floor(x1));
  out->top = static_cast<A_long>(std::floor(y1));
  out->width = static_cast<A_long>(std::ceil(x2)) - out->left;
  out->height = static_cast<A_long>(std::ceil(y2)) - out->top;
  return 0;
}

SPErr IsWithinClipBounds(DRAWBOT_SurfaceRef ref, const DRAWBOT_Rect32* rect, A_Boolean* out) {
  DRAWBOT_Rect32 clip;
  if (rect == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = GetClipBounds(ref, &clip); err != 0) {
    return err;
  }
  *out = rect->left >= clip.left && rect->top >= clip.top &&
         rect->left + rect->width <= clip.left + clip.width &&
         rect->top + rect->height <= clip.top + clip.height;
  return 0;
}

SPErr Transform(DRAWBOT_SurfaceRef ref, const DRAWBOT_MatrixF32* m) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || m == nullptr) {
    return kDrawbotBadParameter;
  }
  // Row-vector convention: the third row is the translation.
  cairo_matrix_t matrix;
  cairo_matrix_init(&matrix, m->mat[0][0], m->mat[0][1], m->mat[1][0], m->mat[1][1], m->mat[2][0],
                    m->mat[2][1]);
  cairo_transform(ctx->cr, &matrix);
  return 0;
}

SPErr DrawString(DRAWBOT_SurfaceRef, DRAWBOT_BrushRef, DRAWBOT_FontRef, const DRAWBOT_UTF16Char*,
                 const DRAWBOT_PointF32*, DRAWBOT_TextAlignment, DRAWBOT_TextTruncation, float) {
  return kDrawbotUnimplemented;
}

SPErr DrawImage(DRAWBOT_SurfaceRef, DRAWBOT_ImageRef, const DRAWBOT_PointF32*, float) {
  return kDrawbotUnimplemented;
}

SPErr SetInterpolationPolicy(DRAWBOT_SurfaceRef ref, DRAWBOT_InterpolationPolicy policy) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr) {
    return kDrawbotBadParameter;
  }
  ctx->interpolation = policy;  // kept and answered back; no images are drawn
  return 0;
}

SPErr GetInterpolationPolicy(DRAWBOT_SurfaceRef ref, DRAWBOT_InterpolationPolicy* out) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  *out = ctx->interpolation;
  return 0;
}

SPErr SetAntiAliasPolicy(DRAWBOT_SurfaceRef ref, DRAWBOT_AntiAliasPolicy policy) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr) {
    return kDrawbotBadParameter;
  }
  ctx->antiAlias = policy;
  // Policy 0 asks for none; every other policy gets Cairo's default smoothing.
  cairo_set_antialias(ctx->cr, policy == 0 ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT);
  return 0;
}

SPErr GetAntiAliasPolicy(DRAWBOT_SurfaceRef ref, DRAWBOT_AntiAliasPolicy* out) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr || out == nullptr) {
    return kDrawbotBadParameter;
  }
  *out = ctx->antiAlias;
  return 0;
}

SPErr Flush(DRAWBOT_SurfaceRef ref) {
  DrawingCanvas* ctx = SurfaceContext(ref);
  if (ctx == nullptr) {
    return kDrawbotBadParameter;
  }
  cairo_surface_flush(ctx->surface);
  return 0;
}

// ---- "DRAWBOT Path Suite" 1

// Appends one element to a live path; the error answer for a bad ref.
SPErr Append(DRAWBOT_PathRef ref, const char* call, PathOp op) {
  DrawbotObject* path = Want(ref, DrawbotKind::kPath);
  if (path == nullptr) {
    return kDrawbotBadParameter;
  }
  if (SPErr err = path->owner->Check(call); err != 0) {
    return err;
  }
  path->ops.push_back(op);
  return 0;
}

SPErr MoveTo(DRAWBOT_PathRef ref, float x, float y) {
  return Append(ref, "MoveTo", {PathOp::kMove, {x, y}});
}

SPErr LineTo(DRAWBOT_PathRef ref, float x, float y) {
  return Append(ref, "LineTo", {PathOp::kLine, {x, y}});
}

SPErr BezierTo(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* p1, const DRAWBOT_PointF32* p2,
               const DRAWBOT_PointF32* p3) {
  if (p1 == nullptr || p2 == nullptr || p3 == nullptr) {
    return kDrawbotBadParameter;
  }
  return Append(ref, "BezierTo", {PathOp::kCurve, {p1->x, p1->y, p2->x, p2->y, p3->x, p3->y}});
}

SPErr AddRect(DRAWBOT_PathRef ref, const DRAWBOT_RectF32* rect) {
  if (rect == nullptr) {
    return kDrawbotBadParameter;
  }
  return Append(ref, "AddRect",
                {PathOp::kRect, {rect->left, rect->top, rect->width, rect->height}});
}

SPErr AddArc(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* centre, float radius, float start,
             float sweep) {
  if (centre == nullptr) {
    return kDrawbotBadParameter;
  }
  return Append(ref, "AddArc", {PathOp::kArc, {centre->x, centre->y, radius, start, sweep}});
}

SPErr Close(DRAWBOT_PathRef ref) {
  return Append(ref, "Close", {PathOp::kClose, {}});
}

// ---- "PF Effect Custom UI Suite" 1

PF_Err GetDrawingReference(const PF_ContextH contextH, DRAWBOT_DrawRef* out) {
  if (out == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *out = nullptr;
  DrawingCanvas* ctx = LookUpContextHandle(contextH);
  if (ctx == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;  // not an event context this host drew for
  }
  if (PF_Err err = ctx->Check("PF_GetDrawingReference"); err != PF_Err_NONE) {
    return err;
  }
  *out = ctx->DrawRef();
  return PF_Err_NONE;
}

const DRAWBOT_DrawbotSuite1 kDrawSuite = {GetSupplier, GetSurface};

const DRAWBOT_SupplierSuite1 kSupplierSuite = {
    NewPen,        NewBrush, SupportsText, GetDefaultFontSize, NewDefaultFont, NewImageFromBuffer,
    NewPath,       AnswerNo, AnswerNo,     AnswerNo,           AnswerNo,       RetainObject,
    ReleaseObject,
};

const DRAWBOT_SurfaceSuite2 kSurfaceSuite = {
    PushStateStack,
    PopStateStack,
    PaintRect,
    FillPath,
    StrokePath,
    Clip,
    GetClipBounds,
    IsWithinClipBounds,
    Transform,
    DrawString,
    DrawImage,
    SetInterpolationPolicy,
    GetInterpolationPolicy,
    SetAntiAliasPolicy,
    GetAntiAliasPolicy,
    Flush,
};

const DRAWBOT_PathSuite1 kPathSuite = {MoveTo, LineTo, BezierTo, AddRect, AddArc, Close};

const PF_EffectCustomUISuite1 kCustomUISuite = {GetDrawingReference};

}  // namespace

const DRAWBOT_DrawbotSuite1* DrawbotDrawSuite() {
  return &kDrawSuite;
}
const DRAWBOT_SupplierSuite1* DrawbotSupplierSuite() {
  return &kSupplierSuite;
}
const DRAWBOT_SurfaceSuite2* DrawbotSurfaceSuite() {
  return &kSurfaceSuite;
}
const DRAWBOT_PathSuite1* DrawbotPathSuite() {
  return &kPathSuite;
}
const PF_EffectCustomUISuite1* EffectCustomUISuite() {
  return &kCustomUISuite;
}

}  // namespace lwhost
