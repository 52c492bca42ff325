#include "masks/path_suites.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "ae_path_suites.h"
#include "core/command_context.h"
#include "core/ledger.h"
#include "core/session.h"

// The host's side of the two records the effect only ever holds by pointer.
struct PF_PathOutline {
  const lwhost::Session* session = nullptr;  // whose command checked it out
  PF_PathID id = 0;
  lwhost::Mask mask;  // at the resolution of the command that checked it out
};

struct PF_PathSegPrep {
  // Compared, never read through: a preparation the effect did not clean up may outlive the
  // outline it was made from once that outline is checked in.
  const PF_PathOutline* outline = nullptr;
  const lwhost::Session* session = nullptr;  // the session whose teardown frees it
  A_long segment = 0;
  lwhost::SegmentPrep prep;
};

namespace lwhost {
namespace {

// Which masks each session serves, and which outlines and preparations are alive: a stray
// pointer from the effect is refused instead of being dereferenced.
struct Registry {
  std::mutex mutex;
  std::map<const Session*, const LayerMasks*> masks;
  std::set<const PF_PathOutline*> outlines;
  std::set<const PF_PathSegPrep*> preps;
};

Registry& Live() {
  static Registry registry;
  return registry;
}

// The effect evaluates a path millions of times per frame with the same outline and preparation.
// Each thread remembers the last outline and preparation it found alive, with the count of
// removals at that moment: while nothing has been removed since, they are still alive and the
// registry's lock is not taken.
std::atomic<uint64_t> gRemovals{0};  // bumped under the registry's lock on every removal

struct LiveCache {
  const void* item = nullptr;
  uint64_t removals = 0;
};
thread_local LiveCache tLastOutline;
thread_local LiveCache tLastPrep;

template <class T>
bool IsLive(const T* item, const std::set<const T*>& live, LiveCache& cache) {
  if (item != nullptr && cache.item == item &&
      cache.removals == gRemovals.load(std::memory_order_acquire)) {
    return true;
  }
  std::lock_guard<std::mutex> lock(Live().mutex);
  if (live.count(item) == 0) {
    return false;
  }
  cache = {item, gRemovals.load(std::memory_order_relaxed)};
  return true;
}

bool IsLiveOutline(const PF_PathOutline* outline) {
  return IsLive(outline, Live().outlines, tLastOutline);
}

bool IsLivePrep(const PF_PathSegPrep* prep) {
  return IsLive(prep, Live().preps, tLastPrep);
}

// Removes `item` from a live set (the registry's lock held); false when it was not there.
template <class T>
bool RemoveLive(std::set<const T*>& live, const T* item) {
  if (live.erase(item) == 0) {
    return false;
  }
  gRemovals.fetch_add(1, std::memory_order_release);
  return true;
}

// Common opening of every path function: the command, then the fault site.
PF_Err Enter(PF_ProgPtr effect_ref, std::string_view call, CommandContext** context) {
  *context = ContextFromEffectRef(effect_ref);
  if (*context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return (*context)->GetSession().faults.Check(call);
}

// A downsample factor num/den as the divisor DX = den/num; a malformed one leaves the mask alone.
double Divisor(const PF_RationalScale& scale) {
  if (scale.num <= 0 || scale.den == 0) {
    return 1.0;
  }
  return static_cast<double>(scale.den) / static_cast<double>(scale.num);
}

bool ValidSegment(const PF_PathOutline* outline, A_long segment) {
  return segment >= 0 && segment < MaskSegmentCount(outline->mask);
}

// ---- PF Path Query Suite 1

PF_Err NumPaths(PF_ProgPtr effect_ref, A_long* count) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_NumPaths", &context); err != PF_Err_NONE) {
    return err;
  }
  *count = 0;  // the effect finds its masks through path parameters, not by listing them
  return PF_Err_NONE;
}

PF_Err PathInfo(PF_ProgPtr effect_ref, A_long, PF_PathID*) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathInfo", &context); err != PF_Err_NONE) {
    return err;
  }
  return PF_Err_INVALID_INDEX;
}

