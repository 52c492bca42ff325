#include "graph_fake_host.h"

#include <cstdarg>
#include <cstdio>

namespace lwd::graphtest {

namespace {

FakeGraphHost* g_current = nullptr;

// Distinct addresses for the objects the fake supplier makes.
char g_objectPool[4096];
char g_supplier;
char g_surface;
char g_drawRef;

std::string SuiteKey(const char* name, int32_t version) {
  return std::string(name) + " " + std::to_string(version);
}

SPErr Record(const std::string& fn, DrawCall call) {
  call.fn = fn;
  Host().calls.push_back(call);
  return Host().Fail(fn);
}

// Drawbot draw suite.
SPErr GetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* out) {
  *out = reinterpret_cast<DRAWBOT_SupplierRef>(&g_supplier);
  return ref == reinterpret_cast<DRAWBOT_DrawRef>(&g_drawRef) ? Record("GetSupplier", {}) : 99;
}
SPErr GetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* out) {
  *out = reinterpret_cast<DRAWBOT_SurfaceRef>(&g_surface);
  return ref == reinterpret_cast<DRAWBOT_DrawRef>(&g_drawRef) ? Record("GetSurface", {}) : 99;
}

// Makes an object unless the call is to fail; a failed make leaves *out untouched.
SPErr MakeObject(const std::string& fn, std::vector<float> args, DRAWBOT_ObjectRef* out) {
  FakeGraphHost& h = Host();
  DrawCall call;
  call.f = std::move(args);
  const SPErr err = h.Fail(fn);
  if (err == 0) {
    void* object = &g_objectPool[h.objectsMade % sizeof(g_objectPool)];
    ++h.objectsMade;
    h.liveObjects.insert(object);
    call.object = object;
    *out = static_cast<DRAWBOT_ObjectRef>(object);
  }
  call.fn = fn;
  h.calls.push_back(call);
  return err;
}

// Drawbot supplier suite.
SPErr NewPen(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA* c, float size, DRAWBOT_PenRef* out) {
  return MakeObject("NewPen", {c->red, c->green, c->blue, c->alpha, size}, out);
}
SPErr NewBrush(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA* c, DRAWBOT_BrushRef* out) {
  return MakeObject("NewBrush", {c->red, c->green, c->blue, c->alpha}, out);
}
SPErr NewPath(DRAWBOT_SupplierRef, DRAWBOT_PathRef* out) {
  return MakeObject("NewPath", {}, out);
}
SPErr ReleaseObject(DRAWBOT_ObjectRef object) {
  FakeGraphHost& h = Host();
  ++h.objectReleases;
  if (h.liveObjects.erase(object) == 0) {
    ++h.badReleases;
  }
  DrawCall call;
  call.object = object;
  return Record("ReleaseObject", call);
}

// Drawbot path suite.
SPErr MoveTo(DRAWBOT_PathRef path, float x, float y) {
  DrawCall call;
  call.f = {x, y};
  call.path = path;
  return Record("MoveTo", call);
}
SPErr LineTo(DRAWBOT_PathRef path, float x, float y) {
  DrawCall call;
  call.f = {x, y};
  call.path = path;
  return Record("LineTo", call);
}
SPErr AddRect(DRAWBOT_PathRef path, const DRAWBOT_RectF32* r) {
  DrawCall call;
  call.f = {r->left, r->top, r->width, r->height};
  call.path = path;
  return Record("AddRect", call);
}

// Drawbot surface suite.
SPErr FillPath(DRAWBOT_SurfaceRef, DRAWBOT_BrushRef brush, DRAWBOT_PathRef path,
               DRAWBOT_FillType type) {
  DrawCall call;
  call.object = brush;
  call.path = path;
  call.fillType = type;
  return Record("FillPath", call);
}
SPErr StrokePath(DRAWBOT_SurfaceRef, DRAWBOT_PenRef pen, DRAWBOT_PathRef path) {
  DrawCall call;
  call.object = pen;
  call.path = path;
  return Record("StrokePath", call);
}

const DRAWBOT_DrawbotSuite1 kDrawSuite = {GetSupplier, GetSurface};

DRAWBOT_SupplierSuite1 MakeSupplierSuite() {
  DRAWBOT_SupplierSuite1 suite{};
  suite.NewPen = NewPen;
  suite.NewBrush = NewBrush;
  suite.NewPath = NewPath;
  suite.ReleaseObject = ReleaseObject;
  return suite;
}
DRAWBOT_SurfaceSuite2 MakeSurfaceSuite() {
  DRAWBOT_SurfaceSuite2 suite{};
  suite.FillPath = FillPath;
  suite.StrokePath = StrokePath;
  return suite;
}
DRAWBOT_PathSuite1 MakePathSuite() {
  DRAWBOT_PathSuite1 suite{};
  suite.MoveTo = MoveTo;
  suite.LineTo = LineTo;
  suite.AddRect = AddRect;
  return suite;
}
// The graph calls only these; the other positions stay null so a stray call shows at once.
const DRAWBOT_SupplierSuite1 kSupplierSuite = MakeSupplierSuite();
const DRAWBOT_SurfaceSuite2 kSurfaceSuite = MakeSurfaceSuite();
const DRAWBOT_PathSuite1 kPathSuite = MakePathSuite();

PF_Err GetDrawingReference(const PF_ContextH contextH, DRAWBOT_DrawRef* ref) {
  FakeGraphHost& h = Host();
  if (contextH != h.contextH) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *ref = h.giveDrawingRef ? reinterpret_cast<DRAWBOT_DrawRef>(&g_drawRef) : nullptr;
  return h.drawingRefErr;
}
const PF_EffectCustomUISuite1 kCustomUISuite = {GetDrawingReference};

