// Input a user or a fuzzer can hand the command that must end in one clear line naming the
// problem: never a crash, a hang, a raw library message or a half-done render.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace lwclitest {
namespace {

namespace fs = std::filesystem;

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err;
}

// One line on standard error, starting with `prefix`.
void ExpectOneLine(const Outcome& o, const std::string& prefix, const std::string& what) {
  EXPECT_EQ(o.err.rfind(prefix, 0), 0u) << what << ": " << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << what << ": " << o.err;
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) {
    text += "{\"a\": 1, \"b\": ";
  }
  text += "1";
  text.append(static_cast<size_t>(depth), '}');
  return text;
}

TEST(HostileInputTest, SceneTextProblemsAreSceneErrorsWithALocation) {
  const struct {
    const char* name;
    std::string scene;
    const char* expected;  // after "scene.json: "
  } cases[] = {
      {"nested 10,000 deep", Nested(10000), "line 1, column 897: lists and objects nested deeper"},
      {"1e999", R"({"frameRate": 1e999})", "line 1, column 15: the number 1e999 is too large"},
      {"top-level list", "\n  [1, 2]", "line 2, column 3: expected the scene as an object"},
      {"control characters", "{\"params\": {\"\\u001b[2J\\n\\u0000\": 1}}",
       "/params/\\x1b[2J\\n\\x00: unknown parameter"},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteText(dir / "scene.json", c.scene);
    for (const char* command : {"render", "graph"}) {
      const Outcome o = RunLathewind({command, "scene.json", "-o", "out.png"}, dir.path());
      EXPECT_EQ(o.exitCode, 2) << c.name << " " << command << ": " << Describe(o);
      ExpectOneLine(o, std::string("scene.json: ") + c.expected, c.name);
      EXPECT_FALSE(fs::exists(dir / "out.png")) << c.name;
    }
  }
}

// A small valid PNG, its bytes.
std::string SmallPng(const TempFolder& dir) {
  PngSamples png;
  png.width = png.height = 2;
  png.bitDepth = 8;
  png.samples.assign(16, 200);
  WritePngSamples(dir / "ok.png", png);
  return ReadBytes(dir / "ok.png");
}

TEST(HostileInputTest, ImagesThatAreNotPngFilesSayWhatTheyAre) {
  TempFolder dir;
  const std::string png = SmallPng(dir);
  fs::create_directory(dir / "folder.png");
  ASSERT_EQ(::mkfifo((dir / "fifo.png").c_str(), 0600), 0);
  fs::create_symlink("loop2.png", dir / "loop1.png");
  fs::create_symlink("loop1.png", dir / "loop2.png");
  WriteText(dir / "cut.png", png.substr(0, png.size() - 20));
  // Width 0 in the header, with the header's checksum made right again.
  std::string zeroWidth = png;
  zeroWidth.replace(16, 4, std::string(4, '\0'));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(zeroWidth.data() + 12), 17);
  for (int i = 0; i < 4; ++i) {
    zeroWidth[29 + i] = static_cast<char>((crc >> (24 - 8 * i)) & 0xff);
  }
  WriteText(dir / "header.png", zeroWidth);

  const struct {
    const char* image;
    const char* expected;
  } cases[] = {
      {"folder.png", "is a folder, not an image file"},
      {"fifo.png", "is a FIFO (named pipe), not an image file"},
      {"/dev/zero", "is a device, not an image file"},
      {"loop1.png", "is a loop of symbolic links"},
      {"cut.png", "the file ends before its image data is complete"},
      {"header.png", "the PNG data is damaged (Invalid IHDR data)"},
  };
  for (const auto& c : cases) {
    WriteText(dir / "scene.json",
              std::string(R"({"layers": {"a": {"image": ")") + c.image + R"("}}})");
    const Outcome o = RunLathewind({"render", "scene.json", "-o", "out.png"}, dir.path());
    EXPECT_EQ(o.exitCode, 2) << c.image << ": " << Describe(o);
    ExpectOneLine(o, "scene.json: /layers/a/image: ", c.image);
    EXPECT_NE(o.err.find(c.expected), std::string::npos) << c.image << ": " << o.err;
  }
}

