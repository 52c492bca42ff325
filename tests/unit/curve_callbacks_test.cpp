// The host's requests on width curve values, driven through HandleArbitraryCallback against a fake
// handle host that counts every lock and can refuse handles or locks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "curve/curve_callbacks.h"
#include "curve/curve_data.h"
#include "fake_handle_host.h"
#include "test_curves.h"

namespace lwd {
namespace {

// "LWDCRV", first letter most significant.
void* const kOurRefcon = reinterpret_cast<void*>(std::uintptr_t{0x4C5744435256});

constexpr unsigned char kDefaultImage[100] = {
    0x01, 0x02, 0x00, 0x00,                          // tag, numPoints, reserved
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x3F,  // x[0] = 0, x[1] = 1
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // x[2..11]
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
    0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x80, 0x3F,  // y[0] = 1, y[1] = 1
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // y[2..11]
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
};

bool SameBytes(const LWD_CurveData& a, const void* b) {
  return std::memcmp(&a, b, kCurveDataSize) == 0;
}

// Every test ends with every lock matched, no guard byte touched and no handle misused.
class CurveCallbacksTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(host.Problems(), "") << "after the test's calls"; }

  PF_Err Call(PF_ArbParamsExtra& extra) { return HandleArbitraryCallback(host.inData(), &extra); }

  PF_ArbParamsExtra Extra(PF_FunctionSelector which) {
    PF_ArbParamsExtra e;
    std::memset(&e, 0, sizeof e);
    e.which_function = which;
    return e;
  }

  PF_Err New(PF_Handle* out, void* refcon = kOurRefcon) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_NEW_FUNC);
    e.u.new_func_params.refconPV = refcon;
    e.u.new_func_params.arbPH = out;
    return Call(e);
  }

  PF_Err Copy(PF_Handle src, PF_Handle* out, void* refcon = kOurRefcon) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_COPY_FUNC);
    e.u.copy_func_params.refconPV = refcon;
    e.u.copy_func_params.src_arbH = src;
    e.u.copy_func_params.dst_arbPH = out;
    return Call(e);
  }

  PF_Err Flatten(PF_Handle h, void* buf, A_u_long size) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_FLATTEN_FUNC);
    e.u.flatten_func_params.arbH = h;
    e.u.flatten_func_params.buf_sizeLu = size;
    e.u.flatten_func_params.flat_dataPV = buf;
    return Call(e);
  }

  PF_Err Unflatten(const void* buf, A_u_long size, PF_Handle* out) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_UNFLATTEN_FUNC);
    e.u.unflatten_func_params.buf_sizeLu = size;
    e.u.unflatten_func_params.flat_dataPV = buf;
    e.u.unflatten_func_params.arbPH = out;
    return Call(e);
  }

  PF_Err Interp(PF_Handle left, PF_Handle right, double tF, PF_Handle* out,
                void* refcon = kOurRefcon) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_INTERP_FUNC);
    e.u.interp_func_params.refconPV = refcon;
    e.u.interp_func_params.left_arbH = left;
    e.u.interp_func_params.right_arbH = right;
    e.u.interp_func_params.tF = tF;
    e.u.interp_func_params.interpPH = out;
    return Call(e);
  }

  PF_ArbCompareResult Compare(PF_Handle a, PF_Handle b) {
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_COMPARE_FUNC);
    PF_ArbCompareResult result = -1;
    e.u.compare_func_params.a_arbH = a;
    e.u.compare_func_params.b_arbH = b;
    e.u.compare_func_params.compareP = &result;
    EXPECT_EQ(Call(e), PF_Err_NONE);
    return result;
  }

  FakeHandleHost host;
  // Stands in for "nothing written" in output fields.
  PF_Handle untouched = reinterpret_cast<PF_Handle>(&host);
};

TEST_F(CurveCallbacksTest, FlatSizeIsAlwaysOneHundred) {
  PF_ArbParamsExtra e = Extra(PF_Arbitrary_FLAT_SIZE_FUNC);
  A_u_long size = 0xDEADBEEF;
  e.u.flat_size_func_params.refconPV = nullptr;  // not checked
  e.u.flat_size_func_params.flat_data_sizePLu = &size;
  EXPECT_EQ(Call(e), PF_Err_NONE);
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(host.newCalls, 0);
}

