// `lathewind render` run as a process: output names, frame ranges, threads, --raw, the PNG
// conversions, exit codes and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadBytes;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::RunLathewindAndSignal;
using lwclitest::TempFolder;
using lwclitest::WriteText;

// A small ribbon: a semi-transparent checker along a gentle curve on a 96 x 48 layer, with an
// Offset that moves with time so that every frame differs.
std::string SmallScene(int bitDepth, const std::string& frames = "0") {
  return R"j({
    "layer": {"width": 96, "height": 48},
    "bitDepth": )j" +
         std::to_string(bitDepth) + R"j(,
    "frames": )j" +
         frames + R"j(,
    "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                         "colors": ["#ff804080", "#2040ffe0"]}},
    "masks": {"curve": {"svg": "M 8 30 C 30 4 60 44 88 18"}},
    "params": {"Path": "curve", "Source": "board", "Fit": "Tile",
               "Thickness (0 = from source)": 14,
               "Offset": {"keys": [[0, 0], [3, 30]]}}
  })j";
}

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

TEST(RenderCommandTest, FrameFieldNamesEveryFrameOfTheRange) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(8, "[0, 5]"));
  const Outcome o = RunLathewind(
      {"render", "scene.json", "--frames", "2-4", "-o", "out.%04d.png", "--quiet"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  for (const char* name : {"out.0002.png", "out.0003.png", "out.0004.png"}) {
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  }
  // --frames replaced the scene's own range.
  for (const char* name : {"out.0000.png", "out.0001.png", "out.0005.png"}) {
    EXPECT_FALSE(std::filesystem::exists(dir / name)) << name;
  }
  EXPECT_EQ(o.out, "") << "--quiet prints no summary";
}

TEST(RenderCommandTest, SingleFrameTakesAPlainNameAndSeveralNeedAField) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(8, "[0, 1]"));
  Outcome o = RunLathewind({"render", "scene.json", "-o", "one.png", "--quiet"}, dir.path());
  EXPECT_EQ(o.exitCode, 2) << Describe(o);
  EXPECT_NE(o.err.find("frame field"), std::string::npos) << o.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "one.png"));

  o = RunLathewind({"render", "scene.json", "--frames", "1", "-o", "one.png"}, dir.path());
  EXPECT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_TRUE(std::filesystem::exists(dir / "one.png"));
  EXPECT_EQ(o.out, "wrote one.png\n");
}

TEST(RenderCommandTest, DefaultOutputIsNamedAfterTheScene) {
  TempFolder dir;
  WriteText(dir / "ribbon.json", SmallScene(8, "[0, 1]"));
  const Outcome o = RunLathewind({"render", "ribbon.json", "--quiet"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_TRUE(std::filesystem::exists(dir / "ribbon.0000.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "ribbon.0001.png"));
}

TEST(RenderCommandTest, BadCommandLinesExitWithTwoAndWriteNothing) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(8));
  const std::vector<std::vector<std::string>> cases = {
      {"render", "scene.json", "--frames", "5-2", "-o", "x.png"},
      {"render", "scene.json", "--frames", "two", "-o", "x.png"},
      {"render", "scene.json", "--frames", "-3", "-o", "x.png"},
      {"render", "scene.json", "--jobs", "0", "-o", "x.png"},
      {"render", "scene.json", "--bogus", "-o", "x.png"},
      {"render", "scene.json", "-o", "x%s.png"},
      {"render", "scene.json", "-o", "no/such/folder/x.png"},
  };
  for (const auto& args : cases) {
    const Outcome o = RunLathewind(args, dir.path());
    EXPECT_EQ(o.exitCode, 2) << args[2] << " " << args[3] << ": " << Describe(o);
    EXPECT_FALSE(o.err.empty()) << args[2];
    EXPECT_FALSE(std::filesystem::exists(dir / "x.png")) << args[2];
  }
}

TEST(RenderCommandTest, OutputBytesDoNotDependOnTheNumberOfJobs) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(16, "[0, 3]"));
  const Outcome one = RunLathewind(
      {"render", "scene.json", "--jobs", "1", "-o", "one.%d.png", "--quiet"}, dir.path());
  const Outcome two = RunLathewind(
      {"render", "scene.json", "--jobs", "2", "-o", "two.%d.png", "--quiet"}, dir.path());
  ASSERT_EQ(one.exitCode, 0) << Describe(one);
  ASSERT_EQ(two.exitCode, 0) << Describe(two);
  for (int f = 0; f <= 3; ++f) {
    const std::string a = ReadBytes(dir / ("one." + std::to_string(f) + ".png"));
    const std::string b = ReadBytes(dir / ("two." + std::to_string(f) + ".png"));
    ASSERT_FALSE(a.empty()) << "frame " << f;
    EXPECT_EQ(a, b) << "frame " << f << " differs between --jobs 1 and --jobs 2";
  }
  // The frames really differ, so a mix-up of frames between threads would show.
  EXPECT_NE(ReadBytes(dir / "one.0.png"), ReadBytes(dir / "one.3.png"));
}

