// The outputs of `lathewind render` and `lathewind encode`, checked with the real ffmpeg and
// ffprobe and with OpenEXR's reader: lossless movies decode to the PNG's bytes, ProRes keeps alpha
// within its error, EXR windows keep the layer's place, plates sit at the layer's origin, and
// bad outputs and interrupts leave nothing behind.
#include <gtest/gtest.h>

#include <ImfRgbaFile.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_harness.h"

namespace {

namespace fs = std::filesystem;
using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::RunLathewindAndSignal;
using lwclitest::RunProgram;
using lwclitest::TempFolder;
using lwclitest::WriteText;

// A semi-transparent checker along a curve on a 96 x 48 layer; Offset moves it frame by frame
// and the board's colours have faint alpha, where rounding would show.
std::string Scene(int bitDepth, const std::string& extra = "") {
  return R"j({"layer": {"width": 96, "height": 48}, "bitDepth": )j" + std::to_string(bitDepth) +
         R"j(, "frames": [0, 3],
    "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                         "colors": ["#ff804010", "#2040ffe0"]}},
    "masks": {"curve": {"svg": "M 8 30 C 30 4 60 44 88 18"}},
    "params": {"Path": "curve", "Source": "board", "Fit": "Tile",
               "Thickness (0 = from source)": 14, "Offset": {"keys": [[0, 0], [3, 30]]})j" +
         extra + "}}";
}

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

Outcome Ffmpeg(const std::vector<std::string>& args, const fs::path& dir) {
  std::vector<std::string> all = {"-hide_banner", "-loglevel", "error"};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram("/usr/bin/ffmpeg", all, dir);
}

// "codec_name=ffv1\nnb_read_frames=4\n..." for the first video stream.
std::string Probe(const fs::path& movie) {
  return RunProgram("/usr/bin/ffprobe",
                    {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                     "stream=codec_name,profile,pix_fmt,r_frame_rate,nb_read_frames", "-of",
                     "default=noprint_wrappers=1", movie.string()})
      .out;
}

// Every frame of a movie as packed little-endian RGBA samples of `bits` bits.
std::vector<uint32_t> DecodedSamples(const fs::path& movie, int bits) {
  const Outcome raw = Ffmpeg(
      {"-i", movie.string(), "-f", "rawvideo", "-pix_fmt", bits == 16 ? "rgba64le" : "rgba", "-"},
      movie.parent_path());
  std::vector<uint32_t> samples;
  const auto* bytes = reinterpret_cast<const unsigned char*>(raw.out.data());
  for (size_t i = 0; i + (bits / 8) <= raw.out.size(); i += bits / 8) {
    samples.push_back(bits == 16 ? uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 : bytes[i]);
  }
  return samples;
}

std::vector<uint32_t> PngFrames(const fs::path& dir, int count) {
  std::vector<uint32_t> all;
  for (int f = 0; f < count; ++f) {
    const PngSamples png = ReadPngSamples(dir / ("f." + std::to_string(f) + ".png"));
    all.insert(all.end(), png.samples.begin(), png.samples.end());
  }
  return all;
}

class LosslessMovieTest : public testing::TestWithParam<int> {};

TEST_P(LosslessMovieTest, MkvAndEncodedMkvDecodeToThePngBytes) {
  const int bits = GetParam();
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(bits));
  ASSERT_EQ(
      RunLathewind({"render", "scene.json", "-o", "f.%d.png", "--quiet"}, dir.path()).exitCode, 0);
  const Outcome movie = RunLathewind({"render", "scene.json", "-o", "out.mkv"}, dir.path());
  ASSERT_EQ(movie.exitCode, 0) << Describe(movie);
  EXPECT_EQ(movie.out, "wrote out.mkv (4 frames)\n");
  const Outcome encoded =
      RunLathewind({"encode", "f.%d.png", "--frame-rate", "25", "-o", "enc.mkv"}, dir.path());
  ASSERT_EQ(encoded.exitCode, 0) << Describe(encoded);