TEST_F(CurveCallbacksTest, NewMakesAnUnlockedDefaultCurve) {
  PF_Handle h = nullptr;
  ASSERT_EQ(New(&h), PF_Err_NONE);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(host.requestedSizes.at(0), 100u);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(h), kDefaultImage));
  EXPECT_EQ(host.Live(), 1);
}

TEST_F(CurveCallbacksTest, NewAndDisposeRefuseAForeignRefcon) {
  // Compared as one 64-bit integer: neither the low 48 bits alone nor extra high bits pass.
  const std::uint64_t foreign[] = {0, 0x5256, 0x14C5744435256, 0x4C5744435257};
  for (std::uint64_t value : foreign) {
    void* refcon = reinterpret_cast<void*>(static_cast<std::uintptr_t>(value));
    PF_Handle h = untouched;
    EXPECT_EQ(New(&h, refcon), PF_Err_INTERNAL_STRUCT_DAMAGED) << std::hex << value;
    EXPECT_EQ(h, untouched);

    PF_Handle victim = host.MakeFrom(Curve({{0, 1}, {1, 1}}));
    PF_ArbParamsExtra e = Extra(PF_Arbitrary_DISPOSE_FUNC);
    e.u.dispose_func_params.refconPV = refcon;
    e.u.dispose_func_params.arbH = victim;
    EXPECT_EQ(Call(e), PF_Err_INTERNAL_STRUCT_DAMAGED) << std::hex << value;
    EXPECT_FALSE(host.Find(victim)->disposed);
  }
  EXPECT_EQ(host.newCalls, 0);
  EXPECT_EQ(host.disposeCalls, 0);
}

TEST_F(CurveCallbacksTest, DisposeFreesTheHandle) {
  PF_Handle h = nullptr;
  ASSERT_EQ(New(&h), PF_Err_NONE);
  PF_ArbParamsExtra e = Extra(PF_Arbitrary_DISPOSE_FUNC);
  e.u.dispose_func_params.refconPV = kOurRefcon;
  e.u.dispose_func_params.arbH = h;
  EXPECT_EQ(Call(e), PF_Err_NONE);
  EXPECT_TRUE(host.Find(h)->disposed);
  EXPECT_EQ(host.Live(), 0);
}

TEST_F(CurveCallbacksTest, MakingCallbacksReportOutOfMemoryWithNothingWritten) {
  const PF_Handle src = host.MakeFrom(Curve({{0, 0.5f}, {1, 0.5f}}));
  const unsigned char flat[100] = {1, 2};
  for (bool lockFails : {false, true}) {
    host.failNew = !lockFails;
    host.failLockOfNew = lockFails;
    const char* why = lockFails ? "lock refused" : "no handle";
    PF_Handle out = untouched;
    EXPECT_EQ(New(&out), PF_Err_OUT_OF_MEMORY) << why;
    EXPECT_EQ(Copy(src, &out), PF_Err_OUT_OF_MEMORY) << why;
    EXPECT_EQ(Unflatten(flat, sizeof flat, &out), PF_Err_OUT_OF_MEMORY) << why;
    EXPECT_EQ(Interp(src, src, 0.5, &out), PF_Err_OUT_OF_MEMORY) << why;
    EXPECT_EQ(out, untouched) << why;
    EXPECT_EQ(host.Live(), 1) << why << ": a handle that could not be locked is freed";
  }
  EXPECT_EQ(host.newCalls, 8);
  EXPECT_EQ(host.Find(src)->lockAttempts, 0) << "inputs are not touched when no output exists";
}

