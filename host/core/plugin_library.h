// Loading the effect: dlopen, the two entry points, and the registration call.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "ae_effect.h"

namespace lwhost {

// A failure of the host itself (missing file or symbol), as opposed to an error code the effect
// returns.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The ten values the effect passed to the registration callback, in the order it passed them.
struct RegistrationCall {
  void* opaque = nullptr;
  std::string name;
  std::string matchName;
  std::string category;
  std::string entryPointName;
  A_long kind = 0;
  A_long apiMajor = 0;
  A_long apiMinor = 0;
  A_long reservedInfo = 0;
  std::string supportUrl;
};

struct Registration {
  PF_Err result = PF_Err_NONE;  // what PluginDataEntryFunction2 returned
  void* opaqueGiven = nullptr;  // the opaque pointer the host passed in
  std::vector<RegistrationCall> calls;
};

class PluginLibrary {
 public:
  // dlopen (RTLD_NOW | RTLD_LOCAL) and resolve PluginDataEntryFunction2 and EffectMain; throws
  // HostError naming the file or the symbol when something is missing.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& Path() const { return path_; }
  PF_EffectMainFunc EffectMain() const { return effectMain_; }
  // Any exported symbol, or null.
  void* Symbol(const char* name) const;

  // Calls PluginDataEntryFunction2 with a callback that records every call and answers
  // `callbackResult`.
  Registration Register(PF_Err callbackResult = PF_Err_NONE, SPBasicSuite* basic = nullptr) const;

 private:
  std::string path_;
  void* library_ = nullptr;
  PF_PluginDataEntryFunc2 entry_ = nullptr;
  PF_EffectMainFunc effectMain_ = nullptr;
};

}  // namespace lwhost
