#include "render/ribbon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "render_fake_host.h"

namespace {

// --- SampleSource -------------------------------------------------------------------------------

// A 2 x 2 source: red, green on the top row; blue, white on the bottom one. Rows are padded.
template <typename Pixel>
struct Source2x2 {
  std::vector<unsigned char> bytes;
  PF_LayerDef world{};
  explicit Source2x2(A_u_short full) {
    world.width = 2;
    world.height = 2;
    world.rowbytes = 2 * static_cast<A_long>(sizeof(Pixel)) + 8;
    world.world_flags = sizeof(Pixel) == sizeof(PF_Pixel16) ? PF_WorldFlag_DEEP : 0;
    bytes.assign(static_cast<size_t>(world.rowbytes * 2), 0xFF);
    world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
    using C = decltype(Pixel{}.alpha);
    const C f = static_cast<C>(full);
    At(0, 0) = {f, f, 0, 0};
    At(1, 0) = {f, 0, f, 0};
    At(0, 1) = {f, 0, 0, f};
    At(1, 1) = {f, f, f, f};
  }
  Pixel& At(int c, int r) { return reinterpret_cast<Pixel*>(bytes.data() + r * world.rowbytes)[c]; }
};

void ExpectColour(const LWD_Color& c, float r, float g, float b, float a, const char* where) {
  EXPECT_NEAR(c.red, r, 1e-6) << where;
  EXPECT_NEAR(c.green, g, 1e-6) << where;
  EXPECT_NEAR(c.blue, b, 1e-6) << where;
  EXPECT_NEAR(c.alpha, a, 1e-6) << where;
}

TEST(SampleSourceTest, BilinearBetweenTexelCentres8Bit) {
  Source2x2<PF_Pixel> src(255);
  ExpectColour(SampleSource(src.world, 0.5, 0.5), 1, 0, 0, 1, "red centre");
  ExpectColour(SampleSource(src.world, 1.5, 1.5), 1, 1, 1, 1, "white centre");
  ExpectColour(SampleSource(src.world, 1.0, 0.5), 0.5, 0.5, 0, 1, "between red and green");
  ExpectColour(SampleSource(src.world, 1.0, 1.0), 0.5, 0.5, 0.5, 1, "middle of all four");
}

TEST(SampleSourceTest, ClampsToTheEdges) {
  Source2x2<PF_Pixel> src(255);
  ExpectColour(SampleSource(src.world, -40.0, -3.0), 1, 0, 0, 1, "above left");
  ExpectColour(SampleSource(src.world, 9.0, 0.5), 0, 1, 0, 1, "right of green");
  ExpectColour(SampleSource(src.world, 1.0, 7.0), 0.5, 0.5, 1, 1, "below the bottom row");
}

TEST(SampleSourceTest, SixteenBitFullScaleIsOne) {
  Source2x2<PF_Pixel16> src(32768);
  ExpectColour(SampleSource(src.world, 0.5, 1.5), 0, 0, 1, 1, "blue centre");
  ExpectColour(SampleSource(src.world, 1.0, 1.5), 0.5, 0.5, 1, 1, "between blue and white");
  ExpectColour(SampleSource(src.world, 5.0, 5.0), 1, 1, 1, 1, "clamped white");
}

TEST(SampleSourceTest, UnusableCoordinatesOrWorldsGiveTransparent) {
  Source2x2<PF_Pixel> src(255);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {nan, inf, -inf, 1e15, -1e15}) {
    EXPECT_EQ(SampleSource(src.world, v, 0.5).alpha, 0.0f) << "x " << v;
    EXPECT_EQ(SampleSource(src.world, 0.5, v).alpha, 0.0f) << "y " << v;
  }
  PF_LayerDef none{};
  EXPECT_EQ(SampleSource(none, 0.5, 0.5).alpha, 0.0f);
}

// --- RasterizeRibbon over a straight mask
// ---------------------------------------------------------

constexpr PF_PathID kLine = 7;