TEST_F(CurveCallbacksTest, CopyDuplicatesEveryByte) {
  LWD_CurveData src = Curve({{0, 0.2f}, {0.4f, 0.9f}, {1, 0.3f}});
  src.tag = 9;
  src.reserved[0] = 0x11;
  src.reserved[1] = 0x22;
  src.x[7] = 123.0f;  // an unused slot travels too
  src.y[11] = -4.0f;
  const PF_Handle srcH = host.MakeFrom(src);
  PF_Handle out = nullptr;
  ASSERT_EQ(Copy(srcH, &out), PF_Err_NONE);
  ASSERT_NE(out, nullptr);
  EXPECT_NE(out, srcH);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(out), &src));
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(srcH), &src)) << "source changed";
}

TEST_F(CurveCallbacksTest, CopyOfAnUnreadableSourceIsTheDefaultCurve) {
  const PF_Handle srcH = host.MakeFrom(Curve({{0, 0.2f}, {1, 0.3f}}));
  host.Find(srcH)->lockFails = true;
  PF_Handle out = nullptr;
  ASSERT_EQ(Copy(srcH, &out), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(out), kDefaultImage));
  EXPECT_EQ(host.Find(srcH)->unlocks, 1) << "a refused lock is still matched by an unlock";
}

TEST_F(CurveCallbacksTest, CopyAndInterpWithAForeignRefconMakeNothingAndSaySo) {
  const PF_Handle a = host.MakeFrom(Curve({{0, 0.2f}, {1, 0.3f}}));
  void* foreign = reinterpret_cast<void*>(std::uintptr_t{0x1234});
  PF_Handle out = untouched;
  EXPECT_EQ(Copy(a, &out, foreign), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(Interp(a, a, 0.5, &out, foreign), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(out, untouched);
  EXPECT_EQ(host.newCalls, 0);
  EXPECT_EQ(host.TotalLockAttempts(), 0);
}

TEST_F(CurveCallbacksTest, FlattenWritesTheStoredImage) {
  PF_Handle h = nullptr;
  ASSERT_EQ(New(&h), PF_Err_NONE);
  unsigned char buf[150];
  std::memset(buf, 0xAA, sizeof buf);
  ASSERT_EQ(Flatten(h, buf, sizeof buf), PF_Err_NONE);
  EXPECT_EQ(std::memcmp(buf, kDefaultImage, 100), 0);
  for (std::size_t i = 100; i < sizeof buf; ++i) {
    ASSERT_EQ(buf[i], 0xAA) << "byte " << i << " beyond the image was written";
  }
}

TEST_F(CurveCallbacksTest, FlattenIntoAShortBufferWritesNothing) {
  const PF_Handle h = host.MakeFrom(Curve({{0, 1}, {1, 1}}));
  unsigned char buf[99];
  std::memset(buf, 0xAA, sizeof buf);
  EXPECT_EQ(Flatten(h, buf, sizeof buf), PF_Err_NONE);
  for (unsigned char b : buf) {
    ASSERT_EQ(b, 0xAA);
  }
  EXPECT_EQ(host.Find(h)->lockAttempts, 0);

  // An unreadable value also leaves the buffer alone.
  host.Find(h)->lockFails = true;
  unsigned char big[100];
  std::memset(big, 0xAA, sizeof big);
  EXPECT_EQ(Flatten(h, big, sizeof big), PF_Err_NONE);
  for (unsigned char b : big) {
    ASSERT_EQ(b, 0xAA);
  }
}

TEST_F(CurveCallbacksTest, UnflattenTakesTheFirstHundredBytesAsStored) {
  unsigned char stored[150];
  std::memcpy(stored, kDefaultImage, 100);
  std::memset(stored + 100, 0xFF, 50);  // trailing bytes are ignored
  PF_Handle h = nullptr;
  ASSERT_EQ(Unflatten(stored, sizeof stored, &h), PF_Err_NONE);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(h), kDefaultImage));
  EXPECT_EQ(host.Find(h)->size, 100u);

  PF_Handle fresh = nullptr;
  ASSERT_EQ(New(&fresh), PF_Err_NONE);
  EXPECT_EQ(Compare(h, fresh), PF_ArbCompare_EQUAL);
}

