// `lathewind graph` run as a process: the drawn control, clicks and drags in command-line order,
// the scene saved with the edited curve, and usage errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadBytes;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;

struct Rgb {
  int r, g, b;
};
// The graph's colours as 8-bit values (components x 255, to within rounding).
constexpr Rgb kBackground = {33, 33, 33};
constexpr Rgb kMarker = {255, 184, 26};

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

// An opaque pixel of the given colour, to within one level.
::testing::AssertionResult IsColour(const PngSamples& png, uint32_t x, uint32_t y, Rgb want) {
  const int r = png.At(x, y, 0), g = png.At(x, y, 1), b = png.At(x, y, 2), a = png.At(x, y, 3);
  if (std::abs(r - want.r) <= 1 && std::abs(g - want.g) <= 1 && std::abs(b - want.b) <= 1 &&
      a == 255) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "pixel " << x << ", " << y << " is " << r << " " << g << " " << b << " alpha " << a
         << ", expected " << want.r << " " << want.g << " " << want.b;
}

// The curve a saved scene holds: its "Width Graph" list of points, as count and x, y values;
// count -1 when the scene holds no list of points there.
struct SavedCurve {
  int count = -1;
  double x[12] = {};
  double y[12] = {};
};
SavedCurve CurveOf(const std::string& sceneText) {
  SavedCurve curve;
  const nlohmann::json scene = nlohmann::json::parse(sceneText, nullptr, false);
  if (!scene.is_object() || !scene.contains("params") || !scene["params"].is_object() ||
      !scene["params"].contains("Width Graph") || !scene["params"]["Width Graph"].is_array()) {
    return curve;
  }
  const nlohmann::json& points = scene["params"]["Width Graph"];
  curve.count = static_cast<int>(points.size());
  for (size_t i = 0; i < points.size() && i < 12; ++i) {
    curve.x[i] = points[i][0].get<double>();
    curve.y[i] = points[i][1].get<double>();
  }
  return curve;
}