// A horizontal mask from (50, 100) to (250, 100), drawn left to right, in a 300 x 200 output.
struct StraightRibbon : ::testing::Test {
  FakeRenderHost host;
  PF_UtilCallbacks utils{};
  PF_InData in{};
  LWD_PathWalk walk;
  LWD_RenderInputs inputs;
  std::vector<LWD_Accum> accum;

  void SetUp() override {
    g_fakeHost = &host;
    host.masks[kLine].points = {{50.0, 100.0}, {250.0, 100.0}};
    in = MakeFakeInData(&utils);
    inputs.outputWidth = 300;
    inputs.outputHeight = 200;
    inputs.thickness = 40.0;
  }
  void TearDown() override { g_fakeHost = nullptr; }

  LWD_RenderSettings Settings() {
    LWD_RenderSettings s = DeriveRenderSettings(inputs, 200.0);
    s.boxX0 = 0;
    s.boxY0 = 0;
    s.boxWidth = 300;
    s.boxHeight = 200;
    return s;
  }

  PF_Err Run(const LWD_RenderSettings& s, const PF_LayerDef& source) {
    AEGP_SuiteHandler suites(&g_fakeBasic);
    PF_PathOutlinePtr outline = reinterpret_cast<PF_PathOutlinePtr>(&host.masks[kLine]);
    EXPECT_EQ(BuildPathWalk(&in, suites, outline, walk), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(walk.totalLength, 200.0);
    accum.assign(static_cast<size_t>(s.boxWidth * s.boxHeight), LWD_Accum{});
    const PF_Err err =
        RasterizeRibbon(&in, suites, s, outline, walk, source, accum.data(), nullptr);
    EXPECT_EQ(ReleasePathWalk(&in, suites, outline, walk, PF_Err_NONE), PF_Err_NONE);
    return err;
  }

  const LWD_Accum& Cell(int x, int y) const { return accum[static_cast<size_t>(y * 300 + x)]; }

  double TotalWeight() const {
    double sum = 0.0;
    for (const auto& c : accum)
      sum += c.weight;
    return sum;
  }
};

TEST_F(StraightRibbon, CrossSectionsHaveMPlusTwoPoints) {
  const LWD_RenderSettings s = Settings();
  ASSERT_EQ(s.alongSteps, 400);
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  // W = 40 at step 0.5: M = 80, 82 points of weight spacing x step per cross-section. Samples
  // 0 to 400 stand for 0.5 px of path each, and sample 401 repeats the end (spacing 0.125).
  const double expected = 82 * 0.5 * (401 * 0.5 + 0.125);
  EXPECT_NEAR(TotalWeight(), expected, 0.01);
  // Inside the ribbon every pixel collects one pixel's worth of area.
  for (int y = 82; y <= 117; ++y) {
    EXPECT_NEAR(Cell(150, y).weight, 1.0, 1e-4) << "row " << y;
  }
  EXPECT_EQ(Cell(150, 78).weight, 0.0f);
  EXPECT_EQ(Cell(150, 121).weight, 0.0f);
}

TEST_F(StraightRibbon, WidthFollowsStartAndEndWidths) {
  inputs.endWidth = 50.0;
  ASSERT_EQ(Run(Settings(), PF_LayerDef{}), PF_Err_NONE);
  // Rows a column touches: the edges lie at 100 -+ W / 2, and a splat reaches half a pixel out.
  const auto touched = [&](int x, int* first, int* last) {
    *first = -1;
    *last = -1;
    for (int y = 0; y < 200; ++y) {
      if (Cell(x, y).weight > 0.0f) {
        if (*first < 0)
          *first = y;
        *last = y;
      }
    }
  };
  int first = 0;
  int last = 0;
  touched(150, &first, &last);  // t = 0.5: W = (1 - 0.5 x 0.5) x 40 = 30
  EXPECT_EQ(first, 84);
  EXPECT_EQ(last, 115);
  touched(250, &first, &last);  // t = 1: W = 20
  EXPECT_EQ(first, 89);
  EXPECT_EQ(last, 110);
}

TEST_F(StraightRibbon, SourceTopRowLiesOnTheUpperEdge) {
  Source2x2<PF_Pixel> src(255);  // red / green above, blue / white below
  inputs.sourceEmpty = false;
  inputs.sourceWidth = 2;
  inputs.sourceHeight = 2;
  ASSERT_EQ(Run(Settings(), src.world), PF_Err_NONE);
  const LWD_Accum& top = Cell(60, 82);
  const LWD_Accum& bottom = Cell(60, 117);
  ASSERT_GT(top.weight, 0.0f);
  ASSERT_GT(bottom.weight, 0.0f);
  EXPECT_NEAR(top.r / top.weight, 1.0, 1e-5);
  EXPECT_NEAR(top.b / top.weight, 0.0, 1e-5);
  EXPECT_NEAR(bottom.b / bottom.weight, 1.0, 1e-5);
  EXPECT_NEAR(bottom.r / bottom.weight, 0.0, 1e-5);

  // A negative thickness mirrors the source across the ribbon.
  inputs.thickness = -40.0;
  ASSERT_EQ(Run(Settings(), src.world), PF_Err_NONE);
  EXPECT_NEAR(Cell(60, 82).b / Cell(60, 82).weight, 1.0, 1e-5);
}

TEST_F(StraightRibbon, PollsEvery64SamplesAndIsDeterministic) {
  const LWD_RenderSettings s = Settings();
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  EXPECT_EQ(host.abortCalls, 7);
  EXPECT_EQ(host.progressCalls, (std::vector<A_long>{0, 64, 128, 192, 256, 320, 384}));
  const std::vector<LWD_Accum> first = accum;

  // Without the host's callbacks the ribbon is the same, to the bit.
  in.inter.abort = nullptr;
  in.inter.progress = nullptr;
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  ASSERT_EQ(first.size(), accum.size());
  EXPECT_EQ(std::memcmp(first.data(), accum.data(), first.size() * sizeof(LWD_Accum)), 0);
}

TEST_F(StraightRibbon, AbortEndsTheWalkAfterSampleZero) {
  host.abortResult = PF_Interrupt_CANCEL;
  const LWD_RenderSettings s = Settings();
  EXPECT_EQ(Run(s, PF_LayerDef{}), PF_Interrupt_CANCEL);
  EXPECT_EQ(host.abortCalls, 1);
  EXPECT_TRUE(host.progressCalls.empty());
  // Only the first cross-section was laid: 82 points of 0.5 x 0.5.
  EXPECT_NEAR(TotalWeight(), 82 * 0.25, 1e-4);
}

TEST_F(StraightRibbon, DepthCopiesGoToTheirOwnBuffer) {
  inputs.depth = 3.0;  // 4 copies, the last one 3 px along the depth direction (down)
  inputs.depthShade = 50.0;
  const LWD_RenderSettings s = Settings();
  ASSERT_EQ(s.depthSteps, 4);
  AEGP_SuiteHandler suites(&g_fakeBasic);
  PF_PathOutlinePtr outline = reinterpret_cast<PF_PathOutlinePtr>(&host.masks[kLine]);
  ASSERT_EQ(BuildPathWalk(&in, suites, outline, walk), PF_Err_NONE);
  accum.assign(300 * 200, LWD_Accum{});
  std::vector<LWD_Accum> depth(300 * 200, LWD_Accum{});
  ASSERT_EQ(
      RasterizeRibbon(&in, suites, s, outline, walk, PF_LayerDef{}, accum.data(), depth.data()),
      PF_Err_NONE);
  ReleasePathWalk(&in, suites, outline, walk, PF_Err_NONE);
  double front = 0.0;
  double back = 0.0;
  for (size_t i = 0; i < accum.size(); ++i) {
    front += accum[i].weight;
    back += depth[i].weight;
  }
  EXPECT_NEAR(back, 4.0 * front, 0.05);
  // Below the front's lower edge only the extrusion reaches; it is darkened, alpha kept.
  const LWD_Accum& below = depth[static_cast<size_t>(122 * 300 + 150)];
  ASSERT_GT(below.weight, 0.0f);
  EXPECT_EQ(accum[static_cast<size_t>(122 * 300 + 150)].weight, 0.0f);
  EXPECT_NEAR(below.r / below.a, 0.5, 1e-5);
}

}  // namespace
