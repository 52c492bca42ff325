// The effect loaded from its built file and driven through the reference host.
#pragma once

#include <gtest/gtest.h>

#include "core/session.h"

namespace lwtest {

class PluginTest : public ::testing::Test {
 protected:
  lwhost::Session session{LATHEWIND_PLUGIN_PATH};

  // The command gave back everything it took, and nothing is outstanding in the session.
  void ExpectBalanced(const lwhost::CommandResult& result, const std::string& what) {
    EXPECT_EQ(result.balance, "") << what;
    EXPECT_EQ(session.ledger.Report(), "") << what;
  }
};

}  // namespace lwtest