// Straight output is the raw output un-premultiplied: 0 where alpha is 0, else
// min(S, c x S / a) rounded, and at 16 bits then scaled to 65535.
void ExpectStraightIsRawUnpremultiplied(int bitDepth) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(bitDepth));
  ASSERT_EQ(
      RunLathewind({"render", "scene.json", "-o", "straight.png", "--quiet"}, dir.path()).exitCode,
      0);
  ASSERT_EQ(RunLathewind({"render", "scene.json", "-o", "raw.png", "--raw", "--quiet"}, dir.path())
                .exitCode,
            0);
  const PngSamples straight = ReadPngSamples(dir / "straight.png");
  const PngSamples raw = ReadPngSamples(dir / "raw.png");
  ASSERT_EQ(straight.bitDepth, bitDepth);
  ASSERT_EQ(raw.bitDepth, bitDepth);
  ASSERT_EQ(straight.width, raw.width);
  ASSERT_EQ(straight.height, raw.height);
  const uint64_t full = bitDepth == 16 ? 32768 : 255;
  int semiTransparent = 0;
  for (uint32_t y = 0; y < raw.height; ++y) {
    for (uint32_t x = 0; x < raw.width; ++x) {
      const uint64_t a = raw.At(x, y, 3);
      ASSERT_LE(a, full) << "raw alpha beyond the host's scale at " << x << "," << y;
      if (a > 0 && a < full) {
        ++semiTransparent;
      }
      for (int c = 0; c < 4; ++c) {
        uint64_t expected = 0;
        if (a != 0) {
          const uint64_t v = raw.At(x, y, c);
          uint64_t s = c == 3 ? v : std::min<uint64_t>(full, (2 * v * full + a) / (2 * a));
          if (bitDepth == 16) {
            s = (2 * s * 65535 + 32768) / 65536;
          }
          expected = s;
        }
        ASSERT_EQ(straight.At(x, y, c), expected)
            << "channel " << c << " at " << x << "," << y << " raw " << raw.At(x, y, c) << " alpha "
            << a << " (" << bitDepth << " bits)";
      }
    }
  }
  EXPECT_GT(semiTransparent, 20) << "the scene should give semi-transparent pixels";
}

TEST(RenderCommandTest, StraightIsRawUnpremultipliedAt8Bits) {
  ExpectStraightIsRawUnpremultiplied(8);
}

TEST(RenderCommandTest, StraightIsRawUnpremultipliedAt16Bits) {
  ExpectStraightIsRawUnpremultiplied(16);
}

// A uniform semi-transparent PNG source laid straight along a horizontal mask: inside the
// ribbon the output holds the source colour as the host read it, so --raw shows the read
// conversion (scale, then premultiply) and the straight file the way back.
struct RoundTrip {
  int bitDepth;
  uint32_t red, green, blue, alpha;  // the source file's straight samples
};

