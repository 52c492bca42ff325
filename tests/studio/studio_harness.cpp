#include "studio_harness.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace lwstudiotest {

RunningStudio::RunningStudio(const std::filesystem::path& file, lwstudio::RenderCall render) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  lwstudio::StudioScene scene;
  scene.text = text.str();
  scene.file = file;
  scene.folder = file.parent_path();
  scene.name = file.filename().string();
  studio_ = std::make_unique<lwstudio::Studio>(LATHEWIND_PLUGIN_PATH, std::move(scene),
                                               std::move(render));
  server_ = std::make_unique<lwstudio::StudioServer>(*studio_);
  port_ = server_->Bind(0);
  thread_ = std::thread([this] { server_->Run(); });
}

RunningStudio::~RunningStudio() {
  server_->Stop();
  thread_.join();
}

int ConnectLoopback(int port) {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (sock >= 0 && ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(sock);
    return -1;
  }
  return sock;
}

Trickler::Trickler(int port, int seconds) : socket_(ConnectLoopback(port)) {
  thread_ = std::thread([this, port, seconds] {
    const std::string request =
        "GET /api/scene HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (size_t i = 0; i < request.size() && !done_ && std::chrono::steady_clock::now() < end;) {
      if (::send(socket_, &request[i], 1, MSG_NOSIGNAL) == 1) {
        ++sent_;
        ++i;
      }
      for (int wait = 0; wait < 50 && !done_; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  });
}

Trickler::~Trickler() {
  done_ = true;
  thread_.join();
  ::close(socket_);
}

std::string SmallSceneText() {
  return R"json({
  "layer": {"width": 320, "height": 180},
  "frames": [0, 9],
  "layers": {
    "checker": {"pattern": "checker", "width": 96, "height": 32, "cell": 8,
                "colors": ["#E8553BFF", "#2D7DD2FF"]}
  },
  "masks": {
    "spine": {"vertices": [[30, 120], [160, 60], [290, 120]],
              "inTangents": [[0, 0], [-50, 0], [0, 0]],
              "outTangents": [[0, 0], [50, 0], [0, 0]]}
  },
  "params": {
    "Path": "spine",
    "Source": "checker",
    "Fit": "Tile",
    "Thickness (0 = from source)": 30,
    "Offset": {"keys": [[0, 0], [9, 40]]}
  }
}
)json";
}

}  // namespace lwstudiotest
