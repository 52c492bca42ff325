// The studio against hostile and careless clients: files outside its folder, bodies too deep, too
// large or not UTF-8, clients that send slowly or not at all. Each is refused with a 4xx that gives
// nothing away, and the server goes on answering.
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../cli/cli_harness.h"
#include "studio_harness.h"

namespace {

namespace fs = std::filesystem;
using lwclitest::TempFolder;
using lwclitest::WriteText;
using lwstudiotest::ConnectLoopback;
using lwstudiotest::RunningStudio;
using Json = nlohmann::json;

constexpr const char* kSecretDrawing =
    R"(<svg xmlns="http://www.w3.org/2000/svg"><!-- TOPSECRET -->)"
    R"(<path id="TOPSECRET" d="M 10 10 C 50 90 120 90 170 17"/></svg>)";

class StudioLimits : public ::testing::Test {
 protected:
  StudioLimits() {
    fs::create_directories(folder_ / "project");
    fs::create_directories(folder_ / "outside");
    WriteText(folder_ / "project/scene.json", lwstudiotest::SmallSceneText());
    WriteText(folder_ / "outside/drawing.svg", kSecretDrawing);
    running_ = std::make_unique<RunningStudio>(folder_ / "project/scene.json");
    client_ = std::make_unique<httplib::Client>("127.0.0.1", running_->port());
    client_->set_read_timeout(30, 0);
  }

  fs::path Project() const { return folder_ / "project"; }
  httplib::Client& client() { return *client_; }

  // The small scene with its mask read from `svgFile`.
  std::string SceneWithDrawing(const std::string& svgFile) {
    Json scene = Json::parse(lwstudiotest::SmallSceneText());
    scene["masks"]["spine"] = {{"svgFile", svgFile}};
    return scene.dump();
  }

