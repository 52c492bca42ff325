// The frei0r plug-ins run inside the real hosts on this machine (Debian's ffmpeg, melt and
// gst-launch-1.0) on small generated clips, each frame compared with `lathewind render` of the
// same scene with the clip's frame as its Source. A host program that is missing skips its tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_harness.h"

namespace {

namespace fs = std::filesystem;
using lwclitest::Outcome;
using lwclitest::PngSamples;
using lwclitest::ReadPngSamples;
using lwclitest::RunLathewind;
using lwclitest::RunProgram;
using lwclitest::TempFolder;
using lwclitest::WriteText;

constexpr int kFrames = 3;

// The program's path on PATH, or empty.
fs::path OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path == nullptr ? "" : path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const fs::path candidate = fs::path(folder) / name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
  }
  return {};
}

#define REQUIRE_PROGRAM(var, name)                                             \
  const fs::path var = OnPath(name);                                           \
  if (var.empty()) {                                                           \
    GTEST_SKIP() << name << " is not installed (scripts/install-deps --test)"; \
  }

// The scene the hosts get, with a layer twice the frame's size: its mask lands on the frame at
// half its coordinates. The reference scene says the same in frame pixels.
std::string HostScene(int width, int height) {
  return "{\"layer\": {\"width\": " + std::to_string(2 * width) +
         ", \"height\": " + std::to_string(2 * height) +
         "}, \"frameRate\": 24,"
         " \"masks\": {\"spine\": {\"svg\": \"M 40 400 C 200 50 450 50 600 400\"}},"
         " \"params\": {\"Path\": \"spine\", \"Taper End\": 40,"
         " \"Thickness\": {\"keys\": [[0, 60], [2, 120]]}}}";
}
constexpr const char* kFramePath = "M 20 200 C 100 25 225 25 300 200";

// `params` (JSON members) over a scene of the frame's size whose Source is `sourcePng`.
std::string ReferenceScene(int width, int height, const std::string& sourcePng,
                           const std::string& params) {
  return "{\"layer\": {\"width\": " + std::to_string(width) +
         ", \"height\": " + std::to_string(height) +
         "}, \"frameRate\": 24,"
         " \"layers\": {\"src\": {\"image\": \"" +
         sourcePng +
         "\"}},"
         " \"masks\": {\"spine\": {\"svg\": \"" +
         kFramePath +
         "\"}},"
         " \"params\": {\"Path\": \"spine\", \"Source\": \"src\", " +
         params + "}}";
}
constexpr const char* kHostSceneParams =
    "\"Taper End\": 40, \"Thickness\": {\"keys\": [[0, 60], [2, 120]]}";

uint32_t MaxDifference(const PngSamples& a, const PngSamples& b) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.bitDepth, 8);
  EXPECT_EQ(b.bitDepth, 8);
  if (a.samples.size() != b.samples.size()) {
    return 0xFFFFFFFF;
  }
  uint32_t most = 0;
  for (size_t i = 0; i < a.samples.size(); ++i) {
    const uint32_t d =
        a.samples[i] > b.samples[i] ? a.samples[i] - b.samples[i] : b.samples[i] - a.samples[i];
    most = std::max(most, d);
  }
  return most;
}

// Pixels with some alpha: a comparison of two transparent frames proves nothing.
size_t Covered(const PngSamples& png) {
  size_t count = 0;
  for (size_t i = 3; i < png.samples.size(); i += 4) {
    count += png.samples[i] != 0 ? 1 : 0;
  }
  return count;
}

