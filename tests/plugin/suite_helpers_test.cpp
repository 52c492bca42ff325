// The exported AEFX_ suite helpers, resolved from the loaded plug-in and called by hand inside a
// command context, as the effect's own drawing code calls them.
#include <gtest/gtest.h>

#include <string>

#include "plugin_session.h"
#include "suites/aefx_helpers.h"  // for the lwd::DrawbotSuites record only

namespace lwtest {
namespace {

using AcquireSuiteFn = PF_Err (*)(PF_InData*, PF_OutData*, const char*, int32_t, const char*,
                                  void**);
using ReleaseSuiteFn = PF_Err (*)(PF_InData*, PF_OutData*, const char*, int32_t, const char*);
using AcquireDrawbotFn = PF_Err (*)(PF_InData*, PF_OutData*, lwd::DrawbotSuites*);
using ReleaseDrawbotFn = PF_Err (*)(PF_InData*, PF_OutData*);

constexpr char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
constexpr char kReleaseFailed[] = "Not able to release AEFX Suite.";

class SuiteHelpersTest : public PluginTest {
 protected:
  void SetUp() override {
    acquire = Resolve<AcquireSuiteFn>("AEFX_AcquireSuite");
    release = Resolve<ReleaseSuiteFn>("AEFX_ReleaseSuite");
    acquireDrawbot = Resolve<AcquireDrawbotFn>("AEFX_AcquireDrawbotSuites");
    releaseDrawbot = Resolve<ReleaseDrawbotFn>("AEFX_ReleaseDrawbotSuites");
    // The helpers only pass the tables on, so any distinct addresses stand in for them.
    session.RegisterSuite("DRAWBOT Draw Suite", 1, &tables[0]);
    session.RegisterSuite("DRAWBOT Supplier Suite", 1, &tables[1]);
    session.RegisterSuite("DRAWBOT Surface Suite", 2, &tables[2]);
    session.RegisterSuite("DRAWBOT Path Suite", 1, &tables[3]);
    session.RegisterSuite("Test Suite", 1, &tables[4]);
  }

  template <class Fn>
  Fn Resolve(const char* name) {
    auto fn = reinterpret_cast<Fn>(session.Library().Symbol(name));
    EXPECT_NE(fn, nullptr) << name << " is not exported";
    return fn;
  }

  std::unique_ptr<lwhost::CommandContext> Begin(bool withBasicSuite = true) {
    lwhost::CommandInput input;
    input.withBasicSuite = withBasicSuite;
    return session.Begin(PF_Cmd_EVENT, input);
  }