  // A raw request on a fresh connection; what the server answered within `seconds`.
  std::string RawRequest(const std::string& request, int seconds) {
    const int sock = ConnectLoopback(running_->port());
    EXPECT_GE(sock, 0);
    EXPECT_EQ(::send(sock, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::string answer;
    pollfd watch{sock, POLLIN, 0};
    while (::poll(&watch, 1, seconds * 1000) > 0) {
      char buffer[4096];
      const ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
      if (got <= 0) {
        break;
      }
      answer.append(buffer, static_cast<size_t>(got));
      const size_t end = answer.find("\r\n\r\n");
      const size_t length = answer.find("Content-Length: ");
      if (end != std::string::npos && length != std::string::npos &&
          answer.size() >= end + 4 + std::stoul(answer.substr(length + 16))) {
        break;
      }
    }
    ::close(sock);
    return answer;
  }

  std::string Head() const {
    return "Host: 127.0.0.1:" + std::to_string(running_->port()) + "\r\n";
  }

  TempFolder folder_;
  std::unique_ptr<RunningStudio> running_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(StudioLimits, DrawingsOutsideTheFolderAreRefusedAndNothingOfThemComesBack) {
  fs::create_symlink(folder_ / "outside/drawing.svg", Project() / "link.svg");
  const std::string before = client().Get("/api/scene")->body;
  std::vector<std::string> messages;
  for (const std::string& name :
       {(folder_ / "outside/drawing.svg").string(), std::string("../outside/drawing.svg"),
        std::string("link.svg"), std::string("/etc/passwd"), std::string("../outside/none.svg")}) {
    const auto put = client().Put("/api/scene", SceneWithDrawing(name), "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 400) << name << ": " << put->body;
    const Json body = Json::parse(put->body);
    EXPECT_EQ(body["location"], "/masks/spine/svgFile") << name;
    EXPECT_EQ(put->body.find("TOPSECRET"), std::string::npos) << put->body;
    EXPECT_EQ(put->body.find("root:"), std::string::npos) << put->body;
    messages.push_back(body["error"]);
  }
  // A file that exists outside is refused in the same words as one that does not.
  std::string existing = messages[1];
  existing.replace(existing.find("drawing.svg"), 11, "none.svg");
  EXPECT_EQ(existing, messages[4]);
  EXPECT_EQ(client().Get("/api/scene")->body, before);
  EXPECT_EQ(client().Get("/api/masks")->body.find("TOPSECRET"), std::string::npos);
}

TEST_F(StudioLimits, ALinkSwappedAfterLoadingIsRefusedWhenTheDrawingIsReadAgain) {
  WriteText(Project() / "inside.svg", R"(<svg xmlns="http://www.w3.org/2000/svg">)"
                                      R"(<path d="M 30 120 C 80 20 200 20 290 120"/></svg>)");
  fs::create_symlink("inside.svg", Project() / "link.svg");
  ASSERT_EQ(client().Put("/api/scene", SceneWithDrawing("link.svg"), "application/json")->status,
            200);
  ASSERT_EQ(client().Get("/api/frame?frame=0")->status, 200);

  fs::remove(Project() / "link.svg");
  fs::create_symlink(folder_ / "outside/drawing.svg", Project() / "link.svg");
  // Another resolution rebuilds the renderer, which opens the drawing again.
  const auto frame = client().Get("/api/frame?frame=0&downsample=2");
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->status, 400) << frame->body;
  EXPECT_EQ(frame->body.find("TOPSECRET"), std::string::npos);
  EXPECT_EQ(client().Get("/api/masks")->body.find("TOPSECRET"), std::string::npos);
}

TEST_F(StudioLimits, DeepBodiesAreRefusedOnEveryRoute) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const std::string nested = "{\"first\": " + deep + "}";
  for (const auto& [method, path, body] :
       {std::tuple{"PUT", "/api/scene", deep}, std::tuple{"PUT", "/api/scene", nested},
        std::tuple{"POST", "/api/graph/event", nested}, std::tuple{"POST", "/api/export", nested},
        std::tuple{"POST", "/api/save", nested}}) {
    const auto result = std::string(method) == "PUT"
                            ? client().Put(path, body, "application/json")
                            : client().Post(path, body, "application/json");
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 400) << path << ": " << result->body.substr(0, 200);
  }
  EXPECT_EQ(client().Get("/api/scene")->status, 200);
}

TEST_F(StudioLimits, AChunkedBodyOverTheLimitIsRefusedWhileItArrives) {
  const int sock = ConnectLoopback(running_->port());
  ASSERT_GE(sock, 0);
  const timeval patience{2, 0};
  ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
  const int small = 64 << 10;  // few bytes in flight: what was sent is near what was read
  ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  const std::string head = "PUT /api/scene HTTP/1.1\r\n" + Head() +
                           "Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n";
  ASSERT_EQ(::send(sock, head.data(), head.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(head.size()));
  const std::string chunk = "100000\r\n" + std::string(size_t{1} << 20, ' ') + "\r\n";
  size_t sent = 0;
  pollfd answered{sock, POLLIN, 0};
  while (sent < (size_t{64} << 20) && ::poll(&answered, 1, 0) == 0) {
    const ssize_t put = ::send(sock, chunk.data(), chunk.size(), MSG_NOSIGNAL);
    if (put <= 0) {
      break;
    }
    sent += static_cast<size_t>(put);
  }
  EXPECT_LT(sent, size_t{20} << 20) << "bytes the server took before it answered";
  char reply[64] = {};
  ASSERT_EQ(::poll(&answered, 1, 5000), 1);
  ASSERT_GT(::recv(sock, reply, sizeof reply - 1, 0), 12);
  EXPECT_EQ(std::string(reply).substr(0, 12), "HTTP/1.1 413") << reply;
  ::close(sock);
  EXPECT_EQ(client().Get("/api/scene")->status, 200);
}

TEST_F(StudioLimits, EightTricklingClientsLeaveRoomForANinth) {
  std::vector<std::unique_ptr<lwstudiotest::Trickler>> slow;
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<lwstudiotest::Trickler>(running_->port(), 30));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // every worker is taken
  httplib::Client ninth("127.0.0.1", running_->port());
  ninth.set_read_timeout(20, 0);
  const auto scene = ninth.Get("/api/scene");
  ASSERT_TRUE(scene) << "the ninth request was not answered";
  EXPECT_EQ(scene->status, 200);
}

TEST_F(StudioLimits, BadTextAndBadNamesAreRefusedWithA4xx) {
  for (const std::string& body : {std::string("{\"params\": {\"Path\": \"\xff\xfe\"}}"),
                                  std::string("{\"params\": {\"\xc3\x28\": 1}}")}) {
    const auto put = client().Put("/api/scene", body, "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 400) << put->body;
    EXPECT_TRUE(Json::parse(put->body, nullptr, false).is_object()) << put->body;
  }
  const auto event = client().Post("/api/graph/event", "{\"kind\": \"\xff\"}", "application/json");
  EXPECT_EQ(event->status, 400) << event->body;

  fs::create_directories(Project() / "sub");
  for (const std::string& output :
       {std::string(300, 'a') + ".png", std::string("."), std::string(""), std::string("sub"),
        std::string("sub/"), std::string("sub/..")}) {
    const auto exported = client().Post(
        "/api/export", Json{{"first", 0}, {"output", output}}.dump(), "application/json");
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->status, 400) << output << ": " << exported->body;
    EXPECT_EQ(Json::parse(exported->body)["location"], "/output") << output;
  }

  // A megabyte of a misspelt label: the message shows its start, not all of it.
  const std::string huge(1200000, 'q');
  const auto misspelt =
      client().Put("/api/scene", "{\"params\": {\"" + huge + "\": 1}}", "application/json");
  ASSERT_EQ(misspelt->status, 400);
  EXPECT_LT(Json::parse(misspelt->body)["error"].get<std::string>().size(), 300u);

  // A form of more than 8 kB is not JSON, and is not "larger than 16 MB" either.
  const auto form =
      client().Post("/api/export", std::string(9000, 'a'), "application/x-www-form-urlencoded");
  EXPECT_EQ(form->status, 400) << form->body;
  EXPECT_EQ(form->body.find("16 MB"), std::string::npos) << form->body;
}

TEST_F(StudioLimits, ABarePostHasAnEmptyBody) {
  const std::string save = RawRequest("POST /api/save HTTP/1.1\r\n" + Head() + "\r\n", 3);
  EXPECT_EQ(save.substr(0, 12), "HTTP/1.1 200") << save;
  const std::string exported = RawRequest("POST /api/export HTTP/1.1\r\n" + Head() + "\r\n", 3);
  EXPECT_EQ(exported.substr(0, 12), "HTTP/1.1 400") << exported;
  EXPECT_NE(exported.find("\\\"first\\\" and \\\"output\\\" are needed"), std::string::npos)
      << exported;
}

}  // namespace
