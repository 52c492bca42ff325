#include "layers/png_io.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace lwhost {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class PngIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lw_png_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

// What a test PNG holds; rows are packed as libpng expects them for the colour type and depth.
struct TestPng {
  uint32_t width = 0;
  uint32_t height = 0;
  int colorType = PNG_COLOR_TYPE_RGBA;
  int bits = 8;
  std::vector<std::vector<unsigned char>> rows;
  std::vector<png_color> palette;
  std::vector<unsigned char> paletteAlpha;  // tRNS for palettes
  bool greyKey = false;                     // tRNS for grey: this value is transparent
  uint16_t greyKeyValue = 0;
};

TestPng MakePng(uint32_t width, uint32_t height, int colorType, int bits,
                std::vector<std::vector<unsigned char>> rows) {
  TestPng png;
  png.width = width;
  png.height = height;
  png.colorType = colorType;
  png.bits = bits;
  png.rows = std::move(rows);
  return png;
}

// libpng aborts the test on a write error (no jump buffer is set), which is what a test wants.
void WriteTestPng(const fs::path& path, const TestPng& png) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(writer);
  png_init_io(writer, file);
  png_set_IHDR(writer, info, png.width, png.height, png.bits, png.colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!png.palette.empty()) {
    png_set_PLTE(writer, info, png.palette.data(), static_cast<int>(png.palette.size()));
  }
  if (!png.paletteAlpha.empty()) {
    png_set_tRNS(writer, info, png.paletteAlpha.data(), static_cast<int>(png.paletteAlpha.size()),
                 nullptr);
  }
  if (png.greyKey) {
    png_color_16 key{};
    key.gray = png.greyKeyValue;
    png_set_tRNS(writer, info, nullptr, 0, &key);
  }
  png_write_info(writer, info);
  for (const auto& row : png.rows) {
    png_write_row(writer, row.data());
  }
  png_write_end(writer, info);
  png_destroy_write_struct(&writer, &info);
  std::fclose(file);
}

// The file's RGBA values as stored (16-bit values combined from their big-endian bytes).
struct RawPng {
  uint32_t width = 0;
  uint32_t height = 0;
  int bits = 0;
  int colorType = 0;
  std::vector<uint32_t> values;  // RGBA per pixel, row by row
};

RawPng ReadRawPng(const fs::path& path) {
  RawPng raw;
  FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr) << path;
  if (file == nullptr) {
    return raw;
  }
  png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(reader);
  png_init_io(reader, file);
  png_read_info(reader, info);
  raw.width = png_get_image_width(reader, info);
  raw.height = png_get_image_height(reader, info);
  raw.bits = png_get_bit_depth(reader, info);
  raw.colorType = png_get_color_type(reader, info);
  std::vector<unsigned char> row(png_get_rowbytes(reader, info));
  for (uint32_t y = 0; y < raw.height; ++y) {
    png_read_row(reader, row.data(), nullptr);
    for (uint32_t i = 0; i < raw.width * 4; ++i) {
      raw.values.push_back(raw.bits == 16 ? (uint32_t{row[2 * i]} << 8) | row[2 * i + 1] : row[i]);
    }
  }
  png_destroy_read_struct(&reader, &info, nullptr);
  std::fclose(file);
  return raw;
}

// Reference conversion of one straight file pixel, in long double (see image_test.cpp).
Channels Expected(uint32_t r, uint32_t g, uint32_t b, uint32_t a, int bits, int depth) {
  const long double scale = FullScale(depth);
  const long double fileMax = std::pow(2.0L, bits) - 1;
  auto round = [](long double x) { return static_cast<uint32_t>(std::floor(x + 0.5L)); };
  const uint32_t alpha = round(a * scale / fileMax);
  auto color = [&](uint32_t c) { return round(round(c * scale / fileMax) * alpha / scale); };
  return {alpha, color(r), color(g), color(b)};
}

TEST_F(PngIoTest, RgbaAndRgbFilesAtEightAndSixteenBitsReadPremultiplied) {
  TestPng rgba = MakePng(2, 1, PNG_COLOR_TYPE_RGBA, 8, {{255, 128, 0, 128, 10, 20, 30, 0}});
  WriteTestPng(dir_ / "rgba8.png", rgba);
  TestPng rgb16 = MakePng(1, 1, PNG_COLOR_TYPE_RGB, 16, {{0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01}});
  WriteTestPng(dir_ / "rgb16.png", rgb16);
  for (const int depth : {8, 16}) {
    const Image a = ReadPng(dir_ / "rgba8.png", depth);
    ASSERT_EQ(a.width, 2);
    ASSERT_EQ(a.height, 1);
    ASSERT_EQ(a.bitDepth, depth);
    EXPECT_EQ(GetChannels(a, 0, 0), Expected(255, 128, 0, 128, 8, depth)) << depth;
    EXPECT_EQ(GetChannels(a, 1, 0), (Channels{0, 0, 0, 0})) << "alpha 0 premultiplies to 0";
    const Image b = ReadPng(dir_ / "rgb16.png", depth);
    EXPECT_EQ(GetChannels(b, 0, 0), Expected(0xFFFF, 0x8000, 0x0001, 0xFFFF, 16, depth)) << depth;
  }
  EXPECT_EQ(GetChannels(ReadPng(dir_ / "rgba8.png", 8), 0, 0), (Channels{128, 128, 64, 0}));
}

