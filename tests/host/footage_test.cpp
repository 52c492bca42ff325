// Footage against files made by the real programs: ffmpeg for movies and image formats, OpenEXR's
// own writer for EXR.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/file_gate.h"
#include "layers/png_io.h"
#include "media/frame_cache.h"
#include "media/movie.h"
#include "media/sequence.h"
#include "media/still.h"

namespace lwhost {
namespace {

namespace fs = std::filesystem;

class FootageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("lw_footage_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs ffmpeg in the test's folder; false when it fails.
  bool Ffmpeg(const std::string& args) const {
    const std::string command =
        "cd '" + dir_.string() + "' && ffmpeg -v error -nostdin -y " + args + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
  }

  // Frames 0 .. count-1, each one grey level 6 k + 10 (so the frame shown is told by its pixel).
  void WriteNumberedFrames(int count) const {
    for (int k = 0; k < count; ++k) {
      Image image = MakeImage(16, 8, 8);
      for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
          const uint32_t v = 6 * static_cast<uint32_t>(k) + 10;
          SetChannels(image, x, y, {255, v, v, v});
        }
      }
      char name[32];
      std::snprintf(name, sizeof name, "n.%04d.png", k);
      WritePng(dir_ / name, image, PngAlpha::kRaw);
    }
  }

  std::unique_ptr<MovingSource> Movie(const std::string& name, ClipPlacement placement = {},
                                      int bitDepth = 8) const {
    MovieRequest request;
    request.name = name;
    request.placement = placement;
    request.bitDepth = bitDepth;
    return std::make_unique<MovingSource>(
        OpenMovie(OpenThroughGate(dir_ / name, OpenGate()), request));
  }

  Image Still(const std::string& name, int bitDepth) const {
    return DecodeStill(OpenThroughGate(dir_ / name, OpenGate()), bitDepth, name);
  }

  fs::path dir_;
};

// The frame number a numbered frame's grey level stands for.
int64_t Shown(MovingSource& source, int64_t sceneFrame) {
  const std::shared_ptr<Image> image = source.FrameAt({sceneFrame * 1000, 1000, 24000}, 1, 1);
  return (static_cast<int64_t>(GetChannels(*image, 0, 0).red) - 10) / 6;
}

TEST_F(FootageTest, TimeMappingOfAGeneratedClipStartHoldLoopAnd25In24) {
  WriteNumberedFrames(12);
  ASSERT_TRUE(Ffmpeg("-framerate 25 -i n.%04d.png -c:v png clip25.mov"));
  ASSERT_TRUE(Ffmpeg("-framerate 24 -i n.%04d.png -c:v ffv1 -pix_fmt bgr0 clip24.mkv"));
  auto at25 = Movie("clip25.mov");
  EXPECT_EQ(at25->FrameCount(), 12);
  for (int64_t f = 0; f < 14; ++f) {
    EXPECT_EQ(Shown(*at25, f), std::min<int64_t>(11, 25 * f / 24)) << f;
  }
  auto started = Movie("clip24.mkv", {3, false});
  auto looped = Movie("clip24.mkv", {3, true});
  for (int64_t f = 0; f < 30; ++f) {
    EXPECT_EQ(Shown(*started, f), std::clamp<int64_t>(f - 3, 0, 11)) << f;
    EXPECT_EQ(Shown(*looped, f), f < 3 ? 0 : (f - 3) % 12) << f;
  }

  SequenceRequest sequence;
  sequence.pattern = dir_ / "n.%04d.png";
  sequence.asWritten = "n.%04d.png";
  sequence.placement = {2, true};
  MovingSource frames(OpenSequence(sequence, OpenGate()));
  EXPECT_EQ(Shown(frames, 1), 0);
  EXPECT_EQ(Shown(frames, 13), 11);
  EXPECT_EQ(Shown(frames, 14), 0);
}

TEST_F(FootageTest, VariableFrameRateFileShowsFramesByTheirOwnTimes) {
  WriteNumberedFrames(6);
  // Frames 0-2 a tenth of a second apart, then 3-5 half a second apart.
  ASSERT_TRUE(
      Ffmpeg("-framerate 10 -i n.%04d.png -vf \"setpts='if(lt(N,3),N/10,0.3+(N-3)/2)/TB'\" "
             "-fps_mode vfr -c:v ffv1 -pix_fmt bgr0 vfr.mkv"));
  auto vfr = Movie("vfr.mkv");
  const struct {
    int64_t sceneFrame;  // at 24 fps
    int64_t shown;
  } cases[] = {{0, 0}, {3, 1}, {7, 2}, {8, 3}, {19, 3}, {20, 4}, {32, 5}, {100, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(*vfr, c.sceneFrame), c.shown) << c.sceneFrame;
  }
}

