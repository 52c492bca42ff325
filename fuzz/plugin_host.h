// The built effect loaded once per fuzzing process into a reference host session; targets build
// their scenes on it. Loading per input would spend the run in dlopen.
#pragma once

#include <string>

#include "fuzz_check.h"
#include "session.h"

namespace lwfuzz {

inline lwhost::Session& LoadedEffect() {
  static lwhost::Session* session = [] {
    auto* s = new lwhost::Session(LATHEWIND_PLUGIN_PATH);
    const lwhost::CommandResult setup = s->GlobalSetup();
    Check(setup.err == PF_Err_NONE, "global set-up failed");
    return s;
  }();
  return *session;
}

// Everything the effect took during the last command was given back.
inline void CheckBalanced(const std::string& what, const std::string& commandBalance) {
  Check(commandBalance.empty(), what + " left unbalanced: " + commandBalance);
  const std::string session = LoadedEffect().ledger.Report();
  Check(session.empty(), what + " left outstanding in the session: " + session);
}

}  // namespace lwfuzz