TEST_F(CurveCallbacksTest, UnflattenOfShortDataMakesNothingAndSaysSo) {
  const unsigned char stored[99] = {1, 2};
  PF_Handle h = untouched;
  EXPECT_EQ(Unflatten(stored, sizeof stored, &h), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(h, untouched);
  EXPECT_EQ(host.newCalls, 0);
}

TEST_F(CurveCallbacksTest, StoredImageRoundTripsByteForByte) {
  LWD_CurveData c = Curve({{0, 0.1f}, {0.25f, 0.75f}, {0.6f, 0.33f}, {1, 0.9f}});
  c.reserved[1] = 0x7E;
  c.y[10] = 0.5f;
  const PF_Handle h = host.MakeFrom(c);
  unsigned char flat[100];
  ASSERT_EQ(Flatten(h, flat, sizeof flat), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(c, flat)) << "the stored form is the record itself";
  PF_Handle back = nullptr;
  ASSERT_EQ(Unflatten(flat, sizeof flat, &back), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(back), &c));
}

TEST_F(CurveCallbacksTest, InterpBlendsMatchingPointsOneByOne) {
  LWD_CurveData left = Curve({{0, 1}, {0.5f, 0.5f}, {1, 1}});
  const LWD_CurveData right = Curve({{0, 0}, {0.25f, 1}, {1, 0.5f}});
  left.tag = 3;
  left.reserved[0] = 0x44;
  left.x[5] = 9.0f;  // an unused slot of the left value is kept
  const PF_Handle l = host.MakeFrom(left);
  const PF_Handle r = host.MakeFrom(right);

  PF_Handle out = nullptr;
  ASSERT_EQ(Interp(l, r, 0.25, &out), PF_Err_NONE);
  const auto q = host.Read<LWD_CurveData>(out);
  EXPECT_EQ(q.numPoints, 3);
  const float wantX[] = {0.0f, 0.4375f, 1.0f};
  const float wantY[] = {0.75f, 0.625f, 0.875f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(q.x[i], wantX[i]) << "point " << i;
    EXPECT_EQ(q.y[i], wantY[i]) << "point " << i;
  }
  EXPECT_EQ(q.tag, 3);
  EXPECT_EQ(q.reserved[0], 0x44);
  EXPECT_EQ(q.x[5], 9.0f);
}

TEST_F(CurveCallbacksTest, InterpRoundsOnceFromASinglePrecisionDifference) {
  // 0.7f -> 0.2f at 0.9: the difference taken in float, stepped and summed in double, rounds to
  // the float just below 0.25; an all-float or an all-double blend gives exactly 0.25.
  // 0.3f -> 0.05f at 0.9 tells all three apart: float 0x1.333338p-4, double 0x1.333334p-4.
  const PF_Handle l = host.MakeFrom(Curve({{0.7f, 0.3f}}));
  const PF_Handle r = host.MakeFrom(Curve({{0.2f, 0.05f}}));
  PF_Handle out = nullptr;
  ASSERT_EQ(Interp(l, r, 0.9, &out), PF_Err_NONE);
  const auto q = host.Read<LWD_CurveData>(out);
  EXPECT_EQ(q.x[0], 0x1.fffffep-3f);
  EXPECT_EQ(q.y[0], 0x1.333336p-4f);
}

TEST_F(CurveCallbacksTest, InterpBetweenDifferentCountsSwitchesAtHalfWay) {
  const LWD_CurveData two = Curve({{0, 0.2f}, {1, 0.4f}});
  const LWD_CurveData three = Curve({{0, 0.9f}, {0.5f, 0.1f}, {1, 0.9f}});
  const PF_Handle l = host.MakeFrom(two);
  const PF_Handle r = host.MakeFrom(three);
  for (double t : {-1.0, 0.0, 0.49}) {
    PF_Handle out = nullptr;
    ASSERT_EQ(Interp(l, r, t, &out), PF_Err_NONE);
    EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(out), &two)) << "tF = " << t;
  }
  for (double t : {0.5, 1.0, 3.0}) {
    PF_Handle out = nullptr;
    ASSERT_EQ(Interp(l, r, t, &out), PF_Err_NONE);
    EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(out), &three)) << "tF = " << t;
  }
}

