// `lathewind submit` without a cluster: the job scripts it generates, and the checks it makes
// before anything reaches one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../cli/cli_harness.h"
#include "job_script.h"

namespace {

using lwclitest::Outcome;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;
namespace fs = std::filesystem;

lwcli::FarmJob Job() {
  lwcli::FarmJob job;
  job.command = "/opt/lathewind/bin/lathewind";
  job.scene = "/shots/it's here/scene.json";
  job.output = "/shots/out/f.%04d.png";
  job.name = "lathewind-f";
  job.firstFrame = 10;
  job.lastFrame = 31;
  job.chunk = 5;
  job.cpus = 4;
  job.movie = "/shots/out/f.mov";
  job.frameRate = 23.976;
  return job;
}

TEST(JobScriptTest, ChunksCoverTheRangeAndTheLastOneIsShorter) {
  const lwcli::FarmJob job = Job();
  EXPECT_EQ(lwcli::TaskCount(job), 5);
  EXPECT_EQ(lwcli::TaskFrames(job, 0), "10-14");
  EXPECT_EQ(lwcli::TaskFrames(job, 4), "30-31");
  lwcli::FarmJob one = job;
  one.chunk = 100;
  EXPECT_EQ(lwcli::TaskCount(one), 1);
  EXPECT_EQ(lwcli::TaskFrames(one, 0), "10-31");
}

TEST(JobScriptTest, TheArrayRendersEachChunkResumably) {
  const std::string script = lwcli::RenderArrayScript(Job());
  for (const char* line :
       {"#SBATCH --array=0-4\n", "#SBATCH --cpus-per-task=4\n", "#SBATCH --requeue\n",
        "first=$((10 + SLURM_ARRAY_TASK_ID * 5))\n", "last=$((first + 4))\n",
        "if [ \"$last\" -gt 31 ]; then last=31; fi\n",
        "exec '/opt/lathewind/bin/lathewind' render '/shots/it'\\''s here/scene.json' -o "
        "'/shots/out/f.%04d.png' --frames \"$first-$last\" --threads "
        "\"${SLURM_CPUS_PER_TASK:-4}\" --skip-existing --quiet\n"}) {
    EXPECT_NE(script.find(line), std::string::npos) << line << "\nin\n" << script;
  }
  const std::string movie = lwcli::MovieScript(Job());
  EXPECT_NE(movie.find("exec '/opt/lathewind/bin/lathewind' encode '/shots/out/f.%04d.png' "
                       "--frames 10-31 --frame-rate 23.976 -o '/shots/out/f.mov'\n"),
            std::string::npos)
      << movie;
}

TEST(JobScriptTest, TheShellReadsTheScriptsWordsBack) {
  // The chunk arithmetic and the quoting, run by a real shell with a stand-in for the command.
  TempFolder dir;
  lwcli::FarmJob job = Job();
  job.command = (dir / "echo args").string();
  WriteText(dir / "echo args", "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\n");
  fs::permissions(dir / "echo args", fs::perms::owner_all);
  WriteText(dir / "job.sh", lwcli::RenderArrayScript(job));
  const Outcome o = lwclitest::RunProgram("/bin/sh", {(dir / "job.sh").string()}, {},
                                          {{"SLURM_ARRAY_TASK_ID", "4"}});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find("[render]\n[/shots/it's here/scene.json]\n[-o]\n[/shots/out/f.%04d.png]\n"
                       "[--frames]\n[30-31]\n[--threads]\n[4]\n[--skip-existing]\n"),
            std::string::npos)
      << o.out;
}

const char* const kScene = R"j({"layer": {"width": 64, "height": 48}, "frames": [0, 9],
  "layers": {"board": {"pattern": "checker", "width": 16, "height": 8, "cell": 4,
                       "colors": ["#ff804080", "#2040ffe0"]}},
  "masks": {"curve": {"svg": "M 4 30 C 20 4 40 44 60 18"}},
  "params": {"Path": "curve", "Source": "board"}})j";

bool HasJobFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_directory()) {
      return true;
    }
  }
  return false;
}

TEST(SubmitCommandTest, DryRunAndAMissingSbatchPrintTheScriptAndSubmitNothing) {
  TempFolder dir;
  WriteText(dir / "scene.json", kScene);
  Outcome o = RunLathewind({"submit", "scene.json", "-o", "f.%04d.png", "--chunk", "4",
                            "--partition", "gpu", "--sbatch-arg=--qos=low", "--dry-run"},
                           dir.path());
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_NE(o.out.find("#SBATCH --array=0-2\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(" render '" + fs::canonical(dir.path()).string() + "/scene.json' -o '"),
            std::string::npos)
      << "absolute paths: " << o.out;
  EXPECT_NE(o.out.find("'sbatch' '--parsable' '--output="), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("'--partition=gpu' '--qos=low' '"), std::string::npos) << o.out;
  EXPECT_FALSE(HasJobFolder(dir.path())) << "a dry run writes nothing";

  o = RunLathewind({"submit", "scene.json", "-o", "f.%04d.png"}, dir.path(),
                   {{"PATH", (dir / "empty").string()}});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_NE(o.err.find("sbatch is not on the PATH"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("#SBATCH --array=0-0\n"), std::string::npos) << o.out;
  EXPECT_FALSE(HasJobFolder(dir.path()));
}

TEST(SubmitCommandTest, ABadSceneOrOutputNeverReachesTheCluster) {
  TempFolder dir;
  WriteText(dir / "scene.json", kScene);
  WriteText(dir / "missing-image.json",
            R"({"layers": {"a": {"image": "nowhere.png"}}, "params": {"Source": "a"}})");
  // sbatch is a stand-in that records being run: none of these may get that far.
  fs::create_directory(dir / "bin");
  WriteText(dir / "bin" / "sbatch", "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\necho 1\n");
  fs::permissions(dir / "bin" / "sbatch", fs::perms::owner_all);
  const std::map<std::string, std::string> env = {{"PATH", (dir / "bin").string()}};
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {{"missing-image.json", "-o", "f.%04d.png"}, "nowhere.png"},
           {{"scene.json", "-o", "f.png"}, "frame field"},
           {{"scene.json", "-o", "no/such/folder/f.%04d.png"}, "does not exist"},
           {{"scene.json", "-o", "f.%04d.png", "--frames", "9-3"}, "--frames 9-3"},
           {{"scene.json", "-o", "f.%04d.png", "--movie", "f.gif"}, ".mov, .mkv or .mp4"},
           {{"scene.json", "-o", "f.%04d.png", "--time", "1:00\n#SBATCH --x"}, "one word"},
       }) {
    std::vector<std::string> args = {"submit"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = RunLathewind(args, dir.path(), env);
    EXPECT_EQ(o.exitCode, 2) << c.args[0] << " " << c.args[2] << ": " << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
  }
  EXPECT_FALSE(fs::exists(dir / "bin" / "ran"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
      << "no job folder was made";

  // sbatch refusing the job: said so, and no job folder records a job that never ran.
  WriteText(dir / "bin" / "sbatch",
            "#!/bin/sh\necho 'sbatch: error: invalid partition' >&2\n"
            "exit 1\n");
  const Outcome o = RunLathewind({"submit", "scene.json", "-o", "f.%04d.png"}, dir.path(), env);
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_NE(o.err.find("invalid partition"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("nothing was submitted"), std::string::npos) << o.err;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

}  // namespace
