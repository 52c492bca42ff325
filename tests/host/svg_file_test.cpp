// Masks read from SVG drawings: every shape element, transforms of the element and its
// ancestors, the viewBox fitted into the layer, and the mistakes a drawing can hold.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "masks/svg_file.h"

namespace lwhost {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kLengthTolerance = 3e-4;  // the cubic approximation of a quarter turn

double MaskLength(const Mask& mask) {
  double length = 0.0;
  for (int i = 0; i < MaskSegmentCount(mask); ++i) {
    length += BezierLength(MaskSegment(mask, i));
  }
  return length;
}

// By Simpson's rule: an independent number for the cubic approximation to meet.
double EllipsePerimeter(double rx, double ry) {
  const int steps = 20000;
  double sum = 0.0;
  for (int k = 0; k <= steps; ++k) {
    const double t = 2 * kPi * k / steps;
    const double weight = k == 0 || k == steps ? 1 : (k % 2 == 1 ? 4 : 2);
    sum += weight * std::hypot(rx * std::sin(t), ry * std::cos(t));
  }
  return sum * 2 * kPi / steps / 3;
}

SvgFileMask Read(const std::string& body, const std::string& id = "", SvgFit fit = SvgFit::kNone,
                 const std::string& rootAttributes = "") {
  const std::string text = "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" " +
                           rootAttributes + ">" + body + "</svg>";
  return MaskFromSvgText(text, {id, fit, 200.0, 100.0, std::nullopt});
}

void ExpectPoint(Vec2 got, double x, double y, const std::string& what) {
  EXPECT_NEAR(got.x, x, 1e-9) << what;
  EXPECT_NEAR(got.y, y, 1e-9) << what;
}

TEST(SvgTransformTest, EachTransformMapsAPointAsWorkedOutByHand) {
  struct Case {
    const char* transform;
    Vec2 in;
    double x, y;
  };
  const Case cases[] = {
      {"translate(10 20) rotate(90)", {1, 0}, 10, 21},  // rotated first, then moved
      {"rotate(90, 5, 5)", {10, 5}, 5, 10},
      {"scale(2,3)", {1, 1}, 2, 3},
      {"scale(2)", {1, 1}, 2, 2},
      {"skewX(45)", {0, 10}, 10, 10},
      {"skewY(45)", {10, 0}, 10, 10},
      {"matrix(1 2 3 4 5 6)", {1, 1}, 9, 12},
      {"translate(5)scale(-1,1)", {2, 7}, 3, 7},
      {"", {3, 4}, 3, 4},
  };
  for (const Case& c : cases) {
    ExpectPoint(ApplyAffine(ParseSvgTransform(c.transform), c.in), c.x, c.y, c.transform);
  }
  for (const char* bad : {"rotate(1,2)", "spin(3)", "translate(1 2", "scale(a)"}) {
    EXPECT_THROW(ParseSvgTransform(bad), SvgTransformError) << bad;
  }
}

TEST(SvgFileTest, TransformsOfTheElementAndItsAncestorsApplyInnermostFirst) {
  const SvgFileMask m = Read(
      R"s(<g transform="translate(100,0)"><g transform="scale(2)">
           <path id="p" transform="rotate(90)" d="M 1 0 C 1 1 2 1 2 0"/></g></g>)s",
      "p");
  ASSERT_EQ(m.mask.vertices.size(), 2u);
  // (1, 0) turns to (0, 1), doubles to (0, 2), moves to (100, 2); tangents only turn and scale.
  ExpectPoint(m.mask.vertices[0].point, 100, 2, "start");
  ExpectPoint(m.mask.vertices[1].point, 100, 4, "end");
  ExpectPoint(m.mask.vertices[0].outTangent, -2, 0, "out tangent (0, 1) turned and doubled");
  ExpectPoint(m.mask.vertices[1].inTangent, -2, 0, "in tangent (0, 1) turned and doubled");
  EXPECT_EQ(m.element, "<path id=\"p\">");
  EXPECT_TRUE(m.warnings.empty());
}

