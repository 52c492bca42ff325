// SVG path data read into masks: every command in both cases, the smooth reflections, the
// closing point, and the errors a scene author can make.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "masks/svg_path.h"

namespace lwhost {
namespace {

void ExpectVec(Vec2 got, double x, double y, const std::string& what) {
  EXPECT_NEAR(got.x, x, 1e-12) << what;
  EXPECT_NEAR(got.y, y, 1e-12) << what;
}

void ExpectSameMask(const Mask& a, const Mask& b, const std::string& what) {
  ASSERT_EQ(a.vertices.size(), b.vertices.size()) << what;
  EXPECT_EQ(a.closed, b.closed) << what;
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    const std::string at = what + ", vertex " + std::to_string(i);
    ExpectVec(a.vertices[i].point, b.vertices[i].point.x, b.vertices[i].point.y, at);
    ExpectVec(a.vertices[i].inTangent, b.vertices[i].inTangent.x, b.vertices[i].inTangent.y, at);
    ExpectVec(a.vertices[i].outTangent, b.vertices[i].outTangent.x, b.vertices[i].outTangent.y, at);
  }
}

// Every command once, absolute; then the same path written with relative commands.
const char* kAbsolute =
    "M 10 20 L 30 40 H 50 V 60 C 70 60 80 70 80 80 S 100 100 110 90 Q 120 80 130 90 T 150 90";
const char* kRelative =
    "m 10 20 l 20 20 h 20 v 20 c 20 0 30 10 30 20 s 20 20 30 10 q 10 -10 20 0 t 20 0";

TEST(SvgPathTest, EveryCommandBuildsTheExpectedVerticesAndTangents) {
  const Mask m = ParseSvgPath(kAbsolute);
  EXPECT_FALSE(m.closed);
  ASSERT_EQ(m.vertices.size(), 8u);
  const std::vector<Vec2> points = {{10, 20}, {30, 40},  {50, 40},  {50, 60},
                                    {80, 80}, {110, 90}, {130, 90}, {150, 90}};
  for (size_t i = 0; i < points.size(); ++i) {
    ExpectVec(m.vertices[i].point, points[i].x, points[i].y, "vertex " + std::to_string(i));
  }
  // Lines have no tangents.
  ExpectVec(m.vertices[1].inTangent, 0, 0, "L");
  ExpectVec(m.vertices[2].outTangent, 0, 0, "H");
  // C: out of (50, 60) towards (70, 60), into (80, 80) from (80, 70).
  ExpectVec(m.vertices[3].outTangent, 20, 0, "C first control");
  ExpectVec(m.vertices[4].inTangent, 0, -10, "C second control");
  // S reflects the previous second control (80, 70) about (80, 80): (80, 90).
  ExpectVec(m.vertices[4].outTangent, 0, 10, "S reflected control");
  ExpectVec(m.vertices[5].inTangent, -10, 10, "S second control");
  // Q from (110, 90) over (120, 80) to (130, 90): cubic controls 2/3 of the way to the control.
  ExpectVec(m.vertices[5].outTangent, 20.0 / 3, -20.0 / 3, "Q as cubic, first");
  ExpectVec(m.vertices[6].inTangent, -20.0 / 3, -20.0 / 3, "Q as cubic, second");
  // T reflects (120, 80) about (130, 90): control (140, 100).
  ExpectVec(m.vertices[6].outTangent, 20.0 / 3, 20.0 / 3, "T reflected control");
  ExpectVec(m.vertices[7].inTangent, -20.0 / 3, 20.0 / 3, "T second");
}

TEST(SvgPathTest, RelativeCommandsGiveTheSameMaskAsAbsoluteOnes) {
  ExpectSameMask(ParseSvgPath(kRelative), ParseSvgPath(kAbsolute), "relative form");
  ExpectSameMask(ParseSvgPath("M10,20L30,40H50V60C70,60,80,70,80,80"),
                 ParseSvgPath("M 10 20 L 30 40 H 50 V 60 C 70 60 80 70 80 80"), "compact form");
  ExpectSameMask(ParseSvgPath("M.5.5l1e1-2E0"), ParseSvgPath("M 0.5 0.5 L 10.5 -1.5"),
                 "numbers run together");
}

TEST(SvgPathTest, ExtraNumbersRepeatTheCommandAndAMoveRepeatsAsLines) {
  ExpectSameMask(ParseSvgPath("M 0 0 10 0 10 10"), ParseSvgPath("M 0 0 L 10 0 L 10 10"), "M");
  ExpectSameMask(ParseSvgPath("m 5 5 10 0 0 10"), ParseSvgPath("M 5 5 L 15 5 L 15 15"), "m");
  ExpectSameMask(ParseSvgPath("M 0 0 h 1 2 v 3 4"), ParseSvgPath("M 0 0 H 1 H 3 V 3 V 7"),
                 "h and v");
}

TEST(SvgPathTest, SmoothCommandsWithoutAMatchingPredecessorStartAtTheCurrentPoint) {
  // S after a line: its first control is the current point, so no out tangent.
  const Mask s = ParseSvgPath("M 0 0 L 10 0 S 20 10 30 0");
  ExpectVec(s.vertices[1].outTangent, 0, 0, "S after L");
  // T after a cubic: control at the current point, the segment is the straight line.
  const Mask t = ParseSvgPath("M 0 0 C 0 10 10 10 10 0 T 40 0");
  ExpectVec(t.vertices[1].outTangent, 0, 0, "T after C");
  ExpectVec(t.vertices[2].inTangent, -20, 0, "T after C");
}

TEST(SvgPathTest, CloseDropsARepeatedFirstPoint) {
  const Mask open = ParseSvgPath("M 0 0 L 10 0 L 10 10");
  EXPECT_FALSE(open.closed);
  const Mask closed = ParseSvgPath("M 0 0 L 10 0 L 10 10 Z");
  EXPECT_TRUE(closed.closed);
  EXPECT_EQ(closed.vertices.size(), 3u);
  const Mask repeated = ParseSvgPath("M 0 0 L 10 0 L 10 10 L 0 0 z");
  EXPECT_TRUE(repeated.closed);
  EXPECT_EQ(repeated.vertices.size(), 3u) << "the repeated point would be a zero-length segment";
  // A curve back onto the first point hands its arriving tangent to the first vertex.
  const Mask curved = ParseSvgPath("M 0 0 L 10 0 C 10 10 5 5 0 0 Z");
  ASSERT_EQ(curved.vertices.size(), 2u);
  ExpectVec(curved.vertices[0].inTangent, 5, 5, "arriving tangent kept");
  ExpectVec(curved.vertices[1].outTangent, 0, 10, "leaving tangent of the curve's start");
  // Relative steps that only come back to the start up to rounding still close cleanly.
  const Mask relative = ParseSvgPath("m 0.1 0.1 l 0.2 0 l -0.1 0.3 l -0.1 -0.3 z");
  EXPECT_EQ(relative.vertices.size(), 3u);
  // A lone move that is closed is a one-vertex closed mask.
  const Mask dot = ParseSvgPath("M 4 4 Z");
  EXPECT_TRUE(dot.closed);
  EXPECT_EQ(MaskSegmentCount(dot), 1);
}

struct BadPath {
  const char* data;
  std::vector<std::string> mentions;  // pieces the message must contain
  size_t offset;
};

TEST(SvgPathTest, MistakesAreReportedWithTheCommandAndWhere) {
  const BadPath cases[] = {
      {"M 0 0 A 5 5 0 0 1 10 10", {"arcs are not supported", "'A'", "character 7"}, 6},
      {"M 0 0 L 3 3 a 5 5 0 0 1 10 10", {"arcs", "'a'", "character 13"}, 12},
      {"M 0 0 L 1 1 M 5 5 L 6 6", {"one subpath", "'M'", "character 13"}, 12},
      {"M 0 0 L 1 1 Z L 3 3", {"one subpath", "'L'", "character 15"}, 14},
      {"M 0 0 L 1 1 Z 4", {"unexpected number", "'Z'"}, 14},
      {"M 0 0 L 1e+ 2", {"bad number \"1e+\"", "character 9", "'L' at character 7"}, 8},
      {"M 0 0 L - 2", {"bad number \"-\"", "'L'"}, 8},
      {"M 0 0 C 1 2 3 x 5 6", {"bad number \"x\"", "'C'"}, 14},
      {"M 1e999 0", {"bad number \"1e999\""}, 2},
      {"M 0 0 L 1", {"'L' at character 7 needs 2 numbers", "ends after 1"}, 9},
      {"L 0 0 L 1 1", {"must start with 'M'", "'L' at character 1"}, 0},
      {"10 10", {"must start with 'M'"}, 0},
      {"M 0 0 X 1 1", {"unknown command 'X'", "character 7"}, 6},
      {"   ", {"no path data"}, 0},
  };
  for (const BadPath& c : cases) {
    try {
      ParseSvgPath(c.data);
      ADD_FAILURE() << "no error for \"" << c.data << "\"";
    } catch (const SvgPathError& e) {
      const std::string message = e.what();
      for (const std::string& piece : c.mentions) {
        EXPECT_NE(message.find(piece), std::string::npos)
            << "\"" << c.data << "\" gave: " << message << "; expected it to mention " << piece;
      }
      EXPECT_EQ(e.offset(), c.offset) << "\"" << c.data << "\" gave: " << message;
    }
  }
}

}  // namespace
}  // namespace lwhost
