// The width curve: at most 12 points mapping a position along the ribbon (x in [0, 1]) to a width
// factor (y in [0, 1]). The record is also its stored form: 100 bytes, native little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ae_effect.h"

namespace lwd {

constexpr int kCurveMaxPoints = 12;
constexpr std::size_t kCurveDataSize = 100;
// "LWDCRV" read as a big-endian 48-bit number: the reference value the parameter is registered
// with and that the data callbacks check.
constexpr std::uint64_t kCurveRefconValue = 0x4C5744435256ull;
inline void* CurveRefcon() {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(kCurveRefconValue));
}
#define kCurveRefcon (CurveRefcon())

struct LWD_CurveData {
  std::uint8_t tag;        // 1 in records we create; carried along by byte copies
  std::uint8_t numPoints;  // points in use; a stored record may claim more than 12
  std::uint8_t reserved[2];
  float x[kCurveMaxPoints];
  float y[kCurveMaxPoints];
};

static_assert(sizeof(LWD_CurveData) == kCurveDataSize);
static_assert(offsetof(LWD_CurveData, tag) == 0);
static_assert(offsetof(LWD_CurveData, numPoints) == 1);
static_assert(offsetof(LWD_CurveData, reserved) == 2);
static_assert(offsetof(LWD_CurveData, x) == 4);
static_assert(offsetof(LWD_CurveData, y) == 52);

// The number of points every operation reads: a stored record claiming more than 12 is read as 12.
inline int CurveUsedPoints(const LWD_CurveData& c) {
  return c.numPoints > kCurveMaxPoints ? kCurveMaxPoints : c.numPoints;
}

// Fills *handle with a new host handle holding the default curve (a flat line at 1.0).
// Returns PF_Err_OUT_OF_MEMORY when the host gives no handle or it cannot be locked; *handle is
// then unwritten.
PF_Err CreateDefaultCurve(PF_InData* in_data, PF_OutData* out_data, PF_Handle* handle);

// Writes the default curve over a record (all 100 bytes).
void WriteDefaultCurve(LWD_CurveData* c);

// Stable insertion sort of the used points by x.
void CurveSort(LWD_CurveData* c);

// Value of the curve at t, clamped to [0, 1]; 1.0 for a missing or empty curve.
double CurveEval(const LWD_CurveData* c, double t);

}  // namespace lwd
