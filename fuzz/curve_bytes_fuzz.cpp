// Stored width curve bytes, as a damaged or hostile project may hold them, through the effect's
// own data callbacks: UNFLATTEN of both values, COMPARE, INTERP at any fraction, FLATTEN of every
// record made, and evaluation anywhere. The fake handle host catches unbalanced locks, writes past
// a block and misused handles.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "curve/curve_callbacks.h"
#include "curve/curve_data.h"
#include "fake_handle_host.h"
#include "fuzz_check.h"

// A harness of the effect's own functions.
using namespace lwd;

namespace {

PF_ArbParamsExtra Extra(PF_FunctionSelector which) {
  PF_ArbParamsExtra e;
  std::memset(&e, 0, sizeof e);
  e.which_function = which;
  return e;
}

PF_Handle Unflatten(FakeHandleHost& host, const std::vector<uint8_t>& bytes) {
  PF_Handle made = nullptr;
  PF_ArbParamsExtra e = Extra(PF_Arbitrary_UNFLATTEN_FUNC);
  e.u.unflatten_func_params.buf_sizeLu = static_cast<A_u_long>(bytes.size());
  e.u.unflatten_func_params.flat_dataPV = bytes.data();
  e.u.unflatten_func_params.arbPH = &made;
  HandleArbitraryCallback(host.inData(), &e);
  lwfuzz::Check(bytes.size() >= kCurveDataSize || made == nullptr,
                "UNFLATTEN made a value from fewer than 100 bytes");
  return made;
}

// FLATTEN into a buffer with guard bytes: exactly the first 100 bytes may change.
void Flatten(FakeHandleHost& host, PF_Handle value) {
  constexpr uint8_t kGuard = 0xE7;
  std::vector<uint8_t> buffer(kCurveDataSize + 16, kGuard);
  PF_ArbParamsExtra e = Extra(PF_Arbitrary_FLATTEN_FUNC);
  e.u.flatten_func_params.arbH = value;
  e.u.flatten_func_params.buf_sizeLu = kCurveDataSize;
  e.u.flatten_func_params.flat_dataPV = buffer.data();
  HandleArbitraryCallback(host.inData(), &e);
  for (size_t i = kCurveDataSize; i < buffer.size(); ++i) {
    lwfuzz::Check(buffer[i] == kGuard, "FLATTEN wrote past the buffer it was given");
  }
}

void Evaluate(FakeHandleHost& host, PF_Handle value, FuzzedDataProvider& input) {
  if (value == nullptr) {
    return;
  }
  const auto curve = host.Read<LWD_CurveData>(value);
  const double probes[] = {0.0,
                           1.0,
                           0.5,
                           -1.0,
                           2.0,
                           input.ConsumeFloatingPoint<double>(),
                           input.ConsumeProbability<double>()};
  for (const double t : probes) {
    (void)CurveEval(&curve, t);
  }
  LWD_CurveData sorted = curve;
  CurveSort(&sorted);
  (void)CurveEval(&sorted, input.ConsumeProbability<double>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  FakeHandleHost host;

  // Two stored values of any length (a short one must be refused), then the rest drives INTERP
  // and the evaluation probes.
  const size_t leftSize = input.ConsumeIntegralInRange<size_t>(0, 2 * kCurveDataSize);
  const std::vector<uint8_t> leftBytes = input.ConsumeBytes<uint8_t>(leftSize);
  const std::vector<uint8_t> rightBytes =
      input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 2 * kCurveDataSize));
  PF_Handle left = Unflatten(host, leftBytes);
  PF_Handle right = Unflatten(host, rightBytes);

  if (left != nullptr && right != nullptr) {
    PF_ArbParamsExtra compare = Extra(PF_Arbitrary_COMPARE_FUNC);
    PF_ArbCompareResult result = PF_ArbCompare_EQUAL;
    compare.u.compare_func_params.a_arbH = left;
    compare.u.compare_func_params.b_arbH = right;
    compare.u.compare_func_params.compareP = &result;
    HandleArbitraryCallback(host.inData(), &compare);
  }

  PF_Handle between = nullptr;
  if (left != nullptr && right != nullptr) {
    PF_ArbParamsExtra interp = Extra(PF_Arbitrary_INTERP_FUNC);
    interp.u.interp_func_params.refconPV = kCurveRefcon;
    interp.u.interp_func_params.left_arbH = left;
    interp.u.interp_func_params.right_arbH = right;
    interp.u.interp_func_params.tF = input.ConsumeBool() ? input.ConsumeProbability<double>()
                                                         : input.ConsumeFloatingPoint<double>();
    interp.u.interp_func_params.interpPH = &between;
    HandleArbitraryCallback(host.inData(), &interp);
  }

  for (PF_Handle value : {left, right, between}) {
    if (value != nullptr) {
      Flatten(host, value);
      Evaluate(host, value, input);
      PF_ArbParamsExtra dispose = Extra(PF_Arbitrary_DISPOSE_FUNC);
      dispose.u.dispose_func_params.refconPV = kCurveRefcon;
      dispose.u.dispose_func_params.arbH = value;
      HandleArbitraryCallback(host.inData(), &dispose);
    }
  }
  lwfuzz::Check(host.Problems().empty(), host.Problems());
  lwfuzz::Check(host.Live() == 0, "a value made by the callbacks was not disposed of");
  return 0;
}
