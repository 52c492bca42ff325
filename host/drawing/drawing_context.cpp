// Drawing contexts, their objects and the registry that tells live refs from stray pointers.
#include "drawing/drawing_context.h"

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "drawing/drawing_objects.h"

namespace lwhost {

namespace {

// Refs come back from the effect on any thread; the registry is the only state shared between
// contexts.
std::mutex g_registryMutex;
std::unordered_set<const void*> g_liveContexts;  // canvas addresses
std::unordered_set<const void*> g_liveObjects;  // DrawbotObject addresses, until their context dies
std::unordered_map<const void*, DrawingCanvas*> g_liveHandles;  // &handleMaster -> canvas

}  // namespace

const char* DrawbotKindName(DrawbotKind kind) {
  switch (kind) {
    case DrawbotKind::kSupplier:
      return "supplier";
    case DrawbotKind::kSurface:
      return "surface";
    case DrawbotKind::kPen:
      return "pen";
    case DrawbotKind::kBrush:
      return "brush";
    case DrawbotKind::kPath:
      return "path";
  }
  return "object";
}

DrawingCanvas::DrawingCanvas(void* owner, int width, int height)
    : handleMaster(owner),
      supplierObject(DrawbotKind::kSupplier, this),
      surfaceObject(DrawbotKind::kSurface, this) {
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cr = cairo_create(surface);
  std::lock_guard<std::mutex> lock(g_registryMutex);
  g_liveContexts.insert(this);
  g_liveHandles[&handleMaster] = this;
  g_liveObjects.insert(&supplierObject);
  g_liveObjects.insert(&surfaceObject);
}

DrawingCanvas::~DrawingCanvas() {
  {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    g_liveContexts.erase(this);
    g_liveHandles.erase(&handleMaster);
    g_liveObjects.erase(&supplierObject);
    g_liveObjects.erase(&surfaceObject);
    for (const auto& object : objects) {
      g_liveObjects.erase(object.get());
    }
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

DrawbotObject* DrawingCanvas::Make(DrawbotKind kind) {
  objects.push_back(std::make_unique<DrawbotObject>(kind, this));
  DrawbotObject* object = objects.back().get();
  {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    g_liveObjects.insert(object);
  }
  ++made;
  if (observer != nullptr) {
    observer->ObjectMade(object, DrawbotKindName(kind));
  }
  return object;
}

void DrawingCanvas::NoteMisuse(const char* what) {
  ++misuses;
  if (observer != nullptr) {
    observer->Misuse(what);
  }
}

SPErr DrawingCanvas::Retain(DrawbotObject* object) {
  if (object->refs <= 0) {
    NoteMisuse("RetainObject of a released object");
    return kDrawbotBadParameter;
  }
  if (object->kind == DrawbotKind::kSupplier || object->kind == DrawbotKind::kSurface) {
    return 0;  // owned by the context; retaining it changes nothing
  }
  ++object->refs;
  return 0;
}

SPErr DrawingCanvas::Release(DrawbotObject* object) {
  if (object->kind == DrawbotKind::kSupplier || object->kind == DrawbotKind::kSurface) {
    // GetSupplier and GetSurface lend these; they are not the effect's to release.
    NoteMisuse("ReleaseObject of the supplier or surface");
    return kDrawbotBadParameter;
  }
  if (object->refs <= 0) {
    NoteMisuse("ReleaseObject of a released object");
    return kDrawbotBadParameter;
  }
  if (--object->refs == 0) {
    ++released;
    object->ops.clear();
    if (observer != nullptr) {
      observer->ObjectReleased(object);
    }
  }
  return 0;
}

void DrawingCanvas::LoadPath(const DrawbotObject& path) {
  constexpr double kDegrees = 3.14159265358979323846 / 180.0;  // Drawbot arcs are in degrees
  cairo_new_path(cr);
  for (const PathOp& op : path.ops) {
    const float* v = op.v;
    switch (op.kind) {
      case PathOp::kMove:
        cairo_move_to(cr, v[0], v[1]);
        break;
      case PathOp::kLine:
        cairo_line_to(cr, v[0], v[1]);
        break;
      case PathOp::kCurve:
        cairo_curve_to(cr, v[0], v[1], v[2], v[3], v[4], v[5]);
        break;
      case PathOp::kRect:
        cairo_rectangle(cr, v[0], v[1], v[2], v[3]);
        break;
      case PathOp::kArc: {
        const double start = v[3] * kDegrees;
        const double end = (v[3] + v[4]) * kDegrees;
        if (v[4] >= 0) {
          cairo_arc(cr, v[0], v[1], v[2], start, end);
        } else {
          cairo_arc_negative(cr, v[0], v[1], v[2], start, end);
        }
        break;
      }
      case PathOp::kClose:
        cairo_close_path(cr);
        break;
    }
  }
}

DrawbotObject* LookUpObject(const void* ref) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (ref == nullptr || g_liveObjects.count(ref) == 0) {
    return nullptr;
  }
  return static_cast<DrawbotObject*>(const_cast<void*>(ref));
}

DrawingCanvas* LookUpDrawRef(DRAWBOT_DrawRef ref) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  if (ref == nullptr || g_liveContexts.count(ref) == 0) {
    return nullptr;
  }
  return reinterpret_cast<DrawingCanvas*>(ref);
}

DrawingCanvas* LookUpContextHandle(PF_ContextH handle) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  const auto it = g_liveHandles.find(handle);
  return it != g_liveHandles.end() ? it->second : nullptr;
}

DrawingContext::DrawingContext(int width, int height)
    : impl_(std::make_unique<DrawingCanvas>(this, width, height)) {}

DrawingContext::~DrawingContext() = default;

PF_ContextH DrawingContext::ContextHandle() const {
  return reinterpret_cast<PF_ContextH>(&impl_->handleMaster);
}

DRAWBOT_DrawRef DrawingContext::DrawRef() const {
  return reinterpret_cast<DRAWBOT_DrawRef>(impl_.get());
}

int DrawingContext::Width() const {
  return cairo_image_surface_get_width(impl_->surface);
}
int DrawingContext::Height() const {
  return cairo_image_surface_get_height(impl_->surface);
}

Rgba8 DrawingContext::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
    throw std::out_of_range("pixel outside the drawing");
  }
  cairo_surface_flush(impl_->surface);
  const unsigned char* row =
      cairo_image_surface_get_data(impl_->surface) +
      static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(impl_->surface);
  // Cairo keeps ARGB32 as one native-endian 32-bit word per pixel, alpha in the top byte.
  std::uint32_t word;
  std::memcpy(&word, row + 4 * x, sizeof(word));
  return {static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
          static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 24)};
}

bool DrawingContext::WritePng(const std::string& path) const {
  cairo_surface_flush(impl_->surface);
  return cairo_surface_write_to_png(impl_->surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

int DrawingContext::ObjectsMade() const {
  return impl_->made;
}
int DrawingContext::ObjectsReleased() const {
  return impl_->released;
}
int DrawingContext::Misuses() const {
  return impl_->misuses;
}
void DrawingContext::SetObserver(DrawingObserver* observer) {
  impl_->observer = observer;
}

}  // namespace lwhost
