#include "scenes/frame_pattern.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace lwhost {
namespace {

std::string Format(std::string_view pattern, int64_t frame) {
  return FormatFrame(ParseFramePattern(pattern), frame);
}

TEST(FramePatternTest, FieldsFormatAsPrintfWould) {
  EXPECT_EQ(Format("out.%04d.png", 7), "out.0007.png");
  EXPECT_EQ(Format("out.%04d.png", 123456), "out.123456.png");
  EXPECT_EQ(Format("f%d", 0), "f0");
  EXPECT_EQ(Format("f%d", 42), "f42");
  EXPECT_EQ(Format("[%5d]", 42), "[   42]");
  EXPECT_EQ(Format("[%05d]", -42), "[-0042]");
  EXPECT_EQ(Format("[%5d]", -42), "[  -42]");
  EXPECT_EQ(Format("%d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Format("100%%_%03d.png", 5), "100%_005.png");
}

TEST(FramePatternTest, PlainNamesNeedNoFieldForOneFrame) {
  const FramePattern plain = ParseOutputPattern("still.png", 1);
  EXPECT_FALSE(plain.hasField);
  EXPECT_EQ(FormatFrame(plain, 12), "still.png");
  EXPECT_EQ(FormatFrame(ParseOutputPattern("a%%b.png", 1), 3), "a%b.png");
  EXPECT_EQ(FormatFrame(ParseOutputPattern("f.%02d.png", 1), 3), "f.03.png");
  try {
    ParseOutputPattern("still.png", 48);
    ADD_FAILURE() << "48 frames into one file";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("48 frames"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(ParseOutputPattern("out.%04d.png", 48).hasField);
}

TEST(FramePatternTest, EverythingButOneIntegerFieldIsRejected) {
  for (const char* bad : {"out.%s.png", "out.%n.png", "%x", "%04", "trailing%", "%-4d", "%+d",
                          "%ld", "%4.2d", "a%d%d", "%d_%04d", "%33d", "%0999999999999d"}) {
    EXPECT_THROW(ParseFramePattern(bad), std::invalid_argument) << bad;
  }
  EXPECT_NO_THROW(ParseFramePattern("%32d"));
}

}  // namespace
}  // namespace lwhost
