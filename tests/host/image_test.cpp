#include "layers/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace lwhost {
namespace {

// Reference roundings in long double. The exact results are rationals with denominators of at
// most 65535, so they are never closer than 1/131070 to a half; long double's error is far below
// that, which makes floorl(x + 0.5) an independent and exact check of the integer code.
uint32_t RefRound(long double x) {
  return static_cast<uint32_t>(std::floor(x + 0.5L));
}

TEST(ImageConversionTest, FileChannelsScaleExactlyForEveryValueAndDepth) {
  for (const uint32_t scale : {255u, 32768u}) {
    for (const int bits : {1, 2, 4, 8, 16}) {
      const uint32_t fileMax = (1u << bits) - 1;
      for (uint32_t v = 0; v <= fileMax; ++v) {
        const uint32_t expected = RefRound(static_cast<long double>(v) * scale / fileMax);
        ASSERT_EQ(ScaleToWorld(v, bits, scale), expected)
            << "v = " << v << ", bits = " << bits << ", scale = " << scale;
      }
    }
  }
  EXPECT_EQ(ScaleToWorld(128, 8, 32768), 16448u);  // 16448.25
  EXPECT_EQ(ScaleToWorld(1, 1, 32768), 32768u);
}

TEST(ImageConversionTest, EveryEightBitColourAndAlphaPremultipliesExactlyAtBothScales) {
  for (const int depth : {8, 16}) {
    const uint32_t scale = FullScale(depth);
    for (uint32_t a = 0; a <= 255; ++a) {
      const uint32_t alpha = RefRound(static_cast<long double>(a) * scale / 255);
      for (uint32_t c = 0; c <= 255; ++c) {
        const uint32_t color = RefRound(static_cast<long double>(c) * scale / 255);
        const uint32_t premultiplied = RefRound(static_cast<long double>(color) * alpha / scale);
        const Channels stored =
            ColorToStored({static_cast<uint8_t>(c), 0, 255, static_cast<uint8_t>(a)}, depth);
        ASSERT_EQ(stored.alpha, alpha) << "a = " << a << " at " << depth << " bits";
        ASSERT_EQ(stored.red, premultiplied) << "c = " << c << ", a = " << a << " at " << depth;
        ASSERT_EQ(stored.green, 0u);
        ASSERT_EQ(stored.blue, alpha) << "full colour premultiplies to alpha";
      }
    }
  }
}

TEST(ImageConversionTest, UnpremultiplyIsExactClampsAndZeroesTransparentPixels) {
  for (const int depth : {8, 16}) {
    const uint32_t scale = FullScale(depth);
    for (uint32_t a8 = 0; a8 <= 255; ++a8) {
      const uint32_t a = RefRound(static_cast<long double>(a8) * scale / 255);
      for (uint32_t c8 = 0; c8 <= 255; ++c8) {
        const uint32_t c = RefRound(static_cast<long double>(c8) * scale / 255);
        uint32_t expected = 0;
        if (a != 0) {
          expected = std::min(scale, RefRound(static_cast<long double>(c) * scale / a));
        }
        ASSERT_EQ(Unpremultiply(c, a, scale), expected) << "c = " << c << ", a = " << a;
      }
    }
  }
  EXPECT_EQ(Unpremultiply(1, 2, 255), 128u) << "127.5 rounds up";
  EXPECT_EQ(Unpremultiply(200, 100, 255), 255u) << "colour above alpha clamps to full scale";
}

TEST(ImageConversionTest, SixteenBitValuesScaleToPngRangeWithHalvesRoundingUp) {
  for (uint32_t v = 0; v <= 32768; ++v) {
    ASSERT_EQ(Scale16ToFile(v), RefRound(static_cast<long double>(v) * 65535 / 32768))
        << "v = " << v;
  }
  EXPECT_EQ(Scale16ToFile(16384), 32768u) << "32767.5 rounds up";
  EXPECT_EQ(Scale16ToFile(32768), 65535u);
  EXPECT_EQ(Scale16ToFile(65535), 65535u) << "values above full scale clamp";
  EXPECT_EQ(Premultiply(16384, 1, 32768), 1u) << "0.5 rounds up";
  EXPECT_EQ(Premultiply(16383, 1, 32768), 0u);
}

// The row conversion's table and fast paths against the per-pixel rule: every (alpha, colour)
// at 8 bits, and at 16 bits the transparent, opaque and over-full cases around ordinary ones.
TEST(ImageConversionTest, StraightRowsMatchUnpremultiplyPixelByPixel) {
  for (const int depth : {8, 16}) {
    const uint32_t scale = FullScale(depth);
    std::vector<uint32_t> alphas;
    std::vector<uint32_t> colours;
    if (depth == 8) {
      for (uint32_t v = 0; v <= 255; ++v) {
        alphas.push_back(v);
        colours.push_back(v);
      }
    } else {
      alphas = {0, 1, 2, 16383, 16384, 32767, 32768};
      colours = {0, 1, 2, 9999, 16384, 32767, 32768, 40000};
    }
    Image image = MakeImage(static_cast<int32_t>(colours.size()),
                            static_cast<int32_t>(alphas.size()), depth, 2);
    for (size_t y = 0; y < alphas.size(); ++y) {
      for (size_t x = 0; x < colours.size(); ++x) {
        const uint32_t c = colours[x];
        SetChannels(image, static_cast<int32_t>(x), static_cast<int32_t>(y),
                    {alphas[y], c, std::min(c, alphas[y]), scale - std::min(c, scale)});
      }
    }
    std::vector<uint16_t> row(colours.size() * 4);
    for (int32_t y = 0; y < image.height; ++y) {
      StraightFileRow(image, y, row.data());
      for (int32_t x = 0; x < image.width; ++x) {
        const Channels c = GetChannels(image, x, y);
        const auto file = [&](uint32_t v) { return depth == 16 ? Scale16ToFile(v) : v; };
        const std::vector<uint32_t> expected = {file(Unpremultiply(c.red, c.alpha, scale)),
                                                file(Unpremultiply(c.green, c.alpha, scale)),
                                                file(Unpremultiply(c.blue, c.alpha, scale)),
                                                file(c.alpha)};
        const std::vector<uint32_t> got(row.begin() + 4 * x, row.begin() + 4 * x + 4);
        ASSERT_EQ(got, expected) << "depth " << depth << ", pixel (" << x << ", " << y << ")";
      }
    }
  }
}

TEST(ImageTest, PaddedRowsKeepPixelsOffThePadding) {
  for (const int depth : {8, 16}) {
    Image image = MakeImage(3, 2, depth, 6);
    const int32_t pixelBytes = depth == 16 ? 8 : 4;
    ASSERT_EQ(image.rowBytes, 3 * pixelBytes + 6);
    ASSERT_EQ(image.bytes.size(), static_cast<size_t>(image.rowBytes) * 2);
    constexpr unsigned char kMarker = 0xAB;
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t i = 3 * pixelBytes; i < image.rowBytes; ++i) {
        image.bytes[static_cast<size_t>(y * image.rowBytes + i)] = kMarker;
      }
    }
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t x = 0; x < 3; ++x) {
        SetChannels(image, x, y, {255, 1, 2, static_cast<uint32_t>(10 * y + x)});
      }
    }
    for (int32_t y = 0; y < 2; ++y) {
      for (int32_t i = 3 * pixelBytes; i < image.rowBytes; ++i) {
        ASSERT_EQ(image.bytes[static_cast<size_t>(y * image.rowBytes + i)], kMarker)
            << "padding byte " << i << " of row " << y << " at " << depth << " bits";
      }
    }
    EXPECT_EQ(GetChannels(image, 2, 1), (Channels{255, 1, 2, 12}));
    const PF_EffectWorld world = MakeWorldView(image);
    EXPECT_EQ(world.rowbytes, image.rowBytes);
    EXPECT_EQ(world.width, 3);
    EXPECT_EQ((world.world_flags & PF_WorldFlag_DEEP) != 0, depth == 16);
    if (depth == 16) {
      EXPECT_EQ(reinterpret_cast<const PF_Pixel16*>(reinterpret_cast<const char*>(world.data) +
                                                    world.rowbytes)[2]
                    .blue,
                12);
    }
  }
  EXPECT_THROW(MakeImage(3, 2, 16, 3), std::invalid_argument) << "odd padding misaligns";
  EXPECT_THROW(MakeImage(3, 2, 12), std::invalid_argument);
}