  const std::vector<uint32_t> png = PngFrames(dir.path(), 4);
  EXPECT_TRUE(DecodedSamples(dir / "out.mkv", bits) == png) << "render to .mkv is not lossless";
  EXPECT_TRUE(DecodedSamples(dir / "enc.mkv", bits) == png) << "encode to .mkv is not lossless";
  const std::string probe = Probe(dir / "out.mkv");
  EXPECT_NE(probe.find("codec_name=ffv1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=24/1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=4"), std::string::npos) << probe;
  EXPECT_NE(Probe(dir / "enc.mkv").find("r_frame_rate=25/1"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Depths, LosslessMovieTest, testing::Values(8, 16));

TEST(OutputsTest, MovIsProRes4444WithAlphaWithinProResError) {
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(16));
  ASSERT_EQ(
      RunLathewind({"render", "scene.json", "-o", "f.%d.png", "--quiet"}, dir.path()).exitCode, 0);
  const Outcome movie = RunLathewind({"render", "scene.json", "-o", "out.mov"}, dir.path());
  ASSERT_EQ(movie.exitCode, 0) << Describe(movie);
  const std::string probe = Probe(dir / "out.mov");
  EXPECT_NE(probe.find("codec_name=prores"), std::string::npos) << probe;
  EXPECT_NE(probe.find("profile=4444"), std::string::npos) << probe;
  EXPECT_NE(probe.find("pix_fmt=yuva444p"), std::string::npos) << probe << ": no alpha";
  EXPECT_NE(probe.find("nb_read_frames=4"), std::string::npos) << probe;

  const std::vector<uint32_t> png = PngFrames(dir.path(), 4);
  const std::vector<uint32_t> mov = DecodedSamples(dir / "out.mov", 16);
  ASSERT_EQ(mov.size(), png.size());
  // ProRes 4444 codes colour at 10 bits, quantised per block, and alpha with its own lossless
  // coder, which FFmpeg's decoder hands back at 12 bits: where the ribbon is visible colour stays
  // within 3% of full scale, alpha within 1/512.
  double worstColor = 0.0;
  double worstAlpha = 0.0;
  for (size_t i = 0; i < png.size(); i += 4) {
    const double alpha = png[i + 3] / 65535.0;
    worstAlpha = std::max(worstAlpha, std::abs(double(mov[i + 3]) - png[i + 3]) / 65535.0);
    for (size_t c = 0; c < 3 && alpha > 0.25; ++c) {
      worstColor = std::max(worstColor, std::abs(double(mov[i + c]) - png[i + c]) / 65535.0);
    }
  }
  EXPECT_LE(worstAlpha, 1.0 / 512) << "alpha";
  EXPECT_LE(worstColor, 0.03) << "colour";
}

TEST(OutputsTest, ExrWindowsKeepTheLayersPlaceUnderExpandBounds) {
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(16, R"j(, "Expand Bounds": 5)j"));
  ASSERT_EQ(
      RunLathewind({"render", "scene.json", "--frames", "2", "-o", "raw.png", "--raw", "--quiet"},
                   dir.path())
          .exitCode,
      0);
  const Outcome exr =
      RunLathewind({"render", "scene.json", "--frames", "2", "-o", "f.exr"}, dir.path());
  ASSERT_EQ(exr.exitCode, 0) << Describe(exr);
  Imf::RgbaInputFile file((dir / "f.exr").c_str());
  const Imath::Box2i display = file.displayWindow();
  const Imath::Box2i data = file.dataWindow();
  EXPECT_EQ(display.min, Imath::V2i(0, 0));
  EXPECT_EQ(display.max, Imath::V2i(95, 47));
  EXPECT_EQ(data.min, Imath::V2i(-5, -5));
  EXPECT_EQ(data.max, Imath::V2i(100, 52));
  EXPECT_EQ(file.compression(), Imf::ZIP_COMPRESSION);

  const PngSamples raw = ReadPngSamples(dir / "raw.png");
  ASSERT_EQ(raw.width, 106u);
  const int width = data.max.x - data.min.x + 1;
  std::vector<Imf::Rgba> pixels(static_cast<size_t>(width) * (data.max.y - data.min.y + 1));
  file.setFrameBuffer(pixels.data() - data.min.x - data.min.y * width, 1, width);
  file.readPixels(data.min.y, data.max.y);
  // c = stored / 32768, as half: within half's precision (11 bits) of the stored value.
  for (uint32_t y = 0; y < raw.height; ++y) {
    for (uint32_t x = 0; x < raw.width; ++x) {
      const Imf::Rgba& p = pixels[y * width + x];
      const float channels[4] = {p.r, p.g, p.b, p.a};
      for (int c = 0; c < 4; ++c) {
        const float expected = raw.At(x, y, c) / 32768.0f;
        ASSERT_NEAR(channels[c], expected, expected / 1024 + 1e-6f) << x << "," << y << " c" << c;
      }
    }
  }
}

