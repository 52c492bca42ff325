#include "webdriver.h"

#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lwstudiotest {

namespace {

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kChromeDriver = "/usr/bin/chromedriver";
constexpr const char* kElementKey = "element-6066-11e4-a52e-4f735466cecf";

int FreePort() {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(sock);
  return ntohs(address.sin_port);
}

}  // namespace

WebDriver::WebDriver() {
  for (const char* program : {kChromium, kChromeDriver}) {
    if (!std::filesystem::exists(program)) {
      throw std::runtime_error(std::string(program) +
                               " is missing: scripts/install-deps --test installs the browser");
    }
  }
  port_ = FreePort();
  const std::string portArg = "--port=" + std::to_string(port_);
  const char* argv[] = {kChromeDriver, portArg.c_str(), "--log-level=OFF", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&driver_, kChromeDriver, &actions, nullptr, const_cast<char**>(argv), environ) !=
      0) {
    posix_spawn_file_actions_destroy(&actions);
    throw std::runtime_error("cannot start chromedriver");
  }
  posix_spawn_file_actions_destroy(&actions);
  client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
  client_->set_read_timeout(120, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (true) {
    const auto status = client_->Get("/status");
    if (status && status->status == 200 && Json::parse(status->body)["value"]["ready"] == true) {
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("chromedriver did not become ready");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string profile =
      (std::filesystem::temp_directory_path() / ("lathewind-chromium-" + std::to_string(getpid())))
          .string();
  std::filesystem::remove_all(profile);
  const Json capabilities = {
      {"capabilities",
       {{"alwaysMatch",
         {{"browserName", "chrome"},
          {"goog:chromeOptions",
           {{"binary", kChromium},
            {"args",
             {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--disable-dev-shm-usage", "--window-size=1400,900",
              "--user-data-dir=" + profile}}}}}}}}};
  const Json session = Command("POST", "/session", capabilities);
  session_ = session["sessionId"].get<std::string>();
}

WebDriver::~WebDriver() {
  if (!session_.empty()) {
    client_->Delete("/session/" + session_);
  }
  if (driver_ > 0) {
    ::kill(driver_, SIGTERM);
    int status = 0;
    ::waitpid(driver_, &status, 0);
  }
}

Json WebDriver::Command(const std::string& method, const std::string& path, const Json& body) {
  const std::string full =
      session_.empty() || path == "/session" ? path : "/session/" + session_ + path;
  httplib::Result result =
      method == "GET" ? client_->Get(full)
      : method == "DELETE"
          ? client_->Delete(full)
          : client_->Post(full, body.is_null() ? "{}" : body.dump(), "application/json");
  if (!result) {
    throw std::runtime_error("WebDriver " + path + ": no answer from chromedriver");
  }
  const Json answer = Json::parse(result->body, nullptr, false);
  if (result->status != 200 || answer.is_discarded()) {
    throw std::runtime_error("WebDriver " + path + ": " + result->body.substr(0, 600));
  }
  if (path == "/session") {
    return answer["value"];
  }
  return answer["value"];
}

void WebDriver::Navigate(const std::string& url) {
  Command("POST", "/url", {{"url", url}});
}

Json WebDriver::Execute(const std::string& script, const Json& args) {
  return Command("POST", "/execute/sync", {{"script", script}, {"args", args}});
}

Json WebDriver::ExecuteAsync(const std::string& script, const Json& args) {
  return Command("POST", "/execute/async", {{"script", script}, {"args", args}});
}

Json WebDriver::Element(const std::string& css) {
  return Command("POST", "/element", {{"using", "css selector"}, {"value", css}});
}

void WebDriver::Drag(const Json& element, int x, int y,
                     const std::vector<std::pair<int, int>>& steps, int stepMs) {
  Json actions = Json::array();
  actions.push_back(
      {{"type", "pointerMove"}, {"duration", 0}, {"origin", element}, {"x", x}, {"y", y}});
  actions.push_back({{"type", "pointerDown"}, {"button", 0}});
  for (const auto& [dx, dy] : steps) {
    actions.push_back({{"type", "pointerMove"},
                       {"duration", stepMs},
                       {"origin", "pointer"},
                       {"x", dx},
                       {"y", dy}});
  }
  actions.push_back({{"type", "pointerUp"}, {"button", 0}});
  Pointer(actions);
  Command("DELETE", "/actions");
}

void WebDriver::Pointer(const Json& actions) {
  Command("POST", "/actions",
          {{"actions",
            {{{"type", "pointer"},
              {"id", "mouse"},
              {"parameters", {{"pointerType", "mouse"}}},
              {"actions", actions}}}}});
}

// A drag spread over several calls goes through the browser's own input events: chromedriver
// starts each action sequence with the button released, and Chromium ends a range input's drag
// (firing "change") at the first move without the left button.
void WebDriver::Press(const Json& element, int x, int y) {
  // Where a user would press it: scrolled into view first, as a panel taller than the window
  // leaves some controls below it.
  const Json centre = Execute(
      "arguments[0].scrollIntoView({block: 'center'});"
      "const r = arguments[0].getBoundingClientRect();"
      "return [r.x + r.width / 2, r.y + r.height / 2];",
      Json::array({element}));
  mouseX_ = centre[0].get<double>() + x;
  mouseY_ = centre[1].get<double>() + y;
  Mouse("mousePressed", 1);
}

void WebDriver::MoveBy(int dx, int dy) {
  mouseX_ += dx;
  mouseY_ += dy;
  Mouse("mouseMoved", 1);
}

void WebDriver::Release() {
  Mouse("mouseReleased", 0);
}

void WebDriver::Mouse(const char* type, int buttons) {
  Command("POST", "/goog/cdp/execute",
          {{"cmd", "Input.dispatchMouseEvent"},
           {"params",
            {{"type", type},
             {"x", mouseX_},
             {"y", mouseY_},
             {"button", "left"},
             {"buttons", buttons},
             {"clickCount", 1}}}});
}

void WebDriver::Click(const Json& element) {
  Command("POST", "/element/" + element[kElementKey].get<std::string>() + "/click");
}

std::string WebDriver::ScreenshotPng() {
  return Base64Decode(Command("GET", "/screenshot").get<std::string>());
}

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t buffer = 0;
  int bits = 0;
  for (const char c : text) {
    const size_t value = kAlphabet.find(c);
    if (value == std::string::npos) {
      continue;  // padding and line breaks
    }
    buffer = (buffer << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace lwstudiotest