TEST(SvgFileTest, EveryShapeElementGivesItsOutline) {
  struct Case {
    const char* element;
    size_t vertices;
    bool closed;
    double length;
    Vec2 first;
  };
  const double rounded = 2 * 20 + 2 * 30 + 2 * kPi * 5;
  const double pill = 2 * 10 + 2 * kPi * 15;
  const Case cases[] = {
      {R"(<line id="s" x1="1" y1="2" x2="4px" y2="6"/>)", 2, false, 5, {1, 2}},
      {R"(<polyline id="s" points="0,0 3,4 3,10"/>)", 3, false, 11, {0, 0}},
      {R"(<polygon id="s" points="0 0, 3 4 0 4"/>)", 3, true, 12, {0, 0}},
      {R"(<rect id="s" x="10" y="20" width="30" height="40"/>)", 4, true, 140, {10, 20}},
      {R"(<rect id="s" x="10" y="20" width="30" height="40" rx="5"/>)", 8, true, rounded, {15, 20}},
      // rx given alone serves ry too; each is held to half its side.
      {R"(<rect id="s" x="10" y="20" width="30" height="40" rx="15"/>)", 6, true, pill, {25, 20}},
      {R"(<rect id="s" x="10" y="20" width="30" height="40" rx="100"/>)",
       4,
       true,
       EllipsePerimeter(15, 20),
       {25, 20}},
      {R"(<circle id="s" cx="50" cy="40" r="10"/>)", 4, true, 2 * kPi * 10, {60, 40}},
      {R"(<ellipse id="s" cx="50" cy="40" rx="20" ry="10"/>)",
       4,
       true,
       EllipsePerimeter(20, 10),
       {70, 40}},
      {R"(<path id="s" d="M 0 0 h 10 a 5 5 0 0 1 0 10"/>)", 4, false, 10 + 5 * kPi, {0, 0}},
  };
  for (const Case& c : cases) {
    const Mask m = Read(c.element, "s").mask;
    EXPECT_EQ(m.vertices.size(), c.vertices) << c.element;
    EXPECT_EQ(m.closed, c.closed) << c.element;
    EXPECT_NEAR(MaskLength(m), c.length, c.length * kLengthTolerance) << c.element;
    ExpectPoint(m.vertices[0].point, c.first.x, c.first.y, c.element);
  }
  // Circles and rects run clockwise on screen: the second vertex of the circle is below the
  // centre.
  ExpectPoint(Read(R"(<circle id="s" cx="50" cy="40" r="10"/>)", "s").mask.vertices[1].point, 50,
              50, "circle");
}

TEST(SvgFileTest, FitLayerCentresTheViewBoxInTheLayer) {
  // Layer 200 x 100; viewBox 100 x 100 at (-50, -50): scale 1, centred across, after the
  // element's own transform.
  const char* line = R"s(<line id="l" x1="-25" y1="-50" x2="25" y2="50" transform="scale(2,1)"/>)s";
  const Mask fitted = Read(line, "l", SvgFit::kLayer, R"(viewBox="-50 -50 100 100")").mask;
  ExpectPoint(fitted.vertices[0].point, 50, 0, "fitted start");
  ExpectPoint(fitted.vertices[1].point, 150, 100, "fitted end");
  const Mask plain = Read(line, "l", SvgFit::kNone, R"(viewBox="-50 -50 100 100")").mask;
  ExpectPoint(plain.vertices[0].point, -50, -50, "user units as pixels");
  // A wide viewBox: scale 200 / 400 = 0.5, centred vertically: (100 - 50) / 2 = 25.
  const Mask wide =
      Read(R"(<path d="M 0 0 L 400 100"/>)", "", SvgFit::kLayer, R"(viewBox="0 0 400 100")").mask;
  ExpectPoint(wide.vertices[0].point, 0, 25, "wide start");
  ExpectPoint(wide.vertices[1].point, 200, 75, "wide end");
}

TEST(SvgFileTest, WithoutAnIdTheFirstDrawnElementIsTaken) {
  // Nothing inside defs, symbol, marker, clipPath, mask or pattern is drawn where it stands, nor
  // an element hidden by display (as an attribute or in its style).
  const std::string hidden =
      R"(<defs><path d="M 0 0 L 1 0"/></defs><symbol><path d="M 0 0 L 2 0"/></symbol>
         <marker><path d="M 0 0 L 3 0"/></marker><clipPath><rect width="4" height="4"/></clipPath>
         <mask><circle r="5"/></mask><pattern><path d="M 0 0 L 6 0"/></pattern>
         <path display="none" d="M 0 0 L 7 0"/>
         <g style="fill:red; display : none"><path d="M 0 0 L 8 0"/></g>)";
  const SvgFileMask m = Read(hidden + R"(<g><line id="drawn" x1="0" y1="0" x2="9" y2="0"/></g>
                                         <path d="M 0 0 L 10 0"/>)");
  EXPECT_EQ(m.element, "<line id=\"drawn\">");
  // A <use> counts where it stands, showing what it names.
  const SvgFileMask used = Read(hidden + R"(<use href="#inner" x="5"/><path d="M 0 0 L 10 0"/>
                                            <defs><path id="inner" d="M 0 0 L 1 1"/></defs>)");
  EXPECT_EQ(used.element, "<path id=\"inner\">");
  ExpectPoint(used.mask.vertices[0].point, 5, 0, "moved by the use's x");
  EXPECT_THROW(Read(hidden), SvgFileError) << "nothing drawn";
}

