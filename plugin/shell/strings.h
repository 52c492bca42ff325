// The string table: every user-visible text of the effect, by number.
#pragma once

#include <cstdint>

#include "shell/string_ids.h"
#include "suites/suite_handler.h"

namespace lwd {

constexpr int kStringBytes = 1024;

struct LWD_TableString {
  std::int64_t index;      // equals the record's position
  char str[kStringBytes];  // NUL-terminated, the rest zero
};
static_assert(sizeof(LWD_TableString) == 1032);

// C linkage: the exported names are g_strs and GetStringPtr, outside any namespace.
extern "C" {
LWD_EXPORT extern const LWD_TableString g_strs[kNumStrings];
// Text of entry `index`; an index outside 0..48 gives an empty text rather than reading past the
// table.
LWD_EXPORT const char* GetStringPtr(int32_t index);
}

// "v1.7  build 24": in the About text and, as its own copy, on the version button.
extern const char kVersionText[];

}  // namespace lwd
