// One frei0r instance: the values its host set, its own session with the effect, and the scene
// it renders, rebuilt when the scene or path string changes.
//
// Everything a host can do wrong arrives here as a value (a NaN, a number outside [0, 1], a scene
// that cannot be read, a path that does not parse) and gives a message on standard error, once
// per instance and problem, and a transparent frame (the mixer: the background unchanged).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "core/session.h"
#include "scenes/frame_scene.h"

namespace lwfrei0r {

// The hosts whose habits the plug-ins allow for: ffmpeg passes time in milliseconds (melt and
// GStreamer in seconds); GStreamer sets every parameter when it makes an instance, those the user
// never gave at the default it read from a fresh instance.
enum class Host { kFfmpeg, kGStreamer, kOther };

class Instance {
 public:
  // `pluginName` starts every message ("Lathewind", "Lathewind Over").
  Instance(const char* pluginName, int32_t width, int32_t height, Host host);
  ~Instance();

  void SetDouble(int param, double value);
  void SetString(int param, const char* value);
  double GetDouble(int param);
  const char* GetString(int param) const;

  // The frame at host time `time`: `source` rendered onto transparency, or over `background`.
  void Update(double time, const uint32_t* source, const uint32_t* background, uint32_t* out);

 private:
  // Says `message` on standard error unless this instance said something under `key` before.
  void Warn(const std::string& key, const std::string& message);
  bool EnsureScene();
  int32_t FrameOf(double time);

  const char* pluginName_;
  int32_t width_;
  int32_t height_;
  Host host_;
  bool updated_ = false;  // f0r_update has run at least once
  std::mutex mutex_;      // hosts may call one instance from several threads, one call at a time
  std::string scene_;
  std::string path_;
  std::map<int, double> set_;  // effect parameters the host set, by frei0r index, in [0, 1]
  std::set<std::string> warned_;
  std::unique_ptr<lwhost::Session> session_;
  std::unique_ptr<lwhost::FrameScene> frames_;
  bool failed_ = false;  // the scene for the current strings could not be made
  std::optional<int32_t> lastFrame_;
};

// The host that called f0r_construct from `caller` (a return address), told by the library the
// address lies in: FFmpeg's libavfilter, GStreamer's frei0r plug-in, or another.
Host HostOfCaller(const void* caller);

}  // namespace lwfrei0r