TEST(SvgFileTest, ASubpathIsChosenByNumberAndTheWarningCountsThem) {
  // Three subpaths with a segment (the lone move "M 50 50" draws nothing); after z the next
  // relative move starts from the closed subpath's start.
  const std::string body =
      R"(<path id="o" d="M 0 0 h 10 v 10 z M 50 50 m 1 1 l 5 0 z m 2 2 l 3 0"/>)";
  const SvgFileMask first = Read(body, "o");
  EXPECT_EQ(first.subpathCount, 3u);
  EXPECT_TRUE(first.mask.closed);
  ASSERT_EQ(first.warnings.size(), 1u);
  EXPECT_NE(first.warnings[0].find("has 3 subpaths; subpath 0 is used"), std::string::npos)
      << first.warnings[0];
  const auto pick = [&](int n) {
    return MaskFromSvgText("<svg>" + body + "</svg>", {"o", SvgFit::kNone, 100, 100, n});
  };
  const SvgFileMask third = pick(2);
  EXPECT_TRUE(third.warnings.empty()) << "chosen on purpose";
  EXPECT_FALSE(third.mask.closed);
  ExpectPoint(third.mask.vertices[0].point, 53, 53, "m 2 2 from the second subpath's start");
  ExpectPoint(third.mask.vertices[1].point, 56, 53, "l 3 0");
  ExpectPoint(pick(1).mask.vertices[0].point, 51, 51, "the second subpath");
  try {
    pick(3);
    ADD_FAILURE() << "no fourth subpath";
  } catch (const SvgFileError& e) {
    EXPECT_NE(e.reason().find("has 3 subpaths; \"subpath\": 3 is not one of them (0 to 2)"),
              std::string::npos)
        << e.what();
  }
}

TEST(SvgFileTest, MistakesNameTheElementAndTheReason) {
  struct Bad {
    const char* text;  // a whole document
    const char* id;
    const char* element;
    const char* reason;
  };
  const Bad cases[] = {
      {"hello", "", "", "not an SVG file: XML error"},
      {"<html><path d='M 0 0 L 1 1'/></html>", "", "", "the root element is <html>"},
      {"<svg><path id='a' d='M 0 0 L 1 1'/></svg>", "b", "", "no element with id \"b\""},
      {"<svg><defs><circle r='3'/></defs></svg>", "", "", "nothing in the drawing is drawn"},
      {"<svg><g id='a'/></svg>", "a", "<g id=\"a\">", "no geometry: only <path>"},
      {"<svg><use id='u' href='#g'/><g id='g'/></svg>", "u", "<use id=\"u\">", "shows <g id"},
      {"<svg><use id='u' href='#v'/><use id='v' xlink:href='#u'/></svg>", "u", "<use id=\"v\">",
       "chain comes back to itself"},
      {"<svg><g id='g'><use id='u' href='#g'/></g><path d='M 0 0 L 1 1'/></svg>", "",
       "<use id=\"u\">", "chain comes back to itself"},
      {"<svg><use id='u' href='#nope'/></svg>", "u", "<use id=\"u\">",
       "no element with id \"nope\""},
      {"<svg><svg id='s' viewBox='0 0 1 1' preserveAspectRatio='xMidYMad'><path id='a' d='M 0 0 "
       "L 1 1'/></svg></svg>",
       "a", "<svg id=\"s\">", "preserveAspectRatio"},
      {"<svg><path id='a'/></svg>", "a", "<path id=\"a\">", "the d attribute is missing"},
      {"<svg><path id='a' d='M 1 1'/></svg>", "a", "<path id=\"a\">", "has no segment"},
      {"<svg><path id='a' d='M 1 1 L 2 x'/></svg>", "a", "<path id=\"a\">", "bad number \"x\""},
      {"<svg><circle id='a' r='0'/></svg>", "a", "<circle id=\"a\">", "r must be greater than 0"},
      {"<svg><rect id='a' width='5'/></svg>", "a", "<rect id=\"a\">", "width and height"},
      {"<svg><rect id='a' width='5em' height='2'/></svg>", "a", "<rect id=\"a\">",
       "width=\"5em\" is not a length"},
      {"<svg><polyline id='a' points='1 2 3'/></svg>", "a", "<polyline id=\"a\">", "odd count"},
      {"<svg><g transform='spin(2)'><path id='a' d='M 0 0 L 1 1'/></g></svg>", "a", "<g>",
       "unknown transform \"spin\""},
  };
  for (const Bad& c : cases) {
    try {
      MaskFromSvgText(c.text, {c.id, SvgFit::kNone, 100, 100, std::nullopt});
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const SvgFileError& e) {
      EXPECT_EQ(e.element(), c.element) << c.text;
      EXPECT_NE(e.reason().find(c.reason), std::string::npos) << c.text << " gave " << e.what();
    }
  }
  // Nesting deep enough to exhaust the stack is refused, not followed.
  std::string deep = "<svg>";
  for (int i = 0; i < 100000; ++i) {
    deep += "<g>";
  }
  deep += "<path d='M 0 0 L 1 1'/>";
  for (int i = 0; i < 100000; ++i) {
    deep += "</g>";
  }
  try {
    MaskFromSvgText(deep + "</svg>", {"", SvgFit::kNone, 100, 100, std::nullopt});
    ADD_FAILURE() << "read 100000 nested groups";
  } catch (const SvgFileError& e) {
    EXPECT_NE(e.reason().find("nested deeper than"), std::string::npos) << e.what();
  }
  EXPECT_THROW(MaskFromSvgText("<svg><path d='M 0 0 L 1 1'/></svg>",
                               {"", SvgFit::kLayer, 10, 10, std::nullopt}),
               SvgFileError)
      << "fitting needs a viewBox";
}

}  // namespace
}  // namespace lwhost