TEST(OutputsTest, PlateSitsAtTheLayersOriginFromALayerOrAFile) {
  TempFolder dir;
  // No mask in "Path": the effect draws nothing, so the output is the plate alone, grown by
  // Expand Bounds around it.
  const std::string scene = R"j({"layer": {"width": 20, "height": 10}, "bitDepth": 8,
    "layers": {"plate": {"pattern": "checker", "width": 12, "height": 6, "cell": 3,
                         "colors": ["#ff000080", "#00ff00ff"]}},
    "background": "plate", "params": {"Expand Bounds": 4}})j";
  WriteText(dir / "scene.json", scene);
  WriteText(dir / "bare.json", R"j({"layer": {"width": 12, "height": 6}, "bitDepth": 8,
    "layers": {"plate": {"pattern": "checker", "width": 12, "height": 6, "cell": 3,
                         "colors": ["#ff000080", "#00ff00ff"]}},
    "background": "plate"})j");
  // The plate's stored values, and the same plate as an ordinary (straight) PNG file; its
  // colours are 0 or full, so the file reads back to the same stored values.
  ASSERT_EQ(
      RunLathewind({"render", "bare.json", "-o", "plate-raw.png", "--raw", "--quiet"}, dir.path())
          .exitCode,
      0);
  ASSERT_EQ(
      RunLathewind({"render", "bare.json", "-o", "plate.png", "--quiet"}, dir.path()).exitCode, 0);
  const Outcome fromLayer =
      RunLathewind({"render", "scene.json", "-o", "layer.png", "--raw", "--quiet"}, dir.path());
  ASSERT_EQ(fromLayer.exitCode, 0) << Describe(fromLayer);
  const Outcome fromFile = RunLathewind(
      {"render", "scene.json", "--background", "plate.png", "-o", "file.png", "--raw", "--quiet"},
      dir.path());
  ASSERT_EQ(fromFile.exitCode, 0) << Describe(fromFile);

  const PngSamples plate = ReadPngSamples(dir / "plate-raw.png");
  for (const char* name : {"layer.png", "file.png"}) {
    const PngSamples out = ReadPngSamples(dir / name);
    ASSERT_EQ(out.width, 28u) << name;
    for (uint32_t y = 0; y < out.height; ++y) {
      for (uint32_t x = 0; x < out.width; ++x) {
        const bool covered = x >= 4 && x < 16 && y >= 4 && y < 10;
        for (int c = 0; c < 4; ++c) {
          ASSERT_EQ(out.At(x, y, c), covered ? plate.At(x - 4, y - 4, c) : 0u)
              << name << " at " << x << "," << y << " c" << c;
        }
      }
    }
  }
}

TEST(OutputsTest, MovingPlatesShowTheFrameOfTheFramesTime) {
  TempFolder dir;
  // Frame n of the clip is red n x 60: which frame a render composited shows in one sample.
  const std::string reds = "format=gbrp,geq=r='N*60':g=0:b=0";
  for (const char* out : {"clip.mkv", "p.%d.png"}) {
    const Outcome made =
        Ffmpeg({"-f", "lavfi", "-i", "color=black:s=8x4:r=24", "-frames:v", "4", "-vf", reds,
                "-c:v", out[0] == 'c' ? "ffv1" : "png", "-start_number", "0", out},
               dir.path());
    ASSERT_EQ(made.exitCode, 0) << Describe(made);
  }
  // No mask in "Path": the output is the plate alone.
  WriteText(dir / "scene.json", R"j({"layer": {"width": 8, "height": 4}, "frames": [0, 3],
    "layers": {"clip": {"video": "clip.mkv"}}, "background": "clip"})j");
  WriteText(dir / "bare.json", R"j({"layer": {"width": 8, "height": 4}, "frames": [0, 3]})j");
  const std::vector<std::vector<std::string>> renders = {
      {"render", "scene.json", "-o", "a.%d.png"},
      {"render", "bare.json", "--background", "clip.mkv", "-o", "b.%d.png"},
      {"render", "bare.json", "--background", "p.%d.png", "-o", "c.%d.png"}};
  for (const auto& args : renders) {
    std::vector<std::string> quiet = args;
    quiet.push_back("--quiet");
    const Outcome rendered = RunLathewind(quiet, dir.path());
    ASSERT_EQ(rendered.exitCode, 0) << args[3] << ": " << Describe(rendered);
    for (int f = 0; f < 4; ++f) {
      const std::string name = args.back().substr(0, 2) + std::to_string(f) + ".png";
      const PngSamples out = ReadPngSamples(dir / name);
      EXPECT_EQ(out.At(3, 2, 0), 60u * f) << name;
      EXPECT_EQ(out.At(3, 2, 3), 255u) << name;
    }
  }
}

