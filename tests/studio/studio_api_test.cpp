// The studio's API through an HTTP client, against a studio served on a free port: the same bytes
// as the command, the edits the routes make, and the refusals that change nothing.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "../cli/cli_harness.h"
#include "studio_harness.h"

namespace {

using lwclitest::ReadBytes;
using lwclitest::RunLathewind;
using lwclitest::TempFolder;
using lwclitest::WriteText;
using lwstudiotest::RunningStudio;
using Json = nlohmann::json;

class StudioApi : public ::testing::Test {
 protected:
  StudioApi() {
    WriteText(folder_ / "scene.json", lwstudiotest::SmallSceneText());
    running_ = std::make_unique<RunningStudio>(folder_ / "scene.json");
    client_ = std::make_unique<httplib::Client>("127.0.0.1", running_->port());
    client_->set_read_timeout(60, 0);
  }

  httplib::Client& client() { return *client_; }
  std::string SceneNow() { return client().Get("/api/scene")->body; }

  // `lathewind render` of `sceneText` at `frame`, as bytes.
  std::string CommandFrame(const std::string& sceneText, int frame) {
    WriteText(folder_ / "check.json", sceneText);
    const auto outcome =
        RunLathewind({"render", (folder_ / "check.json").string(), "--frames",
                      std::to_string(frame), "-o", (folder_ / "check.png").string(), "--quiet"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    return ReadBytes(folder_ / "check.png");
  }

  // Asserts a 4xx JSON refusal at `location` and that the scene did not change.
  void ExpectRefused(const httplib::Result& result, int status, const std::string& location,
                     const std::string& sceneBefore) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, status) << result->body;
    const Json body = Json::parse(result->body, nullptr, false);
    ASSERT_TRUE(body.is_object()) << result->body;
    EXPECT_TRUE(body["error"].is_string());
    EXPECT_EQ(body["location"], location) << result->body;
    EXPECT_EQ(SceneNow(), sceneBefore);
  }

