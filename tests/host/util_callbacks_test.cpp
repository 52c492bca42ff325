#include <gtest/gtest.h>

#include <cmath>

#include "core/callbacks.h"

namespace lwhost {
namespace {

TEST(UtilCallbacksTest, SprintfFormatsIntoTheCallersBuffer) {
  char buffer[64] = "untouched";
  const int written = HostSprintf(buffer, "%s  %s\r%d%%", "Name", "v1", 7);
  EXPECT_STREQ(buffer, "Name  v1\r7%");
  EXPECT_EQ(written, 11);
}

TEST(UtilCallbacksTest, TableCarriesTheFormatterAndTheMaths) {
  const PF_UtilCallbacks utils = MakeUtilCallbacks();
  ASSERT_EQ(utils.ansi.sprintf, &HostSprintf);
  char buffer[16];
  utils.ansi.sprintf(buffer, "%03d", 5);
  EXPECT_STREQ(buffer, "005");
  EXPECT_DOUBLE_EQ(utils.ansi.atan2(1.0, 1.0), std::atan2(1.0, 1.0));
  EXPECT_DOUBLE_EQ(utils.ansi.hypot(3.0, 4.0), 5.0);
  EXPECT_DOUBLE_EQ(utils.ansi.fmod(7.5, 2.0), 1.5);
  EXPECT_DOUBLE_EQ(utils.ansi.acos(-1.0), std::acos(-1.0));
}

TEST(UtilCallbacksTest, HandleCallsOutsideACommandFailSafely) {
  const PF_UtilCallbacks utils = MakeUtilCallbacks();
  EXPECT_EQ(utils.host_new_handle(16), nullptr);
  EXPECT_EQ(utils.host_lock_handle(nullptr), nullptr);
  EXPECT_EQ(utils.host_get_handle_size(nullptr), 0u);
}

}  // namespace
}  // namespace lwhost
