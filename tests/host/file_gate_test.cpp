// The gate every file a scene names is opened through: a gate with a root judges the file it
// actually opened, and its refusals say nothing of files outside.
#include "core/file_gate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace lwhost {
namespace {

namespace fs = std::filesystem;

class FileGateTest : public ::testing::Test {
 protected:
  FileGateTest() {
    std::string pattern = (fs::temp_directory_path() / "lathewind-gate-XXXXXX").string();
    base_ = mkdtemp(pattern.data());
    fs::create_directories(base_ / "root");
    fs::create_directories(base_ / "outside");
    std::ofstream(base_ / "root/inside.txt") << "inside";
    std::ofstream(base_ / "outside/secret.txt") << "secret";
    gate_.root = fs::canonical(base_ / "root");
    gate_.keeper = "the studio";
  }
  ~FileGateTest() override { fs::remove_all(base_); }

  std::string Refusal(const fs::path& path) {
    try {
      OpenThroughGate(path, gate_);
    } catch (const FileGateError& e) {
      return e.what();
    }
    return "opened";
  }

  fs::path base_;
  FileGate gate_;
};

TEST_F(FileGateTest, OpensInsideAndRefusesOutsideInTheSameWordsWhetherOrNotItExists) {
  EXPECT_GE(OpenThroughGate(base_ / "root/inside.txt", gate_).fd(), 0);
  const std::string present = Refusal(base_ / "root/../outside/secret.txt");
  const std::string absent = Refusal(base_ / "root/../outside/nothere.txt");
  EXPECT_NE(present.find("the studio reads only files inside"), std::string::npos) << present;
  std::string renamed = present;
  renamed.replace(renamed.find("secret.txt"), 10, "nothere.txt");
  EXPECT_EQ(renamed, absent);
  // Inside the root, a missing file may be named as missing.
  EXPECT_NE(Refusal(base_ / "root/nothere.txt").find("cannot open"), std::string::npos);
  // The open gate opens anything.
  EXPECT_GE(OpenThroughGate(base_ / "outside/secret.txt", OpenGate()).fd(), 0);
}

TEST_F(FileGateTest, ALinkIsJudgedByWhereItLeadsWhenOpened) {
  fs::create_symlink("inside.txt", base_ / "root/link.txt");
  EXPECT_EQ(Refusal(base_ / "root/link.txt"), "opened");
  fs::remove(base_ / "root/link.txt");
  fs::create_symlink(base_ / "outside/secret.txt", base_ / "root/link.txt");
  EXPECT_NE(Refusal(base_ / "root/link.txt").find("reads only files inside"), std::string::npos);
}

TEST_F(FileGateTest, AFifoIsRefusedWithoutWaitingForAWriter) {
  ASSERT_EQ(::mkfifo((base_ / "root/pipe").c_str(), 0600), 0);
  EXPECT_NE(Refusal(base_ / "root/pipe").find("not a regular file"), std::string::npos);
  EXPECT_NE(Refusal(base_ / "root").find("not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace lwhost
