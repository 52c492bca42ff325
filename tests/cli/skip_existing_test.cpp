// `lathewind render --skip-existing`: a resumed render leaves whole frames alone and renders what
// is missing, including a frame whose writer was killed midway.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;

namespace fs = std::filesystem;

const char* const kScene = R"j({
  "layer": {"width": 64, "height": 48}, "frames": [0, 3],
  "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                       "colors": ["#ff804080", "#2040ffe0"]}},
  "masks": {"curve": {"svg": "M 4 30 C 20 4 40 44 60 18"}},
  "params": {"Path": "curve", "Source": "board", "Offset": {"keys": [[0, 0], [3, 30]]}}
})j";

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

TEST(SkipExistingTest, RendersOnlyMissingFramesAndReplacesALeftoverTemporary) {
  TempFolder whole;
  WriteText(whole / "scene.json", kScene);
  Outcome o = RunLathewind({"render", "scene.json", "-o", "f.%04d.png", "--quiet"}, whole.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);

  TempFolder resumed;
  WriteText(resumed / "scene.json", kScene);
  // Frame 0 stands for a frame already written (its content proves it is not written again);
  // frame 2 was being written when its writer died: only its temporary is there, cut short.
  WriteText(resumed / "f.0000.png", "kept");
  const fs::path leftover = resumed / ".f.0002.png.tmp4242-0";
  WriteText(leftover, ReadBytes(whole / "f.0002.png").substr(0, 100));
  const fs::file_time_type keptTime = fs::last_write_time(resumed / "f.0000.png");

  o = RunLathewind({"render", "scene.json", "-o", "f.%04d.png", "--skip-existing"}, resumed.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_NE(o.out.find("skipped 1 of 4 frames"), std::string::npos) << o.out;
  EXPECT_EQ(ReadBytes(resumed / "f.0000.png"), "kept");
  EXPECT_EQ(fs::last_write_time(resumed / "f.0000.png"), keptTime);
  for (const char* name : {"f.0001.png", "f.0002.png", "f.0003.png"}) {
    EXPECT_EQ(ReadBytes(resumed / name), ReadBytes(whole / name)) << name;
  }
  EXPECT_FALSE(fs::exists(leftover)) << "the leftover temporary is cleared, not left to pile up";
  for (const auto& entry : fs::directory_iterator(resumed.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

TEST(SkipExistingTest, WithoutTheFlagEveryFrameIsWrittenAgain) {
  TempFolder dir;
  WriteText(dir / "scene.json", kScene);
  WriteText(dir / "f.0000.png", "stale");
  const Outcome o =
      RunLathewind({"render", "scene.json", "-o", "f.%04d.png", "--quiet"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  EXPECT_NE(ReadBytes(dir / "f.0000.png"), "stale");
}

}  // namespace
