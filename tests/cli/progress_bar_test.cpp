// The progress bar: drawn on a terminal, absent with --quiet and when standard error is a file.
#include <gtest/gtest.h>

#include <string>

#include "cli_harness.h"

namespace {

using lwclitest::Outcome;

std::string Scene() {
  return R"j({
    "layer": {"width": 96, "height": 48}, "frames": [0, 2],
    "masks": {"line": {"vertices": [[4, 24], [92, 24]]}},
    "params": {"Path": "line", "Thickness (0 = from source)": 10}
  })j";
}

bool HasControlCharacters(const std::string& text) {
  for (const char c : text) {
    if (c == '\r' || c == '\x1b' || c == '\b') {
      return true;
    }
  }
  return false;
}

TEST(ProgressBarTest, DrawnOnATerminalWithFramesAndPercent) {
  lwclitest::TempFolder dir;
  lwclitest::WriteText(dir / "scene.json", Scene());
  const Outcome o = lwclitest::RunLathewindOnTerminal(
      {"render", (dir / "scene.json").string(), "-o", (dir / "f.%d.png").string()});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.err.find('\r'), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("3/3 frames 100%"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("0/3 frames"), std::string::npos) << o.err;
}

TEST(ProgressBarTest, QuietOnATerminalWritesNothing) {
  lwclitest::TempFolder dir;
  lwclitest::WriteText(dir / "scene.json", Scene());
  const Outcome o = lwclitest::RunLathewindOnTerminal(
      {"render", (dir / "scene.json").string(), "-o", (dir / "f.%d.png").string(), "--quiet"});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.err, "");
}

TEST(ProgressBarTest, StderrToAFileGetsNoControlCharacters) {
  lwclitest::TempFolder dir;
  lwclitest::WriteText(dir / "scene.json", Scene());
  const Outcome o = lwclitest::RunLathewind({"render", "scene.json", "-o", "f.%d.png"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_FALSE(HasControlCharacters(o.err)) << o.err;
  EXPECT_FALSE(HasControlCharacters(o.out)) << o.out;
  EXPECT_EQ(o.err, "");
}

}  // namespace