TEST(OutputsTest, BadOutputsAreUsageErrorsThatWriteNothing) {
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(8));
  WriteText(dir / "keyed.json", Scene(8, R"j(, "Expand Bounds": {"keys": [[0, 0], [3, 6]]})j"));
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"render", "scene.json", "-o", "out.gif"},
       "unknown extension \".gif\"; known: .png, .tif, .tiff, .exr, .jpg, .jpeg, .mov, .mkv, .mp4"},
      {{"render", "scene.json", "-o", "out.mov", "--format", "webm"}, "--format webm: unknown"},
      {{"render", "scene.json", "-o", "out.%04d.mov"}, "drop the frame field"},
      {{"render", "scene.json", "-o", "out.mkv", "--raw"}, "--raw writes stored values"},
      {{"render", "scene.json", "-o", "/proc/out.%d.png"}, "cannot write /proc/out.0.png"},
      {{"render", "scene.json", "-o", "/proc/out.mov"}, "cannot write /proc/out.mov"},
      {{"render", "scene.json", "--background", "nothing-here", "-o", "x.%d.png"},
       "not a colour (#RRGGBB or #RRGGBBAA), a layer of the scene or a file"},
      {{"render", "keyed.json", "-o", "out.mov"}, "frame 0 is 96 x 48, frame 1 is 100 x 52"},
      {{"encode", "missing.%d.png", "-o", "out.mkv"}, "no file of the pattern is there"},
  };
  for (const auto& c : cases) {
    const Outcome o = RunLathewind(c.args, dir.path());
    EXPECT_EQ(o.exitCode, 2) << c.args[2] << ": " << Describe(o);
    EXPECT_NE(o.err.find(c.message), std::string::npos) << c.args[2] << ": " << o.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << c.args[2] << " left a file behind";
  }
  // --format overrides the extension.
  ASSERT_EQ(RunLathewind({"render", "scene.json", "-o", "out.bin", "--format", "mkv"}, dir.path())
                .exitCode,
            0);
  EXPECT_NE(Probe(dir / "out.bin").find("codec_name=ffv1"), std::string::npos);
}

TEST(OutputsTest, InterruptDuringAMovieLeavesNoFile) {
  TempFolder dir;
  WriteText(dir / "scene.json", R"j({"layer": {"width": 1920, "height": 1080}, "frames": [0, 400],
    "layers": {"board": {"pattern": "checker", "width": 64, "height": 64, "cell": 8,
                         "colors": ["#ff8040ff", "#2040ffff"]}},
    "masks": {"curve": {"svg": "M 100 900 C 600 100 1300 1000 1800 200"}},
    "params": {"Path": "curve", "Source": "board", "Thickness (0 = from source)": 300,
               "Offset": {"keys": [[0, 0], [400, 500]]}}})j");
  // The signal goes once the movie's temporary file exists: rendering has begun.
  const auto started = [&dir](const std::string&) {
    for (const fs::directory_entry& e : fs::directory_iterator(dir.path())) {
      if (e.path().filename().string().rfind(".out.mov.tmp", 0) == 0) {
        return true;
      }
    }
    return false;
  };
  const Outcome o = RunLathewindAndSignal({"render", "scene.json", "-o", "out.mov", "--quiet"},
                                          dir.path(), started, SIGINT);
  EXPECT_EQ(o.exitCode, 128 + SIGINT) << Describe(o);
  EXPECT_NE(o.err.find("of 401 frames done; out.mov was not written"), std::string::npos) << o.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
      << "only the scene stays";
}

}  // namespace
