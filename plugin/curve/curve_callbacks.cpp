#include "curve/curve_callbacks.h"

#include <cstdint>
#include <cstring>

#include "curve/curve_data.h"

namespace lwd {

namespace {

// Keyframe interpolation between curves with different point counts cannot blend point by point;
// it jumps from the left value to the right one half way.
constexpr double kInterpSwitchPoint = 0.5;

// Holds one host handle locked. Unlock() gives it back (callers use it to keep the host's unlock
// order); the destructor gives it back on any other way out. The unlock runs whether or not the
// lock gave a pointer, so every lock the host sees is matched. A null handle is never passed to
// the host: it simply yields no pointer.
class LockedCurve {
 public:
  LockedCurve(const PF_UtilCallbacks* utils, PF_Handle h) : utils_(utils), h_(h) {
    if (h_ != nullptr) {
      ptr_ = static_cast<LWD_CurveData*>(utils_->host_lock_handle(h_));
    }
  }
  ~LockedCurve() { Unlock(); }
  LockedCurve(const LockedCurve&) = delete;
  LockedCurve& operator=(const LockedCurve&) = delete;

  LWD_CurveData* get() const { return ptr_; }

  void Unlock() {
    if (h_ != nullptr) {
      utils_->host_unlock_handle(h_);
      h_ = nullptr;
      ptr_ = nullptr;
    }
  }

 private:
  const PF_UtilCallbacks* utils_;
  PF_Handle h_;
  LWD_CurveData* ptr_ = nullptr;
};

// The host's handle calls, or null when the host left any of them out.
const PF_UtilCallbacks* HandleCallbacks(const PF_InData* in_data) {
  if (in_data == nullptr || in_data->utils == nullptr) {
    return nullptr;
  }
  const PF_UtilCallbacks* u = in_data->utils;
  if (u->host_new_handle == nullptr || u->host_lock_handle == nullptr ||
      u->host_unlock_handle == nullptr || u->host_dispose_handle == nullptr) {
    return nullptr;
  }
  return u;
}

// The refcon is a pointer-sized value; the one we registered is compared as a whole 64-bit
// integer, upper bits included.
bool IsOurRefcon(const void* refcon) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(refcon)) == kCurveRefconValue;
}

PF_Err NewCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.new_func_params;
  if (!IsOurRefcon(p.refconPV)) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  if (p.arbPH == nullptr || HandleCallbacks(in_data) == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return CreateDefaultCurve(in_data, nullptr, p.arbPH);
}

PF_Err DisposeCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.dispose_func_params;
  if (!IsOurRefcon(p.refconPV)) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (p.arbH != nullptr) {
    utils->host_dispose_handle(p.arbH);
  }
  return PF_Err_NONE;
}

PF_Err CopyCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.copy_func_params;
  // No copy is made for a value that is not ours; saying so keeps the host from taking an
  // unwritten output handle for a result.
  if (!IsOurRefcon(p.refconPV)) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (p.dst_arbPH == nullptr || utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_Handle dst = nullptr;
  if (PF_Err err = CreateDefaultCurve(in_data, nullptr, &dst); err != PF_Err_NONE) {
    return err;
  }
  *p.dst_arbPH = dst;

  LockedCurve src(utils, p.src_arbH);
  LockedCurve out(utils, dst);
  if (src.get() != nullptr && out.get() != nullptr) {
    // Every byte, tag, reserved bytes and unused slots included.
    std::memcpy(out.get(), src.get(), kCurveDataSize);
  }
  src.Unlock();
  out.Unlock();
  return PF_Err_NONE;
}

