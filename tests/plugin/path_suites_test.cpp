// The host's path suites, called by hand inside a command context as the effect's path walk calls
// them: checkouts by path id at the command's resolution, segment preparations counted in the
// balance ledger, and failures on demand.
#include <gtest/gtest.h>

#include <cmath>

#include "ae_path_suites.h"
#include "masks/path_suites.h"
#include "plugin_session.h"
#include "masks/svg_path.h"

namespace lwtest {
namespace {

class PathSuitesTest : public PluginTest {
 protected:
  void SetUp() override {
    // Path id 7: a 30-40-50 line, then a quadratic arch.
    masks.Set(7, lwhost::ParseSvgPath("M 0 0 L 30 40 Q 60 80 90 40"));
    lwhost::RegisterPathSuites(session, masks);
  }
  void TearDown() override { lwhost::UnregisterPathSuites(session); }

  std::unique_ptr<lwhost::CommandContext> Begin(A_u_long downsample = 1) {
    lwhost::CommandInput input;
    input.downsampleX = {1, downsample};
    input.downsampleY = {1, downsample};
    auto context = session.Begin(PF_Cmd_RENDER, input);
    const SPBasicSuite* basic = context->InData()->pica_basicP;
    const void* q = nullptr;
    const void* d = nullptr;
    EXPECT_EQ(basic->AcquireSuite(kPFPathQuerySuite, 1, &q), 0);
    EXPECT_EQ(basic->AcquireSuite(kPFPathDataSuite, 1, &d), 0);
    query = static_cast<const PF_PathQuerySuite1*>(q);
    data = static_cast<const PF_PathDataSuite1*>(d);
    ref = context->InData()->effect_ref;
    return context;
  }
  // The suites themselves are still acquired while the command runs; only paths count here.
  static void ExpectNothingOut(const lwhost::CommandContext& context) {
    EXPECT_EQ(context.ledger.Outstanding(lwhost::kPathCheckoutKind), 0) << context.ledger.Report();
    EXPECT_EQ(context.ledger.Outstanding(lwhost::kSegPrepKind), 0) << context.ledger.Report();
  }
  void End(std::unique_ptr<lwhost::CommandContext> context) {
    const SPBasicSuite* basic = context->InData()->pica_basicP;
    basic->ReleaseSuite(kPFPathQuerySuite, 1);
    basic->ReleaseSuite(kPFPathDataSuite, 1);
    context.reset();
  }

  lwhost::LayerMasks masks;
  const PF_PathQuerySuite1* query = nullptr;
  const PF_PathDataSuite1* data = nullptr;
  PF_ProgPtr ref = nullptr;
};

TEST_F(PathSuitesTest, MeasuresAndEvaluatesACheckedOutMaskAndBalancesTheLedger) {
  auto context = Begin();
  PF_PathOutlinePtr outline = nullptr;
  ASSERT_EQ(query->PF_CheckoutPath(ref, 7, 0, 1, 24, &outline), PF_Err_NONE);
  ASSERT_NE(outline, nullptr);
  A_long count = 0;
  ASSERT_EQ(data->PF_PathNumSegments(ref, outline, &count), PF_Err_NONE);
  EXPECT_EQ(count, 2);
  PF_PathSegPrepPtr prep = nullptr;
  ASSERT_EQ(data->PF_PathPrepareSegLength(ref, outline, 0, 200, &prep), PF_Err_NONE);
  EXPECT_EQ(context->ledger.Outstanding(lwhost::kSegPrepKind), 1);
  double length = 0;
  ASSERT_EQ(data->PF_PathGetSegLength(ref, outline, 0, &prep, &length), PF_Err_NONE);
  EXPECT_EQ(length, 50.0);
  double x, y, dx, dy;
  ASSERT_EQ(data->PF_PathEvalSegLengthDeriv1(ref, outline, &prep, 0, 10.0, &x, &y, &dx, &dy),
            PF_Err_NONE);
  EXPECT_DOUBLE_EQ(x, 6.0);
  EXPECT_DOUBLE_EQ(y, 8.0);
  EXPECT_DOUBLE_EQ(dx, 0.6);
  EXPECT_DOUBLE_EQ(dy, 0.8);
  // A preparation of another segment is refused rather than misused.
  EXPECT_NE(data->PF_PathEvalSegLengthDeriv1(ref, outline, &prep, 1, 1.0, &x, &y, &dx, &dy),
            PF_Err_NONE);
  ASSERT_EQ(data->PF_PathCleanupSegLength(ref, outline, 0, &prep), PF_Err_NONE);
  EXPECT_EQ(prep, nullptr);
  ASSERT_EQ(query->PF_CheckinPath(ref, 7, 0, outline), PF_Err_NONE);
  ExpectNothingOut(*context);
  End(std::move(context));
  EXPECT_EQ(session.ledger.Report(), "");
}

TEST_F(PathSuitesTest, NoMaskGivesNoOutlineAndDownsamplingScalesTheMask) {
  auto context = Begin(2);
  PF_PathOutlinePtr outline = reinterpret_cast<PF_PathOutlinePtr>(this);
  EXPECT_EQ(query->PF_CheckoutPath(ref, PF_PathID_NONE, 0, 1, 24, &outline), PF_Err_NONE);
  EXPECT_EQ(outline, nullptr);
  EXPECT_NE(query->PF_CheckoutPath(ref, 99, 0, 1, 24, &outline), PF_Err_NONE) << "unknown id";
  ASSERT_EQ(query->PF_CheckoutPath(ref, 7, 0, 1, 24, &outline), PF_Err_NONE);
  double length = 0;
  ASSERT_EQ(data->PF_PathGetSegLength(ref, outline, 0, nullptr, &length), PF_Err_NONE);
  EXPECT_EQ(length, 25.0) << "half resolution halves the 50-pixel line";
  ASSERT_EQ(query->PF_CheckinPath(ref, 7, 0, outline), PF_Err_NONE);
  End(std::move(context));
  EXPECT_EQ(session.ledger.Report(), "");
}

TEST_F(PathSuitesTest, FailsTheKthCallByNameAndShowsForgottenPreparations) {
  auto context = Begin();
  PF_PathOutlinePtr outline = nullptr;
  ASSERT_EQ(query->PF_CheckoutPath(ref, 7, 0, 1, 24, &outline), PF_Err_NONE);
  session.faults.FailCall("PF_PathGetSegLength", 2, PF_Err_OUT_OF_MEMORY);
  PF_PathSegPrepPtr preps[2] = {nullptr, nullptr};
  double length = 0;
  for (A_long i = 0; i < 2; ++i) {
    ASSERT_EQ(data->PF_PathPrepareSegLength(ref, outline, i, 200, &preps[i]), PF_Err_NONE);
  }
  EXPECT_EQ(data->PF_PathGetSegLength(ref, outline, 0, &preps[0], &length), PF_Err_NONE);
  EXPECT_EQ(data->PF_PathGetSegLength(ref, outline, 1, &preps[1], &length), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(data->PF_PathCleanupSegLength(ref, outline, 0, &preps[0]), PF_Err_NONE);
  EXPECT_NE(context->ledger.Report().find("path segment preparation"), std::string::npos)
      << "the second preparation is still out: " << context->ledger.Report();
  EXPECT_EQ(data->PF_PathCleanupSegLength(ref, outline, 1, &preps[1]), PF_Err_NONE);
  EXPECT_EQ(query->PF_CheckinPath(ref, 7, 0, outline), PF_Err_NONE);
  ExpectNothingOut(*context);
  End(std::move(context));
}

}  // namespace
}  // namespace lwtest