PF_Err CheckoutPath(PF_ProgPtr effect_ref, PF_PathID id, A_long what_time, A_long time_step,
                    A_u_long, PF_PathOutlinePtr* outlineP) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_CheckoutPath", &context); err != PF_Err_NONE) {
    return err;
  }
  if (outlineP == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *outlineP = nullptr;
  if (id == PF_PathID_NONE || context->GetSession().faults.GivesNothing("PF_CheckoutPath")) {
    return PF_Err_NONE;  // no mask chosen: no outline, and no error
  }
  if (time_step == 0) {
    return PF_Err_BAD_CALLBACK_PARAM;  // no frame to speak of
  }
  // Frames count in time steps, as the parameters' keys do.
  const double frame = static_cast<double>(what_time) / static_cast<double>(time_step);
  std::optional<Mask> mask;
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    const auto found = Live().masks.find(&context->GetSession());
    if (found != Live().masks.end()) {
      mask = found->second->Find(id, frame);
    }
  }
  if (!mask) {
    return PF_Err_BAD_CALLBACK_PARAM;  // a path id the layer does not have
  }
  const PF_InData* in = context->InData();
  auto* outline = new PF_PathOutline;
  outline->session = &context->GetSession();
  outline->id = id;
  outline->mask = ScaledMask(*mask, Divisor(in->downsample_x), Divisor(in->downsample_y));
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    Live().outlines.insert(outline);
  }
  context->Open(kPathCheckoutKind, AddressKey(outline));
  *outlineP = outline;
  return PF_Err_NONE;
}

PF_Err CheckinPath(PF_ProgPtr effect_ref, PF_PathID, PF_Boolean, PF_PathOutlinePtr outline) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_CheckinPath", &context); err != PF_Err_NONE) {
    return err;  // a failed check-in keeps the outline checked out
  }
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    if (!RemoveLive(Live().outlines, static_cast<const PF_PathOutline*>(outline))) {
      context->ledger.NoteMisuse("PF_CheckinPath of an outline that is not checked out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
  }
  context->Close(kPathCheckoutKind, AddressKey(outline));
  delete outline;
  return PF_Err_NONE;
}

// ---- PF Path Data Suite 1

// Opening of the functions that read an outline.
PF_Err EnterOutline(PF_ProgPtr effect_ref, std::string_view call, PF_PathOutlinePtr outline) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, call, &context); err != PF_Err_NONE) {
    return err;
  }
  return IsLiveOutline(outline) ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err PathIsOpen(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, PF_Boolean* open) {
  if (PF_Err err = EnterOutline(effect_ref, "PF_PathIsOpen", outline); err != PF_Err_NONE) {
    return err;
  }
  *open = outline->mask.closed ? 0 : 1;
  return PF_Err_NONE;
}

PF_Err PathNumSegments(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, A_long* count) {
  if (PF_Err err = EnterOutline(effect_ref, "PF_PathNumSegments", outline); err != PF_Err_NONE) {
    return err;
  }
  *count = MaskSegmentCount(outline->mask);
  return PF_Err_NONE;
}

PF_Err PathVertexInfo(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, A_long which,
                      PF_PathVertex* vertex) {
  if (PF_Err err = EnterOutline(effect_ref, "PF_PathVertexInfo", outline); err != PF_Err_NONE) {
    return err;
  }
  if (which < 0 || which >= static_cast<A_long>(outline->mask.vertices.size())) {
    return PF_Err_INVALID_INDEX;
  }
  const MaskVertex& v = outline->mask.vertices[which];
  *vertex = {v.point.x, v.point.y, v.inTangent.x, v.inTangent.y, v.outTangent.x, v.outTangent.y};
  return PF_Err_NONE;
}

PF_Err PrepareSegLength(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, A_long segment,
                        A_long frequency, PF_PathSegPrepPtr* prepP) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathPrepareSegLength", &context); err != PF_Err_NONE) {
    return err;
  }
  if (!IsLiveOutline(outline) || prepP == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!ValidSegment(outline, segment)) {
    return PF_Err_INVALID_INDEX;
  }
  // Thousands of segments take a while to prepare, and the effect polls nothing in between.
  if (context->StopRequested()) {
    return PF_Interrupt_CANCEL;
  }
  SegmentPrep measured = PrepareSegment(MaskSegment(outline->mask, segment), frequency);
  if (measured.kind == SegmentKind::kUnmeasurable) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  auto* prep = new PF_PathSegPrep;
  prep->outline = outline;
  prep->session = outline->session;
  prep->segment = segment;
  prep->prep = std::move(measured);
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    Live().preps.insert(prep);
  }
  context->Open(kSegPrepKind, AddressKey(prep));
  *prepP = prep;
  return PF_Err_NONE;
}

