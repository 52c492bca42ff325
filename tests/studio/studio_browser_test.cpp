// The studio's page in headless Chromium, driven through WebDriver as a user would: a slider, a
// mask vertex, the width graph, the time slider and Save, each checked against the bytes
// `lathewind render` writes for the scene the page produced. Screenshots of each state are kept
// in the build's studio-artifacts folder; the frame latency while dragging is written there too.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "../cli/cli_harness.h"
#include "demo_scene.h"
#include "params/key_interpolation.h"
#include "studio_harness.h"
#include "webdriver.h"

namespace {

namespace fs = std::filesystem;
using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;
using lwstudiotest::Json;
using lwstudiotest::RunningStudio;
using lwstudiotest::WebDriver;

const fs::path kArtifacts = LATHEWIND_STUDIO_ARTIFACTS;

class StudioPage : public ::testing::Test {
 protected:
  StudioPage() {
    lwcli::LoadDemoScene(folder_.path());  // writes the demo's texture beside the scene
    Json scene = Json::parse(lwcli::DemoSceneText());
    scene["frames"] = {0, 23};
    scene["params"]["Offset"] = {{"keys", {{0, 0}, {23, 30}}}};
    WriteText(folder_ / "demo.json", scene.dump(2));
    running_ = std::make_unique<RunningStudio>(folder_ / "demo.json");
    api_ = std::make_unique<httplib::Client>("127.0.0.1", running_->port());
    api_->set_read_timeout(120, 0);
    fs::create_directories(kArtifacts);
  }

