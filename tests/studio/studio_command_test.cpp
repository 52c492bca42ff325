// `lathewind studio` run as a user runs it: it prints its address, serves the page and frames, and
// Ctrl-C or SIGTERM ends it cleanly, even with a browser's connection still open.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include "../cli/cli_harness.h"
#include "studio_harness.h"

namespace {

using lwclitest::Outcome;
using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::RunLathewindAndSignal;
using lwclitest::TempFolder;
using lwclitest::WriteText;

TEST(StudioCommand, ServesTheSceneUntilStopped) {
  for (const int signal : {SIGINT, SIGTERM}) {
    TempFolder dir;
    WriteText(dir / "scene.json", lwstudiotest::SmallSceneText());
    std::unique_ptr<httplib::Client> client;  // kept open across the signal, as a browser would
    std::string page;
    std::string frame;
    const Outcome o = RunLathewindAndSignal(
        {"studio", "scene.json", "--port", "0"}, dir.path(),
        [&](const std::string& out) {
          const std::string prefix = "http://127.0.0.1:";
          const size_t at = out.find(prefix);
          if (at == std::string::npos || out.find('/', at + prefix.size()) == std::string::npos) {
            return false;
          }
          client = std::make_unique<httplib::Client>("127.0.0.1",
                                                     std::stoi(out.substr(at + prefix.size())));
          client->set_keep_alive(true);
          client->set_read_timeout(60, 0);
          if (const auto got = client->Get("/")) {
            page = got->body;
          }
          if (const auto got = client->Get("/api/frame?frame=3")) {
            frame = got->body;
          }
          return true;
        },
        signal);
    EXPECT_EQ(o.exitCode, 0) << "signal " << signal << ": " << o.err;
    EXPECT_NE(page.find("studio.js"), std::string::npos) << page.substr(0, 200);

    const Outcome rendered = RunLathewind(
        {"render", "scene.json", "--frames", "3", "-o", "f.png", "--quiet"}, dir.path());
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    EXPECT_TRUE(frame == ReadBytes(dir / "f.png")) << "the frame is the command's bytes";
  }
}

// The port a studio printed in `out`, or 0 before it has.
int PrintedPort(const std::string& out) {
  const std::string prefix = "http://127.0.0.1:";
  const size_t at = out.find(prefix);
  if (at == std::string::npos || out.find('/', at + prefix.size()) == std::string::npos) {
    return 0;
  }
  return std::stoi(out.substr(at + prefix.size()));
}

TEST(StudioCommand, StopsWithinASecondWhileAClientTrickles) {
  TempFolder dir;
  WriteText(dir / "scene.json", lwstudiotest::SmallSceneText());
  std::optional<lwstudiotest::Trickler> slow;
  std::chrono::steady_clock::time_point signalled;
  const Outcome o = RunLathewindAndSignal(
      {"studio", "scene.json", "--port", "0"}, dir.path(),
      [&](const std::string& out) {
        if (PrintedPort(out) == 0) {
          return false;
        }
        slow.emplace(PrintedPort(out), 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // well into its headers
        signalled = std::chrono::steady_clock::now();
        return true;
      },
      SIGTERM);
  const auto took = std::chrono::steady_clock::now() - signalled;
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_LT(took, std::chrono::milliseconds(1000)) << "from SIGTERM to the exit";
}

TEST(StudioCommand, ASecondStudioOnATakenPortExitsAtOnce) {
  TempFolder dir;
  WriteText(dir / "scene.json", lwstudiotest::SmallSceneText());
  Outcome second;
  int port = 0;
  const Outcome first = RunLathewindAndSignal(
      {"studio", "scene.json", "--port", "0"}, dir.path(),
      [&](const std::string& out) {
        port = PrintedPort(out);
        if (port != 0) {
          second =
              RunLathewind({"studio", "scene.json", "--port", std::to_string(port)}, dir.path());
        }
        return port != 0;
      },
      SIGINT);
  EXPECT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(second.exitCode, 2) << second.out;
  EXPECT_NE(second.err.find("port " + std::to_string(port) + " is in use"), std::string::npos)
      << second.err;
}

}  // namespace
