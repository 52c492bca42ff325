// Drawings as Inkscape writes them: nested <svg> viewports, <use>, lengths with units, fitting a
// drawing that has no viewBox, and compressed .svgz files; each against geometry worked by hand.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "masks/svg_file.h"

namespace lwhost {
namespace {

SvgFileMask Read(const std::string& body, const std::string& id,
                 const std::string& rootAttributes = "", SvgFit fit = SvgFit::kNone) {
  const std::string text =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" "
      "xmlns:xlink=\"http://www.w3.org/1999/xlink\" " +
      rootAttributes + ">" + body + "</svg>";
  return MaskFromSvgText(text, {id, fit, 200.0, 100.0, std::nullopt});
}

void ExpectEnds(const Mask& m, double x0, double y0, double x1, double y1,
                const std::string& what) {
  ASSERT_GE(m.vertices.size(), 2u) << what;
  EXPECT_NEAR(m.vertices.front().point.x, x0, 1e-9) << what;
  EXPECT_NEAR(m.vertices.front().point.y, y0, 1e-9) << what;
  EXPECT_NEAR(m.vertices.back().point.x, x1, 1e-9) << what;
  EXPECT_NEAR(m.vertices.back().point.y, y1, 1e-9) << what;
}

std::string Gzip(const std::string& text) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(SvgDrawingTest, NestedViewportsPlaceTheirViewBoxAsPreserveAspectRatioSays) {
  // A viewport 100 x 50 at (10, 20) showing a 10 x 10 viewBox.
  struct Case {
    const char* attributes;
    double x0, y0, x1, y1;  // where (vx, vy) and (vx + 10, vy + 10) of the viewBox land
  };
  const Case cases[] = {
      // meet: scale 5, centred across: (100 - 50) / 2 = 25.
      {R"(viewBox="0 0 10 10")", 35, 20, 85, 70},
      {R"(viewBox="0 0 10 10" preserveAspectRatio="none")", 10, 20, 110, 70},
      // slice: scale 10, the top-right kept.
      {R"(viewBox="0 0 10 10" preserveAspectRatio="xMaxYMin slice")", 10, 20, 110, 120},
      // meet at the left, the viewBox starting at (5, 5).
      {R"(viewBox="5 5 10 10" preserveAspectRatio="xMinYMax meet")", 10, 20, 60, 70},
  };
  for (const Case& c : cases) {
    const std::string box = c.attributes;
    const double vx = box.find("\"5 5") != std::string::npos ? 5 : 0;
    const std::string path =
        "<path id=\"p\" d=\"M " + std::to_string(vx) + " " + std::to_string(vx) + " l 10 10\"/>";
    const std::string svg =
        R"(<svg x="10" y="20" width="100" height="50" )" + box + ">" + path + "</svg>";
    ExpectEnds(Read(svg, "p").mask, c.x0, c.y0, c.x1, c.y1, c.attributes);
    // The same viewport inside a translated group, the root's own viewBox leaving user units
    // as pixels.
    ExpectEnds(Read("<g transform=\"translate(1000 0)\">" + svg + "</g>", "p",
                    R"(viewBox="0 0 5 5" width="1in")")
                   .mask,
               c.x0 + 1000, c.y0, c.x1 + 1000, c.y1, std::string("in a group: ") + c.attributes);
  }
  // Without a viewBox a nested viewport only moves; percentages are of the nearest viewport:
  // here the viewBox of the nested svg (40 x 10), whose scale is 1.
  ExpectEnds(Read(R"(<svg x="3" y="4"><line id="l" x1="0" y1="0" x2="5" y2="6"/></svg>)", "l").mask,
             3, 4, 8, 10, "no viewBox");
  ExpectEnds(Read(R"(<svg width="40" height="10" viewBox="0 0 40 10">
                    <line id="l" x1="0" y1="0" x2="50%" y2="100%"/></svg>)",
                  "l")
                 .mask,
             0, 0, 20, 10, "percentages of the nested viewBox");
}

TEST(SvgDrawingTest, UseShowsWhatItNamesMovedByItsOffsetAndTransform) {
  const std::string defs = R"s(<defs><path id="d" d="M 0 0 L 1 0" transform="scale(2)"/></defs>
      <use id="u" xlink:href="#d" x="3" y="4" transform="rotate(90)"/>
      <use id="chain" href="#u" x="100"/>)s";
  // (1, 0) doubles to (2, 0), moves by (3, 4) to (5, 4), turns to (-4, 5).
  const SvgFileMask u = Read(defs, "u");
  EXPECT_EQ(u.element, "<path id=\"d\">");
  ExpectEnds(u.mask, -4, 3, -4, 5, "xlink:href");
  ExpectEnds(Read(defs, "chain").mask, 96, 3, 96, 5, "a use of a use, moved again");
  // A symbol shown at 20 x 40 through its viewBox 10 x 10: scale 2, centred down by 10.
  const SvgFileMask symbol = Read(R"(<symbol id="s" viewBox="0 0 10 10">
      <path id="inside" d="M 0 0 L 10 10"/></symbol><use href="#s" x="1" y="2" width="20"
      height="40"/>)",
                                  "");
  EXPECT_EQ(symbol.element, "<path id=\"inside\">");
  ExpectEnds(symbol.mask, 1, 12, 21, 32, "symbol");
}