TEST_F(CurveCallbacksTest, InterpBeyondTheKeyframesExtrapolates) {
  const PF_Handle l = host.MakeFrom(Curve({{0, 1}, {0.25f, 0.5f}, {1, 1}}));
  const PF_Handle r = host.MakeFrom(Curve({{0, 1}, {0.5f, 0}, {1, 1}}));
  PF_Handle out = nullptr;
  ASSERT_EQ(Interp(l, r, 1.5, &out), PF_Err_NONE);
  const auto q = host.Read<LWD_CurveData>(out);
  EXPECT_EQ(q.x[1], 0.625f);
  EXPECT_EQ(q.y[1], -0.25f) << "tF is not clamped";
  for (int k = 0; k <= 40; ++k) {
    const double v = CurveEval(&q, k / 40.0);
    EXPECT_GE(v, 0.0) << "t = " << k / 40.0;
    EXPECT_LE(v, 1.0) << "t = " << k / 40.0;
  }
}

TEST_F(CurveCallbacksTest, InterpWithAnUnreadableKeyframeIsTheDefaultCurve) {
  const PF_Handle l = host.MakeFrom(Curve({{0, 0.1f}, {1, 0.2f}}));
  const PF_Handle r = host.MakeFrom(Curve({{0, 0.3f}, {1, 0.4f}}));
  host.Find(r)->lockFails = true;
  PF_Handle out = nullptr;
  ASSERT_EQ(Interp(l, r, 0.5, &out), PF_Err_NONE);
  EXPECT_TRUE(SameBytes(host.Read<LWD_CurveData>(out), kDefaultImage));
  EXPECT_EQ(host.Find(l)->unlocks, 1);
  EXPECT_EQ(host.Find(r)->unlocks, 1);
}

TEST_F(CurveCallbacksTest, CompareLooksOnlyAtTheUsedPoints) {
  LWD_CurveData a = Curve({{0, 0.5f}, {0.5f, 0.25f}, {1, 0.5f}});
  LWD_CurveData b = a;
  b.tag = 200;
  b.reserved[0] = 1;
  b.reserved[1] = 2;
  b.x[3] = 0.7f;
  b.y[11] = 0.1f;
  const PF_Handle ha = host.MakeFrom(a);
  EXPECT_EQ(Compare(ha, host.MakeFrom(b)), PF_ArbCompare_EQUAL);

  LWD_CurveData moved = a;
  moved.y[2] = 0.5000001f;
  EXPECT_EQ(Compare(ha, host.MakeFrom(moved)), PF_ArbCompare_NOT_EQUAL) << "last y differs";
  moved = a;
  moved.x[1] = 0.49f;
  EXPECT_EQ(Compare(ha, host.MakeFrom(moved)), PF_ArbCompare_NOT_EQUAL) << "inner x differs";

  LWD_CurveData fewer = a;
  fewer.numPoints = 2;
  EXPECT_EQ(Compare(ha, host.MakeFrom(fewer)), PF_ArbCompare_NOT_EQUAL);

  // Compared as floats: -0 equals 0, and a NaN equals nothing, not even its own bytes.
  LWD_CurveData negZero = a;
  negZero.x[0] = -0.0f;
  EXPECT_EQ(Compare(ha, host.MakeFrom(negZero)), PF_ArbCompare_EQUAL);
  LWD_CurveData nan = a;
  nan.y[0] = std::nanf("");
  const PF_Handle hn = host.MakeFrom(nan);
  EXPECT_EQ(Compare(hn, hn), PF_ArbCompare_NOT_EQUAL);
}

TEST_F(CurveCallbacksTest, CompareOfAnUnreadableValueReportsEqual) {
  const PF_Handle a = host.MakeFrom(Curve({{0, 0.1f}, {1, 0.2f}}));
  const PF_Handle b = host.MakeFrom(Curve({{0, 0.9f}}));
  host.Find(a)->lockFails = true;
  EXPECT_EQ(Compare(a, b), PF_ArbCompare_EQUAL);
  EXPECT_EQ(host.Find(a)->unlocks, 1);
  EXPECT_EQ(host.Find(b)->unlocks, 1);
}