PF_Err InvalidateRect(const PF_ContextH contextH, const PF_Rect* rect) {
  Host().invalidated.push_back(*rect);
  Host().invalidatedContexts.push_back(contextH);
  return Host().Fail("PF_InvalidateRect");
}
PF_AppSuite6 MakeAppSuite() {
  PF_AppSuite6 suite{};
  suite.PF_InvalidateRect = InvalidateRect;
  return suite;
}
const PF_AppSuite6 kAppSuite = MakeAppSuite();

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
  FakeGraphHost& h = Host();
  *suite = nullptr;
  const std::string key = SuiteKey(name, version);
  if (h.missingSuites.count(name) != 0) {
    return 1;
  }
  const std::map<std::string, const void*> table = {
      {SuiteKey(kDRAWBOT_DrawSuite, 1), &kDrawSuite},
      {SuiteKey(kDRAWBOT_SupplierSuite, 1), &kSupplierSuite},
      {SuiteKey(kDRAWBOT_SurfaceSuite, 2), &kSurfaceSuite},
      {SuiteKey(kDRAWBOT_PathSuite, 1), &kPathSuite},
      {SuiteKey(kPFEffectCustomUISuite, 1), &kCustomUISuite},
      {SuiteKey(kPFAppSuite, 6), &kAppSuite},
  };
  const auto it = table.find(key);
  if (it == table.end()) {
    return 1;
  }
  *suite = it->second;
  h.acquireLog.push_back(key);
  ++h.suiteBalance[key];
  return 0;
}

SPErr ReleaseSuite(const char* name, int32_t version) {
  const std::string key = SuiteKey(name, version);
  Host().releaseLog.push_back(key);
  --Host().suiteBalance[key];
  return 0;
}

// A failed lock is counted apart: it holds nothing that an unlock would give back.
void* LockHandle(PF_Handle handle) {
  if (Host().lockFails) {
    ++Host().failedLocks;
    return nullptr;
  }
  ++Host().locks;
  return *handle;
}
void UnlockHandle(PF_Handle) {
  ++Host().unlocks;
}

// The host's formatter, bounded to return_msg's size as a host's would be.
int AnsiSprintf(A_char* buffer, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, PF_MAX_EFFECT_MSG_LEN + 1, format, args);
  va_end(args);
  return n;
}

}  // namespace

FakeGraphHost& Host() {
  return *g_current;
}

FakeGraphHost::FakeGraphHost() {
  g_current = this;
  basic.AcquireSuite = AcquireSuite;
  basic.ReleaseSuite = ReleaseSuite;
  utils.host_lock_handle = LockHandle;
  utils.host_unlock_handle = UnlockHandle;
  utils.ansi.sprintf = AnsiSprintf;
  in.utils = &utils;
  in.pica_basicP = &basic;

  SetCurve({{0.0f, 1.0f}, {1.0f, 1.0f}});
  curve.tag = 1;
  master_ = &curve;
  handle_ = &master_;
  for (int i = 0; i < LWD_NUM_PARAMS; ++i) {
    params[i] = &paramDefs[i];
  }
  paramDefs[LWD_WIDTH_GRAPH].u.arb_d.value = handle_;

  contextH = reinterpret_cast<PF_ContextH>(&contextMaster_);
  event.contextH = contextH;
  event.effect_win.index = LWD_WIDTH_GRAPH;
  event.effect_win.area = PF_EA_CONTROL;
  event.effect_win.current_frame = {kFrameLeft, kFrameTop, kFrameLeft + 220, kFrameTop + 150};
}

FakeGraphHost::~FakeGraphHost() {
  g_current = nullptr;
}

void FakeGraphHost::SetCurve(const std::vector<std::pair<float, float>>& points) {
  curve.numPoints = static_cast<std::uint8_t>(points.size());
  for (std::size_t i = 0; i < points.size() && i < kCurveMaxPoints; ++i) {
    curve.x[i] = points[i].first;
    curve.y[i] = points[i].second;
  }
}

void FakeGraphHost::ClearValueHandle() {
  paramDefs[LWD_WIDTH_GRAPH].u.arb_d.value = nullptr;
}

void FakeGraphHost::MouseAt(A_long h, A_long v) {
  event.u.do_click.screen_point = {kFrameLeft + h, kFrameTop + v};
}

SPErr FakeGraphHost::Fail(const std::string& fn) {
  const int n = ++callCounts[fn];
  for (const FailRule& rule : failures) {
    if (rule.fn == fn && rule.nth == n) {
      return rule.err;
    }
  }
  return 0;
}

std::map<std::string, int> FakeGraphHost::HeldSuites() const {
  std::map<std::string, int> held;
  for (const auto& [key, count] : suiteBalance) {
    if (count != 0) {
      held[key] = count;
    }
  }
  return held;
}

std::vector<std::string> FakeGraphHost::CallNames() const {
  std::vector<std::string> names;
  for (const DrawCall& call : calls) {
    names.push_back(call.fn);
  }
  return names;
}

std::vector<DrawCall> FakeGraphHost::CallsNamed(const std::string& fn) const {
  std::vector<DrawCall> named;
  for (const DrawCall& call : calls) {
    if (call.fn == fn) {
      named.push_back(call);
    }
  }
  return named;
}

}  // namespace lwd::graphtest