class Frei0rHostsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ffmpeg_ = OnPath("ffmpeg");
    env_ = {{"FREI0R_PATH", LATHEWIND_FREI0R_DIR},
            {"GST_REGISTRY", (folder_ / "gst-registry.bin").string()},
            {"HOME", folder_.path().string()}};
  }

  Outcome Run(const fs::path& program, const std::vector<std::string>& args,
              std::map<std::string, std::string> extraEnv = {}) {
    std::map<std::string, std::string> env = env_;
    env.insert(extraEnv.begin(), extraEnv.end());
    Outcome outcome = RunProgram(program, args, folder_.path(), env);
    EXPECT_EQ(outcome.exitCode, 0) << program << " failed:\n" << outcome.err;
    return outcome;
  }

  // A clip of kFrames frames at 24 fps, lossless, and its frames as PNGs NAME.0.png, ...
  void MakeClip(const std::string& name, int width, int height, const std::string& filter) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    Run(ffmpeg_, {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=24" + filter,
                  "-frames:v", std::to_string(kFrames), "-c:v", "ffv1", name + ".mkv"});
    Run(ffmpeg_, {"-v", "error", "-i", name + ".mkv", "-pix_fmt", "rgba", "-start_number", "0",
                  name + ".%d.png"});
  }

  // `lathewind render` of frame f with the clip's frame f as Source.
  PngSamples Reference(int f, int width, int height, const std::string& clip,
                       const std::string& params, bool raw = false) {
    const std::string scene = "ref" + std::to_string(f) + ".json";
    WriteText(folder_ / scene,
              ReferenceScene(width, height, clip + "." + std::to_string(f) + ".png", params));
    std::vector<std::string> args = {"render", scene,     "--frames", std::to_string(f),
                                     "-o",     "ref.png", "--quiet"};
    if (raw) {
      args.push_back("--raw");
    }
    const Outcome outcome = RunLathewind(args, folder_.path());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    return ReadPngSamples(folder_ / "ref.png");
  }

  void ExpectFramesMatch(const std::string& pattern, int firstNumber, int width, int height,
                         const std::string& clip, const std::string& params) {
    for (int f = 0; f < kFrames; ++f) {
      const PngSamples expected = Reference(f, width, height, clip, params);
      char name[256];
      std::snprintf(name, sizeof name, pattern.c_str(), f + firstNumber);
      const PngSamples got = ReadPngSamples(folder_ / name);
      EXPECT_GT(Covered(expected), 1000u) << "frame " << f;
      EXPECT_LT(Covered(expected), expected.samples.size() / 4) << "frame " << f;
      EXPECT_LE(MaxDifference(expected, got), 1u) << name << " against frame " << f;
    }
  }

  TempFolder folder_;
  fs::path ffmpeg_;
  std::map<std::string, std::string> env_;
};

// Debian's ffmpeg 5.1 lays frei0r frames out with rows padded to 64 bytes, so widths there are
// multiples of 16 (see docs/hosts.md); the height is odd. The path comes with commas and spaces
// through ffmpeg's escaping, and the same clip times give the same frames in melt.
TEST_F(Frei0rHostsTest, FfmpegFilterMatchesRenderAndMelt) {
  REQUIRE_PROGRAM(ffmpegProgram, "ffmpeg");
  const int width = 336, height = 239;
  MakeClip("clip", width, height, "");
  WriteText(folder_ / "scene.json", HostScene(width, height));
  Run(ffmpeg_, {"-v", "error", "-i", "clip.mkv", "-vf", "frei0r=lathewind:scene.json", "-pix_fmt",
                "rgba", "-start_number", "0", "ff.%d.png"});
  ExpectFramesMatch("ff.%d.png", 0, width, height, "clip", kHostSceneParams);
  // Straight from the generator, already RGBA, the frames keep their timestamps: milliseconds.
  Run(ffmpeg_, {"-v", "error", "-f", "lavfi", "-i",
                "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
                    ":rate=24,format=rgba",
                "-frames:v", std::to_string(kFrames), "-vf", "frei0r=lathewind:scene.json",
                "-pix_fmt", "rgba", "-start_number", "0", "timed.%d.png"});
  ExpectFramesMatch("timed.%d.png", 0, width, height, "clip", kHostSceneParams);

  // Path data with commas, quoted for the filter graph; Thickness 0.56 is 60 pixels.
  Run(ffmpeg_, {"-v", "error", "-i", "clip.mkv", "-vf",
                "frei0r=lathewind:'|M 20,200 C 100,25 225,25 300,200|0|0|0|0|0|0|0.56'", "-pix_fmt",
                "rgba", "-start_number", "0", "path.%d.png"});
  ExpectFramesMatch("path.%d.png", 0, width, height, "clip", "\"Thickness\": 60");

  const fs::path melt = OnPath("melt");
  if (melt.empty()) {
    return;
  }
  Run(melt,
      {"-silent", "clip.mkv", "out=" + std::to_string(kFrames - 1), "-filter", "frei0r.lathewind",
       "scene=scene.json", "-consumer", "avformat:melt.%d.png", "vcodec=png", "pix_fmt=rgba"});
  for (int f = 0; f < kFrames; ++f) {
    EXPECT_EQ(MaxDifference(ReadPngSamples(folder_ / ("ff." + std::to_string(f) + ".png")),
                            ReadPngSamples(folder_ / ("melt." + std::to_string(f + 1) + ".png"))),
              0u)
        << "clip frame " << f;
  }
}