TEST(GraphCommandTest, DefaultCurveIsALineAlongTheTopWithMarkersAtBothEnds) {
  TempFolder dir;
  const Outcome o = RunLathewind({"graph"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_EQ(o.err, "") << "every event gave back what it took";
  const PngSamples png = ReadPngSamples(dir / "graph.png");
  ASSERT_EQ(png.width, 220u);
  ASSERT_EQ(png.height, 150u);
  EXPECT_TRUE(IsColour(png, 1, 148, kBackground)) << "inside the bottom-left corner";
  // The graph starts half a pixel in: the corner pixel is only a quarter covered.
  EXPECT_LT(png.At(0, 149, 3), 128u);
  for (uint32_t x = 10; x < 210; x += 20) {
    EXPECT_GT(png.At(x, 0, 0), 200u) << "the flat curve along the top edge at column " << x;
    EXPECT_FALSE(IsColour(png, x, 40, {230, 230, 230})) << "no curve below the top, column " << x;
  }
  EXPECT_TRUE(IsColour(png, 1, 1, kMarker)) << "point (0, 1)";
  EXPECT_TRUE(IsColour(png, 218, 1, kMarker)) << "point (1, 1)";
  EXPECT_FALSE(IsColour(png, 110, 75, kMarker)) << "no point in the middle yet";
}

TEST(GraphCommandTest, ClickInTheMiddleAddsAPointThatIsDrawnAndSaved) {
  TempFolder dir;
  // The other keys of the scene must survive the save untouched.
  WriteText(dir / "scene.json",
            R"({"layer": {"width": 64, "height": 32}, "params": {"Taper Start": 18}})");
  const Outcome o = RunLathewind(
      {"graph", "scene.json", "--click", "110,75", "-o", "edited.png", "--save", "saved.json"},
      dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(IsColour(ReadPngSamples(dir / "edited.png"), 110, 75, kMarker));

  const std::string saved = ReadBytes(dir / "saved.json");
  EXPECT_NE(saved.find("\"Taper Start\": 18"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\"width\": 64"), std::string::npos) << saved;
  const SavedCurve curve = CurveOf(saved);
  ASSERT_EQ(curve.count, 3) << saved;
  const float wantX[3] = {0.0f, 0.5f, 1.0f};
  const float wantY[3] = {1.0f, 0.5f, 1.0f};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(curve.x[i], wantX[i], 1e-6) << "point " << i;
    EXPECT_NEAR(curve.y[i], wantY[i], 1e-6) << "point " << i;
  }

  // The edit changed the curve and nothing else: the rest of the file is kept byte for byte.
  EXPECT_EQ(saved, R"({"layer": {"width": 64, "height": 32}, "params": {"Taper Start": 18, )"
                   R"("Width Graph": [[0, 1], [0.5, 0.5], [1, 1]]}})");

  // The saved scene draws the very same control.
  const Outcome again = RunLathewind({"graph", "saved.json", "-o", "again.png"}, dir.path());
  ASSERT_EQ(again.exitCode, 0) << Describe(again);
  EXPECT_EQ(ReadBytes(dir / "again.png"), ReadBytes(dir / "edited.png"));
}

TEST(GraphCommandTest, ClicksAndDragsAreSentInTheOrderGiven) {
  TempFolder dir;
  // Click adds the middle point, the drag moves it up and to the right.
  const Outcome moved = RunLathewind(
      {"graph", "--click", "110,75", "--drag", "150,20", "-o", "moved.png", "--save", "moved.json"},
      dir.path());
  ASSERT_EQ(moved.exitCode, 0) << Describe(moved);
  const PngSamples png = ReadPngSamples(dir / "moved.png");
  EXPECT_TRUE(IsColour(png, 150, 20, kMarker)) << "the marker follows the drag";
  EXPECT_FALSE(IsColour(png, 110, 75, kMarker)) << "and left the click's place";
  const SavedCurve curve = CurveOf(ReadBytes(dir / "moved.json"));
  ASSERT_EQ(curve.count, 3);
  EXPECT_NEAR(curve.x[1], 149.5 / 219, 1e-6);
  EXPECT_NEAR(curve.y[1], 1 - 19.5 / 149, 1e-6);

  // The same options the other way round: the drag comes first, with nothing picked, and does
  // nothing.
  const Outcome reversed = RunLathewind(
      {"graph", "--drag", "150,20", "--click", "110,75", "-o", "reversed.png"}, dir.path());
  ASSERT_EQ(reversed.exitCode, 0) << Describe(reversed);
  const PngSamples other = ReadPngSamples(dir / "reversed.png");
  EXPECT_TRUE(IsColour(other, 110, 75, kMarker));
  EXPECT_FALSE(IsColour(other, 150, 20, kMarker));
}

TEST(GraphCommandTest, SavingWithoutAnEditKeepsAKeyframedCurve) {
  TempFolder dir;
  const std::string scene =
      R"({"params": {"Width Graph": {"keys": [[0, [[0, 1], [1, 1]]], [24, [[0, 0], [1, 0]]]]}}})";
  WriteText(dir / "keyed.json", scene);
  const Outcome o = RunLathewind({"graph", "keyed.json", "--save", "same.json"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_EQ(ReadBytes(dir / "same.json"), scene) << "no event changed the curve";

  const Outcome edited = RunLathewind(
      {"graph", "keyed.json", "--click", "110,75", "--save", "edited.json"}, dir.path());
  ASSERT_EQ(edited.exitCode, 0) << Describe(edited);
  EXPECT_EQ(CurveOf(ReadBytes(dir / "edited.json")).count, 3) << "an edit replaces the keys";
}

TEST(GraphCommandTest, BadEventsAndScenesAreUsageErrorsThatWriteNothing) {
  TempFolder dir;
  WriteText(dir / "unknown.json", R"({"colour": 3})");
  const std::vector<std::vector<std::string>> commands = {
      {"graph", "--click", "3"},          {"graph", "--click", "1,x"}, {"graph", "--drag", ",5"},
      {"graph", "--click", "4,5,6"},      {"graph", "missing.json"},   {"graph", "unknown.json"},
      {"graph", "-o", "nowhere/out.png"},
  };
  for (const std::vector<std::string>& args : commands) {
    const Outcome o = RunLathewind(args, dir.path());
    EXPECT_EQ(o.exitCode, 2) << args.back() << ": " << Describe(o);
    EXPECT_FALSE(std::filesystem::exists(dir / "graph.png")) << args.back();
  }
  EXPECT_NE(RunLathewind({"graph", "unknown.json"}, dir.path()).err.find("unknown.json"),
            std::string::npos)
      << "the message names the scene file";
}

}  // namespace