PF_Err FlatSize(PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.flat_size_func_params;
  if (p.flat_data_sizePLu == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *p.flat_data_sizePLu = kCurveDataSize;
  return PF_Err_NONE;
}

PF_Err FlattenCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.flatten_func_params;
  if (p.buf_sizeLu < kCurveDataSize) {
    return PF_Err_NONE;
  }
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (p.flat_dataPV == nullptr || utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  LockedCurve curve(utils, p.arbH);
  if (curve.get() != nullptr) {
    // The record is its own stored image: native byte order, no header.
    std::memcpy(p.flat_dataPV, curve.get(), kCurveDataSize);
  }
  return PF_Err_NONE;
}

PF_Err UnflattenCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.unflatten_func_params;
  // Short stored data (a damaged project) makes no value; the host must not mistake that for
  // success.
  if (p.buf_sizeLu < kCurveDataSize) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (p.flat_dataPV == nullptr || p.arbPH == nullptr || utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_Handle h = nullptr;
  if (PF_Err err = CreateDefaultCurve(in_data, nullptr, &h); err != PF_Err_NONE) {
    return err;
  }
  *p.arbPH = h;
  LockedCurve curve(utils, h);
  if (curve.get() != nullptr) {
    // Taken as stored; a count above 12 is read as 12 by every reader (CurveUsedPoints).
    std::memcpy(curve.get(), p.flat_dataPV, kCurveDataSize);
  }
  return PF_Err_NONE;
}

// One blended coordinate: the difference in single precision, the step along it and the sum in
// double, rounded once to single at the end. tF is not clamped: keyframe overshoot extrapolates.
float Blend(float left, float right, double tF) {
  const float diff = right - left;
  return static_cast<float>(static_cast<double>(left) + static_cast<double>(diff) * tF);
}

void InterpRecords(const LWD_CurveData& l, const LWD_CurveData& r, double tF, LWD_CurveData* out) {
  const int n = CurveUsedPoints(l);
  if (n != CurveUsedPoints(r)) {
    std::memcpy(out, tF < kInterpSwitchPoint ? &l : &r, kCurveDataSize);
    return;
  }
  // Matching points blend one by one, so ascending x on both sides stays ascending for tF in
  // [0, 1]. Everything else (tag, reserved bytes, unused slots) comes from the left value.
  std::memcpy(out, &l, kCurveDataSize);
  for (int i = 0; i < n; ++i) {
    out->x[i] = Blend(l.x[i], r.x[i], tF);
    out->y[i] = Blend(l.y[i], r.y[i], tF);
  }
}

PF_Err InterpCurve(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.interp_func_params;
  if (!IsOurRefcon(p.refconPV)) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (p.interpPH == nullptr || utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_Handle h = nullptr;
  if (PF_Err err = CreateDefaultCurve(in_data, nullptr, &h); err != PF_Err_NONE) {
    return err;
  }
  *p.interpPH = h;

  LockedCurve left(utils, p.left_arbH);
  LockedCurve right(utils, p.right_arbH);
  LockedCurve result(utils, h);
  const LWD_CurveData* l = left.get();
  const LWD_CurveData* r = right.get();
  LWD_CurveData* out = result.get();
  // When any of the three cannot be read, the result stays the default curve.
  if (l != nullptr && r != nullptr && out != nullptr) {
    InterpRecords(*l, *r, p.tF, out);
  }
  left.Unlock();
  right.Unlock();
  result.Unlock();
  return PF_Err_NONE;
}

PF_Err CompareCurves(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  const auto& p = extra->u.compare_func_params;
  const PF_UtilCallbacks* utils = HandleCallbacks(in_data);
  if (p.compareP == nullptr || utils == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  LockedCurve a(utils, p.a_arbH);
  LockedCurve b(utils, p.b_arbH);
  // A value that cannot be read compares equal: the host then keeps what it has.
  PF_ArbCompareResult result = PF_ArbCompare_EQUAL;
  const LWD_CurveData* ca = a.get();
  const LWD_CurveData* cb = b.get();
  if (ca != nullptr && cb != nullptr) {
    const int n = CurveUsedPoints(*ca);
    if (n != CurveUsedPoints(*cb)) {
      result = PF_ArbCompare_NOT_EQUAL;
    }
    // Only the used points count, x before y in index order, as floats: a NaN equals nothing.
    for (int i = 0; i < n && result == PF_ArbCompare_EQUAL; ++i) {
      if (!(ca->x[i] == cb->x[i]) || !(ca->y[i] == cb->y[i])) {
        result = PF_ArbCompare_NOT_EQUAL;
      }
    }
  }
  *p.compareP = result;
  a.Unlock();
  b.Unlock();
  return PF_Err_NONE;
}

}  // namespace

PF_Err HandleArbitraryCallback(PF_InData* in_data, PF_ArbParamsExtra* extra) {
  if (extra == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // Read as unsigned so that a negative selector falls among the unknown ones.
  switch (static_cast<A_u_long>(extra->which_function)) {
    case PF_Arbitrary_NEW_FUNC:
      return NewCurve(in_data, extra);
    case PF_Arbitrary_DISPOSE_FUNC:
      return DisposeCurve(in_data, extra);
    case PF_Arbitrary_COPY_FUNC:
      return CopyCurve(in_data, extra);
    case PF_Arbitrary_FLAT_SIZE_FUNC:
      return FlatSize(extra);
    case PF_Arbitrary_FLATTEN_FUNC:
      return FlattenCurve(in_data, extra);
    case PF_Arbitrary_UNFLATTEN_FUNC:
      return UnflattenCurve(in_data, extra);
    case PF_Arbitrary_INTERP_FUNC:
      return InterpCurve(in_data, extra);
    case PF_Arbitrary_COMPARE_FUNC:
      return CompareCurves(in_data, extra);
    default:
      // PRINT_SIZE, PRINT, SCAN and anything newer: the curve has no text form.
      return PF_Err_NONE;
  }
}

}  // namespace lwd
