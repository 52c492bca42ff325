// The one rule for combining host errors inside a command: the first failure wins, and clean-up
// steps still run after it.
#pragma once

#include "ae_basic_types.h"

namespace lwd {

inline PF_Err MergeError(PF_Err running, PF_Err next) {
  return running != PF_Err_NONE ? running : next;
}

}  // namespace lwd