  TempFolder folder_;
  std::unique_ptr<RunningStudio> running_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(StudioApi, ParamsAreTheCommandsJsonListing) {
  const auto params = client().Get("/api/params");
  ASSERT_TRUE(params);
  const auto command = RunLathewind({"params", "--json"});
  ASSERT_EQ(command.exitCode, 0) << command.err;
  EXPECT_EQ(params->body, command.out);

  const Json list = Json::parse(params->body);
  ASSERT_EQ(list.size(), 36u);
  const Json& graph = list[13];
  EXPECT_EQ(graph["label"], "Width Graph");
  EXPECT_EQ(graph["control"], Json({{"width", 220}, {"height", 150}}));
  EXPECT_EQ(list[6]["validMin"], 0.1);  // "Segment Length", as declared in single precision
  EXPECT_EQ(list[3]["choices"], Json({"Width", "Height"}));
  EXPECT_EQ(list[29]["disabled"], true);  // the version button
}

TEST_F(StudioApi, FramesAreTheBytesTheCommandWritesAtEveryResolution) {
  const std::string scene = SceneNow();
  const auto frame = client().Get("/api/frame?frame=7");
  ASSERT_TRUE(frame);
  ASSERT_EQ(frame->status, 200) << frame->body;
  EXPECT_EQ(frame->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(frame->body, CommandFrame(scene, 7));

  // A draft at half resolution is the scene rendered with that downsampling.
  Json halved = Json::parse(scene);
  halved["downsample"] = {2, 2};
  const auto draft = client().Get("/api/frame?frame=7&downsample=2");
  ASSERT_TRUE(draft);
  EXPECT_EQ(draft->body, CommandFrame(halved.dump(), 7));
  EXPECT_EQ(draft->get_header_value("X-Lathewind-Downsample"), "2,2");
}

TEST_F(StudioApi, PutSceneEditsWhatIsRenderedAndSaveWritesIt) {
  Json scene = Json::parse(SceneNow());
  scene["params"]["Taper Start"] = 40;
  scene["masks"]["spine"]["vertices"][1] = {160, 30};
  const auto put = client().Put("/api/scene", scene.dump(2), "application/json");
  ASSERT_TRUE(put);
  ASSERT_EQ(put->status, 200) << put->body;
  EXPECT_EQ(SceneNow(), scene.dump(2));
  const auto masks = Json::parse(client().Get("/api/masks")->body);
  EXPECT_EQ(masks["spine"]["vertices"][1], Json({160.0, 30.0}));

  const auto save = client().Post("/api/save");
  ASSERT_TRUE(save);
  ASSERT_EQ(save->status, 200) << save->body;
  EXPECT_EQ(Json::parse(ReadBytes(folder_ / "scene.json")), scene);
  EXPECT_EQ(client().Get("/api/frame?frame=3")->body,
            CommandFrame(ReadBytes(folder_ / "scene.json"), 3));
}

TEST_F(StudioApi, GraphEventsEditTheCurveAsTheGraphCommandDoes) {
  const auto before = client().Get("/api/graph.png");
  ASSERT_TRUE(before);
  ASSERT_EQ(before->status, 200);

  for (const auto& [kind, x, y] : {std::tuple{"click", 110, 75}, std::tuple{"drag", 120, 40}}) {
    const auto event = client().Post("/api/graph/event",
                                     Json{{"kind", kind}, {"x", x}, {"y", y}, {"frame", 0}}.dump(),
                                     "application/json");
    ASSERT_TRUE(event);
    ASSERT_EQ(event->status, 200) << event->body;
    EXPECT_EQ(Json::parse(event->body)["changed"], true);
  }
  const auto after = client().Get("/api/graph.png");
  EXPECT_NE(after->body, before->body);

  // The same clicks through `lathewind graph` draw the same control and save the same curve.
  const auto command = RunLathewind(
      {"graph", (folder_ / "scene.json").string(), "--click", "110,75", "--drag", "120,40", "-o",
       (folder_ / "graph.png").string(), "--save", (folder_ / "edited.json").string()});
  ASSERT_EQ(command.exitCode, 0) << command.err;
  EXPECT_EQ(after->body, ReadBytes(folder_ / "graph.png"));
  const Json studioScene = Json::parse(SceneNow());
  const Json commandScene = Json::parse(ReadBytes(folder_ / "edited.json"));
  EXPECT_EQ(studioScene["params"]["Width Graph"], commandScene["params"]["Width Graph"]);
  // And the frame renders that curve.
  EXPECT_EQ(client().Get("/api/frame?frame=0")->body, CommandFrame(SceneNow(), 0));
}

TEST_F(StudioApi, BadInputIsRefusedWithALocationAndChangesNothing) {
  const std::string scene = SceneNow();
  const auto put = [&](const std::string& body) {
    return client().Put("/api/scene", body, "application/json");
  };
  ExpectRefused(put("{\"params\": {"), 400, "", scene);
  ExpectRefused(put(R"({"params": {"No Such Label": 1}})"), 400, "/params/No Such Label", scene);
  ExpectRefused(put(R"({"params": {"Taper Start": "wide"}})"), 400, "/params/Taper Start", scene);
  ExpectRefused(put(R"({"params": {"Taper Start": 1e308}})"), 400, "/params/Taper Start", scene);
  ExpectRefused(put(R"({"layer": {"width": 99999999999999999999, "height": 10}})"), 400,
                "/layer/width", scene);
  ExpectRefused(put(R"({"layers": {"x": {"image": "../outside.png"}}})"), 400, "/layers/x/image",
                scene);

  const auto event = [&](const std::string& body) {
    return client().Post("/api/graph/event", body, "application/json");
  };
  ExpectRefused(event(R"({"kind": "click", "x": 1e300, "y": 3})"), 400, "/x", scene);
  ExpectRefused(event(R"({"kind": "tap", "x": 1, "y": 3})"), 400, "/kind", scene);
  ExpectRefused(event(R"({"kind": "click", "x": 1, "y": "3"})"), 400, "/y", scene);
  ExpectRefused(event(R"({"kind": "click", "x": 1, "y": 3, "extra": 0})"), 400, "/extra", scene);
  ExpectRefused(event("[1, 2]"), 400, "", scene);

  ExpectRefused(client().Get("/api/frame?frame=-1"), 400, "/frame", scene);
  ExpectRefused(client().Get("/api/frame?frame=99999999999"), 400, "/frame", scene);
  ExpectRefused(client().Get("/api/frame?frame=2x"), 400, "/frame", scene);
  ExpectRefused(client().Get("/api/frame?downsample=17"), 400, "/downsample", scene);
  ExpectRefused(
      client().Post("/api/export", R"({"first": 0, "output": "../out.png"})", "application/json"),
      400, "/output", scene);
  ExpectRefused(client().Get("/api/nothing"), 404, "", scene);

  // A body over 16 MB is refused before it is read.
  ExpectRefused(put(std::string((16u << 20) + 1, ' ')), 413, "", scene);
}

TEST_F(StudioApi, ForeignHostsAndOriginsAreRefused) {
  const std::string scene = SceneNow();
  httplib::Headers rebound = {{"Host", "attacker.example:" + std::to_string(running_->port())}};
  ExpectRefused(client().Get("/api/scene", rebound), 403, "", scene);
  httplib::Headers crossSite = {{"Origin", "http://attacker.example"}};
  ExpectRefused(client().Put("/api/scene", crossSite, "{}", "application/json"), 403, "", scene);
  ExpectRefused(client().Post("/api/save", crossSite, "", "application/json"), 403, "", scene);
  httplib::Headers own = {{"Origin", running_->Origin()}};
  EXPECT_EQ(client().Get("/api/scene", own)->status, 200);
}

// Polls the export job until it is no longer running; its last status.
Json AwaitExport(httplib::Client& client) {
  Json job;
  for (int i = 0; i < 3000; ++i) {
    job = Json::parse(client.Get("/api/export")->body);
    if (job["state"] != "running") {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return job;
}

TEST_F(StudioApi, ExportWritesTheCommandsFilesInTheScenesFolder) {
  const auto exported = client().Post(
      "/api/export", R"({"first": 2, "last": 3, "output": "out.%04d.png"})", "application/json");
  ASSERT_TRUE(exported);
  ASSERT_EQ(exported->status, 202) << exported->body;
  const std::string scene = SceneNow();
  // An edit while the job runs changes what is shown, not what the job renders.
  Json edited = Json::parse(scene);
  edited["params"]["Taper Start"] = 45;
  EXPECT_EQ(client().Put("/api/scene", edited.dump(), "application/json")->status, 200);
  const Json job = AwaitExport(client());
  EXPECT_EQ(job["state"], "done") << job;
  EXPECT_EQ(job["done"], 2);
  EXPECT_EQ(job["written"].size(), 2u);
  EXPECT_EQ(ReadBytes(folder_ / "out.0003.png"), CommandFrame(scene, 3));
}

TEST_F(StudioApi, AMovieExportIsOneWholeFile) {
  const auto exported = client().Post(
      "/api/export", R"({"first": 0, "last": 9, "output": "take.mkv"})", "application/json");
  ASSERT_TRUE(exported);
  ASSERT_EQ(exported->status, 202) << exported->body;
  const Json job = AwaitExport(client());
  EXPECT_EQ(job["state"], "done") << job;
  EXPECT_EQ(job["written"], Json::array({(folder_ / "take.mkv").string()}));
  const auto probe = lwclitest::RunProgram(
      "/usr/bin/ffprobe",
      {"-v", "error", "-count_frames", "-show_entries", "stream=codec_name,nb_read_frames", "-of",
       "default=noprint_wrappers=1", (folder_ / "take.mkv").string()});
  EXPECT_EQ(probe.out, "codec_name=ffv1\nnb_read_frames=10\n") << probe.err;
}

TEST_F(StudioApi, AMovieOfFramesOfChangingSizeFailsBeforeItRenders) {
  Json scene = Json::parse(SceneNow());
  scene["params"]["Expand Bounds"] = {{"keys", {{0, 0}, {3, 6}}}};
  ASSERT_EQ(client().Put("/api/scene", scene.dump(), "application/json")->status, 200);
  const auto exported = client().Post(
      "/api/export", R"({"first": 0, "last": 5, "output": "grow.mkv"})", "application/json");
  ASSERT_TRUE(exported);
  ASSERT_EQ(exported->status, 202) << exported->body;
  const Json job = AwaitExport(client());
  EXPECT_EQ(job["state"], "failed") << job;
  EXPECT_EQ(job["done"], 0) << "no frame rendered";
  const std::string error = job["error"];
  EXPECT_NE(error.find("a movie has one size"), std::string::npos) << error;
  EXPECT_NE(error.find("frame 0 is "), std::string::npos) << error;
  EXPECT_NE(error.find("frames 3-5 are "), std::string::npos) << error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    EXPECT_EQ(entry.path().filename().string().find("grow"), std::string::npos) << entry.path();
  }
}

// A scene heavy enough that a render is still running when the test acts on it.
std::string HeavyScene() {
  Json scene = Json::parse(lwstudiotest::SmallSceneText());
  scene["layer"] = {{"width", 1600}, {"height", 900}};
  scene["masks"]["spine"] = {{"svg", "M 40 680 C 560 -120 1040 1040 1560 200"}};
  scene["params"]["Thickness (0 = from source)"] = 600;
  scene["params"]["Quality"] = "High";
  scene["params"]["Depth"] = 200;
  return scene.dump();
}

void WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST_F(StudioApi, AChangeOrADepartedClientCancelsTheRenderInFlight) {
  ASSERT_EQ(client().Put("/api/scene", HeavyScene(), "application/json")->status, 200);
  lwstudio::Studio& studio = running_->studio();

  // A newer change: the render in flight answers 409 and the change goes through.
  int status = 0;
  std::thread render([&] {
    httplib::Client other("127.0.0.1", running_->port());
    other.set_read_timeout(60, 0);
    status = other.Get("/api/frame?frame=0")->status;
  });
  WaitFor([&] { return studio.RendersInFlight() > 0; });
  Json scene = Json::parse(HeavyScene());
  scene["params"]["Taper End"] = 10;
  EXPECT_EQ(client().Put("/api/scene", scene.dump(), "application/json")->status, 200);
  render.join();
  EXPECT_EQ(status, 409);
  EXPECT_EQ(studio.CancelledRenders(), 1);

  // A client that hangs up mid-render.
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(running_->port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string request =
      "GET /api/frame?frame=1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(running_->port()) +
      "\r\n\r\n";
  ASSERT_EQ(::send(sock, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  WaitFor([&] { return studio.RendersInFlight() > 0; });
  ::close(sock);
  WaitFor([&] { return studio.CancelledRenders() == 2; });
  EXPECT_EQ(studio.CancelledRenders(), 2);
}

TEST_F(StudioApi, ALongExportIsAJobThatCanBeCancelledAndLeavesNoMovie) {
  ASSERT_EQ(client().Put("/api/scene", HeavyScene(), "application/json")->status, 200);
  ASSERT_EQ(client()
                .Post("/api/export", R"({"first": 0, "last": 9, "output": "long.mov"})",
                      "application/json")
                ->status,
            202);
  client().set_read_timeout(600, 0);  // a heavy frame on a loaded machine
  const auto second =
      client().Post("/api/export", R"({"first": 0, "output": "x.png"})", "application/json");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 409) << "one job at a time";
  const auto movieFiles = [&] {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      files += entry.path().filename().string().find("long") != std::string::npos ? 1 : 0;
    }
    return files;
  };
  EXPECT_EQ(movieFiles(), 1) << "the movie's temporary, while the job runs";
  const auto cancelled = client().Delete("/api/export");
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(cancelled->status, 200);
  const Json job = AwaitExport(client());
  EXPECT_EQ(job["state"], "cancelled") << job;
  EXPECT_LT(job["done"].get<int>(), 10);
  EXPECT_EQ(job["written"], Json::array());
  EXPECT_EQ(movieFiles(), 0) << "a cancelled movie leaves nothing, not even its temporary";
  EXPECT_EQ(running_->studio().RendersInFlight(), 0);
}

// A scene as a person formats it: compact lists, its own key order, a drawing by reference.
constexpr const char* kHandFormatted = R"json({
  "layer": {"width": 320, "height": 180},
  "frames": [0, 9],
  "masks": {
    "spine": {"svgFile": "spine.svg"},
    "other": {"vertices": [[30, 120], [160, 60], [290, 120]]}
  },
  "layers": {"checker": {"pattern": "checker", "width": 96, "height": 32, "cell": 8,
                         "colors": ["#E8553BFF", "#2D7DD2FF"]}},
  "params": {"Source": "checker",   "Path": "spine",
             "Thickness (0 = from source)": 30, "Taper Start": 10,
             "Offset": {"keys": [[0, 0], [9, 40]]}}
}
)json";

TEST_F(StudioApi, PatchMergesAndSaveEditsOnlyWhatChangedInTheFile) {
  WriteText(folder_ / "spine.svg", R"(<svg xmlns="http://www.w3.org/2000/svg">)"
                                   R"(<path d="M 30 120 C 80 20 200 20 290 120"/></svg>)");
  WriteText(folder_ / "hand.json", kHandFormatted);
  RunningStudio hand(folder_ / "hand.json");
  httplib::Client client("127.0.0.1", hand.port());
  client.set_read_timeout(60, 0);

  // A merge patch: one value changed, one removed; checked like a scene.
  const auto patch = [&](const std::string& body) {
    return client.Patch("/api/scene", body, "application/json");
  };
  const auto merged =
      patch(R"json({"params": {"Taper Start": 25, "Thickness (0 = from source)": null}})json");
  ASSERT_EQ(merged->status, 200) << merged->body;
  const Json now = Json::parse(client.Get("/api/scene")->body);
  EXPECT_EQ(now["params"]["Taper Start"], 25);
  EXPECT_FALSE(now["params"].contains("Thickness (0 = from source)"));
  EXPECT_EQ(now["masks"]["spine"], Json({{"svgFile", "spine.svg"}}))
      << "the drawing stays a reference";
  const auto bad = patch(R"json({"params": {"Taper Start": "wide"}})json");
  EXPECT_EQ(bad->status, 400);
  EXPECT_EQ(Json::parse(bad->body)["location"], "/params/Taper Start");

  // The page's choice of a key's interpolation: the span leaving the first key eases.
  const auto eased =
      patch(R"json({"params": {"Offset": {"keys": [[0, 0, "ease"], [9, 40]]}}})json");
  ASSERT_EQ(eased->status, 200) << eased->body;

  // The page puts the whole scene back, one number per line; a vertex of the other mask moved.
  Json page = Json::parse(client.Get("/api/scene")->body);
  page["masks"]["other"]["vertices"][1] = {161, 60};
  ASSERT_EQ(client.Put("/api/scene", page.dump(2), "application/json")->status, 200);
  ASSERT_EQ(client.Post("/api/save")->status, 200);
  std::string expected = kHandFormatted;
  expected.replace(expected.find("\"Taper Start\": 10"), 17, "\"Taper Start\": 25");
  expected.replace(expected.find("[160, 60]"), 9, "[161, 60]");
  expected.replace(expected.find("[0, 0], [9"), 6, R"([0,0,"ease"])");
  expected.erase(expected.find("\"Thickness"),
                 std::string("\"Thickness (0 = from source)\": 30, ").size());
  EXPECT_EQ(ReadBytes(folder_ / "hand.json"), expected);
  EXPECT_EQ(client.Get("/api/scene")->body, expected);
}

}  // namespace
