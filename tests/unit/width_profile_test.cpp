#include "render/width_profile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lwd {
namespace {

// Points evenly spread along a polyline, as the profile build samples a mask.
struct Samples {
  std::vector<double> x, y;
};

Samples AlongPolyline(const std::vector<std::pair<double, double>>& corners, int count) {
  std::vector<double> cum = {0.0};
  for (size_t i = 1; i < corners.size(); ++i) {
    cum.push_back(cum.back() + std::hypot(corners[i].first - corners[i - 1].first,
                                          corners[i].second - corners[i - 1].second));
  }
  Samples s;
  for (int i = 0; i < count; ++i) {
    const double d = cum.back() * i / (count - 1);
    size_t seg = 0;
    while (seg + 2 < corners.size() && d > cum[seg + 1])
      ++seg;
    const double f = (d - cum[seg]) / (cum[seg + 1] - cum[seg]);
    s.x.push_back(corners[seg].first + f * (corners[seg + 1].first - corners[seg].first));
    s.y.push_back(corners[seg].second + f * (corners[seg + 1].second - corners[seg].second));
  }
  return s;
}

std::vector<double> Reduce(const Samples& s) {
  std::vector<double> profile;
  ReduceWidthProfile(s.x.data(), s.y.data(), static_cast<int>(s.x.size()), profile);
  return profile;
}

TEST(WidthProfileTest, VMaskIsOneAtTheEndsAndZeroInTheMiddle) {
  // Two top corners and a bottom point in the middle (y grows downwards).
  const auto profile =
      Reduce(AlongPolyline({{100, 50}, {300, 250}, {500, 50}}, kWidthProfileSamples));
  ASSERT_EQ(profile.size(), static_cast<size_t>(kWidthProfileBins));
  // The end bins average the samples within half a bin of the ends.
  EXPECT_NEAR(profile[0], 1.0, 0.005);
  EXPECT_NEAR(profile[255], 1.0, 0.005);
  EXPECT_NEAR(profile[127], 0.0, 0.01);
  EXPECT_NEAR(profile[128], 0.0, 0.01);
  EXPECT_NEAR(profile[64], 0.5, 0.01);  // a straight flank falls linearly
  for (double v : profile) {
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 1.0);
  }
}

TEST(WidthProfileTest, HorizontalLineIsAllOne) {
  const auto profile = Reduce(AlongPolyline({{0, 70}, {300, 70}}, kWidthProfileSamples));
  ASSERT_EQ(profile.size(), static_cast<size_t>(kWidthProfileBins));
  for (int b = 0; b < kWidthProfileBins; ++b) {
    EXPECT_EQ(profile[b], 1.0) << "bin " << b;
  }
}

TEST(WidthProfileTest, VerticalLineGivesNoProfile) {
  EXPECT_TRUE(Reduce(AlongPolyline({{40, 0}, {40, 300}}, kWidthProfileSamples)).empty());
  std::vector<double> profile = {1.0};
  ReduceWidthProfile(nullptr, nullptr, 0, profile);
  EXPECT_TRUE(profile.empty());
}

TEST(WidthProfileTest, EmptyBinsAreFilledLinearlyAndEndsExtended) {
  // x = 9 and 13 of a 0..255 range land in bins 9 and 13; y gives 0.2 and 0.6.
  Samples s;
  s.x = {0.0, 9.0, 13.0, 255.0};
  s.y = {10.0, 8.0, 4.0, 0.0};  // y range 0..10: values 0, 0.2, 0.6, 1
  const auto profile = Reduce(s);
  ASSERT_EQ(profile.size(), static_cast<size_t>(kWidthProfileBins));
  EXPECT_NEAR(profile[9], 0.2, 1e-12);
  EXPECT_NEAR(profile[10], 0.3, 1e-12);
  EXPECT_NEAR(profile[11], 0.4, 1e-12);
  EXPECT_NEAR(profile[12], 0.5, 1e-12);
  EXPECT_NEAR(profile[13], 0.6, 1e-12);

  // The leftmost and rightmost samples always land in bins 0 and 255; a run between them is
  // filled from both ends.
  Samples two;
  two.x = {100.0, 200.0};
  two.y = {0.0, 10.0};
  const auto run = Reduce(two);
  ASSERT_EQ(run.size(), static_cast<size_t>(kWidthProfileBins));
  EXPECT_EQ(run[0], 1.0);
  EXPECT_EQ(run[255], 0.0);
  EXPECT_NEAR(run[128], 1.0 - 128.0 / 255.0, 1e-12);
}

TEST(WidthProfileTest, DrawingDirectionDoesNotMatter) {
  const std::vector<std::pair<double, double>> ramp = {{0, 200}, {150, 20}, {400, 120}};
  const auto forward = Reduce(AlongPolyline(ramp, kWidthProfileSamples));
  const auto reversed = Reduce(AlongPolyline({ramp[2], ramp[1], ramp[0]}, kWidthProfileSamples));
  ASSERT_EQ(forward.size(), reversed.size());
  for (size_t b = 0; b < forward.size(); ++b) {
    EXPECT_NEAR(forward[b], reversed[b], 1e-9) << "bin " << b;
  }
  EXPECT_NEAR(forward[0], 0.0, 0.005);  // the lowest point is at the left end
}

}  // namespace
}  // namespace lwd