TEST(SvgDrawingTest, LengthsTakeUnitsAndPercentagesOfTheViewport) {
  // 96 px to the inch: 1in = 25.4mm = 96, 36pt = 48, 2pc = 32.
  ExpectEnds(Read(R"(<line id="l" x1="1in" y1="25.4mm" x2="36pt" y2="2pc"/>)", "l").mask, 96, 96,
             48, 32, "absolute units");
  ExpectEnds(Read(R"(<line id="l" x1="2.54cm" y1="3px" x2="0" y2="0"/>)", "l").mask, 96, 3, 0, 0,
             "cm and px");
  // Percentages of the root's viewBox (300 x 400): x of the width, y of the height, r of
  // sqrt((w^2 + h^2) / 2).
  const Mask c =
      Read(R"(<circle id="c" cx="50%" cy="25%" r="10%"/>)", "c", R"(viewBox="0 0 300 400")").mask;
  const double r = std::sqrt((300.0 * 300.0 + 400.0 * 400.0) / 2.0) * 0.1;
  EXPECT_NEAR(c.vertices[0].point.x, 150 + r, 1e-9);
  EXPECT_NEAR(c.vertices[0].point.y, 100, 1e-9);
  // Without a viewBox, of the root's width and height; without those, of the layer (200 x 100).
  ExpectEnds(
      Read(R"(<line id="l" x1="10%" y1="10%" x2="0" y2="0"/>)", "l", R"(width="1in" height="2in")")
          .mask,
      9.6, 19.2, 0, 0, "of width and height");
  ExpectEnds(Read(R"(<line id="l" x1="10%" y1="10%" x2="0" y2="0"/>)", "l").mask, 20, 10, 0, 0,
             "of the layer");
  for (const char* bad : {"5em", "5 mm", "mm", "5%%"}) {
    EXPECT_THROW(Read("<line id=\"l\" x1=\"" + std::string(bad) + "\" x2=\"1\"/>", "l"),
                 SvgFileError)
        << bad;
  }
}

TEST(SvgDrawingTest, FitLayerTakesWidthAndHeightWhenThereIsNoViewBox) {
  // 100mm x 50mm has the layer's shape (200 x 100): its corners go to the layer's corners.
  const Mask m = Read(R"(<line id="l" x1="0" y1="0" x2="100mm" y2="50mm"/>)", "l",
                      R"(width="100mm" height="50mm")", SvgFit::kLayer)
                     .mask;
  ExpectEnds(m, 0, 0, 200, 100, "fitted by width and height");
  EXPECT_THROW(Read(R"(<line id="l" x2="1"/>)", "l", R"(width="100%" height="50")", SvgFit::kLayer),
               SvgFileError)
      << "a percentage is of a window the file does not know";
}

TEST(SvgDrawingTest, SvgzIsReadLikeTheDrawingItPacks) {
  const std::string text =
      R"(<svg xmlns="http://www.w3.org/2000/svg"><path id="p" d="M 1 2 L 3 4"/></svg>)";
  const SvgMaskRequest request{"p", SvgFit::kNone, 10, 10, std::nullopt};
  ExpectEnds(MaskFromSvgText(Gzip(text), request).mask, 1, 2, 3, 4, "packed");
  const std::string packed = Gzip(text);
  const std::string twoMembers = Gzip(text.substr(0, 20)) + Gzip(text.substr(20));
  ExpectEnds(MaskFromSvgText(twoMembers, request).mask, 1, 2, 3, 4, "two gzip members");
  std::string damaged = packed;
  damaged[12] = static_cast<char>(damaged[12] ^ 0x55);
  for (const std::string& bad : {packed.substr(0, packed.size() / 2), damaged}) {
    try {
      MaskFromSvgText(bad, request);
      ADD_FAILURE() << "read a broken .svgz";
    } catch (const SvgFileError& e) {
      EXPECT_NE(std::string(e.what()).find("not a readable .svgz drawing"), std::string::npos)
          << e.what();
    }
  }

  // Through the gate: read as a file; refused outside the gate's root.
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("svgz-" + std::to_string(::getpid()));
  fs::create_directories(folder / "inside");
  std::ofstream(folder / "drawing.svgz", std::ios::binary) << packed;
  ExpectEnds(MaskFromSvgFile(folder / "drawing.svgz", request, OpenGate()).mask, 1, 2, 3, 4,
             "file");
  const FileGate gate{fs::canonical(folder / "inside"), "the test"};
  EXPECT_THROW(MaskFromSvgFile(folder / "drawing.svgz", request, gate), SvgFileError);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace lwhost
