// Names of the host's error codes, for messages to the user.
#pragma once

#include <string>

#include "ae_basic_types.h"

namespace lwhost {

// "PF_Err_OUT_OF_MEMORY" for 4, and so on; "unknown error" for codes the API does not name.
std::string ErrorName(PF_Err err);

}  // namespace lwhost