TEST_F(FootageTest, AForwardRenderOnTwoThreadsDecodesEachFrameOnceWithoutSeeking) {
  WriteNumberedFrames(40);
  ASSERT_TRUE(Ffmpeg("-framerate 25 -i n.%04d.png -c:v png clip.mov"));
  auto source = Movie("clip.mov");
  std::atomic<int64_t> next{0};
  const auto worker = [&] {
    for (int64_t f = next++; f < 38; f = next++) {
      EXPECT_EQ(Shown(*source, f), 25 * f / 24);
    }
  };
  std::thread other(worker);
  worker();
  other.join();
  for (const auto& [index, count] : source->DecodeCounts()) {
    EXPECT_EQ(count, 1) << "frame " << index;
  }
  EXPECT_EQ(source->Seeks(), 0);
  EXPECT_LE(source->Capacity(), 32);
  // Going back is still the right frame: from the cache if the decoder's lead has not pushed it
  // out yet (timing: a slower build decodes less far ahead), else after one seek.
  EXPECT_EQ(Shown(*source, 2), 2);
  EXPECT_EQ(source->Seeks(), source->DecodeCounts().at(2) - 1);
}

// A picture with every alpha from opaque to clear and colours that differ per pixel.
Image TestPicture() {
  Image image = MakeImage(16, 8, 8);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 16; ++x) {
      const uint32_t a = y == 0 ? 0 : 255 - 30 * static_cast<uint32_t>(y - 1);
      SetChannels(image, x, y,
                  FileToStored(16 * static_cast<uint32_t>(x), 255 - 12 * static_cast<uint32_t>(x),
                               30 * static_cast<uint32_t>(y), a, 8, 255));
    }
  }
  return image;
}

uint32_t LargestDifference(const Image& a, const Image& b) {
  uint32_t largest = 0;
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      const Channels p = GetChannels(a, x, y);
      const Channels q = GetChannels(b, x, y);
      for (auto [u, v] : {std::pair{p.alpha, q.alpha}, std::pair{p.red, q.red},
                          std::pair{p.green, q.green}, std::pair{p.blue, q.blue}}) {
        largest = std::max(largest, u > v ? u - v : v - u);
      }
    }
  }
  return largest;
}

TEST_F(FootageTest, EverySourceKindGivesThePixelsOfTheSamePng) {
  WritePng(dir_ / "ref.png", TestPicture(), PngAlpha::kStraight);
  // A 16-bit reference of its own, so that ffmpeg only repacks its samples (its 8 to 16-bit
  // conversion is not exact).
  const Image deep = TestPicture();
  Image picture16 = MakeImage(deep.width, deep.height, 16);
  for (int32_t y = 0; y < deep.height; ++y) {
    for (int32_t x = 0; x < deep.width; ++x) {
      const Channels c = GetChannels(deep, x, y);
      SetChannels(picture16, x, y, {c.alpha * 128 + y, c.red * 120, c.green * 100, c.blue * 90});
    }
  }
  WritePng(dir_ / "ref16.png", picture16, PngAlpha::kRaw);
  ASSERT_TRUE(Ffmpeg("-i ref.png -pix_fmt rgba ref8.tif"));
  ASSERT_TRUE(Ffmpeg("-i ref16.png -pix_fmt rgba64le ref16.tif"));
  ASSERT_TRUE(Ffmpeg("-i ref16.png -pix_fmt rgba64le ref16.dpx"));
  ASSERT_TRUE(Ffmpeg("-i ref16.png -c:v ffv1 -pix_fmt rgba64le ref16.mkv"));
  ASSERT_TRUE(Ffmpeg("-i ref.png -c:v png -pix_fmt rgba ref.mov"));
  ASSERT_TRUE(Ffmpeg("-i ref.png -c:v ffv1 -pix_fmt bgra ref.mkv"));
  ASSERT_TRUE(Ffmpeg("-i ref.png -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le prores.mov"));
  ASSERT_TRUE(Ffmpeg("-i ref.png -vf format=rgb24 -q:v 1 ref.jpg"));
  for (const int depth : {8, 16}) {
    const Image png = Still("ref.png", depth);
    const Image png16 = Still("ref16.png", depth);
    EXPECT_EQ(LargestDifference(Still("ref8.tif", depth), png), 0u) << depth;
    for (const char* lossless : {"ref16.tif", "ref16.dpx"}) {
      EXPECT_EQ(LargestDifference(Still(lossless, depth), png16), 0u) << lossless << " " << depth;
    }
    EXPECT_EQ(LargestDifference(*Movie("ref16.mkv", {}, depth)->FrameAt({}, 1, 1), png16), 0u)
        << depth;
    for (const char* movie : {"ref.mov", "ref.mkv"}) {
      EXPECT_EQ(LargestDifference(*Movie(movie, {}, depth)->FrameAt({}, 1, 1), png), 0u)
          << movie << " " << depth;
    }
    // ProRes is within its own error of the picture; alpha survives.
    const Image prores = *Movie("prores.mov", {}, depth)->FrameAt({}, 1, 1);
    EXPECT_LE(LargestDifference(prores, png), FullScale(depth) / 25) << depth;
    EXPECT_EQ(GetChannels(prores, 3, 0).alpha, 0u);
    // JPEG has no alpha: opaque, colours near the straight ones.
    const Image jpeg = Still("ref.jpg", depth);
    EXPECT_EQ(GetChannels(jpeg, 5, 1).alpha, FullScale(depth));
  }
}