TEST_F(PngIoTest, GreyFilesOfEveryDepthExpandToAllChannels) {
  // 1-bit: 1 0 1; 4-bit: 5 15; grey + alpha 8-bit: (200, 51).
  WriteTestPng(dir_ / "g1.png", MakePng(3, 1, PNG_COLOR_TYPE_GRAY, 1, {{0b10100000}}));
  WriteTestPng(dir_ / "g4.png", MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 4, {{0x5F}}));
  WriteTestPng(dir_ / "ga8.png", MakePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{200, 51}}));
  for (const int depth : {8, 16}) {
    const uint32_t s = FullScale(depth);
    const Image g1 = ReadPng(dir_ / "g1.png", depth);
    EXPECT_EQ(GetChannels(g1, 0, 0), (Channels{s, s, s, s}));
    EXPECT_EQ(GetChannels(g1, 1, 0), (Channels{s, 0, 0, 0}));
    const Image g4 = ReadPng(dir_ / "g4.png", depth);
    EXPECT_EQ(GetChannels(g4, 0, 0), Expected(5, 5, 5, 15, 4, depth)) << depth;
    EXPECT_EQ(GetChannels(g4, 1, 0), (Channels{s, s, s, s}));
    const Image ga = ReadPng(dir_ / "ga8.png", depth);
    EXPECT_EQ(GetChannels(ga, 0, 0), Expected(200, 200, 200, 51, 8, depth)) << depth;
  }
  EXPECT_EQ(GetChannels(ReadPng(dir_ / "g4.png", 8), 0, 0), (Channels{255, 85, 85, 85}));
}

TEST_F(PngIoTest, PaletteAndGreyTransparencyBecomeAlpha) {
  TestPng palette = MakePng(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {{0b00011011}});  // indices 0 1 2 3
  palette.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
  palette.paletteAlpha = {0, 100};  // entries 2 and 3 stay opaque
  WriteTestPng(dir_ / "palette.png", palette);
  TestPng grey = MakePng(2, 1, PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x34, 0xFF, 0xFF}});
  grey.greyKey = true;
  grey.greyKeyValue = 0x1234;
  WriteTestPng(dir_ / "greykey.png", grey);
  for (const int depth : {8, 16}) {
    const uint32_t s = FullScale(depth);
    const Image p = ReadPng(dir_ / "palette.png", depth);
    ASSERT_EQ(p.width, 4);
    EXPECT_EQ(GetChannels(p, 0, 0), (Channels{0, 0, 0, 0}));
    EXPECT_EQ(GetChannels(p, 1, 0), Expected(0, 255, 0, 100, 8, depth)) << depth;
    EXPECT_EQ(GetChannels(p, 2, 0), (Channels{s, 0, 0, s}));
    EXPECT_EQ(GetChannels(p, 3, 0), Expected(10, 20, 30, 255, 8, depth)) << depth;
    const Image g = ReadPng(dir_ / "greykey.png", depth);
    EXPECT_EQ(GetChannels(g, 0, 0), (Channels{0, 0, 0, 0})) << "the keyed grey is transparent";
    EXPECT_EQ(GetChannels(g, 1, 0), (Channels{s, s, s, s}));
  }
}

// A random valid premultiplied world (colour at most alpha) with padded rows.
Image RandomPremultiplied(int depth, uint32_t seed) {
  Image image = MakeImage(13, 7, depth, 8);
  std::mt19937 random(seed);
  const uint32_t scale = FullScale(depth);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t a = (x == 0) ? scale : (y == 0 ? 0 : random() % (scale + 1));
      auto c = [&] { return a == 0 ? 0 : static_cast<uint32_t>(random() % (a + 1)); };
      SetChannels(image, x, y, {a, c(), c(), c()});
    }
  }
  return image;
}