// The preparation to use: the effect's if it passed one for this segment, else a fresh one
// (the preparation is optional in these calls).
PF_Err ResolvePrep(PF_PathOutlinePtr outline, A_long segment, PF_PathSegPrepPtr* prepP,
                   SegmentPrep* scratch, const SegmentPrep** use) {
  if (!IsLiveOutline(outline)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (!ValidSegment(outline, segment)) {
    return PF_Err_INVALID_INDEX;
  }
  if (prepP != nullptr && *prepP != nullptr) {
    const PF_PathSegPrep* prep = *prepP;
    if (!IsLivePrep(prep) || prep->outline != outline || prep->segment != segment) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    *use = &prep->prep;
    return PF_Err_NONE;
  }
  *scratch = PrepareSegment(MaskSegment(outline->mask, segment), kMaxTableIntervals / 10);
  *use = scratch;
  return PF_Err_NONE;
}

PF_Err GetSegLength(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, A_long segment,
                    PF_PathSegPrepPtr* prepP, PF_FpLong* length) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathGetSegLength", &context); err != PF_Err_NONE) {
    return err;
  }
  SegmentPrep scratch;
  const SegmentPrep* prep = nullptr;
  if (PF_Err err = ResolvePrep(outline, segment, prepP, &scratch, &prep); err != PF_Err_NONE) {
    return err;
  }
  if (prep->kind == SegmentKind::kUnmeasurable) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *length = prep->length;
  return PF_Err_NONE;
}

// The point (and direction) at length l into a segment, for both evaluation functions.
PF_Err EvalAtLength(PF_ProgPtr effect_ref, std::string_view call, PF_PathOutlinePtr outline,
                    PF_PathSegPrepPtr* prepP, A_long segment, PF_FpLong l, SegmentSample* sample) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, call, &context); err != PF_Err_NONE) {
    return err;
  }
  // A scan over a path billions of pixels long asks for millions of points between two of the
  // effect's polls: the host stops answering once the render is to stop.
  if (context->StopRequested()) {
    return PF_Interrupt_CANCEL;
  }
  SegmentPrep scratch;
  const SegmentPrep* prep = nullptr;
  if (PF_Err err = ResolvePrep(outline, segment, prepP, &scratch, &prep); err != PF_Err_NONE) {
    return err;
  }
  if (prep->kind == SegmentKind::kUnmeasurable) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *sample = EvalSegmentAtLength(*prep, l);
  return PF_Err_NONE;
}

PF_Err EvalSegLength(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline, PF_PathSegPrepPtr* prepP,
                     A_long segment, PF_FpLong l, PF_FpLong* x, PF_FpLong* y) {
  SegmentSample s;
  if (PF_Err err = EvalAtLength(effect_ref, "PF_PathEvalSegLength", outline, prepP, segment, l, &s);
      err != PF_Err_NONE) {
    return err;
  }
  *x = s.point.x;
  *y = s.point.y;
  return PF_Err_NONE;
}

PF_Err EvalSegLengthDeriv1(PF_ProgPtr effect_ref, PF_PathOutlinePtr outline,
                           PF_PathSegPrepPtr* prepP, A_long segment, PF_FpLong l, PF_FpLong* x,
                           PF_FpLong* y, PF_FpLong* dx, PF_FpLong* dy) {
  SegmentSample s;
  if (PF_Err err =
          EvalAtLength(effect_ref, "PF_PathEvalSegLengthDeriv1", outline, prepP, segment, l, &s);
      err != PF_Err_NONE) {
    return err;
  }
  *x = s.point.x;
  *y = s.point.y;
  *dx = s.direction.x;
  *dy = s.direction.y;
  return PF_Err_NONE;
}

