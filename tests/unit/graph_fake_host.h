// A small in-test host for the width graph: a basic suite that serves recording Drawbot suites,
// the custom UI suite and the app suite, a handle holding one curve record, and failures on
// demand. Function tables carry no context, so the host in use is one global.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ae_effect.h"
#include "ae_effect_suites.h"
#include "curve/curve_data.h"
#include "params/param_index.h"

namespace lwd::graphtest {

// One recorded Drawbot call: its name, its float arguments in order and the objects it touched.
struct DrawCall {
  std::string fn;
  std::vector<float> f;
  const void* object = nullptr;  // the pen, brush or path made, stroked, filled or released
  const void* path = nullptr;    // FillPath / StrokePath: the path drawn
  A_long fillType = -1;
};

// A host call that fails: the nth (from 1) call of fn returns err.
struct FailRule {
  std::string fn;
  int nth;
  SPErr err;
};

struct FakeGraphHost {
  FakeGraphHost();
  ~FakeGraphHost();
  FakeGraphHost(const FakeGraphHost&) = delete;
  FakeGraphHost& operator=(const FakeGraphHost&) = delete;

  // Suites the basic suite refuses (it answers with an error and a null pointer).
  std::set<std::string> missingSuites;
  std::vector<std::string> acquireLog;  // "name v" for each suite handed out
  std::vector<std::string> releaseLog;  // "name v" for each suite given back
  std::map<std::string, int> suiteBalance;

  std::vector<DrawCall> calls;
  std::vector<FailRule> failures;
  std::map<std::string, int> callCounts;
  std::set<const void*> liveObjects;
  int objectsMade = 0;
  int objectReleases = 0;
  int badReleases = 0;  // releases of objects that were not live

  PF_Err drawingRefErr = PF_Err_NONE;
  bool giveDrawingRef = true;
  std::vector<PF_Rect> invalidated;
  std::vector<PF_ContextH> invalidatedContexts;

  LWD_CurveData curve{};
  bool lockFails = false;
  int locks = 0;  // successful locks
  int failedLocks = 0;
  int unlocks = 0;

  PF_InData in{};
  PF_OutData out{};
  PF_UtilCallbacks utils{};
  SPBasicSuite basic{};
  PF_ParamDef paramDefs[LWD_NUM_PARAMS]{};
  PF_ParamDef* params[LWD_NUM_PARAMS]{};
  PF_EventExtra event{};
  PF_ContextH contextH = nullptr;

  // Points the curve record at (x[i], y[i]).
  void SetCurve(const std::vector<std::pair<float, float>>& points);
  // Drops the value handle from the parameter, as for a parameter with no value.
  void ClearValueHandle();
  // Sets the event up as a click or drag at (h, v) relative to current_frame's corner.
  void MouseAt(A_long h, A_long v);
  // The error the nth call of fn is to return, 0 when none.
  SPErr Fail(const std::string& fn);
  // Suites still held, "name v" -> count; empty when every acquisition was given back.
  std::map<std::string, int> HeldSuites() const;

  std::vector<std::string> CallNames() const;
  std::vector<DrawCall> CallsNamed(const std::string& fn) const;

 private:
  void* master_ = nullptr;  // the handle's master pointer, to `curve`
  PF_Handle handle_ = nullptr;
  void* contextMaster_ = nullptr;
};

// The host in use by the suites' functions.
FakeGraphHost& Host();

// Frame of the control in the tests: not at the origin, so offsets are exercised.
constexpr A_long kFrameLeft = 30;
constexpr A_long kFrameTop = 40;

}  // namespace lwd::graphtest
