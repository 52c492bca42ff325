// Masks from SVG drawings and keyframed masks, rendered by `lathewind render` and compared with
// the same outline written out by hand; the mistakes give exit 2 with the file, place and reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;

// A 64 x 32 layer whose "Path" is the mask `mask`, rendered at `frame` to `out`.
Outcome Render(const TempFolder& dir, const std::string& mask, const std::string& out,
               const std::string& frame = "0") {
  WriteText(dir / "scene.json", R"j({"layer": {"width": 64, "height": 32}, "frames": [0, 10],
      "masks": {"spine": )j" + mask +
                                    R"j(},
      "params": {"Path": "spine", "Thickness (0 = from source)": 6}})j");
  return RunLathewind({"render", "scene.json", "-o", out, "--frames", frame, "--quiet"},
                      dir.path());
}

// Renders both masks and expects the same PNG bytes, and a ribbon in them.
void ExpectSameRender(const TempFolder& dir, const std::string& mask, const std::string& byHand,
                      const std::string& frame = "0") {
  const Outcome a = Render(dir, mask, "a.png", frame);
  ASSERT_EQ(a.exitCode, 0) << mask << ": " << a.err;
  const Outcome b = Render(dir, byHand, "b.png", frame);
  ASSERT_EQ(b.exitCode, 0) << byHand << ": " << b.err;
  const Outcome none = Render(dir, R"j({"vertices": [[0, 0]]})j", "none.png");
  ASSERT_EQ(none.exitCode, 0) << none.err;
  EXPECT_EQ(ReadBytes(dir / "a.png"), ReadBytes(dir / "b.png")) << mask << " against " << byHand;
  EXPECT_NE(ReadBytes(dir / "a.png"), ReadBytes(dir / "none.png")) << "nothing was drawn";
}

TEST(MaskFormsTest, AnSvgDrawingGivesTheOutlineWorkedOutByHand) {
  TempFolder dir;
  WriteText(dir / "drawing.svg", R"s(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 16">
      <g transform="translate(10 5)"><rect id="box" x="2" y="3" width="20" height="5"
         transform="scale(2)"/></g>
      <path id="line" d="M 2 8 L 30 8"/></svg>)s");
  // (2, 3) doubles to (4, 6) and moves to (14, 11); the far corner (22, 8) to (54, 21).
  ExpectSameRender(dir, R"j({"svgFile": "drawing.svg", "id": "box"})j",
                   R"j({"vertices": [[14, 11], [54, 11], [54, 21], [14, 21]], "closed": true})j");
  // The 32 x 16 viewBox fills the 64 x 32 layer at scale 2.
  ExpectSameRender(dir, R"j({"svgFile": "drawing.svg", "id": "line", "fit": "layer"})j",
                   R"j({"vertices": [[4, 16], [60, 16]]})j");
}

TEST(MaskFormsTest, AKeyframedMaskIsInterpolatedAtEachFrame) {
  TempFolder dir;
  // Halfway between a line at y = 8 and one at y = 24 (given as path data) is the line at 16;
  // the tangents move halfway too.
  const std::string keyed = R"j({"keys": [
      [0, {"vertices": [[4, 8], [60, 8]], "outTangents": [[20, 0], [0, 0]]}],
      [10, {"svg": "M 4 24 L 60 24"}]]})j";
  ExpectSameRender(dir, keyed,
                   R"j({"vertices": [[4, 16], [60, 16]], "outTangents": [[10, 0], [0, 0]]})j", "5");
  ExpectSameRender(dir, keyed, R"j({"svg": "M 4 24 L 60 24"})j", "10");
}

TEST(MaskFormsTest, ASubpathIsPickedByNumberAndLeftOutTheWarningCountsThem) {
  TempFolder dir;
  WriteText(dir / "two.svg", R"(<svg><path d="M 4 8 L 60 8 M 4 24 L 60 24"/></svg>)");
  const Outcome o = Render(dir, R"j({"svgFile": "two.svg"})j", "out.png");
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.err.find("scene.json: /masks/spine/svgFile: warning: two.svg: <path> has 2 "
                       "subpaths; subpath 0 is used (\"subpath\": 0 to 1 picks one)"),
            std::string::npos)
      << o.err;
  ExpectSameRender(dir, R"j({"svgFile": "two.svg", "subpath": 1})j",
                   R"j({"svg": "M 4 24 L 60 24"})j", "0");
}

TEST(MaskFormsTest, APathThatDrawsNothingIsNamedInOneWarningLine) {
  TempFolder dir;
  const Outcome lone = Render(dir, R"j({"vertices": [[3, 3]]})j", "lone.png");
  ASSERT_EQ(lone.exitCode, 0) << lone.err;
  EXPECT_EQ(lone.err,
            "lathewind: warning: \"Path\" names the mask \"spine\", which has 1 vertex and no "
            "segment, so nothing is drawn\n");
  WriteText(dir / "unset.json", R"j({"layer": {"width": 8, "height": 8}})j");
  const Outcome unset =
      RunLathewind({"render", "unset.json", "-o", "u.png", "--quiet"}, dir.path());
  ASSERT_EQ(unset.exitCode, 0) << unset.err;
  EXPECT_EQ(unset.err, "lathewind: warning: \"Path\" names no mask, so nothing is drawn\n");
  const Outcome drawn = Render(dir, R"j({"svg": "M 4 24 L 60 24"})j", "drawn.png");
  EXPECT_EQ(drawn.err, "") << "a mask with a segment";
}

TEST(MaskFormsTest, BadDrawingsAndKeysAreSceneErrors) {
  TempFolder dir;
  WriteText(dir / "drawing.svg", R"(<svg><g id="group"/><path id="p" d="M 0 0 L 9 9"/></svg>)");
  WriteText(dir / "page.html", "<html><body/></html>");
  struct Case {
    std::string mask;
    std::string message;
  };
  const std::vector<Case> cases = {
      {R"j({"svgFile": "drawing.svg", "id": "spline"})j",
       "scene.json: /masks/spine/svgFile: drawing.svg: no element with id \"spline\""},
      {R"j({"svgFile": "drawing.svg", "id": "group"})j",
       "scene.json: /masks/spine/svgFile: drawing.svg: <g id=\"group\">: no geometry"},
      {R"j({"svgFile": "page.html"})j",
       "scene.json: /masks/spine/svgFile: page.html: not an SVG file: the root element is <html>"},
      {R"j({"svgFile": "missing.svg"})j", "scene.json: /masks/spine/svgFile: SVG file not found"},
      {R"j({"svgFile": "drawing.svg", "fit": "page"})j",
       "scene.json: /masks/spine/fit: expected \"none\" or \"layer\""},
      {R"j({"keys": [[0, {"svg": "M 0 0 L 9 9"}], [4, {"svgFile": "drawing.svg", "id": "p"}],
                     [8, {"svg": "M 0 0 L 9 9 Z"}]]})j",
       "scene.json: /masks/spine/keys/2/1: key 2 has 2 vertices and is closed but key 0 has 2 "
       "vertices and is open"},
      {R"j({"keys": [[0, {"svg": "M 0 0 L 9 9"}], [0, {"svg": "M 0 0 L 9 9"}]]})j",
       "scene.json: /masks/spine/keys/1/0: key frames must ascend"},
  };
  for (const Case& c : cases) {
    const Outcome o = Render(dir, c.mask, "out.png");
    EXPECT_EQ(o.exitCode, 2) << c.mask;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.mask << " gave: " << o.err;
    EXPECT_EQ(ReadBytes(dir / "out.png"), "") << c.mask;
  }
}

}  // namespace
