// A small in-test host for the renderer's tests: masks are polylines served through the path
// query and path data suites (lengths are exact, derivatives are unit directions), the Fill Matte
// suite fills a world, and every checkout, check-in, lock and preparation is counted so a test can
// check the balance after a render.
#pragma once

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "ae_effect.h"
#include "ae_effect_suites.h"
#include "ae_path_suites.h"
#include "sp_basic_suite.h"

namespace lwd {

struct FakePoint {
  double x, y;
};

struct FakeMask {
  std::vector<FakePoint> points;  // segment i runs from points[i] to points[i + 1]
  // Segments in pairs instead (segment i from points[2i] to points[2i + 1]): a mask whose pieces
  // do not meet, so the walk jumps from one to the next.
  bool disjoint = false;
};

struct FakeRenderHost {
  std::map<PF_PathID, FakeMask> masks;
  bool pathDataMissing = false;
  int pathCheckouts = 0;
  int pathCheckins = 0;
  int prepares = 0;
  int cleanups = 0;
  int evaluations = 0;
  int fills = 0;
  int sourceCheckouts = 0;
  int sourceCheckins = 0;
  int locks = 0;
  int unlocks = 0;
  int acquired = 0;
  int releasedSuites = 0;
  PF_Err evalError =
      PF_Err_NONE;  // answered by every evaluation once evaluations > evalsBeforeError
  int evalsBeforeError = 0;
  PF_Err abortResult = PF_Err_NONE;
  int abortCalls = 0;
  std::vector<A_long> progressCalls;
  PF_LayerDef sourceWorld{};  // what checkout_param hands out for the Source layer
};

inline FakeRenderHost* g_fakeHost = nullptr;
inline int g_fakePrepToken = 0;  // preparation handles point here

inline FakeMask* MaskOf(PF_PathOutlinePtr outline) {
  return reinterpret_cast<FakeMask*>(outline);
}

inline void SegmentEnds(PF_PathOutlinePtr outline, A_long seg, FakePoint* a, FakePoint* b) {
  const FakeMask& m = *MaskOf(outline);
  const size_t first = m.disjoint ? 2 * static_cast<size_t>(seg) : static_cast<size_t>(seg);
  *a = m.points[first];
  *b = m.points[first + 1];
}

inline PF_Err FakeCheckoutPath(PF_ProgPtr, PF_PathID id, A_long, A_long, A_u_long,
                               PF_PathOutlinePtr* out) {
  auto it = g_fakeHost->masks.find(id);
  *out = it == g_fakeHost->masks.end() ? nullptr : reinterpret_cast<PF_PathOutlinePtr>(&it->second);
  g_fakeHost->pathCheckouts += *out != nullptr;
  return PF_Err_NONE;
}

inline PF_Err FakeCheckinPath(PF_ProgPtr, PF_PathID, PF_Boolean, PF_PathOutlinePtr) {
  ++g_fakeHost->pathCheckins;
  return PF_Err_NONE;
}

inline PF_Err FakeNumSegments(PF_ProgPtr, PF_PathOutlinePtr outline, A_long* count) {
  const FakeMask& m = *MaskOf(outline);
  const auto points = static_cast<A_long>(m.points.size());
  *count = m.disjoint ? points / 2 : points - 1;
  return PF_Err_NONE;
}

inline PF_Err FakePrepare(PF_ProgPtr, PF_PathOutlinePtr, A_long, A_long, PF_PathSegPrepPtr* prep) {
  ++g_fakeHost->prepares;
  *prep = reinterpret_cast<PF_PathSegPrepPtr>(&g_fakePrepToken);
  return PF_Err_NONE;
}

inline PF_Err FakeSegLength(PF_ProgPtr, PF_PathOutlinePtr outline, A_long seg, PF_PathSegPrepPtr*,
                            PF_FpLong* length) {
  FakePoint a, b;
  SegmentEnds(outline, seg, &a, &b);
  *length = std::hypot(b.x - a.x, b.y - a.y);
  return PF_Err_NONE;
}

inline PF_Err FakeEvalDeriv(PF_ProgPtr, PF_PathOutlinePtr outline, PF_PathSegPrepPtr*, A_long seg,
                            PF_FpLong l, PF_FpLong* x, PF_FpLong* y, PF_FpLong* dx, PF_FpLong* dy) {
  ++g_fakeHost->evaluations;
  if (g_fakeHost->evalError != PF_Err_NONE &&
      g_fakeHost->evaluations > g_fakeHost->evalsBeforeError) {
    return g_fakeHost->evalError;
  }
  FakePoint a, b;
  SegmentEnds(outline, seg, &a, &b);
  const double len = std::hypot(b.x - a.x, b.y - a.y);
  *dx = (b.x - a.x) / len;
  *dy = (b.y - a.y) / len;
  *x = a.x + *dx * l;
  *y = a.y + *dy * l;
  return PF_Err_NONE;
}

inline PF_Err FakeCleanup(PF_ProgPtr, PF_PathOutlinePtr, A_long, PF_PathSegPrepPtr* prep) {
  ++g_fakeHost->cleanups;
  *prep = nullptr;
  return PF_Err_NONE;
}

template <typename Pixel>
void FakeFillWorld(const Pixel* colour, PF_EffectWorld* world) {
  for (A_long r = 0; r < world->height; ++r) {
    auto* row =
        reinterpret_cast<Pixel*>(reinterpret_cast<char*>(world->data) + r * world->rowbytes);
    for (A_long c = 0; c < world->width; ++c) {
      row[c] = *colour;
    }
  }
}

inline PF_Err FakeFill(PF_ProgPtr, const PF_Pixel* colour, const PF_Rect*, PF_EffectWorld* world) {
  ++g_fakeHost->fills;
  FakeFillWorld(colour, world);
  return PF_Err_NONE;
}

inline PF_Err FakeFill16(PF_ProgPtr, const PF_Pixel16* colour, const PF_Rect*,
                         PF_EffectWorld* world) {
  ++g_fakeHost->fills;
  FakeFillWorld(colour, world);
  return PF_Err_NONE;
}

inline const PF_PathQuerySuite1 kFakePathQuery = {nullptr, nullptr, FakeCheckoutPath,
                                                  FakeCheckinPath};
inline const PF_PathDataSuite1 kFakePathData = {
    nullptr,       FakeNumSegments, nullptr, FakePrepare, FakeSegLength, nullptr,
    FakeEvalDeriv, FakeCleanup,     nullptr, nullptr,     nullptr};
inline const PF_FillMatteSuite2 kFakeFillMatte = {FakeFill, FakeFill16};

inline SPErr FakeAcquireSuite(const char* name, int32_t, const void** suite) {
  *suite = nullptr;
  if (std::strcmp(name, kPFPathQuerySuite) == 0) {
    *suite = &kFakePathQuery;
  } else if (std::strcmp(name, kPFPathDataSuite) == 0 && !g_fakeHost->pathDataMissing) {
    *suite = &kFakePathData;
  } else if (std::strcmp(name, kPFFillMatteSuite) == 0) {
    *suite = &kFakeFillMatte;
  }
  if (*suite == nullptr) {
    return 1;  // the host has no such suite
  }
  ++g_fakeHost->acquired;
  return 0;
}

inline SPErr FakeReleaseSuite(const char*, int32_t) {
  ++g_fakeHost->releasedSuites;
  return 0;
}

inline SPBasicSuite g_fakeBasic = {FakeAcquireSuite, FakeReleaseSuite, nullptr, nullptr,
                                   nullptr,          nullptr,          nullptr};

inline PF_Err FakeAbort(PF_ProgPtr) {
  ++g_fakeHost->abortCalls;
  return g_fakeHost->abortResult;
}

inline PF_Err FakeProgress(PF_ProgPtr, A_long current, A_long) {
  g_fakeHost->progressCalls.push_back(current);
  return PF_Err_NONE;
}

inline PF_Err FakeCheckoutParam(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long,
                                PF_ParamDef* param) {
  ++g_fakeHost->sourceCheckouts;
  param->param_type = PF_Param_LAYER;
  param->u.ld = g_fakeHost->sourceWorld;
  return PF_Err_NONE;
}

inline PF_Err FakeCheckinParam(PF_ProgPtr, PF_ParamDef*) {
  ++g_fakeHost->sourceCheckins;
  return PF_Err_NONE;
}

// Handles are a pointer to a pointer to the bytes, as the host hands them out.
inline void* FakeLockHandle(PF_Handle h) {
  ++g_fakeHost->locks;
  return *h;
}

inline void FakeUnlockHandle(PF_Handle) {
  ++g_fakeHost->unlocks;
}

// PF_InData wired to the fake host: callbacks, basic suite, full-size rendering.
inline PF_InData MakeFakeInData(PF_UtilCallbacks* utils) {
  PF_InData in{};
  in.inter.checkout_param = FakeCheckoutParam;
  in.inter.checkin_param = FakeCheckinParam;
  in.inter.abort = FakeAbort;
  in.inter.progress = FakeProgress;
  *utils = PF_UtilCallbacks{};
  utils->host_lock_handle = FakeLockHandle;
  utils->host_unlock_handle = FakeUnlockHandle;
  in.utils = utils;
  in.pica_basicP = &g_fakeBasic;
  in.downsample_x = {1, 1};
  in.downsample_y = {1, 1};
  in.time_scale = 24;
  return in;
}

}  // namespace lwd