void ExpectRoundTrip(const RoundTrip& t) {
  TempFolder dir;
  PngSamples source;
  source.width = 32;
  source.height = 16;
  source.bitDepth = t.bitDepth;
  for (uint32_t i = 0; i < source.width * source.height; ++i) {
    source.samples.insert(source.samples.end(), {t.red, t.green, t.blue, t.alpha});
  }
  lwclitest::WritePngSamples(dir / "flat.png", source);
  WriteText(dir / "scene.json", R"j({
    "layer": {"width": 64, "height": 32}, "bitDepth": )j" +
                                    std::to_string(t.bitDepth) + R"j(,
    "layers": {"flat": {"image": "flat.png"}},
    "masks": {"line": {"vertices": [[0, 16], [64, 16]]}},
    "params": {"Path": "line", "Source": "flat"}
  })j");
  ASSERT_EQ(RunLathewind({"render", "scene.json", "-o", "raw.png", "--raw", "--quiet"}, dir.path())
                .exitCode,
            0);
  ASSERT_EQ(RunLathewind({"render", "scene.json", "-o", "out.png", "--quiet"}, dir.path()).exitCode,
            0);
  const uint64_t fileFull = (1u << t.bitDepth) - 1;
  const uint64_t full = t.bitDepth == 16 ? 32768 : 255;
  const auto rounded = [](uint64_t p, uint64_t q) { return (2 * p + q) / (2 * q); };
  const uint64_t a = rounded(t.alpha * full, fileFull);
  const auto stored = [&](uint64_t c) { return rounded(rounded(c * full, fileFull) * a, full); };
  const auto written = [&](uint64_t c) {
    const uint64_t s = std::min(full, rounded(c * full, a));
    return t.bitDepth == 16 ? rounded(s * 65535, 32768) : s;
  };
  const PngSamples raw = ReadPngSamples(dir / "raw.png");
  const PngSamples out = ReadPngSamples(dir / "out.png");
  // Pixels well inside the ribbon (the source's 16 rows span rows 8..23).
  for (uint32_t y = 11; y <= 20; ++y) {
    for (uint32_t x = 8; x < 56; ++x) {
      const uint64_t expectRaw[4] = {stored(t.red), stored(t.green), stored(t.blue), a};
      for (int c = 0; c < 4; ++c) {
        ASSERT_EQ(raw.At(x, y, c), expectRaw[c])
            << "raw channel " << c << " at " << x << "," << y << " (" << t.bitDepth << " bits)";
        const uint64_t expectOut =
            c == 3 ? (t.bitDepth == 16 ? rounded(a * 65535, 32768) : a) : written(expectRaw[c]);
        ASSERT_EQ(out.At(x, y, c), expectOut) << "straight channel " << c << " at " << x << "," << y
                                              << " (" << t.bitDepth << " bits)";
      }
    }
  }
}

TEST(RenderCommandTest, PngReadAndWrittenThroughTheConversionsAt8Bits) {
  ExpectRoundTrip({8, 200, 100, 50, 128});
}

TEST(RenderCommandTest, PngReadAndWrittenThroughTheConversionsAt16Bits) {
  ExpectRoundTrip({16, 50000, 20000, 65535, 40000});
}

