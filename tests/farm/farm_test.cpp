// `lathewind submit` on a real one-node Slurm started by the test: the frames of a job array equal
// a local render, a requeued task renders only what is missing, and a failing chunk stops the
// movie.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "../cli/cli_harness.h"
#include "slurm_cluster.h"

namespace {

using lwclitest::Outcome;
using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A ribbon whose Offset moves with time, so every frame differs; `side` scales the layer (and
// the render time).
std::string Scene(int width, int height, int lastFrame) {
  return R"j({"layer": {"width": )j" + std::to_string(width) + R"j(, "height": )j" +
         std::to_string(height) + R"j(}, "frames": [0, )j" + std::to_string(lastFrame) + R"j(],
    "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                         "colors": ["#ff804080", "#2040ffe0"]}},
    "masks": {"curve": {"svg": "M 4 30 C 20 4 40 44 60 18"}},
    "params": {"Path": "curve", "Source": "board", "Thickness (0 = from source)": 12,
               "Offset": {"keys": [[0, 0], [15, 30]]}}})j";
}

std::string Describe(const Outcome& o) {
  return "exit " + std::to_string(o.exitCode) + ", stderr: " + o.err + ", stdout: " + o.out;
}

// The id submit printed after `what` ("job array", "movie job").
std::string PrintedId(const std::string& out, const std::string& what) {
  std::smatch match;
  return std::regex_search(out, match, std::regex("submitted " + what + " ([0-9]+)"))
             ? match[1].str()
             : "";
}

fs::path JobFolder(const std::string& out) {
  std::smatch match;
  return std::regex_search(out, match, std::regex("job folder: ([^\n]+)")) ? match[1].str() : "";
}

class FarmTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cluster_ = std::make_unique<lwfarmtest::SlurmCluster>(); }
  static void TearDownTestSuite() { cluster_.reset(); }
  void SetUp() override {
    if (!cluster_->started()) {
      GTEST_SKIP() << "no Slurm for the farm tests: " << cluster_->whyNot();
    }
  }
  // The frames `first`..`last` of `out` equal those of a local render of `scene`.
  void ExpectFramesEqualALocalRender(const fs::path& scene, const fs::path& out, int first,
                                     int last) {
    TempFolder local;
    const Outcome o =
        RunLathewind({"render", scene.string(), "-o", (local / "f.%04d.png").string(), "--frames",
                      std::to_string(first) + "-" + std::to_string(last), "--quiet"});
    ASSERT_EQ(o.exitCode, 0) << Describe(o);
    for (int frame = first; frame <= last; ++frame) {
      char name[32];
      std::snprintf(name, sizeof name, "f.%04d.png", frame);
      const std::string farm = ReadBytes(out / name);
      EXPECT_FALSE(farm.empty()) << name;
      EXPECT_EQ(farm, ReadBytes(local / name)) << name;
    }
  }
  static std::unique_ptr<lwfarmtest::SlurmCluster> cluster_;
};

std::unique_ptr<lwfarmtest::SlurmCluster> FarmTest::cluster_;