TEST(ImageTest, EmptyWorldHasNoPixels) {
  Image image = MakeImage(0, 0, 16);
  EXPECT_TRUE(image.bytes.empty());
  const PF_EffectWorld world = MakeWorldView(image);
  EXPECT_EQ(world.data, nullptr);
  EXPECT_EQ(world.width, 0);
  EXPECT_EQ(world.height, 0);
}

TEST(ImageTest, CheckerAlternatesByCellAndConvertsItsColours) {
  const std::array<StraightColor8, 2> colors = {StraightColor8{255, 0, 0, 128},
                                                StraightColor8{0, 0, 255, 255}};
  for (const int depth : {8, 16}) {
    const Image image = MakeChecker(7, 5, 3, colors, depth);
    const Channels c0 = depth == 8 ? Channels{128, 128, 0, 0} : Channels{16448, 16448, 0, 0};
    const Channels c1 = depth == 8 ? Channels{255, 0, 0, 255} : Channels{32768, 0, 0, 32768};
    for (int32_t y = 0; y < 5; ++y) {
      for (int32_t x = 0; x < 7; ++x) {
        const bool even = (x / 3 + y / 3) % 2 == 0;
        ASSERT_EQ(GetChannels(image, x, y), even ? c0 : c1)
            << "(" << x << ", " << y << ") at " << depth << " bits";
      }
    }
  }
  // Spot checks of the cell edges, independent of the loop's formula.
  const Image image = MakeChecker(7, 5, 3, colors, 8);
  EXPECT_EQ(GetChannels(image, 2, 2).alpha, 128u);
  EXPECT_EQ(GetChannels(image, 3, 2).alpha, 255u);
  EXPECT_EQ(GetChannels(image, 3, 3).alpha, 128u);
  EXPECT_EQ(GetChannels(image, 6, 0).alpha, 128u);
  EXPECT_THROW(MakeChecker(4, 4, 0, colors, 8), std::invalid_argument);
}