TEST(RenderCommandTest, NoSceneRendersTheBuiltInDemo) {
  TempFolder dir;
  const Outcome o = RunLathewind({"render"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_EQ(o.out, "wrote lathewind.png\n");
  const PngSamples png = ReadPngSamples(dir / "lathewind.png");
  EXPECT_EQ(png.width, 1280u);
  EXPECT_EQ(png.height, 720u);
  int opaque = 0;
  int clear = 0;
  for (uint32_t i = 3; i < png.samples.size(); i += 4) {
    opaque += png.samples[i] == 255;
    clear += png.samples[i] == 0;
  }
  // A ribbon across the frame: a good part covered, most of it still clear.
  EXPECT_GT(opaque, 1280 * 720 / 20) << "the ribbon covers too little";
  EXPECT_GT(clear, 1280 * 720 / 3) << "the ribbon covers too much";
  // The demo's texture is made in a temporary folder that does not outlive the command.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

struct SceneErrorCase {
  const char* name;
  const char* scene;
  const char* expected;  // in the message, after "scene.json: "
};

TEST(RenderCommandTest, BadScenesNameFileLocationAndProblem) {
  const SceneErrorCase cases[] = {
      {"unknown key", R"j({"colour": 1})j", "/colour: unknown key"},
      {"unknown label", R"j({"params": {"Nope": 1}})j", "/params/Nope: unknown parameter"},
      {"out of range", R"j({"params": {"Taper Start": 150}})j",
       "/params/Taper Start: 150 is out of range: \"Taper Start\" takes 0 to 100"},
      {"missing image", R"j({"layers": {"a": {"image": "nope.png"}}})j",
       "/layers/a/image: image file not found"},
      {"bad svg command", R"j({"masks": {"m": {"svg": "M 0 0 X 5 5"}}})j",
       "/masks/m/svg: SVG path: unknown command 'X'"},
      {"svg arc flag", R"j({"masks": {"m": {"svg": "M 0 0 A 1 1 0 2 0 5 5"}}})j",
       "/masks/m/svg: SVG path: bad flag \"2\" at character 15"},
      {"unknown choice", R"j({"params": {"Fit": "Wrap"}})j",
       "/params/Fit: \"Wrap\" is not a choice"},
      {"bad json", "{", "not valid JSON"},
  };
  for (const SceneErrorCase& c : cases) {
    TempFolder dir;
    WriteText(dir / "scene.json", c.scene);
    const Outcome o = RunLathewind({"render", "scene.json", "-o", "out.png"}, dir.path());
    EXPECT_EQ(o.exitCode, 2) << c.name << ": " << Describe(o);
    EXPECT_NE(o.err.find(std::string("scene.json: ") + c.expected), std::string::npos)
        << c.name << ": " << o.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.png")) << c.name;
  }
  TempFolder dir;
  const Outcome missing = RunLathewind({"render", "absent.json", "-o", "out.png"}, dir.path());
  EXPECT_EQ(missing.exitCode, 2) << Describe(missing);
  EXPECT_NE(missing.err.find("absent.json"), std::string::npos) << missing.err;
}

TEST(RenderCommandTest, EffectErrorReportsCodeAndNameAndWritesNoFileForThatFrame) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(8, "[0, 4]"));
  // The third request for the fill suite (the third frame, one at a time) finds it missing.
  const Outcome o =
      RunLathewind({"render", "scene.json", "--jobs", "1", "-o", "f.%d.png"}, dir.path(),
                   {{"LATHEWIND_FAULT_SUITE", "PF Fill Matte Suite,2,3"}});
  EXPECT_EQ(o.exitCode, 1) << Describe(o);
  EXPECT_NE(o.err.find("error 516 (PF_Err_BAD_CALLBACK_PARAM) rendering frame 2"),
            std::string::npos)
      << o.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "f.0.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "f.1.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "f.2.png")) << "a failed frame leaves no file";
  EXPECT_FALSE(std::filesystem::exists(dir / "f.3.png")) << "no frame starts after a failure";
  // No temporary files are left behind either.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "scene.json" || name == "f.0.png" || name == "f.1.png") << name;
  }
}

TEST(RenderCommandTest, InterruptStopsTheRenderAndLeavesOnlyWholeFrames) {
  TempFolder dir;
  WriteText(dir / "scene.json", SmallScene(8, "[0, 5000]"));
  const Outcome o = RunLathewindAndSignal(
      {"render", "scene.json", "--jobs", "2", "-o", "f.%d.png"}, dir.path(),
      [&](const std::string&) { return std::filesystem::exists(dir / "f.0.png"); }, SIGINT);
  EXPECT_EQ(o.exitCode, 128 + SIGINT) << Describe(o);
  EXPECT_NE(o.err.find("interrupted"), std::string::npos) << o.err;
  int frames = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name == "scene.json") {
      continue;
    }
    ASSERT_TRUE(name.rfind("f.", 0) == 0 && name.size() > 6 &&
                name.compare(name.size() - 4, 4, ".png") == 0)
        << "no temporary file is left behind: " << name;
    EXPECT_NO_THROW(ReadPngSamples(entry.path())) << "a whole PNG: " << name;
    ++frames;
  }
  EXPECT_GE(frames, 1);
  EXPECT_LT(frames, 5001) << "the render stopped early";
}

}  // namespace