  // Waits (up to two minutes) until the page has nothing in flight and shows a full frame, or a
  // draft one when `draft`.
  void WaitSettled(bool draft = false) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    int settled = 0;
    while (settled < 3) {
      const bool idle = driver_
                            .Execute(
                                "return !!(window.lwStudio && lwStudio.ready && "
                                "lwStudio.framesShown > 0 && lwStudio.idle() && "
                                "lwStudio.draftShown === arguments[0]);",
                                Json::array({draft}))
                            .get<bool>();
      settled = idle ? settled + 1 : 0;
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the page did not settle";
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  std::string ShownFrame() {
    return lwstudiotest::Base64Decode(driver_
                                          .ExecuteAsync(R"js(
      const done = arguments[arguments.length - 1];
      lwStudio.frameBlob.arrayBuffer().then((buffer) => {
        const bytes = new Uint8Array(buffer);
        let text = "";
        for (let i = 0; i < bytes.length; i += 0x8000) {
          text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        }
        done(btoa(text));
      });)js")
                                          .get<std::string>());
  }

  int PageFrame() { return driver_.Execute("return lwStudio.frame;").get<int>(); }
  Json Scene() { return Json::parse(api_->Get("/api/scene")->body); }

  // The frame the page shows is the one `lathewind render` writes for the studio's scene.
  void ExpectShownFrameIsTheCommands(const std::string& what) {
    WriteText(folder_ / "check.json", api_->Get("/api/scene")->body);
    const auto outcome = RunLathewind({"render", (folder_ / "check.json").string(), "--frames",
                                       std::to_string(PageFrame()), "-o",
                                       (folder_ / "check.png").string(), "--quiet"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(ShownFrame() == ReadBytes(folder_ / "check.png")) << what;
  }

  void Screenshot(const std::string& name) {
    std::ofstream(kArtifacts / (name + ".png"), std::ios::binary) << driver_.ScreenshotPng();
  }

  TempFolder folder_;
  std::unique_ptr<RunningStudio> running_;
  std::unique_ptr<httplib::Client> api_;
  WebDriver driver_;
};

TEST_F(StudioPage, EditsOnThePageRenderAsTheCommandRendersTheScene) {
  driver_.Navigate(running_->Origin() + "/");
  WaitSettled();
  Screenshot("1-loaded");
  ExpectShownFrameIsTheCommands("the first frame");
  EXPECT_EQ(driver_.Execute("return document.querySelectorAll('#key-marks span').length;"), 2);

  // A slider dragged: drafts while moving, the full frame on release.
  const Json taper = driver_.Element(".param[data-label='Taper Start'] input[type=range]");
  driver_.Drag(taper, 0, 0, std::vector<std::pair<int, int>>(8, {6, 0}), 60);
  WaitSettled();
  Screenshot("2-slider");
  EXPECT_NE(Scene()["params"]["Taper Start"], 18);
  ExpectShownFrameIsTheCommands("after the slider");

  // A mask vertex dragged: the mask becomes the scene's, as vertices and tangents.
  const Json vertexBefore = Json::parse(api_->Get("/api/masks")->body)["spine"]["vertices"][1];
  const Json vertex = driver_.Element("circle.vertex[data-index='1']");
  driver_.Drag(vertex, 0, 0, std::vector<std::pair<int, int>>(4, {8, -5}), 60);
  WaitSettled();
  Screenshot("3-mask");
  const Json vertexAfter = Scene()["masks"]["spine"]["vertices"][1];
  EXPECT_GT(std::hypot(vertexAfter[0].get<double>() - vertexBefore[0].get<double>(),
                       vertexAfter[1].get<double>() - vertexBefore[1].get<double>()),
            20.0);
  ExpectShownFrameIsTheCommands("after the mask");

  // The width graph: a click adds a point, the drag moves it; the curve becomes the scene's.
  const std::string graphBefore = api_->Get("/api/graph.png")->body;
  const Json graph = driver_.Element("#graph");
  driver_.Drag(graph, -40, 40, {{0, -10}, {0, -10}, {0, -10}}, 80);
  WaitSettled();
  Screenshot("4-graph");
  EXPECT_TRUE(Scene()["params"]["Width Graph"].is_array()) << "the edited curve, as points";
  EXPECT_NE(api_->Get("/api/graph.png")->body, graphBefore);
  ExpectShownFrameIsTheCommands("after the graph");

  // Scrubbing time.
  const Json time = driver_.Element("#time-slider");
  driver_.Drag(time, 0, 0, {{40, 0}}, 100);
  WaitSettled();
  Screenshot("5-time");
  EXPECT_GT(PageFrame(), 0);
  EXPECT_EQ(driver_.Execute("return document.getElementById('frame-number').textContent;"),
            std::to_string(PageFrame()));
  ExpectShownFrameIsTheCommands("after scrubbing");

  // Save writes the scene file; rendering it gives the frame on the page.
  driver_.Click(driver_.Element("#save"));
  for (int i = 0; i < 100 && ReadBytes(folder_ / "demo.json") != api_->Get("/api/scene")->body;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Screenshot("6-saved");
  EXPECT_EQ(ReadBytes(folder_ / "demo.json"), api_->Get("/api/scene")->body);
  const auto saved = RunLathewind({"render", (folder_ / "demo.json").string(), "--frames",
                                   std::to_string(PageFrame()), "-o",
                                   (folder_ / "saved.png").string(), "--quiet"});
  ASSERT_EQ(saved.exitCode, 0) << saved.err;
  EXPECT_TRUE(ShownFrame() == ReadBytes(folder_ / "saved.png"));
}

// Dragging a slider shows half-resolution drafts, then the full frame on release. The mouse
// first waits for each draft (the latency of a change to its frame on screen, written to
// latency.txt), then moves on every 50 ms, faster than a draft renders: the page must still show
// drafts instead of cancelling each render with the next change.
TEST_F(StudioPage, DraftFramesWhileDraggingASlider) {
  driver_.Navigate(running_->Origin() + "/");
  WaitSettled();
  const auto draftLatencies = [this] {
    std::vector<double> ms;
    for (const Json& entry : driver_.Execute("return lwStudio.latencies;")) {
      if (entry["draft"] == true) {
        ms.push_back(entry["ms"].get<double>());
      }
    }
    std::sort(ms.begin(), ms.end());
    return ms;
  };
  driver_.Press(driver_.Element(".param[data-label='Shading'] input[type=range]"), 0, 0);
  WaitSettled(true);
  driver_.Execute("lwStudio.latencies = [];");
  for (int step = 0; step < 8; ++step) {
    driver_.MoveBy(step % 2 == 0 ? 9 : -5, 0);
    WaitSettled(true);
  }
  const std::vector<double> stepwise = draftLatencies();
  ASSERT_EQ(stepwise.size(), 8u) << "one draft for each move";

  driver_.Execute("lwStudio.latencies = [];");
  for (int step = 0; step < 80; ++step) {
    driver_.MoveBy(step % 20 < 10 ? 3 : -3, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::vector<double> continuous = draftLatencies();
  EXPECT_GE(continuous.size(), 1u) << "drafts shown while the mouse kept moving";
  driver_.Release();
  WaitSettled();
  Screenshot("7-dragged");
  ExpectShownFrameIsTheCommands("after the drag");

  const auto median = [](const std::vector<double>& ms) {
    return ms.empty() ? 0.0 : ms[ms.size() / 2];
  };
  std::ofstream latency(kArtifacts / "latency.txt");
  latency << "demo scene 1280 x 720, drafts at half resolution, \"Shading\" slider dragged\n"
          << "one move at a time: " << stepwise.size() << " drafts, median " << median(stepwise)
          << " ms, min " << stepwise.front() << " ms, max " << stepwise.back() << " ms\n"
          << "a move every 50 ms: " << continuous.size() << " drafts, median " << median(continuous)
          << " ms\n";
  std::cout << "studio draft latency: median " << median(stepwise) << " ms (one move at a time), "
            << median(continuous) << " ms (a move every 50 ms)\n";
}

// Export sequence runs as a job the page follows; its Cancel button stops it between frames or
// within one, and every file written is whole.
TEST_F(StudioPage, AnExportShowsItsProgressAndIsCancelledFromThePage) {
  driver_.Navigate(running_->Origin() + "/");
  WaitSettled();
  const std::string shownName =
      driver_.Execute("return document.getElementById('scene-name').textContent;");
  EXPECT_EQ(shownName, (folder_ / "demo.json").string()) << "the page names the file it edits";
  const Json thickness = driver_.Execute(
      "const l = document.querySelector(\".param[data-label='Thickness (0 = from source)'] "
      "label\"); return [l.scrollWidth, l.clientWidth];");
  EXPECT_LE(thickness[0], thickness[1]) << "the long label shows whole";

  driver_.Click(driver_.Element("#export-sequence"));
  Json job;
  for (int i = 0; i < 1200; ++i) {
    job = Json::parse(api_->Get("/api/export")->body);
    if (job["state"] != "running" || job["done"].get<int>() >= 1) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_EQ(job["state"], "running") << job;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the page shows the progress
  Screenshot("8-exporting");
  EXPECT_EQ(driver_.Execute("return document.getElementById('export-cancel').hidden;"), false);
  driver_.Click(driver_.Element("#export-cancel"));
  for (int i = 0; i < 1200 && driver_.Execute("return lwStudio.exportState;") != "cancelled"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  Screenshot("9-export-cancelled");
  job = Json::parse(api_->Get("/api/export")->body);
  EXPECT_EQ(job["state"], "cancelled") << job;
  EXPECT_LT(job["done"].get<int>(), 24);
  const std::string status =
      driver_.Execute("return document.getElementById('status').textContent;");
  EXPECT_NE(status.find("export cancelled"), std::string::npos) << status;
  for (const Json& file : job["written"]) {
    const auto check =
        RunLathewind({"render", (folder_ / "demo.json").string(), "--frames",
                      file.get<std::string>().substr(file.get<std::string>().size() - 8, 4), "-o",
                      (folder_ / "check.png").string(), "--quiet"});
    ASSERT_EQ(check.exitCode, 0) << check.err;
    EXPECT_TRUE(ReadBytes(file.get<std::string>()) == ReadBytes(folder_ / "check.png")) << file;
  }
}

// Keys made on the page: a parameter's diamond adds a key at the current frame and removes it;
// the mask's button keys the "Path" mask, whose key at a frame is then what a drag moves there.
// The time slider marks each kind of key in a row of its own.
TEST_F(StudioPage, KeysAreAddedAndRemovedAtTheCurrentFrame) {
  driver_.Navigate(running_->Origin() + "/");
  WaitSettled();
  const auto goTo = [&](int frame) {
    driver_.Execute("setFrame(arguments[0], false);", Json::array({frame}));
    WaitSettled();
  };
  const auto marks = [&](const std::string& kind) {
    return driver_.Execute("return document.querySelectorAll('#key-marks span." + kind +
                           "').length;");
  };
  const std::string taperKey = ".param[data-label='Taper Start'] .key-toggle";

  goTo(10);
  driver_.Click(driver_.Element(taperKey));
  WaitSettled();
  EXPECT_EQ(Scene()["params"]["Taper Start"], Json({{"keys", {{10, 18}}}}));
  goTo(20);
  driver_.Click(driver_.Element(taperKey));
  WaitSettled();
  EXPECT_EQ(Scene()["params"]["Taper Start"], Json({{"keys", {{10, 18}, {20, 18}}}}));
  EXPECT_EQ(marks("param"), 4) << "Offset's two keys and Taper Start's two";
  driver_.Click(driver_.Element(taperKey));  // the key at 20 goes again
  WaitSettled();
  EXPECT_EQ(Scene()["params"]["Taper Start"], Json({{"keys", {{10, 18}}}}));

  // The mask: keyed at 10 in its own form, then at 20 where a drag moves it.
  const Json spineBefore = Scene()["masks"]["spine"];
  goTo(10);
  driver_.Click(driver_.Element("#mask-key"));
  WaitSettled();
  EXPECT_EQ(Scene()["masks"]["spine"], Json({{"keys", {{10, spineBefore}}}}));
  goTo(20);
  driver_.Drag(driver_.Element("circle.vertex[data-index='1']"), 0, 0, {{20, 0}}, 60);
  WaitSettled();
  EXPECT_EQ(Scene()["masks"]["spine"]["keys"].size(), 1u) << "no key here: the drag is refused";
  driver_.Click(driver_.Element("#mask-key"));
  WaitSettled();
  driver_.Drag(driver_.Element("circle.vertex[data-index='1']"), 0, 0,
               std::vector<std::pair<int, int>>(4, {8, -5}), 60);
  WaitSettled();
  const Json keys = Scene()["masks"]["spine"]["keys"];
  ASSERT_EQ(keys.size(), 2u) << keys;
  EXPECT_EQ(keys[0], Json({10, spineBefore}));
  EXPECT_EQ(keys[1][0], 20);
  const Json atTen = Json::parse(api_->Get("/api/masks?frame=10")->body)["spine"]["vertices"][1];
  EXPECT_NE(keys[1][1]["vertices"][1], atTen) << "the key at 20 moved, the one at 10 did not";
  EXPECT_EQ(marks("mask"), 2);
  Screenshot("10-keys");
  ExpectShownFrameIsTheCommands("with the mask keyed");
}

}  // namespace

namespace {

// The small scene with Offset, the "Width Graph" and the mask keyed at 0 and 8.
Json KeyedSmallScene() {
  Json scene = Json::parse(lwstudiotest::SmallSceneText());
  Json later = scene["masks"]["spine"];
  later["vertices"][1] = {160, 20};
  scene["masks"]["spine"] = {{"keys", {{0, scene["masks"]["spine"]}, {8, later}}}};
  scene["params"]["Offset"] = {{"keys", {{0, 0}, {8, 32}}}};
  scene["params"]["Width Graph"] = {
      {"keys", {{0, {{0, 1}, {1, 1}}}, {8, {{0, 0.2}, {0.5, 1}, {1, 0.2}}}}}};
  return scene;
}

// The ffmpeg program, run in `folder`.
void Ffmpeg(const std::vector<std::string>& args, const fs::path& folder) {
  std::vector<std::string> all = {"-v", "error", "-nostdin", "-y"};
  all.insert(all.end(), args.begin(), args.end());
  const auto outcome = lwclitest::RunProgram("/usr/bin/ffmpeg", all, folder);
  ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
}

}  // namespace

// The interpolation of the key at the current frame is chosen beside its diamond (a parameter,
// the "Width Graph") or the Mask button; the panel moves values between keys as the host does.
TEST_F(StudioPage, AKeysInterpolationIsChosenOnThePage) {
  ASSERT_EQ(api_->Put("/api/scene", KeyedSmallScene().dump(2), "application/json")->status, 200);
  driver_.Navigate(running_->Origin() + "/");
  WaitSettled();
  const auto goTo = [&](int frame) {
    driver_.Execute("setFrame(arguments[0], false);", Json::array({frame}));
    WaitSettled();
  };
  const auto choose = [&](const std::string& css, const std::string& kind) {
    driver_.Execute(
        "const s = document.querySelector(arguments[0]); s.value = arguments[1];"
        "s.dispatchEvent(new Event('change'));",
        Json::array({css, kind}));
    WaitSettled();
  };
  const auto shown = [&](const std::string& label) {
    return driver_
        .Execute("return document.querySelector(\".param[data-label='" + label +
                 "'] input[type=number]\").value;")
        .get<std::string>();
  };
  const std::string offset = ".param[data-label='Offset'] .key-interpolation";

  goTo(0);
  choose(offset, "ease");
  choose(".param[data-label='Width Graph'] .key-interpolation", "hold");
  choose("#mask-interpolation", "ease");
  Screenshot("11-chosen");
  const Json scene = Scene();
  EXPECT_EQ(scene["params"]["Offset"]["keys"][0], Json({0, 0, "ease"}));
  EXPECT_EQ(scene["params"]["Offset"]["keys"][1], Json({8, 32})) << "a linear key has no name";
  EXPECT_EQ(scene["params"]["Width Graph"]["keys"][0][2], "hold");
  EXPECT_EQ(scene["masks"]["spine"]["keys"][0][2], "ease");

  // A quarter of the eased span: the page's value is the host's, 5/32 of the way.
  const double host = 32.0 * lwhost::InterpolatedFraction(lwhost::KeyInterpolation::kEase, 0.25);
  EXPECT_EQ(
      driver_.Execute("return lwStudio.valueAt(lwStudio.scene.params.Offset, 2);").get<double>(),
      host);
  goTo(2);
  EXPECT_EQ(shown("Offset"), "5.0");
  Screenshot("11-eased-at-2");
  ExpectShownFrameIsTheCommands("eased keys at a quarter of their span");

  goTo(0);
  choose(offset, "hold");
  goTo(6);
  EXPECT_EQ(shown("Offset"), "0.0") << "held until the next key";
  ExpectShownFrameIsTheCommands("held keys");
}

// A movie and an image sequence as the Source (the sequence over a plate):
// scrubbing and playing show the frames the command renders.
TEST_F(StudioPage, FootageSourcesScrubAndPlayAsTheCommandRendersThem) {
  Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=96x32:rate=24", "-frames:v", "12", "-c:v", "ffv1",
          "clip.mkv"},
         folder_.path());
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=96x32:rate=24", "-frames:v", "12", "-start_number",
          "0", "seq.%04d.png"},
         folder_.path());
  Json scene = Json::parse(lwstudiotest::SmallSceneText());
  scene["frames"] = {0, 11};
  scene["layers"]["clip"] = {{"video", "clip.mkv"}};
  scene["layers"]["seq"] = {{"image", "seq.%04d.png"}};
  for (const std::string source : {"clip", "seq"}) {
    scene["params"]["Source"] = source;
    if (source == "seq") {
      scene["background"] = "#203040";  // and over a plate, as the command composites it
    }
    ASSERT_EQ(api_->Put("/api/scene", scene.dump(2), "application/json")->status, 200);
    driver_.Navigate(running_->Origin() + "/");
    WaitSettled();
    ExpectShownFrameIsTheCommands(source + " at its first frame");
    for (const int frame : {7, 3}) {  // forward, then back
      driver_.Execute("setFrame(arguments[0], false);", Json::array({frame}));
      WaitSettled();
      Screenshot("12-" + source + "-" + std::to_string(frame));
      ExpectShownFrameIsTheCommands(source + " scrubbed to frame " + std::to_string(frame));
    }
    driver_.Click(driver_.Element("#play"));
    for (int i = 0; i < 600 && PageFrame() < 6; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    driver_.Click(driver_.Element("#play"));  // stops; the full frame follows
    WaitSettled();
    EXPECT_GE(PageFrame(), 6) << source << " played on";
    ExpectShownFrameIsTheCommands(source + " stopped after playing");
  }
}