TEST_F(PngIoTest, StraightWriteThenReadGivesTheSameStoredValues) {
  for (const int depth : {8, 16}) {
    const Image world = RandomPremultiplied(depth, 7u + static_cast<uint32_t>(depth));
    const fs::path path = dir_ / ("straight" + std::to_string(depth) + ".png");
    WritePng(path, world, PngAlpha::kStraight);
    const RawPng raw = ReadRawPng(path);
    EXPECT_EQ(raw.bits, depth);
    EXPECT_EQ(raw.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
    const Image back = ReadPng(path, depth);
    for (int32_t y = 0; y < world.height; ++y) {
      for (int32_t x = 0; x < world.width; ++x) {
        ASSERT_EQ(GetChannels(back, x, y), GetChannels(world, x, y))
            << "(" << x << ", " << y << ") at " << depth << " bits";
      }
    }
  }
}

TEST_F(PngIoTest, StraightWriteUnpremultipliesAndScalesToPngRange) {
  Image eight = MakeImage(2, 1, 8);
  SetChannels(eight, 0, 0, {128, 64, 128, 0});
  SetChannels(eight, 1, 0, {0, 9, 9, 9});  // invalid colour under zero alpha is dropped
  WritePng(dir_ / "e.png", eight, PngAlpha::kStraight);
  EXPECT_EQ(ReadRawPng(dir_ / "e.png").values,
            (std::vector<uint32_t>{128, 255, 0, 128, 0, 0, 0, 0}));
  // 64 x 255 / 128 = 127.5 rounds to 128.

  Image deep = MakeImage(2, 1, 16);
  SetChannels(deep, 0, 0, {32768, 32768, 16384, 0});
  SetChannels(deep, 1, 0, {16384, 8192, 16384, 1});
  WritePng(dir_ / "d.png", deep, PngAlpha::kStraight);
  EXPECT_EQ(ReadRawPng(dir_ / "d.png").values,
            (std::vector<uint32_t>{65535, 32768, 0, 65535, 32768, 65535, 4, 32768}));
  // 16384 -> 32767.5 -> 32768; straight blue 1 x 32768 / 16384 = 2 -> 3.99994 -> 4.
}

TEST_F(PngIoTest, RawWriteKeepsStoredValues) {
  for (const int depth : {8, 16}) {
    const Image world = RandomPremultiplied(depth, 99u + static_cast<uint32_t>(depth));
    const fs::path path = dir_ / ("raw" + std::to_string(depth) + ".png");
    WritePng(path, world, PngAlpha::kRaw);
    const RawPng raw = ReadRawPng(path);
    ASSERT_EQ(raw.bits, depth);
    ASSERT_EQ(raw.values.size(), static_cast<size_t>(world.width * world.height * 4));
    for (int32_t y = 0; y < world.height; ++y) {
      for (int32_t x = 0; x < world.width; ++x) {
        const Channels c = GetChannels(world, x, y);
        const size_t i = static_cast<size_t>(y * world.width + x) * 4;
        ASSERT_EQ(
            (Channels{raw.values[i + 3], raw.values[i], raw.values[i + 1], raw.values[i + 2]}), c)
            << "(" << x << ", " << y << ") at " << depth << " bits";
      }
    }
  }
}

TEST_F(PngIoTest, UnreadableFilesReportThePathAndReason) {
  auto expectError = [](const fs::path& path, const std::string& reason) {
    try {
      ReadPng(path, 8);
      ADD_FAILURE() << "no error for " << path;
    } catch (const std::runtime_error& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
  };
  expectError(dir_ / "missing.png", "No such file");
  std::ofstream(dir_ / "text.png") << "this is not an image";
  expectError(dir_ / "text.png", "not a PNG");

  TestPng big = MakePng(64, 64, PNG_COLOR_TYPE_RGBA, 8, {});
  for (uint32_t y = 0; y < 64; ++y) {
    std::vector<unsigned char> row(64 * 4);
    for (size_t i = 0; i < row.size(); ++i) {
      row[i] = static_cast<unsigned char>(i * 7 + y * 13);
    }
    big.rows.push_back(row);
  }
  WriteTestPng(dir_ / "good.png", big);
  const auto size = fs::file_size(dir_ / "good.png");
  fs::copy_file(dir_ / "good.png", dir_ / "truncated.png");
  fs::resize_file(dir_ / "truncated.png", size / 2);
  expectError(dir_ / "truncated.png", "cannot read PNG");
  // A flipped byte inside the image data breaks its CRC.
  fs::copy_file(dir_ / "good.png", dir_ / "flipped.png");
  {
    std::fstream file(dir_ / "flipped.png", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(size / 2));
    file.put('\x5A');
  }
  expectError(dir_ / "flipped.png", "cannot read PNG");
  EXPECT_EQ(ReadPng(dir_ / "good.png", 8).width, 64) << "the intact file still reads";
}

TEST_F(PngIoTest, FailedWritesLeaveNoFileBehindAndKeepTheOldOne) {
  const Image empty = MakeImage(0, 0, 8);
  const fs::path target = dir_ / "out.png";
  std::ofstream(target) << "old contents";
  EXPECT_THROW(WritePng(target, empty, PngAlpha::kStraight), std::runtime_error);
  std::ifstream in(target);
  std::string contents;
  std::getline(in, contents);
  EXPECT_EQ(contents, "old contents");

  Image pixel = MakeImage(1, 1, 8);
  try {
    WritePng(dir_ / "no_such_folder" / "out.png", pixel, PngAlpha::kRaw);
    ADD_FAILURE() << "writing into a missing folder succeeded";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("no_such_folder"), std::string::npos) << error.what();
  }
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    ++files;
    EXPECT_EQ(entry.path().filename(), "out.png") << "left behind: " << entry.path();
  }
  EXPECT_EQ(files, 1u);

  WritePng(target, pixel, PngAlpha::kRaw);
  EXPECT_EQ(ReadRawPng(target).width, 1u) << "a successful write replaces the old file";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace lwhost
