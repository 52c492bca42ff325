#include "core/faults.h"

#include <gtest/gtest.h>

namespace lwhost {
namespace {

TEST(FaultsTest, KthCallFailsOnceCountingFromWhenTheRuleWasArmed) {
  Faults faults;
  EXPECT_EQ(faults.Check("add_param"), PF_Err_NONE);  // before arming: not counted by the rule
  faults.FailCall("add_param", 3, PF_Err_OUT_OF_MEMORY);
  for (int call = 1; call <= 5; ++call) {
    EXPECT_EQ(faults.Check("add_param"), call == 3 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE)
        << "call " << call << " after arming";
  }
  EXPECT_EQ(faults.Calls("add_param"), 6);
}

TEST(FaultsTest, EveryCallFailsUntilCleared) {
  Faults faults;
  faults.FailCall("progress", Faults::kEveryCall, PF_Interrupt_CANCEL);
  EXPECT_EQ(faults.Check("progress"), PF_Interrupt_CANCEL);
  EXPECT_EQ(faults.Check("progress"), PF_Interrupt_CANCEL);
  EXPECT_EQ(faults.Check("abort"), PF_Err_NONE) << "rules apply to their own call site only";
  faults.Clear();
  EXPECT_EQ(faults.Check("progress"), PF_Err_NONE);
}

TEST(FaultsTest, SuiteFaultsMatchNameAndVersion) {
  Faults faults;
  faults.MissingSuite("PF ANSI Suite", 1);
  faults.NullSuite("DRAWBOT Surface Suite", 2, 2);
  EXPECT_EQ(faults.CheckSuite("PF ANSI Suite", 1), SuiteFault::kMissing);
  EXPECT_EQ(faults.CheckSuite("PF ANSI Suite", 2), SuiteFault::kNone);
  EXPECT_EQ(faults.CheckSuite("DRAWBOT Surface Suite", 2), SuiteFault::kNone);
  EXPECT_EQ(faults.CheckSuite("DRAWBOT Surface Suite", 2), SuiteFault::kNull);
  EXPECT_EQ(faults.CheckSuite("DRAWBOT Surface Suite", 2), SuiteFault::kNone);
}

}  // namespace
}  // namespace lwhost