TEST_F(CurveCallbacksTest, RecordsClaimingMoreThanTwelvePointsAreReadAsTwelve) {
  LWD_CurveData a;
  std::memset(&a, 0, sizeof a);
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    a.x[i] = static_cast<float>(i) / 11.0f;
    a.y[i] = 0.5f;
  }
  a.numPoints = 13;
  LWD_CurveData b = a;
  b.numPoints = 255;
  const PF_Handle ha = host.MakeFrom(a);
  const PF_Handle hb = host.MakeFrom(b);
  // Both read as the same twelve points; nothing past the 100 bytes is read or written (the
  // fake host's guard bytes would show a write).
  EXPECT_EQ(Compare(ha, hb), PF_ArbCompare_EQUAL);
  PF_Handle out = nullptr;
  ASSERT_EQ(Interp(ha, hb, 0.5, &out), PF_Err_NONE);
  const auto q = host.Read<LWD_CurveData>(out);
  EXPECT_EQ(q.numPoints, 13) << "the count is carried from the left value";
  for (int i = 0; i < kCurveMaxPoints; ++i) {
    EXPECT_EQ(q.x[i], a.x[i]) << "point " << i;
  }
}

TEST_F(CurveCallbacksTest, TextRequestsAndUnknownSelectorsDoNothing) {
  const PF_Handle h = host.MakeFrom(Curve({{0, 1}, {1, 1}}));
  for (PF_FunctionSelector which : {8, 9, 10, 11, 1000, -1}) {
    PF_ArbParamsExtra e = Extra(which);
    A_u_long size = 77;
    char text[16] = "unchanged";
    e.u.print_func_params.refconPV = kOurRefcon;
    e.u.print_func_params.arbH = h;
    e.u.print_func_params.print_sizeLu = sizeof text;
    e.u.print_func_params.print_bufferPC = text;
    if (which == PF_Arbitrary_PRINT_SIZE_FUNC) {
      e.u.print_size_func_params.print_sizePLu = &size;
    }
    EXPECT_EQ(Call(e), PF_Err_NONE) << "selector " << which;
    EXPECT_EQ(size, 77u) << "selector " << which;
    EXPECT_STREQ(text, "unchanged") << "selector " << which;
  }
  EXPECT_EQ(host.TotalLockAttempts(), 0);
  EXPECT_EQ(host.newCalls, 0);
}

TEST_F(CurveCallbacksTest, MissingOutputPointersAreReportedNotDereferenced) {
  const PF_Handle h = host.MakeFrom(Curve({{0, 1}, {1, 1}}));
  const unsigned char flat[100] = {1, 2};
  EXPECT_EQ(New(nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Copy(h, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Unflatten(flat, sizeof flat, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Unflatten(nullptr, 100, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Flatten(h, nullptr, 100), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Interp(h, h, 0.5, nullptr), PF_Err_BAD_CALLBACK_PARAM);

  PF_ArbParamsExtra size = Extra(PF_Arbitrary_FLAT_SIZE_FUNC);
  EXPECT_EQ(Call(size), PF_Err_BAD_CALLBACK_PARAM);
  PF_ArbParamsExtra cmp = Extra(PF_Arbitrary_COMPARE_FUNC);
  cmp.u.compare_func_params.a_arbH = h;
  cmp.u.compare_func_params.b_arbH = h;
  EXPECT_EQ(Call(cmp), PF_Err_BAD_CALLBACK_PARAM);

  EXPECT_EQ(HandleArbitraryCallback(host.inData(), nullptr), PF_Err_BAD_CALLBACK_PARAM);
  PF_InData noUtils{};
  PF_ArbParamsExtra e = Extra(PF_Arbitrary_NEW_FUNC);
  PF_Handle out = untouched;
  e.u.new_func_params.refconPV = kOurRefcon;
  e.u.new_func_params.arbPH = &out;
  EXPECT_EQ(HandleArbitraryCallback(&noUtils, &e), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(out, untouched);
  EXPECT_EQ(host.newCalls, 0);
  EXPECT_EQ(host.TotalLockAttempts(), 0);
}

}  // namespace
}  // namespace lwd