TEST(HostileInputTest, AnOutputThatNamesAFolderIsRefusedBeforeRendering) {
  TempFolder dir;
  fs::create_directory(dir / "sub");
  // A render that would fail in the effect: the output is refused before the effect is loaded.
  const std::map<std::string, std::string> failing = {
      {"LATHEWIND_FAULT_SUITE", "PF Path Data Suite,1"}};
  for (const char* out : {".", "sub/", "sub", "sub/.."}) {
    const Outcome o = RunLathewind({"render", "-o", out}, dir.path(), failing);
    EXPECT_EQ(o.exitCode, 2) << out << ": " << Describe(o);
    ExpectOneLine(o, std::string("lathewind render: -o ") + out + ": names a folder", out);
  }
  const Outcome graph = RunLathewind({"graph", "-o", "sub/"}, dir.path());
  EXPECT_EQ(graph.exitCode, 2) << Describe(graph);
  ExpectOneLine(graph, "lathewind graph: -o sub/: names a folder", "graph");
}

TEST(HostileInputTest, ParserErrorsNameTheCommandAndPointToItsHelp) {
  // The parser's own refusals read like the command's other usage errors: the problem on one
  // line after the command's name, then where the usage is.
  const struct {
    std::vector<std::string> args;
    const char* prefix;
    const char* hint;
  } cases[] = {
      {{"render", "--jobs", "0"}, "lathewind render: --jobs: ", "Run 'lathewind help render'"},
      {{}, "lathewind: ", "Run 'lathewind help'"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunLathewind(c.args);
    EXPECT_EQ(o.exitCode, 2) << c.prefix << Describe(o);
    EXPECT_EQ(o.err.rfind(c.prefix, 0), 0u) << o.err;
    const size_t newline = o.err.find('\n');
    ASSERT_NE(newline, std::string::npos) << o.err;
    EXPECT_EQ(o.err.substr(newline + 1).rfind(c.hint, 0), 0u) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 2) << o.err;
  }
}

// Masks whose tangents or vertices come near the largest double. Each render either finishes
// or, sent SIGTERM, stops at once: the host's preparations and evaluations heed the signal too.
TEST(HostileInputTest, HugeCurvesFinishOrStopOnASignal) {
  const std::vector<std::string> masks = {
      R"({"vertices": [[10, 10], [300, 200]], "outTangents": [[5e307, 0], [0, 0]]})",
      R"({"vertices": [[10, 10], [300, 200]], "outTangents": [[1e308, 0], [0, 0]]})",
      R"({"vertices": [[10, 10], [1e300, 3.4e38], [300, 200]],
          "inTangents": [[0, 0], [1e300, 1e300], [0, 0]],
          "outTangents": [[3.4e38, -1e300], [0, 0], [0, 0]]})",
      R"({"vertices": [[10, 10], [300, 200]], "outTangents": [[1e15, 0], [0, 0]]})"};
  for (const std::string& mask : masks) {
    TempFolder dir;
    WriteText(dir / "scene.json",
              R"({"layer": {"width": 96, "height": 64}, "layers": {"src": {"pattern": "checker",
                  "width": 16, "height": 16, "cell": 4, "colors": ["#ff0000ff", "#0000ffff"]}},
                  "masks": {"m": )" +
                  mask + R"(}, "params": {"Path": "m", "Source": "src"}})");
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point signalled;
    const Outcome o = RunLathewindAndSignal(
        {"render", "scene.json", "-o", "out.png"}, dir.path(),
        [&](const std::string&) {
          signalled = std::chrono::steady_clock::now();
          return signalled - start > std::chrono::milliseconds(300);
        },
        SIGTERM);
    const double afterSignal =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_TRUE(o.exitCode == 0 || o.exitCode == 128 + SIGTERM) << mask << ": " << Describe(o);
    EXPECT_LT(afterSignal, 5.0) << mask << ": a generous bound; a hang never ends";
    if (o.exitCode != 0) {
      EXPECT_FALSE(fs::exists(dir / "out.png")) << mask;
    }
  }
}

TEST(HostileInputTest, ACurveNoDoubleCanMeasureIsASceneError) {
  TempFolder dir;
  WriteText(dir / "scene.json",
            R"({"masks": {"m": {"vertices": [[-1.7e308, 0], [1.7e308, 0]]}},
                "params": {"Path": "m"}})");
  const Outcome o = RunLathewind({"render", "scene.json", "-o", "out.png"}, dir.path());
  EXPECT_EQ(o.exitCode, 2) << Describe(o);
  ExpectOneLine(o, "scene.json: /masks/m: segment 0 cannot be measured", "unmeasurable mask");
  EXPECT_FALSE(fs::exists(dir / "out.png"));
}

}  // namespace
}  // namespace lwclitest
