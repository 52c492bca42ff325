#include "instance.h"

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>

#include "core/error_names.h"
#include "effect_catalogue.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"

namespace lwfrei0r {

namespace {

namespace fs = std::filesystem;

// ffmpeg hands over AV_NOPTS_VALUE x time base x 1000 for a frame that lost its timestamp: about
// -9.2e18 x the time base, far below any clip time. Anything below this (30 years before the
// clip's start) is taken for that.
constexpr double kNoTimestampBelow = -1e9;  // seconds

std::string Shown(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string DescribeScene(const lwhost::SceneError& e) {
  std::string text = e.file();
  if (!e.pointer().empty()) {
    text += ": " + e.pointer();
  }
  return text + ": " + e.problem();
}

}  // namespace

Host HostOfCaller(const void* caller) {
  Dl_info info{};
  if (dladdr(caller, &info) == 0 || info.dli_fname == nullptr) {
    return Host::kOther;
  }
  const std::string file = fs::path(info.dli_fname).filename().string();
  if (file.starts_with("libavfilter")) {
    return Host::kFfmpeg;
  }
  if (file.starts_with("libgstfrei0r")) {
    return Host::kGStreamer;
  }
  return Host::kOther;
}

Instance::Instance(const char* pluginName, int32_t width, int32_t height, Host host)
    : pluginName_(pluginName), width_(width), height_(height), host_(host) {}

Instance::~Instance() {
  frames_.reset();  // gives the session's hooks back before the session goes
  session_.reset();
}

void Instance::Warn(const std::string& key, const std::string& message) {
  if (warned_.insert(key).second) {
    std::cerr << pluginName_ << ": " << message << std::endl;
  }
}

void Instance::SetDouble(int param, double value) {
  std::lock_guard lock(mutex_);
  const EffectCatalogue& catalogue = Catalogue();
  const int unitIndex = param - kFirstEffectParam;
  if (unitIndex < 0 || unitIndex >= static_cast<int>(catalogue.unitParams.size())) {
    return;
  }
  double unit = value;
  if (!lwhost::ClampUnit(&unit)) {
    const std::string& name = catalogue.unitParams[unitIndex].name;
    Warn("value " + name, "\"" + name + "\" was given " + Shown(value) +
                              ", not a number from 0 to 1: " + Shown(unit) +
                              " is used (said once)");
  }
  if (host_ == Host::kGStreamer && !updated_ &&
      value == catalogue.unitParams[unitIndex].unitDefault) {
    // GStreamer hands over every property as it makes the instance; one at the default it read
    // cannot be told from one never given, and leaves the scene's value and keys alone.
    set_.erase(param);
    return;
  }
  set_[param] = unit;
}

void Instance::SetString(int param, const char* value) {
  std::lock_guard lock(mutex_);
  std::string text = value == nullptr ? std::string() : std::string(value);  // borrowed: copy
  std::string& target = param == kSceneParam ? scene_ : path_;
  if ((param != kSceneParam && param != kPathParam) || target == text) {
    return;
  }
  target = std::move(text);
  frames_.reset();  // made again for the new strings at the next frame
  failed_ = false;
}

double Instance::GetDouble(int param) {
  std::lock_guard lock(mutex_);
  const EffectCatalogue& catalogue = Catalogue();
  const int unitIndex = param - kFirstEffectParam;
  if (unitIndex < 0 || unitIndex >= static_cast<int>(catalogue.unitParams.size())) {
    return 0.0;
  }
  if (const auto found = set_.find(param); found != set_.end()) {
    return found->second;
  }
  const lwhost::UnitParam& unitParam = catalogue.unitParams[unitIndex];
  if (frames_ != nullptr) {
    return lwhost::ToUnit(unitParam, frames_->Value(unitParam.index));
  }
  return unitParam.unitDefault;
}

const char* Instance::GetString(int param) const {
  return param == kSceneParam ? scene_.c_str() : param == kPathParam ? path_.c_str() : "";
}

bool Instance::EnsureScene() {
  if (frames_ != nullptr) {
    return true;
  }
  if (failed_) {
    return false;  // said already; tried again only when a string changes
  }
  failed_ = true;
  const EffectCatalogue& catalogue = Catalogue();
  if (!catalogue.loadError.empty()) {
    Warn("effect", "cannot load the effect " + catalogue.effectPath + ": " + catalogue.loadError +
                       "; the frames stay transparent");
    return false;
  }
  try {
    if (session_ == nullptr) {
      auto session = std::make_unique<lwhost::Session>(catalogue.effectPath);
      const lwhost::CommandResult global = session->GlobalSetup();
      if (global.err != PF_Err_NONE) {
        Warn("effect", "the effect's global set-up failed with error " +
                           std::to_string(global.err) + " (" + lwhost::ErrorName(global.err) + ")");
        return false;
      }
      session_ = std::move(session);
    }
    lwhost::FrameSceneSetup setup;
    setup.width = width_;
    setup.height = height_;
    setup.sceneFile = scene_;
    setup.pathData = path_;
    setup.threads = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    frames_ = std::make_unique<lwhost::FrameScene>(*session_, setup);
    failed_ = false;
    return true;
  } catch (const lwhost::SceneError& e) {
    Warn("scene " + scene_ + "|" + path_, DescribeScene(e) + "; the frames stay transparent");
  } catch (const std::exception& e) {
    Warn("scene " + scene_ + "|" + path_, std::string(e.what()) + "; the frames stay transparent");
  }
  return false;
}

int32_t Instance::FrameOf(double time) {
  const double seconds = host_ == Host::kFfmpeg ? time / 1000.0 : time;
  int32_t frame = 0;
  if (!std::isfinite(seconds) || seconds < kNoTimestampBelow) {
    // No timestamp: the frame after this instance's last one, as a host playing in order means.
    frame = lastFrame_ ? *lastFrame_ + 1 : 0;
  } else {
    frame = frames_->FrameAt(seconds);
  }
  lastFrame_ = frame;
  return frame;
}

void Instance::Update(double time, const uint32_t* source, const uint32_t* background,
                      uint32_t* out) {
  std::lock_guard lock(mutex_);
  updated_ = true;
  const size_t bytes = static_cast<size_t>(width_) * height_ * 4;
  const auto fallback = [&] {
    if (background != nullptr) {
      std::memcpy(out, background, bytes);
    } else {
      std::memset(out, 0, bytes);
    }
  };
  if (source == nullptr || out == nullptr || !EnsureScene()) {
    fallback();
    return;
  }
  try {
    const EffectCatalogue& catalogue = Catalogue();
    for (const auto& [param, unit] : set_) {
      const lwhost::UnitParam& unitParam = catalogue.unitParams[param - kFirstEffectParam];
      frames_->SetValue(unitParam.index,
                        lwhost::FromUnit(unitParam, unit, frames_->Value(unitParam.index)));
    }
    const auto pixels = [this](const uint32_t* rgba) {
      return lwhost::FramePixels{width_, height_, reinterpret_cast<const uint8_t*>(rgba)};
    };
    const lwhost::FramePixels sourcePixels = pixels(source);
    const lwhost::FramePixels backgroundPixels = pixels(background);
    const PF_Err err = frames_->Render(FrameOf(time), sourcePixels,
                                       background != nullptr ? &backgroundPixels : nullptr,
                                       reinterpret_cast<uint8_t*>(out));
    if (err != PF_Err_NONE) {
      Warn("render " + std::to_string(err), "the effect's render failed with error " +
                                                std::to_string(err) + " (" +
                                                lwhost::ErrorName(err) + ")");
      fallback();
    }
  } catch (const std::exception& e) {
    Warn("render", std::string("the frame could not be rendered: ") + e.what());
    fallback();
  }
}

}  // namespace lwfrei0r
