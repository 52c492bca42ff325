#include "core/suite_registry.h"

#include <gtest/gtest.h>

#include "core/faults.h"
#include "core/ledger.h"

namespace lwhost {
namespace {

// Outside a command the registry records into the session's ledger only.
class SuiteRegistryTest : public ::testing::Test {
 protected:
  Ledger ledger;
  Faults faults;
  SuiteRegistry registry{ledger, faults};
  const int table = 42;
};

TEST_F(SuiteRegistryTest, AcquireAndReleaseAreCountedPerSuite) {
  registry.Register("Test Suite", 3, &table);
  const void* suite = nullptr;
  ASSERT_EQ(registry.Acquire("Test Suite", 3, &suite), 0);
  EXPECT_EQ(suite, &table);
  ASSERT_EQ(registry.Acquire("Test Suite", 3, &suite), 0);
  EXPECT_EQ(ledger.Report(), "suite Test Suite v3: acquired 2, released 0\n");
  EXPECT_EQ(registry.Release("Test Suite", 3), 0);
  EXPECT_EQ(registry.Release("Test Suite", 3), 0);
  EXPECT_EQ(ledger.Report(), "");
  EXPECT_EQ(registry.Release("Test Suite", 3), 0);
  EXPECT_EQ(ledger.Report(), "suite Test Suite v3: acquired 2, released 3\n");
}

TEST_F(SuiteRegistryTest, OtherVersionIsAnotherSuite) {
  registry.Register("Test Suite", 3, &table);
  const void* suite = &table;
  EXPECT_EQ(registry.Acquire("Test Suite", 2, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(suite, nullptr);
  EXPECT_EQ(ledger.Report(), "") << "nothing obtained, nothing to give back";
}

TEST_F(SuiteRegistryTest, MissingAndNullFaultsObtainNothing) {
  registry.Register("Test Suite", 1, &table);
  faults.MissingSuite("Test Suite", 1, 1);
  faults.NullSuite("Test Suite", 1, 2);
  const void* suite = &table;
  EXPECT_EQ(registry.Acquire("Test Suite", 1, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(suite, nullptr);
  suite = &table;
  EXPECT_EQ(registry.Acquire("Test Suite", 1, &suite), 0) << "a null suite reports success";
  EXPECT_EQ(suite, nullptr);
  EXPECT_EQ(registry.Acquire("Test Suite", 1, &suite), 0);
  EXPECT_EQ(suite, &table) << "the third request is served";
  EXPECT_EQ(ledger.Count(kSuiteKind, SuiteKey("Test Suite", 1)).opened, 1);
}

TEST_F(SuiteRegistryTest, BasicSuiteOutsideACommandRefuses) {
  registry.Register("Test Suite", 1, &table);
  const void* suite = &table;
  EXPECT_EQ(registry.BasicSuite()->AcquireSuite("Test Suite", 1, &suite), kSPBadParameterError);
  EXPECT_EQ(suite, nullptr);
}

}  // namespace
}  // namespace lwhost