TEST(ImageTest, FractionalCheckerCellsAlternateAtFloorOfXOverCell) {
  const std::array<StraightColor8, 2> colors = {StraightColor8{0, 0, 0, 255},
                                                StraightColor8{0, 0, 0, 0}};
  // Cell 2.5: columns 0-2 (x / 2.5 < 1), 3-4, 5-7, 8-9: widths 3, 2, 3, 2 along the top row.
  const Image wide = MakeChecker(10, 1, 2.5, colors, 8);
  std::string row;
  for (int32_t x = 0; x < 10; ++x) {
    row += GetChannels(wide, x, 0).alpha == 255 ? '#' : '.';
  }
  EXPECT_EQ(row, "###..###..");
  // Cell 0.5: floor(2x) + floor(2y) is always even, so every pixel has colour 0.
  const Image fine = MakeChecker(3, 3, 0.5, colors, 8);
  for (int32_t i = 0; i < 9; ++i) {
    EXPECT_EQ(GetChannels(fine, i % 3, i / 3).alpha, 255u) << i;
  }
  EXPECT_THROW(MakeChecker(4, 4, -1.5, colors, 8), std::invalid_argument);
}

TEST(ImageTest, DownsampleAveragesBlocksAndPartialEdgeBlocks) {
  // 5 x 3 source, 2 x 2 blocks: result 3 x 2; the last column and the last row are partial.
  Image source = MakeImage(5, 3, 8, 4);
  const uint32_t alpha[3][5] = {{10, 20, 30, 40, 50}, {11, 22, 33, 44, 55}, {1, 2, 3, 4, 7}};
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      SetChannels(source, x, y, {alpha[y][x], 1, static_cast<uint32_t>(x == 0 ? 1 : 2), 0});
    }
  }
  const Image result = Downsample(source, 2, 2);
  ASSERT_EQ(result.width, 3);
  ASSERT_EQ(result.height, 2);
  EXPECT_EQ(GetChannels(result, 0, 0).alpha, 16u);  // (10 + 20 + 11 + 22) / 4 = 15.75
  EXPECT_EQ(GetChannels(result, 1, 0).alpha, 37u);  // (30 + 40 + 33 + 44) / 4 = 36.75
  EXPECT_EQ(GetChannels(result, 2, 0).alpha, 53u);  // (50 + 55) / 2 = 52.5 rounds up
  EXPECT_EQ(GetChannels(result, 0, 1).alpha, 2u);   // (1 + 2) / 2 = 1.5 rounds up
  EXPECT_EQ(GetChannels(result, 1, 1).alpha, 4u);   // (3 + 4) / 2 = 3.5
  EXPECT_EQ(GetChannels(result, 2, 1).alpha, 7u);   // a single pixel
  EXPECT_EQ(GetChannels(result, 0, 0).green, 2u);   // (1 + 2 + 1 + 2) / 4 = 1.5
  EXPECT_EQ(GetChannels(result, 0, 0).red, 1u);

  Image deep = MakeImage(3, 1, 16);
  SetChannels(deep, 0, 0, {32768, 32768, 0, 0});
  SetChannels(deep, 1, 0, {32768, 0, 0, 0});
  SetChannels(deep, 2, 0, {1, 0, 0, 0});
  const Image deepResult = Downsample(deep, 3, 3);
  ASSERT_EQ(deepResult.width, 1);
  ASSERT_EQ(deepResult.height, 1);
  EXPECT_EQ(GetChannels(deepResult, 0, 0), (Channels{21846, 10923, 0, 0}));  // 21845.67, 10922.67

  const Image same = Downsample(source, 1, 1);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      ASSERT_EQ(GetChannels(same, x, y), GetChannels(source, x, y)) << x << ", " << y;
    }
  }
}

}  // namespace
}  // namespace lwhost