TEST_F(FarmTest, SixteenFramesInFourChunksEqualALocalRender) {
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(64, 48, 15));
  fs::create_directory(dir / "out");
  const Outcome o = RunLathewind(
      {"submit", "scene.json", "-o", "out/f.%04d.png", "--chunk", "4", "--cpus", "1"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  const std::string array = PrintedId(o.out, "job array");
  ASSERT_FALSE(array.empty()) << o.out;
  EXPECT_NE(o.out.find("squeue -j " + array), std::string::npos) << o.out;
  ASSERT_TRUE(cluster_->WaitUntilDone(array, 30s));
  EXPECT_EQ(cluster_->States(array), std::vector<std::string>(4, "COMPLETED"));
  ExpectFramesEqualALocalRender(dir / "scene.json", dir / "out", 0, 15);
  // The job folder beside the output keeps the script and one log per task.
  const fs::path job = JobFolder(o.out);
  EXPECT_EQ(job.parent_path(), fs::canonical(dir / "out"));
  EXPECT_TRUE(fs::exists(job / "render.sbatch"));
  for (int task = 0; task < 4; ++task) {
    EXPECT_NE(ReadBytes(job / ("task-" + std::to_string(task) + ".log")).find("task"),
              std::string::npos);
  }
}

TEST_F(FarmTest, ARequeuedTaskRendersOnlyTheFramesThatAreMissing) {
  TempFolder dir;
  // Frames large enough (about a quarter of a second each on one thread) to catch the task
  // midway.
  WriteText(dir / "scene.json", Scene(1600, 1200, 7));
  const Outcome o = RunLathewind(
      {"submit", "scene.json", "-o", "f.%04d.png", "--chunk", "8", "--cpus", "1"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  const std::string array = PrintedId(o.out, "job array");
  // Requeued (as when its node is lost) once two frames are done.
  std::vector<fs::path> done;
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (done.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    done.clear();
    for (int frame = 0; frame < 8; ++frame) {
      const fs::path file = dir / ("f.000" + std::to_string(frame) + ".png");
      if (fs::exists(file)) {
        done.push_back(file);
      }
    }
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_GE(done.size(), 2u);
  ASSERT_EQ(cluster_->Client("scontrol", {"requeue", array + "_0"}), "") << "requeue refused";
  std::vector<fs::file_time_type> times;
  for (const fs::path& file : done) {
    times.push_back(fs::last_write_time(file));
  }
  ASSERT_LT(done.size(), 8u) << "the task finished before it was requeued";
  ASSERT_TRUE(cluster_->WaitUntilDone(array, 40s));
  EXPECT_EQ(cluster_->States(array), std::vector<std::string>{"COMPLETED"});
  for (size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(fs::last_write_time(done[i]), times[i]) << done[i] << " was rendered again";
  }
  EXPECT_NE(ReadBytes(JobFolder(o.out) / "task-0.log").find("run 1"), std::string::npos)
      << "the task ran a second time";
  ExpectFramesEqualALocalRender(dir / "scene.json", dir.path(), 0, 7);
}

TEST_F(FarmTest, AFailingChunkFailsTheArrayAndTheMovieNeverRuns) {
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(64, 48, 7));
  // Held, so that the scene is broken after the checks and before any task reads it.
  const Outcome o = RunLathewind({"submit", "scene.json", "-o", "f.%04d.png", "--chunk", "4",
                                  "--movie", "f.mkv", "--sbatch-arg=--hold"},
                                 dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  const std::string array = PrintedId(o.out, "job array");
  const std::string movie = PrintedId(o.out, "movie job");
  ASSERT_FALSE(movie.empty()) << o.out;
  WriteText(dir / "scene.json", "{ not a scene");
  cluster_->Client("scontrol", {"release", array});
  cluster_->Client("scontrol", {"release", movie});
  ASSERT_TRUE(cluster_->WaitUntilDone(array + "," + movie, 30s));
  EXPECT_EQ(cluster_->States(array), std::vector<std::string>(2, "FAILED"));
  EXPECT_EQ(cluster_->States(movie), std::vector<std::string>{"CANCELLED"});
  EXPECT_FALSE(fs::exists(dir / "f.mkv"));
  EXPECT_FALSE(fs::exists(JobFolder(o.out) / "movie.log")) << "the movie job never started";
  EXPECT_NE(ReadBytes(JobFolder(o.out) / "task-0.log").find("scene.json"), std::string::npos)
      << "the task's log says what failed";
}

TEST_F(FarmTest, TheMovieIsAssembledAfterTheArray) {
  if (RunLathewind({"help", "encode"}).exitCode != 0) {
    GTEST_SKIP() << "waiting for lathewind encode, which assembles the movie";
  }
  TempFolder dir;
  WriteText(dir / "scene.json", Scene(64, 48, 7));
  const Outcome o = RunLathewind(
      {"submit", "scene.json", "-o", "f.%04d.png", "--chunk", "4", "--movie", "f.mkv"}, dir.path());
  ASSERT_EQ(o.exitCode, 0) << Describe(o);
  const std::string array = PrintedId(o.out, "job array");
  const std::string movie = PrintedId(o.out, "movie job");
  ASSERT_TRUE(cluster_->WaitUntilDone(array + "," + movie, 30s));
  EXPECT_EQ(cluster_->States(movie), std::vector<std::string>{"COMPLETED"});
  // The lossless movie decodes to the frames' own bytes.
  const fs::path ffmpeg = lwfarmtest::FindProgram("ffmpeg");
  ASSERT_FALSE(ffmpeg.empty());
  const Outcome decoded = lwclitest::RunProgram(
      ffmpeg, {"-v", "error", "-i", (dir / "f.mkv").string(), (dir / "d.%04d.png").string()});
  ASSERT_EQ(decoded.exitCode, 0) << Describe(decoded);
  for (int frame = 0; frame < 8; ++frame) {
    const std::string n = std::to_string(frame);
    EXPECT_EQ(
        lwclitest::ReadPngSamples(dir / ("d.000" + std::to_string(frame + 1) + ".png")).samples,
        lwclitest::ReadPngSamples(dir / ("f.000" + n + ".png")).samples)
        << "frame " << frame;
  }
}

}  // namespace
