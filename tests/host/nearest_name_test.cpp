#include "core/nearest_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lwhost {
namespace {

TEST(NearestNameTest, EditDistanceCountsInsertionsDeletionsSubstitutionsAndSwaps) {
  EXPECT_EQ(EditDistance("render", "render"), 0u);
  EXPECT_EQ(EditDistance("rende", "render"), 1u);
  EXPECT_EQ(EditDistance("frames", "frame"), 1u);
  EXPECT_EQ(EditDistance("clsoed", "closed"), 1u) << "a swap of neighbours is one edit";
  EXPECT_EQ(EditDistance("Taper start", "Taper Start"), 0u) << "case is ignored";
  EXPECT_EQ(EditDistance("", "abc"), 3u);
  EXPECT_EQ(EditDistance("kitten", "sitting"), 3u);
  // Symmetric, whichever is longer.
  EXPECT_EQ(EditDistance("params", "pram"), EditDistance("pram", "params"));
}

TEST(NearestNameTest, SuggestsOnlyANearEnoughName) {
  const std::vector<std::string> commands = {"about", "params", "render", "graph", "help"};
  EXPECT_EQ(NearestName("rende", commands), "render");
  EXPECT_EQ(NearestName("grahp", commands), "graph");
  EXPECT_EQ(NearestName("xyzzy", commands), std::nullopt);
  EXPECT_EQ(NearestName("studio", commands), std::nullopt);
  EXPECT_EQ(DidYouMean("parms", commands), " (did you mean \"params\"?)");
  EXPECT_EQ(DidYouMean("quit", commands), "");
  const std::vector<std::string> shortNames = {"id", "svg"};
  EXPECT_EQ(NearestName("xy", shortNames), std::nullopt) << "two edits is all of a short name";
  EXPECT_EQ(NearestName("sgv", shortNames), "svg");
}

TEST(NearestNameTest, AHugeNameIsShortenedAndNeverCompared) {
  const std::vector<std::string> labels = {"Taper Start", "Taper End"};
  const std::string huge = "Taper Start" + std::string(1 << 20, 'x');
  EXPECT_EQ(NearestName(huge, labels), std::nullopt);
  const std::string shown = ShortName(huge);
  EXPECT_EQ(shown, huge.substr(0, kShortNameBytes) + "... (1048587 bytes)");
  EXPECT_EQ(ShortName("Taper Start"), "Taper Start");
  // Cut before a character, not inside its UTF-8 bytes.
  const std::string accents = std::string(kShortNameBytes - 1, 'a') + "\xc3\xa9\xc3\xa9";
  EXPECT_EQ(ShortName(accents + std::string(10, 'b')).substr(0, kShortNameBytes - 1 + 4),
            std::string(kShortNameBytes - 1, 'a') + "... ");
}

}  // namespace
}  // namespace lwhost