// melt at an odd size, with melt's own keyframes (0.53 -> 0.56 is 30 -> 60 pixels), on two render
// threads: one instance per thread, each a pure function of time and values.
TEST_F(Frei0rHostsTest, MeltFilterWithKeyframesOnTwoThreads) {
  REQUIRE_PROGRAM(ffmpegProgram, "ffmpeg");
  REQUIRE_PROGRAM(melt, "melt");
  const int width = 321, height = 239;
  MakeClip("clip", width, height, "");
  Run(melt, {"-silent", "clip.mkv", "out=" + std::to_string(kFrames - 1), "-filter",
             "frei0r.lathewind", std::string("path=") + kFramePath, "Thickness=0=0.53;2=0.56",
             "-consumer", "avformat:melt.%d.png", "vcodec=png", "pix_fmt=rgba", "real_time=-2"});
  ExpectFramesMatch("melt.%d.png", 1, width, height, "clip",
                    "\"Thickness\": {\"keys\": [[0, 30], [2, 60]]}");
}

// The mixer as a transition: the ribbon of the second track over the first.
TEST_F(Frei0rHostsTest, MeltTransitionLaysRibbonOverBackground) {
  REQUIRE_PROGRAM(ffmpegProgram, "ffmpeg");
  REQUIRE_PROGRAM(melt, "melt");
  const int width = 321, height = 239;
  MakeClip("clip", width, height, "");
  MakeClip("plate", width, height, ",negate");
  WriteText(folder_ / "scene.json", HostScene(width, height));
  const std::string last = "out=" + std::to_string(kFrames - 1);
  Run(melt, {"-silent", "plate.mkv", last, "-track", "clip.mkv", last, "-transition",
             "frei0r.lathewind_over", "scene=scene.json", "in=0", last, "a_track=0", "b_track=1",
             "-consumer", "avformat:over.%d.png", "vcodec=png", "pix_fmt=rgba"});
  for (int f = 0; f < kFrames; ++f) {
    // The stored (premultiplied) ribbon over the opaque plate: c + b x (255 - a) / 255.
    PngSamples expected = Reference(f, width, height, "clip", kHostSceneParams, true);
    const PngSamples plate = ReadPngSamples(folder_ / ("plate." + std::to_string(f) + ".png"));
    ASSERT_EQ(plate.samples.size(), expected.samples.size());
    for (size_t i = 0; i < expected.samples.size(); i += 4) {
      const uint32_t a = expected.samples[i + 3];
      for (size_t k = 0; k < 4; ++k) {
        const uint32_t b = k == 3 ? 255 : plate.samples[i + k];
        expected.samples[i + k] += (2 * b * (255 - a) + 255) / 510;
      }
    }
    const PngSamples got = ReadPngSamples(folder_ / ("over." + std::to_string(f + 1) + ".png"));
    EXPECT_LE(MaxDifference(expected, got), 1u) << "frame " << f;
  }
}

