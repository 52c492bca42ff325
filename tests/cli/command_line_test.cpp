// The command line as a user meets it: --version, help, suggestions for what was mistyped, the
// render options that override the scene, and an installed copy run from a fresh prefix.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli_harness.h"

namespace {

namespace fs = std::filesystem;
using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadBytes;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::RunProgram;
using lwclitest::TempFolder;
using lwclitest::WriteText;

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

// A translucent checker ribbon on a 96 x 48 layer: every pixel kind (clear, partial, opaque).
std::string RibbonScene(const std::string& extra = "") {
  return R"j({)j" + extra + R"j(
    "layer": {"width": 96, "height": 48},
    "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 2.5,
                         "colors": ["#ff804080", "#2040ffe0"]}},
    "masks": {"curve": {"svg": "M 8 30 C 30 4 60 44 88 18"}},
    "params": {"Path": "curve", "Source": "board", "Fit": "Tile", "Thickness": 14}
  })j";
}

TEST(CommandLineTest, VersionAndHelp) {
  const Outcome version = RunLathewind({"--version"});
  EXPECT_EQ(version.exitCode, 0) << Describe(version);
  EXPECT_EQ(version.out, "lathewind " LATHEWIND_VERSION "\n");

  const Outcome all = RunLathewind({"help"});
  EXPECT_EQ(all.exitCode, 0) << Describe(all);
  for (const char* command : {"render", "params", "about", "graph", "help"}) {
    EXPECT_NE(all.out.find(command), std::string::npos) << command << " in " << all.out;
  }
  const Outcome render = RunLathewind({"help", "render"});
  EXPECT_EQ(render.exitCode, 0) << Describe(render);
  EXPECT_NE(render.out.find("--downsample"), std::string::npos) << render.out;
  EXPECT_NE(render.out.find("--background"), std::string::npos) << render.out;
}

TEST(CommandLineTest, MistypedCommandsAndOptionsExitWithTwoAndSuggestTheNearest) {
  TempFolder dir;
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"rende"}, "unknown command \"rende\" (did you mean \"render\"?)"},
      {{"--versoin"}, "unknown option --versoin (did you mean \"--version\"?)"},
      {{"render", "--frame", "3"}, "unknown option --frame (did you mean \"--frames\"?)"},
      {{"render", "--backgroud=#000000"}, "(did you mean \"--background\"?)"},
      {{"graph", "--clik", "1,2"}, "(did you mean \"--click\"?)"},
      {{"help", "grph"}, "unknown command \"grph\" (did you mean \"graph\"?)"},
      {{"frobnicate"}, "unknown command \"frobnicate\"\n"},
      {{"render", "a.json", "b.json"}, "unexpected argument \"b.json\""},
      {{"render", "--downsample", "0"}, "--downsample 0: expected D or DX,DY"},
      {{"render", "--downsample", "2,17"}, "from 1 to 16"},
      {{"render", "--background", "#12345"}, "expected #RRGGBB or #RRGGBBAA"},
      {{"render", "--raw", "-o", "x.jpg"}, "--raw writes stored values to .png and .tif only"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunLathewind(c.args, dir.path());
    EXPECT_EQ(o.exitCode, 2) << c.args[0] << " " << c.args[1 % c.args.size()] << ": "
                             << Describe(o);
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.message << " in " << o.err;
  }
  EXPECT_TRUE(fs::is_empty(dir.path())) << "nothing was written";
}