  static bool ShowsError(const PF_OutData& out) {
    return (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0;
  }

  AcquireSuiteFn acquire = nullptr;
  ReleaseSuiteFn release = nullptr;
  AcquireDrawbotFn acquireDrawbot = nullptr;
  ReleaseDrawbotFn releaseDrawbot = nullptr;
  int tables[5] = {};
};

TEST_F(SuiteHelpersTest, AcquireAndReleaseASuite) {
  auto cmd = Begin();
  void* suite = nullptr;
  EXPECT_EQ(acquire(cmd->InData(), cmd->OutData(), "Test Suite", 1, nullptr, &suite), 0);
  EXPECT_EQ(suite, &tables[4]);
  EXPECT_EQ(release(cmd->InData(), cmd->OutData(), "Test Suite", 1, nullptr), 0);
  EXPECT_FALSE(ShowsError(*cmd->OutData()));
  EXPECT_EQ(cmd->ledger.Report(), "");
}

TEST_F(SuiteHelpersTest, MissingSuiteReportsTheDefaultOrTheGivenText) {
  struct Case {
    const char* errorText;
    const char* expected;
  };
  for (const Case& c : {Case{nullptr, kAcquireFailed}, Case{"Error loading suite.", nullptr}}) {
    const std::string expected = c.expected != nullptr ? c.expected : c.errorText;
    auto cmd = Begin();
    void* suite = &tables[0];
    EXPECT_EQ(acquire(cmd->InData(), cmd->OutData(), "No Such Suite", 1, c.errorText, &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite, nullptr);
    EXPECT_TRUE(ShowsError(*cmd->OutData())) << expected;
    EXPECT_EQ(std::string(cmd->OutData()->return_msg), expected);
    EXPECT_EQ(cmd->ledger.Report(), "");
  }
}

TEST_F(SuiteHelpersTest, NullSuiteCountsAsMissing) {
  session.faults.NullSuite("Test Suite", 1);
  auto cmd = Begin();
  void* suite = nullptr;
  EXPECT_EQ(acquire(cmd->InData(), cmd->OutData(), "Test Suite", 1, nullptr, &suite),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(cmd->OutData()->return_msg, kAcquireFailed);
}

TEST_F(SuiteHelpersTest, WithoutBasicSuiteBothHelpersFailWithTheirMessages) {
  auto cmd = Begin(false);
  void* suite = nullptr;
  EXPECT_EQ(acquire(cmd->InData(), cmd->OutData(), "Test Suite", 1, nullptr, &suite),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(cmd->OutData()->return_msg, kAcquireFailed);
  EXPECT_EQ(release(cmd->InData(), cmd->OutData(), "Test Suite", 1, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(cmd->OutData()->return_msg, kReleaseFailed);
  EXPECT_TRUE(ShowsError(*cmd->OutData()));
}

TEST_F(SuiteHelpersTest, DrawbotSuitesFillTheRecordInOrderAndGoBack) {
  auto cmd = Begin();
  lwd::DrawbotSuites suites{};
  ASSERT_EQ(acquireDrawbot(cmd->InData(), cmd->OutData(), &suites), 0);
  EXPECT_EQ(static_cast<const void*>(suites.drawbot_suiteP), &tables[0]);
  EXPECT_EQ(static_cast<const void*>(suites.supplier_suiteP), &tables[1]);
  EXPECT_EQ(static_cast<const void*>(suites.surface_suiteP), &tables[2]);
  EXPECT_EQ(static_cast<const void*>(suites.path_suiteP), &tables[3]);
  EXPECT_EQ(releaseDrawbot(cmd->InData(), cmd->OutData()), 0);
  EXPECT_FALSE(ShowsError(*cmd->OutData()));
  EXPECT_EQ(cmd->ledger.Report(), "");
}

TEST_F(SuiteHelpersTest, NullDrawbotRecordIs514WithItsMessage) {
  auto cmd = Begin();
  EXPECT_EQ(acquireDrawbot(cmd->InData(), cmd->OutData(), nullptr), PF_Err_UNRECOGNIZED_PARAM_TYPE);
  EXPECT_TRUE(ShowsError(*cmd->OutData()));
  EXPECT_STREQ(cmd->OutData()->return_msg,
               "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
  EXPECT_EQ(cmd->ledger.Report(), "") << "nothing was obtained";
}

TEST_F(SuiteHelpersTest, PartialDrawbotFailureKeepsWhatWasObtained) {
  session.faults.MissingSuite("DRAWBOT Surface Suite", 2);
  auto cmd = Begin();
  lwd::DrawbotSuites suites{};
  EXPECT_EQ(acquireDrawbot(cmd->InData(), cmd->OutData(), &suites), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(cmd->OutData()->return_msg, kAcquireFailed);
  EXPECT_EQ(static_cast<const void*>(suites.drawbot_suiteP), &tables[0]);
  EXPECT_EQ(static_cast<const void*>(suites.supplier_suiteP), &tables[1]);
  EXPECT_EQ(suites.surface_suiteP, nullptr);
  EXPECT_EQ(suites.path_suiteP, nullptr);
  // The two obtained suites are still out, and only they.
  EXPECT_EQ(cmd->ledger.Report(),
            "suite DRAWBOT Draw Suite v1: acquired 1, released 0\n"
            "suite DRAWBOT Supplier Suite v1: acquired 1, released 0\n");
  release(cmd->InData(), cmd->OutData(), "DRAWBOT Draw Suite", 1, nullptr);
  release(cmd->InData(), cmd->OutData(), "DRAWBOT Supplier Suite", 1, nullptr);
  EXPECT_EQ(cmd->ledger.Report(), "");
}

TEST_F(SuiteHelpersTest, DrawbotWithoutBasicSuite) {
  auto cmd = Begin(false);
  lwd::DrawbotSuites suites{};
  EXPECT_EQ(acquireDrawbot(cmd->InData(), cmd->OutData(), &suites), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(suites.drawbot_suiteP, nullptr);
  EXPECT_STREQ(cmd->OutData()->return_msg, kAcquireFailed);
  cmd->OutData()->out_flags = 0;
  EXPECT_EQ(releaseDrawbot(cmd->InData(), cmd->OutData()), 0) << "release always answers 0";
  EXPECT_TRUE(ShowsError(*cmd->OutData()));
  EXPECT_STREQ(cmd->OutData()->return_msg, kReleaseFailed);
}

}  // namespace
}  // namespace lwtest