TEST_F(FootageTest, ExrIsReadPremultipliedOverItsDataWindow) {
  // A 4 x 2 data window at (10, 20) inside a larger display window.
  Imf::Header header(Imath::Box2i({0, 0}, {99, 99}), Imath::Box2i({10, 20}, {13, 21}));
  for (const char* name : {"R", "G", "B", "A"}) {
    header.channels().insert(name, Imf::Channel(Imf::FLOAT));
  }
  std::vector<float> planes[4];
  const float values[8] = {0.0f, 0.25f, 0.5f, 1.0f, 2.0f, -1.0f, NAN, 0.75f};
  for (auto& plane : planes) {
    plane.assign(values, values + 8);
  }
  {
    Imf::OutputFile file((dir_ / "f.exr").c_str(), header);
    Imf::FrameBuffer buffer;
    const char* names[4] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
      buffer.insert(names[c], Imf::Slice::Make(Imf::FLOAT, planes[c].data(), header.dataWindow(),
                                               sizeof(float), 4 * sizeof(float)));
    }
    file.setFrameBuffer(buffer);
    file.writePixels(2);
  }
  const Image image = Still("f.exr", 16);
  ASSERT_EQ(image.width, 4);
  ASSERT_EQ(image.height, 2);
  const uint32_t expected[8] = {0, 8192, 16384, 32768, 32768, 0, 0, 24576};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(GetChannels(image, i % 4, i / 4),
              (Channels{expected[i], expected[i], expected[i], expected[i]}))
        << i;
  }
}

TEST_F(FootageTest, ExrWithoutRgbIsRefusedNamingTheFileAndItsChannels) {
  Imf::Header header(4, 2);
  header.channels().insert("Z", Imf::Channel(Imf::FLOAT));
  std::vector<float> depth(8, 1.0f);
  {
    Imf::OutputFile file((dir_ / "depth.exr").c_str(), header);
    Imf::FrameBuffer buffer;
    buffer.insert("Z", Imf::Slice::Make(Imf::FLOAT, depth.data(), header.dataWindow(),
                                        sizeof(float), 4 * sizeof(float)));
    file.setFrameBuffer(buffer);
    file.writePixels(2);
  }
  try {
    Still("depth.exr", 8);
    ADD_FAILURE() << "an EXR without R, G, B was read";
  } catch (const FootageError& e) {
    EXPECT_NE(std::string(e.what()).find("\"depth.exr\": the OpenEXR image has no R, G, B channels "
                                         "(it has Z)"),
              std::string::npos)
        << e.what();
  }
}

// Footage whose frames after the first take until released, as a slow or stuck disk would.
class HeldFootage : public Footage {
 public:
  explicit HeldFootage(std::atomic<bool>* release) : release_(release) {}
  int64_t FrameCount() const override { return 4; }
  int64_t IndexAt(const SceneTime& time) const override {
    return std::min<int64_t>(3, time.value / time.step);
  }
  Image Decode(int64_t index) override {
    while (index > 0 && !release_->load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Image image;
    image.width = image.height = 1;
    image.rowBytes = 4;
    image.bytes.assign(4, static_cast<uint8_t>(index));
    return image;
  }

 private:
  std::atomic<bool>* release_;
};

TEST(FootageWaitTest, AWaitForAFrameStopsSoonAfterACancel) {
  std::atomic<bool> release{false};
  auto source = std::make_unique<MovingSource>(std::make_unique<HeldFootage>(&release));
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> cancel{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    cancel = true;
  });
  EXPECT_THROW(source->FrameAt({2, 1, 24}, 1, 1, [&] { return cancel.load(); }),
               FootageWaitCancelled);
  canceller.join();
  // The cancel came at 0.2 s; the wait is given up within a poll, far inside a second.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  release = true;  // the decoder finishes its frame, then the source closes and joins it
  EXPECT_EQ(source->FrameAt({2, 1, 24}, 1, 1)->bytes[0], 2);
  source.reset();
}

}  // namespace
}  // namespace lwhost
