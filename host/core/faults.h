// Failures on demand. A test arms a rule for a named call site ("add_param", "host_new_handle",
// "abort", a suite by name and version, ...); every call site asks Faults before doing its work,
// which also counts how often each site was reached.
//
//   session.Faults().FailCall("add_param", 3, PF_Err_OUT_OF_MEMORY);  // only the third call
//   session.Faults().MissingSuite("PF ANSI Suite", 1);                // every request
//   session.Faults().NullSuite("DRAWBOT Surface Suite", 2);           // "present", but null
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ae_basic_types.h"

namespace lwhost {

enum class SuiteFault { kNone, kMissing, kNull };

class Faults {
 public:
  // kth counts the calls made after the rule was armed, from 1; kEveryCall fails all of them.
  static constexpr int kEveryCall = 0;

  // The call answers `err`. Call sites that return a pointer (host_new_handle, host_lock_handle)
  // return null instead (pass any non-zero code).
  void FailCall(std::string_view call, int kth, PF_Err err);
  // The basic suite reports the suite as absent (an error and a null pointer).
  void MissingSuite(std::string_view name, int version, int kth = kEveryCall);
  // The basic suite reports success but hands out a null pointer.
  void NullSuite(std::string_view name, int version, int kth = kEveryCall);
  // Disarms every rule; call counts stay.
  void Clear();

  // Consulted by a call site: counts the call and returns the error to inject, or 0.
  PF_Err Check(std::string_view call);
  // Consulted by AcquireSuite.
  SuiteFault CheckSuite(std::string_view name, int version);
  // How often a call site has consulted the faults so far.
  int Calls(std::string_view call) const;

 private:
  struct Rule {
    std::string call;
    int kth;
    int armedAt;  // the call count when the rule was armed
    PF_Err err;
    SuiteFault suite;
  };
  void Arm(std::string_view call, int kth, PF_Err err, SuiteFault suite);
  const Rule* Match(std::string_view call, int count) const;

  mutable std::mutex mutex_;
  std::map<std::string, int, std::less<>> calls_;
  std::vector<Rule> rules_;
};

}  // namespace lwhost
