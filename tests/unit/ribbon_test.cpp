#include "render/ribbon.h"
#include "render/source_fetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "fake_spine_host.h"

namespace lwd {
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

// The fetch reads 8-bit channels through a table made at compile time; it must hold the very
// quotients the processor's division gives, or every textured deposit would move.
TEST(SampleSourceTest, EightBitTableIsTheRuntimeDivision) {
  volatile double scale = PF_MAX_CHAN8;  // kept from being folded at compile time
  for (int v = 0; v < 256; ++v) {
    ASSERT_EQ(lwd::fetch::Unit(static_cast<A_u_char>(v), 255.0), v / scale) << v;
  }
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

// A horizontal mask from (50, 100) to (250, 100), drawn left to right, in a 300 x 200 output.
// Tests may lay another mask and grow the box before they run.
struct StraightRibbon : ::testing::Test {
  FakeSpineHost host;
  LWD_RenderInputs inputs;
  std::vector<LWD_Accum> accum;
  int boxW = 300;
  int boxH = 200;

  void SetUp() override {
    host.points = {{50.0, 100.0}, {250.0, 100.0}};
    inputs.outputWidth = 300;
    inputs.outputHeight = 200;
    inputs.thickness = 40.0;
  }

  LWD_RenderSettings Settings(double pathLength = 200.0) {
    inputs.outputWidth = boxW;
    inputs.outputHeight = boxH;
    LWD_RenderSettings s = DeriveRenderSettings(inputs, pathLength);
    s.boxX0 = 0;
    s.boxY0 = 0;
    s.boxWidth = boxW;
    s.boxHeight = boxH;
    return s;
  }

  PF_Err Run(const LWD_RenderSettings& s, const PF_LayerDef& source) {
    EXPECT_DOUBLE_EQ(host.TotalLength(), s.pathLength);
    accum.assign(static_cast<size_t>(s.boxWidth * s.boxHeight), LWD_Accum{});
    return RasterizeRibbon(host, s, source, accum.data(), nullptr);
  }

  const LWD_Accum& Cell(int x, int y) const { return accum[static_cast<size_t>(y * boxW + x)]; }

  // Red over weight of a cell: the cell's average red.
  double Red(int x, int y) const { return Cell(x, y).r / Cell(x, y).weight; }

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
  accum.assign(300 * 200, LWD_Accum{});
  std::vector<LWD_Accum> depth(300 * 200, LWD_Accum{});
  ASSERT_EQ(RasterizeRibbon(host, s, PF_LayerDef{}, accum.data(), depth.data()), PF_Err_NONE);
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

// --- Turns, jumps, bank, shading and tiling --------------------------------------------------
// Masks below lie on pixel centres (integer + 0.5), so a ribbon point falls on a centre or midway
// between two, and a cell's average is taken over points placed symmetrically around its centre.

constexpr double kPi = 3.141592653589793;

// Sum of |off| over one cross-section of W = 40 at step 0.5: offsets -20, -19.5, ..., +20 and +20
// again (M + 2 = 82 points).
constexpr double kSumAbsOffsetW40 = 840.0;
// The same for W = 400: -200, ..., +200 and +200 again (802 points).
constexpr double kSumAbsOffsetW400 = 80400.0;

// Weight laid by the fan of a turn: n normals, |off| x delta x step per point.
double FanWeight(double turn, int n, double sumAbsOffset, double step) {
  const double delta = turn / (n + 1);
  return n * delta * sumAbsOffset * step;
}

TEST_F(StraightRibbon, RightAngleCornerFansOverTheOuterSide) {
  // Right, then down: a 90 degree turn at (150.5, 100.5) after 100 px; W = 40.
  host.points = {{50.5, 100.5}, {150.5, 100.5}, {150.5, 200.5}};
  boxH = 300;
  const LWD_RenderSettings s = Settings();
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);

  // Fan count c = trunc(|dphi| W 0.5 / step) = trunc(62.83) = 62.
  const int n = static_cast<int>(kPi / 2 * 40.0 * 0.5 / 0.5);
  ASSERT_EQ(n, 62);
  // Samples 0 to 400 stand for 0.5 px each, the repeated end for 0.125 px; the fan adds its own.
  const double straight = 82 * 0.5 * (401 * 0.5 + 0.125);
  EXPECT_NEAR(TotalWeight(), straight + FanWeight(kPi / 2, n, kSumAbsOffsetW40, 0.5), 0.02);

  // The outer corner (up and right of the turn) is reached only by the fan, and covered as fully
  // as the straight parts.
  EXPECT_NEAR(Cell(160, 90).weight, 1.0, 0.05) << "outer side, 14 px from the corner";
  EXPECT_EQ(Cell(175, 85).weight, 0.0f) << "beyond the outer radius";
}

TEST_F(StraightRibbon, FanIsCappedAt512AndTheNextSampleTurnsFromItsOwnNormal) {
  // W = 400 around a right angle: c = trunc(628.3) is capped to 512 fan normals. The sample after
  // the corner measures its turn from the corner sample's normal, so it adds no second fan.
  host.points = {{200.5, 300.5}, {500.5, 300.5}, {500.5, 600.5}};
  inputs.thickness = 400.0;
  boxW = 800;
  boxH = 700;
  const LWD_RenderSettings s = Settings(600.0);
  ASSERT_EQ(s.alongSteps, 1200);
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  ASSERT_GT(static_cast<int>(kPi / 2 * 400.0 * 0.5 / 0.5), 512);
  const double straight = 802 * 0.5 * (1201 * 0.5 + 0.125);
  EXPECT_NEAR(TotalWeight(), straight + FanWeight(kPi / 2, 512, kSumAbsOffsetW400, 0.5), 1.0);
}

TEST_F(StraightRibbon, JumpCapsTheSpacingAtFourStepsAndDrawsNoFan) {
  // Two pieces that do not meet: right along y = 100.5, then down from (200.5, 140.5). The first
  // sample of the second piece lies 64 px from the last of the first.
  host.points = {{50.5, 100.5}, {150.5, 100.5}, {200.5, 140.5}, {200.5, 240.5}};
  host.disjoint = true;
  boxH = 300;
  const LWD_RenderSettings s = Settings();
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  // 400 samples of 0.5 px, the jump's capped 4 x 0.5 px, the repeated end's 0.125 px; the 90
  // degree change of direction across the jump fans nothing.
  const double expected = 82 * 0.5 * (400 * 0.5 + 4 * 0.5 + 0.125);
  EXPECT_NEAR(TotalWeight(), expected, 0.02);
  // The outer corner of the turn that is not there stays empty.
  EXPECT_EQ(Cell(215, 130).weight, 0.0f);
}

// The walk jumps over samples far out of the box's reach. Out along x = 250.5, a turn a
// thousand pixels above the output, back down with a 45 degree kink on the way: drawn with the
// margin the bounds scan would give (jumps) and with none (every sample evaluated), the buffers
// must be the same to the bit. Bank 90 degrees with Auto Bank leaves no width (nothing drawn, no
// normal kept) from the middle of the kink to just above the output, so a jump from before the
// kink lands without a width: the next fan must turn from the kink's normal, found in the run
// jumped over, or the first sample with a width again would draw no fan where it should.
TEST_F(StraightRibbon, JumpsOverSamplesOutOfReachChangeNoBit) {
  host.points = {{20.5, 100.5},   {250.5, 100.5}, {250.5, -900.5}, {120.5, -900.5},
                 {120.5, -500.5}, {20.5, -400.5}, {20.5, 150.5}};
  const double length = 230.0 + 1001.0 + 130.0 + 400.0 + std::hypot(100.0, 100.0) + 551.0;
  for (const bool bankZone : {false, true}) {
    if (bankZone) {
      inputs.bank = 90 << 16;
      inputs.autoBank = 100.0;
      inputs.flatPosition = 84.146;  // no width from the kink's middle down to y = -5
      inputs.flatWidth = 19.03;
      inputs.bankFalloff = 0.0;  // the width comes back at once: the first sample fans
    }
    LWD_RenderSettings s = Settings(length);
    ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
    const std::vector<LWD_Accum> everySample = accum;
    const int evaluatedAll = host.evaluations;
    ASSERT_GT(TotalWeight(), 1000.0) << "the legs in the output are drawn";

    s.boundsMargin = 0.5 * s.thicknessClamped * MaxWidthFactor(s) + s.depth + 2.0;
    host.evaluations = 0;
    ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
    if (!bankZone) {  // in the zone each landing looks back for the last normal
      EXPECT_LT(host.evaluations * 2, evaluatedAll) << "most of the far samples are jumped over";
    }
    ASSERT_EQ(accum.size(), everySample.size());
    EXPECT_EQ(std::memcmp(accum.data(), everySample.data(), accum.size() * sizeof(LWD_Accum)), 0)
        << (bankZone ? "with" : "without") << " the zone without width";
    host.evaluations = 0;
  }
}

// A mask handed over in two pieces that do not meet: the first far above the output, the second
// across it. No jump may carry the walk over the break into the second piece.
TEST_F(StraightRibbon, JumpsStopAtABreakInThePath) {
  host.points = {{150.5, -3000.5}, {150.5, -2000.5}, {20.5, 100.5}, {280.5, 100.5}};
  host.disjoint = true;
  LWD_RenderSettings s = Settings(1000.0 + 260.0);
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  const std::vector<LWD_Accum> everySample = accum;
  ASSERT_GT(TotalWeight(), 1000.0);
  s.boundsMargin = 0.5 * s.thicknessClamped * MaxWidthFactor(s) + s.depth + 2.0;
  ASSERT_EQ(Run(s, PF_LayerDef{}), PF_Err_NONE);
  EXPECT_EQ(std::memcmp(accum.data(), everySample.data(), accum.size() * sizeof(LWD_Accum)), 0);
}

// Flat and Tube shading with the light along the ribbon's normal (Light Direction 180 degrees
// points down the screen, and so does N of a mask drawn left to right).
struct ShadedRibbon : StraightRibbon {
  void SetUp() override {
    StraightRibbon::SetUp();
    host.points = {{50.5, 100.5}, {250.5, 100.5}};
    inputs.shading = 100.0;
    inputs.lightDirection = 180 << 16;
  }
};

// lambda of the Flat surface tilted by tau, lit along N.
double FlatLight(double tau) {
  return std::max(0.0, 0.707 * std::cos(tau) + 0.707 * std::sin(tau));
}

TEST_F(ShadedRibbon, FlatTiltIsAtLeast35DegreesEachWay) {
  const double tilt35 = 35.0 * kPi / 180.0;
  const struct {
    int bankDegrees;
    double lambda;
  } cases[] = {
      {10, FlatLight(tilt35)},            // lit as if tilted by +35 degrees: 0.9847
      {-10, FlatLight(-tilt35)},          // and by -35 degrees: 0.1736
      {0, FlatLight(tilt35)},             // facing the viewer counts as positive
      {60, FlatLight(60.0 * kPi / 180)},  // beyond 35 degrees the bank itself: 0.9658
  };
  inputs.surface = LWD_SURFACE_FLAT;
  for (const auto& c : cases) {
    inputs.bank = c.bankDegrees << 16;
    ASSERT_EQ(Run(Settings(), PF_LayerDef{}), PF_Err_NONE);
    EXPECT_NEAR(Red(150, 100), c.lambda, 1e-5) << "bank " << c.bankDegrees;
    EXPECT_NEAR(Cell(150, 100).a / Cell(150, 100).weight, 1.0, 1e-5) << "alpha is not shaded";
  }
}

TEST_F(ShadedRibbon, TubeIsDarkOnItsFirstQuarterAndBrightestAtThreeQuarters) {
  // W = 40 from y = 80.5 (v = 0) to 120.5 (v = 1): row r is centred on v = (r - 80) / 40.
  ASSERT_EQ(Run(Settings(), PF_LayerDef{}), PF_Err_NONE);
  for (int row = 80; row <= 89; ++row) {
    ASSERT_GT(Cell(150, row).weight, 0.0f) << "row " << row;
    EXPECT_EQ(Cell(150, row).r, 0.0f) << "v <= 0.25 faces away from the light, row " << row;
  }
  // lambda = 0.707 (cos theta + sin theta): 0.99985 at v = 0.75 (theta = 45 degrees), 0.707 at
  // the +N edge; the neighbouring points of the cell pull the average down a little.
  EXPECT_NEAR(Red(150, 110), 0.707 * std::sqrt(2.0), 1e-3);
  EXPECT_NEAR(Red(150, 120), 0.707, 0.01);
  EXPECT_NEAR(Red(150, 100), 0.707, 1e-3) << "v = 0.5 faces the viewer";
}

TEST_F(ShadedRibbon, AutoBankKeepsAFlatZoneAndTwistsOppositeWaysOutsideIt) {
  // Auto Bank 100, Flat Position 50, Flat Width 20, Bank Falloff 35, Bank 0, on a 200 px path
  // from x = 50.5: column x is centred on t = (x - 50) / 200.
  inputs.autoBank = 100.0;
  inputs.flatPosition = 50.0;
  inputs.flatWidth = 20.0;
  inputs.bankFalloff = 35.0;
  inputs.surface = LWD_SURFACE_FLAT;
  ASSERT_EQ(Run(Settings(), PF_LayerDef{}), PF_Err_NONE);

  // In the flat zone the full width: rows 80 to 120.
  EXPECT_GT(Cell(150, 80).weight, 0.0f);
  EXPECT_GT(Cell(150, 120).weight, 0.0f);
  // Before t = 0.05 and after t = 0.95 the twist is a full quarter turn: |cos| ~ 0, nothing.
  double outside = 0.0;
  for (int x = 0; x < 300; ++x) {
    if (x >= 60 && x < 240)
      continue;
    for (int y = 0; y < 200; ++y)
      outside += Cell(x, y).weight;
  }
  EXPECT_EQ(outside, 0.0);

  // At t = 0.8: f = smoothstep((0.3 - 0.1) / 0.35), beta = +f x 90 degrees; the width shrinks by
  // |cos beta| and the tilt toward the light brightens it.
  const double f = 0.2 / 0.35;
  const double beta = f * f * (3.0 - 2.0 * f) * kPi / 2;
  EXPECT_EQ(Cell(210, 85).weight, 0.0f) << "narrowed to " << 40 * std::cos(beta);
  EXPECT_NEAR(Red(210, 100), FlatLight(beta), 2e-3);
  // At t = 0.2 the same twist the other way faces away from the light.
  ASSERT_GT(Cell(90, 100).weight, 0.0f);
  EXPECT_EQ(Cell(90, 100).r, 0.0f);
  EXPECT_EQ(Cell(90, 85).weight, 0.0f);
}

TEST_F(StraightRibbon, TileWrapsAlongThePathFromTheOffset) {
  // A 100 x 1 source whose red is its column (8 bits): the sampled red is (sx - 0.5) / 255.
  std::vector<PF_Pixel> ramp(100);
  for (int c = 0; c < 100; ++c)
    ramp[static_cast<size_t>(c)] = {255, static_cast<A_u_char>(c), 0, 0};
  PF_LayerDef src{};
  src.width = 100;
  src.height = 1;
  src.rowbytes = 100 * static_cast<A_long>(sizeof(PF_Pixel));
  src.data = ramp.data();
  inputs.sourceEmpty = false;
  inputs.sourceWidth = 100;
  inputs.sourceHeight = 1;
  inputs.thickness = 4.0;
  inputs.fit = LWD_FIT_TILE;
  inputs.offset = 10.0;  // 100 px of a 1000 px path
  host.points = {{10.5, 20.5}, {1010.5, 20.5}};
  boxW = 1030;
  boxH = 40;
  ASSERT_EQ(Run(Settings(1000.0), src), PF_Err_NONE);
  // s = 30: fmod(-70, 100) = -70, wrapped to column 30. s = 250: column 50.
  EXPECT_NEAR(Red(40, 20), 29.5 / 255, 1e-6) << "s = 30";
  EXPECT_NEAR(Red(260, 20), 49.5 / 255, 1e-6) << "s = 250";
  EXPECT_NEAR(Red(940, 20), 29.5 / 255, 1e-6) << "s = 930, nine periods on";
}

}  // namespace
}  // namespace lwd