PF_Err CleanupSegLength(PF_ProgPtr effect_ref, PF_PathOutlinePtr, A_long,
                        PF_PathSegPrepPtr* prepP) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathCleanupSegLength", &context); err != PF_Err_NONE) {
    return err;  // a failed clean-up keeps the preparation
  }
  if (prepP == nullptr || *prepP == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_PathSegPrep* prep = *prepP;
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    if (!RemoveLive(Live().preps, static_cast<const PF_PathSegPrep*>(prep))) {
      context->ledger.NoteMisuse("PF_PathCleanupSegLength of an unknown preparation");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
  }
  context->Close(kSegPrepKind, AddressKey(prep));
  delete prep;
  *prepP = nullptr;
  return PF_Err_NONE;
}

PF_Err PathIsInverted(PF_ProgPtr effect_ref, PF_PathID, PF_Boolean* inverted) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathIsInverted", &context); err != PF_Err_NONE) {
    return err;
  }
  *inverted = 0;
  return PF_Err_NONE;
}

PF_Err PathGetMaskMode(PF_ProgPtr effect_ref, PF_PathID, PF_MaskMode* mode) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathGetMaskMode", &context); err != PF_Err_NONE) {
    return err;
  }
  *mode = 0;
  return PF_Err_NONE;
}

PF_Err PathGetName(PF_ProgPtr effect_ref, PF_PathID, A_char* name) {
  CommandContext* context = nullptr;
  if (PF_Err err = Enter(effect_ref, "PF_PathGetName", &context); err != PF_Err_NONE) {
    return err;
  }
  name[0] = '\0';
  return PF_Err_NONE;
}

const PF_PathQuerySuite1 kQuerySuite = {NumPaths, PathInfo, CheckoutPath, CheckinPath};

const PF_PathDataSuite1 kDataSuite = {PathIsOpen,          PathNumSegments,  PathVertexInfo,
                                      PrepareSegLength,    GetSegLength,     EvalSegLength,
                                      EvalSegLengthDeriv1, CleanupSegLength, PathIsInverted,
                                      PathGetMaskMode,     PathGetName};

}  // namespace

void LayerMasks::Set(PF_PathID id, Mask mask) {
  std::vector<MaskKey> keys;
  keys.push_back({0.0, std::move(mask)});
  SetKeys(id, std::move(keys));
}

void LayerMasks::SetKeys(PF_PathID id, std::vector<MaskKey> keys) {
  std::lock_guard<std::mutex> lock(mutex_);
  masks_[id] = std::move(keys);
}

std::optional<Mask> LayerMasks::Find(PF_PathID id, double frame) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = masks_.find(id);
  if (found == masks_.end()) {
    return std::nullopt;
  }
  return MaskAtFrame(found->second, frame);
}

void RegisterPathSuites(Session& session, const LayerMasks& masks) {
  {
    std::lock_guard<std::mutex> lock(Live().mutex);
    Live().masks[&session] = &masks;
  }
  Ledger::NameKind(kPathCheckoutKind, "checked out", "checked in");
  Ledger::NameKind(kSegPrepKind, "prepared", "cleaned up");
  session.RegisterSuite(kPFPathQuerySuite, kPFPathQuerySuiteVersion1, &kQuerySuite);
  session.RegisterSuite(kPFPathDataSuite, kPFPathDataSuiteVersion1, &kDataSuite);
}

void UnregisterPathSuites(Session& session) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().masks.erase(&session);
  // What the effect never gave back (or a check-in refused on purpose kept out) stays in the
  // ledger's report, but its memory goes with the session's masks.
  auto& preps = Live().preps;
  for (auto it = preps.begin(); it != preps.end();) {
    if ((*it)->session == &session) {
      delete *it;
      it = preps.erase(it);
      gRemovals.fetch_add(1, std::memory_order_release);
    } else {
      ++it;
    }
  }
  auto& outlines = Live().outlines;
  for (auto it = outlines.begin(); it != outlines.end();) {
    if ((*it)->session == &session) {
      delete *it;
      it = outlines.erase(it);
      gRemovals.fetch_add(1, std::memory_order_release);
    } else {
      ++it;
    }
  }
}

}  // namespace lwhost
