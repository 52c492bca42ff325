// However a studio render ends (it throws, the effect fails, a newer request cancels it), the
// count of renders in flight goes back to zero and the next request is served. The studio's render
// call is taken over by the test: no scene makes the reference host's render throw.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>

#include "../cli/cli_harness.h"
#include "studio_harness.h"

namespace {

using lwclitest::TempFolder;
using lwclitest::WriteText;
using Json = nlohmann::json;

enum class End { kRendered, kThrows, kFails, kAwaitsCancel };

TEST(StudioRenderEnd, EveryEndReleasesTheCountAndTheNextRequestIsServed) {
  TempFolder folder;
  WriteText(folder / "scene.json", lwstudiotest::SmallSceneText());
  std::atomic<End> next{End::kRendered};
  std::atomic<bool> awaiting{false};
  lwstudiotest::RunningStudio running(
      folder / "scene.json",
      [&](lwhost::SceneRenderer& renderer, int32_t frame, const lwhost::RenderOptions& options) {
        switch (next.exchange(End::kRendered)) {
          case End::kThrows:
            throw std::runtime_error("the render threw");
          case End::kFails: {
            lwhost::FrameOutput failed;
            failed.err = PF_Err_OUT_OF_MEMORY;
            return failed;
          }
          case End::kAwaitsCancel: {
            awaiting = true;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!options.cancelled() && std::chrono::steady_clock::now() < deadline) {
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            lwhost::FrameOutput cancelled;
            cancelled.err = PF_Interrupt_CANCEL;  // what the effect answers a cancel with
            return cancelled;
          }
          case End::kRendered:
            break;
        }
        return renderer.RenderFrame(frame, options);
      });
  lwstudio::Studio& studio = running.studio();
  httplib::Client client("127.0.0.1", running.port());
  client.set_read_timeout(60, 0);
  const auto expectServed = [&](const std::string& after) {
    EXPECT_EQ(studio.RendersInFlight(), 0) << after;
    const auto frame = client.Get("/api/frame?frame=3");
    ASSERT_TRUE(frame) << after;
    EXPECT_EQ(frame->status, 200) << after;
    EXPECT_EQ(frame->get_header_value("Content-Type"), "image/png") << after;
  };

  next = End::kThrows;
  const auto thrown = client.Get("/api/frame?frame=0");
  ASSERT_TRUE(thrown);
  EXPECT_EQ(thrown->status, 500);
  EXPECT_EQ(Json::parse(thrown->body)["error"], "the render threw");
  expectServed("a render that threw");

  next = End::kFails;
  const auto failed = client.Get("/api/frame?frame=0");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 500);
  EXPECT_NE(failed->body.find("PF_Err_OUT_OF_MEMORY"), std::string::npos) << failed->body;
  expectServed("a render the effect failed");

  next = End::kAwaitsCancel;
  int cancelledStatus = 0;
  std::thread waiting([&] {
    httplib::Client other("127.0.0.1", running.port());
    other.set_read_timeout(60, 0);
    cancelledStatus = other.Get("/api/frame?frame=0")->status;
  });
  while (!awaiting) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(studio.RendersInFlight(), 1);
  const auto newer = client.Get("/api/frame?frame=3");  // cancels the one waiting
  ASSERT_TRUE(newer);
  EXPECT_EQ(newer->status, 200);
  waiting.join();
  EXPECT_EQ(cancelledStatus, 409);
  expectServed("a render cancelled by a newer request");
}

}  // namespace
