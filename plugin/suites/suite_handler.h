// The per-command cache of host suites. Each suite is obtained on first use and given back when the
// cache is destroyed; a suite the host cannot supply throws PF_Err_BAD_CALLBACK_PARAM, which
// EffectMain turns into the command's result after the handler's stack (this cache included) has
// unwound.
#pragma once

#include "ae_effect_suites.h"
#include "ae_path_suites.h"
#include "sp_basic_suite.h"

#define LWD_EXPORT __attribute__((visibility("default")))

class LWD_EXPORT AEGP_SuiteHandler {
 public:
  explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
  ~AEGP_SuiteHandler();

  AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
  AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

  const PF_ANSICallbacksSuite1* ANSICallbacksSuite1();
  const PF_FillMatteSuite2* FillMatteSuite2();
  const PF_PathQuerySuite1* PathQuerySuite1();
  const PF_PathDataSuite1* PathDataSuite1();
  const PF_AppSuite6* AppSuite6();

  // Gives one suite back through the basic suite; the slot stays as it is.
  void ReleaseSuite(const char* name, int32_t version);
  // Gives back every suite whose slot is filled, ignoring the host's answers.
  void ReleaseAllSuites();
  [[noreturn]] void MissingSuiteError() const;

  // The catalogue has a slot for every suite and version the cache knows about.
  static constexpr int kNumSlots = 146;

 private:
  const void* Acquire(int slot, const char* name, int32_t version);

  const SPBasicSuite* basic_;
  const void* slots_[kNumSlots];
};
