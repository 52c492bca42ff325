// A small W3C WebDriver client over cpp-httplib, for driving headless Chromium through
// chromedriver: sessions, elements, scripts, pointer actions and screenshots.
#pragma once

#include <sys/types.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace httplib {
class Client;
}

namespace lwstudiotest {

using Json = nlohmann::json;

class WebDriver {
 public:
  // Starts /usr/bin/chromedriver on a free port and a headless Chromium session through it.
  // Throws std::runtime_error saying what is missing or what failed.
  WebDriver();
  ~WebDriver();
  WebDriver(const WebDriver&) = delete;
  WebDriver& operator=(const WebDriver&) = delete;

  void Navigate(const std::string& url);
  Json Execute(const std::string& script, const Json& args = Json::array());
  Json ExecuteAsync(const std::string& script, const Json& args = Json::array());
  Json Element(const std::string& css);  // the element reference, for Actions
  // Press at (x, y) from the element's centre, move by each (dx, dy) step in turn, release.
  void Drag(const Json& element, int x, int y, const std::vector<std::pair<int, int>>& steps,
            int stepMs);
  // The same in separate steps, so the test can watch the page between moves.
  void Press(const Json& element, int x, int y);
  void MoveBy(int dx, int dy);
  void Release();
  void Click(const Json& element);
  std::string ScreenshotPng();

 private:
  Json Command(const std::string& method, const std::string& path, const Json& body = nullptr);
  void Pointer(const Json& actions);
  void Mouse(const char* type, int buttons);

  pid_t driver_ = -1;
  int port_ = 0;
  std::unique_ptr<httplib::Client> client_;
  std::string session_;
  double mouseX_ = 0;  // where Press and MoveBy left the mouse, in viewport pixels
  double mouseY_ = 0;
};

std::string Base64Decode(const std::string& text);

}  // namespace lwstudiotest