TEST(CommandLineTest, DownsampleOptionOverridesTheScene) {
  TempFolder dir;
  WriteText(dir / "full.json", RibbonScene(R"("downsample": [4, 4],)"));
  WriteText(dir / "half.json", RibbonScene(R"("downsample": [2, 2],)"));
  ASSERT_EQ(RunLathewind({"render", "half.json", "-o", "file.png"}, dir.path()).exitCode, 0);
  const Outcome o =
      RunLathewind({"render", "full.json", "--downsample", "2", "-o", "option.png"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_EQ(ReadBytes(dir / "option.png"), ReadBytes(dir / "file.png"));

  ASSERT_EQ(RunLathewind({"render", "full.json", "--downsample", "3,2", "-o", "xy.png"}, dir.path())
                .exitCode,
            0);
  const PngSamples xy = ReadPngSamples(dir / "xy.png");
  EXPECT_EQ(xy.width, 32u);   // 96 / 3
  EXPECT_EQ(xy.height, 24u);  // 48 / 2
}

TEST(CommandLineTest, BackgroundCompositesTheStoredFrameOverTheColour) {
  TempFolder dir;
  WriteText(dir / "ribbon.json", RibbonScene());
  ASSERT_EQ(RunLathewind({"render", "ribbon.json", "--raw", "-o", "raw.png"}, dir.path()).exitCode,
            0);
  const PngSamples raw = ReadPngSamples(dir / "raw.png");  // premultiplied, as stored
  // An opaque and a translucent colour: the first flattens every pixel to alpha 255.
  for (const auto& [text, colour] : std::vector<std::pair<std::string, std::vector<uint32_t>>>{
           {"#336699", {51, 102, 153, 255}}, {"#FF000080", {255, 0, 0, 128}}}) {
    const Outcome o =
        RunLathewind({"render", "ribbon.json", "--background", text, "-o", "flat.png"}, dir.path());
    ASSERT_EQ(o.exitCode, 0) << Describe(o);
    const PngSamples flat = ReadPngSamples(dir / "flat.png");  // straight
    ASSERT_EQ(flat.width, raw.width);
    int partial = 0;
    for (uint32_t y = 0; y < raw.height; ++y) {
      for (uint32_t x = 0; x < raw.width; ++x) {
        const double a = raw.At(x, y, 3) / 255.0;
        partial += a > 0 && a < 1;
        const double b = colour[3] / 255.0;
        const double outAlpha = a + b * (1 - a);
        ASSERT_NEAR(flat.At(x, y, 3), 255 * outAlpha, 0.51) << x << ", " << y << " " << text;
        for (int c = 0; c < 3 && outAlpha > 0.1; ++c) {
          // Premultiplied over: raw + colour x its alpha x (1 - a), then made straight again.
          const double premultiplied = raw.At(x, y, c) / 255.0 + colour[c] / 255.0 * b * (1 - a);
          ASSERT_NEAR(flat.At(x, y, c), 255 * premultiplied / outAlpha, 2.0)
              << x << ", " << y << " channel " << c << " " << text;
        }
      }
    }
    EXPECT_GT(partial, 20) << "the scene has translucent pixels to composite";
  }
}

TEST(CommandLineTest, InstalledCommandFindsItsPlugInFromAFreshPrefix) {
  TempFolder prefix;
  const Outcome install = RunProgram(
      CMAKE_COMMAND, {"--install", LATHEWIND_BUILD_DIR, "--prefix", prefix.path().string()});
  ASSERT_EQ(install.exitCode, 0) << Describe(install);
  const fs::path command = prefix / "bin/lathewind";
  const fs::path plugin = prefix / "lib/lathewind/Lathewind.so";
  ASSERT_TRUE(fs::exists(command));
  ASSERT_TRUE(fs::exists(plugin));

  // From another folder, with no LATHEWIND_PLUGIN: the plug-in beside the command is loaded.
  TempFolder work;
  WriteText(work / "ribbon.json", RibbonScene());
  const std::map<std::string, std::string> noVariable = {{"LATHEWIND_PLUGIN", ""}};
  const Outcome about = RunProgram(command, {"about"}, work.path(), noVariable);
  EXPECT_EQ(about.exitCode, 0) << Describe(about);
  EXPECT_NE(about.out.find("Lathewind"), std::string::npos) << about.out;
  const Outcome render =
      RunProgram(command, {"render", "ribbon.json", "-o", "r.png"}, work.path(), noVariable);
  EXPECT_EQ(render.exitCode, 0) << Describe(render);
  EXPECT_EQ(RunLathewind({"render", "ribbon.json", "-o", "built.png"}, work.path()).exitCode, 0);
  EXPECT_EQ(ReadBytes(work / "r.png"), ReadBytes(work / "built.png"));

  // The plug-in moved away: the error names where it was looked for; LATHEWIND_PLUGIN finds it.
  const fs::path moved = prefix / "elsewhere.so";
  fs::rename(plugin, moved);
  const Outcome missing = RunProgram(command, {"about"}, work.path(), noVariable);
  EXPECT_EQ(missing.exitCode, 1) << Describe(missing);
  EXPECT_NE(missing.err.find(plugin.string()), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("LATHEWIND_PLUGIN"), std::string::npos) << missing.err;
  const Outcome named =
      RunProgram(command, {"about"}, work.path(), {{"LATHEWIND_PLUGIN", moved.string()}});
  EXPECT_EQ(named.exitCode, 0) << Describe(named);
}

}  // namespace
