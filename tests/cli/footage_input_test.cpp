// Footage a scene cannot use: each a usage error (exit 2) on one line naming the file and what is
// wrong, with nothing written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli_harness.h"

namespace lwclitest {
namespace {

namespace fs = std::filesystem;

bool Ffmpeg(const TempFolder& dir, const std::string& args) {
  const std::string command =
      "cd '" + dir.path().string() + "' && ffmpeg -v error -nostdin -y " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(FootageInputTest, BadFootageIsAOneLineUsageErrorNamingTheFile) {
  TempFolder dir;
  WriteText(dir / "text.mov", "not a movie at all\n");
  ASSERT_TRUE(Ffmpeg(dir, "-f lavfi -i anullsrc=r=8000 -t 0.2 sound.mka"));
  ASSERT_TRUE(Ffmpeg(dir, "-f lavfi -i color=red:s=16x8:r=24 -frames:v 24 -c:v ffv1 clip.mkv"));
  ASSERT_TRUE(Ffmpeg(dir, "-f lavfi -i color=red:s=16x8:r=24 -frames:v 24 -c:v png clip.mov"));
  ASSERT_TRUE(Ffmpeg(dir, "-f lavfi -i color=red:s=16x8:r=24 -frames:v 0 -c:v ffv1 zero.mkv"));
  const std::string mov = ReadBytes(dir / "clip.mov");
  WriteText(dir / "cut.mov", mov.substr(0, mov.size() / 2));
  // The same movie with its codec's four-character code made one no FFmpeg knows.
  std::string unknown = ReadBytes(dir / "clip.mkv");
  const size_t codec = unknown.find("FFV1");
  ASSERT_NE(codec, std::string::npos);
  unknown.replace(codec, 4, "ZZZ1");
  WriteText(dir / "unknown.mkv", unknown);
  PngSamples wide;
  wide.width = 16385;
  wide.height = 1;
  wide.bitDepth = 8;
  wide.colorType = 6;
  wide.samples.assign(16385 * 4, 255);
  WritePngSamples(dir / "wide.png", wide);
  PngSamples small;
  small.width = small.height = 2;
  small.bitDepth = 8;
  small.colorType = 6;
  small.samples.assign(16, 255);
  WritePngSamples(dir / "f.0001.png", small);
  WritePngSamples(dir / "f.0003.png", small);

  const struct {
    const char* layer;
    const char* pointer;
    const char* expected;
  } cases[] = {
      {R"({"video": "text.mov"})", "/layers/a/video", "text.mov\" is not a movie FFmpeg reads"},
      {R"({"video": "sound.mka"})", "/layers/a/video", "sound.mka\" has no video stream"},
      {R"({"video": "clip.mkv", "stream": 1})", "/layers/a/video", "there is no stream 1"},
      {R"({"video": "cut.mov"})", "/layers/a/video", "cut.mov\""},
      {R"({"video": "zero.mkv"})", "/layers/a/video", "ends before its first frame"},
      {R"({"video": "unknown.mkv"})", "/layers/a/video", "no decoder for its codec"},
      {R"({"image": "wide.png"})", "/layers/a/image", "larger than the 16384 x 16384"},
      {R"({"image": "f.%04d.png"})", "/layers/a/image", "is missing \""},
      {R"({"image": "g.%04d.png"})", "/layers/a/image", "no file of the sequence"},
      {R"({"image": "wide.png", "loop": true})", "/layers/a/loop", "has no frame field"},
  };
  for (const auto& c : cases) {
    WriteText(dir / "scene.json", std::string(R"({"layers": {"a": )") + c.layer + "}}");
    const Outcome o = RunLathewind({"render", "scene.json", "-o", "out.png"}, dir.path());
    EXPECT_EQ(o.exitCode, 2) << c.layer << ": " << o.err;
    EXPECT_EQ(o.err.rfind(std::string("scene.json: ") + c.pointer + ": ", 0), 0u)
        << c.layer << ": " << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << c.layer << ": " << o.err;
    EXPECT_NE(o.err.find(c.expected), std::string::npos) << c.layer << ": " << o.err;
    EXPECT_FALSE(fs::exists(dir / "out.png")) << c.layer;
  }
  // The missing file of a sequence is the one named.
  WriteText(dir / "scene.json", R"({"layers": {"a": {"image": "f.%04d.png"}}})");
  EXPECT_NE(
      RunLathewind({"render", "scene.json", "-o", "out.png"}, dir.path()).err.find("f.0002.png"),
      std::string::npos);
}

// A frame the load-time scan cannot see is damaged: the render stops there with exit 2 and one
// line naming the frame and the file; a movie is not written, earlier stills are kept.
TEST(FootageInputTest, AFrameThatFailsToDecodeMidRenderIsAUsageError) {
  TempFolder dir;
  ASSERT_TRUE(Ffmpeg(dir,
                     "-f lavfi -i testsrc=s=64x32:r=24 -frames:v 8 -c:v ffv1 -level 3 "
                     "-slicecrc 1 -f nut clip.nut"));
  // The middle of the seventh packet (the nut container keeps no index at the end to harm).
  const std::string probe =
      RunProgram("/usr/bin/ffprobe",
                 {"-v", "error", "-show_entries", "packet=pos", "-of", "csv=p=0", "clip.nut"},
                 dir.path())
          .out;
  std::vector<size_t> positions;
  for (size_t at = 0; at < probe.size();) {
    const size_t end = probe.find('\n', at);
    positions.push_back(std::stoul(probe.substr(at, end - at)));
    at = end == std::string::npos ? probe.size() : end + 1;
  }
  ASSERT_EQ(positions.size(), 8u) << probe;
  std::string bytes = ReadBytes(dir / "clip.nut");
  bytes.replace(positions[6] + 40, 200, 200, '\xff');
  WriteText(dir / "clip.nut", bytes);
  WriteText(dir / "scene.json", R"({"layer": {"width": 64, "height": 32}, "frames": [0, 7],
    "layers": {"clip": {"video": "clip.nut"}}, "masks": {"m": {"svg": "M 4 16 L 60 16"}},
    "params": {"Path": "m", "Source": "clip"}})");
  for (const char* out : {"o.%d.png", "o.mkv"}) {
    const Outcome o = RunLathewind({"render", "scene.json", "--jobs", "1", "-o", out}, dir.path());
    EXPECT_EQ(o.exitCode, 2) << out << ": " << o.err;
    EXPECT_EQ(o.err.rfind("lathewind: frame 6: \"clip.nut\": ", 0), 0u) << out << ": " << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << out << ": " << o.err;
  }
  EXPECT_TRUE(fs::exists(dir / "o.5.png"));
  EXPECT_FALSE(fs::exists(dir / "o.6.png"));
  EXPECT_FALSE(fs::exists(dir / "o.mkv"));
}

// Each frame of a render over a movie is the render over the still of the movie frame it shows.
TEST(FootageInputTest, AMovieSourceRendersAsTheStillOfTheFrameItShows) {
  TempFolder dir;
  for (uint32_t k = 0; k < 3; ++k) {
    PngSamples frame;
    frame.width = 16;
    frame.height = 8;
    frame.bitDepth = 8;
    frame.colorType = 6;
    for (uint32_t i = 0; i < 16 * 8; ++i) {
      frame.samples.insert(frame.samples.end(), {90 * k, 200 - 60 * k, (i * 7) % 256, 255});
    }
    WritePngSamples(dir / ("f.000" + std::to_string(k) + ".png"), frame);
  }
  ASSERT_TRUE(Ffmpeg(dir, "-framerate 24 -i f.%04d.png -c:v png clip.mov"));
  const auto scene = [](const std::string& layer) {
    return R"x({"layer": {"width": 64, "height": 32}, "layers": {"a": )x" + layer +
           R"x(}, "masks": {"m": {"svg": "M 4 16 C 20 0 44 32 60 16"}},
               "params": {"Path": "m", "Source": "a", "Thickness (0 = from source)": 12}})x";
  };
  WriteText(dir / "movie.json", scene(R"({"video": "clip.mov", "start": 1})"));
  const Outcome movie = RunLathewind(
      {"render", "movie.json", "--frames", "0-3", "--jobs", "2", "-o", "m.%d.png"}, dir.path());
  ASSERT_EQ(movie.exitCode, 0) << movie.err;
  const int shown[4] = {0, 0, 1, 2};  // start 1: frame 0 holds the first
  for (int f = 0; f < 4; ++f) {
    WriteText(dir / "still.json",
              scene(R"({"image": "f.000)" + std::to_string(shown[f]) + R"(.png"})"));
    const Outcome still = RunLathewind(
        {"render", "still.json", "--frames", std::to_string(f), "-o", "s.png"}, dir.path());
    ASSERT_EQ(still.exitCode, 0) << still.err;
    EXPECT_EQ(ReadBytes(dir / ("m." + std::to_string(f) + ".png")), ReadBytes(dir / "s.png"))
        << "frame " << f;
  }
  EXPECT_NE(ReadBytes(dir / "m.1.png"), ReadBytes(dir / "m.2.png"));
}

}  // namespace
}  // namespace lwclitest