TEST_F(Frei0rHostsTest, GstreamerFilterMatchesRender) {
  REQUIRE_PROGRAM(ffmpegProgram, "ffmpeg");
  REQUIRE_PROGRAM(gst, "gst-launch-1.0");
  const int width = 321, height = 239;
  MakeClip("clip", width, height, "");
  WriteText(folder_ / "scene.json", HostScene(width, height));
  Run(gst, {"-q",
            "multifilesrc",
            "location=clip.%d.png",
            "index=0",
            "stop-index=" + std::to_string(kFrames - 1),
            "caps=image/png,framerate=24/1",
            "!",
            "pngdec",
            "!",
            "videoconvert",
            "!",
            "frei0r-filter-lathewind",
            "scene=scene.json",
            "!",
            "videoconvert",
            "!",
            "video/x-raw,format=RGBA",
            "!",
            "pngenc",
            "!",
            "multifilesink",
            "location=gst.%d.png"});
  ExpectFramesMatch("gst.%d.png", 0, width, height, "clip", kHostSceneParams);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

void ExpectTransparent(const fs::path& png) {
  EXPECT_EQ(Covered(ReadPngSamples(png)), 0u) << png;
}

// Nothing a host can hand over brings a host down: an unreadable scene, a missing effect library,
// NaN and out-of-range values give transparent frames, one message per instance and exit 0.
TEST_F(Frei0rHostsTest, BadInputGivesTransparentFramesAndOneMessage) {
  REQUIRE_PROGRAM(ffmpegProgram, "ffmpeg");
  MakeClip("clip", 336, 239, "");
  Outcome outcome =
      Run(ffmpeg_, {"-v", "error", "-i", "clip.mkv", "-vf", "frei0r=lathewind:missing.json",
                    "-pix_fmt", "rgba", "-start_number", "0", "scene.%d.png"});
  EXPECT_EQ(Count(outcome.err, "Lathewind: missing.json: "), 1u) << outcome.err;
  ExpectTransparent(folder_ / "scene.2.png");

  outcome = Run(ffmpeg_, {"-v", "error", "-i", "clip.mkv", "-vf", "frei0r=lathewind:|M 10 10 L",
                          "-pix_fmt", "rgba", "-start_number", "0", "path.%d.png"});
  EXPECT_EQ(Count(outcome.err, "Lathewind: path: "), 1u) << outcome.err;
  ExpectTransparent(folder_ / "path.1.png");

  outcome =
      Run(ffmpeg_, {"-v", "error", "-i", "clip.mkv", "-vf", "frei0r=lathewind:", "-f", "null", "-"},
          {{"LATHEWIND_PLUGIN", (folder_ / "no-such-effect.so").string()}});
  EXPECT_EQ(Count(outcome.err, "Lathewind: cannot load the effect"), 1u) << outcome.err;

  const fs::path melt = OnPath("melt");
  if (melt.empty()) {
    return;
  }
  // melt makes one instance to look at the first frame and one to render on: a message each.
  outcome = Run(melt, {"-silent", "clip.mkv", "out=2", "-filter", "frei0r.lathewind",
                       std::string("path=") + kFramePath, "Thickness=0=nan;2=7", "Opacity=-1",
                       "-consumer", "avformat:vals.%d.png", "vcodec=png", "pix_fmt=rgba"});
  const size_t thickness = Count(outcome.err, "\"Thickness\" was given");
  EXPECT_GE(thickness, 1u) << outcome.err;
  EXPECT_LE(thickness, 2u) << outcome.err;
  EXPECT_EQ(Count(outcome.err, "\"Opacity\" was given"), thickness) << outcome.err;
  ExpectTransparent(folder_ / "vals.2.png");  // Opacity clamped to 0
}

}  // namespace
