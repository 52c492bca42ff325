#include "media/output_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace lwhost {
namespace {

constexpr std::array<OutputFormat, 7> kFormats{{
    {OutputKind::kPng, "png", "png", "PNG", false, false, true},
    {OutputKind::kTiff, "tif", "tif tiff", "TIFF", false, false, true},
    {OutputKind::kExr, "exr", "exr", "OpenEXR, half RGBA", false, false, false},
    {OutputKind::kJpeg, "jpg", "jpg jpeg", "JPEG", false, true, false},
    {OutputKind::kMov, "mov", "mov", "QuickTime, ProRes 4444", true, false, false},
    {OutputKind::kMkv, "mkv", "mkv", "Matroska, FFV1", true, false, false},
    {OutputKind::kMp4, "mp4", "mp4", "MP4, H.264", true, true, false},
}};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// True when `word` is one of the space-separated words of `list`.
bool ListHas(std::string_view list, std::string_view word) {
  while (!list.empty()) {
    const size_t space = list.find(' ');
    if (list.substr(0, space) == word) {
      return true;
    }
    list = space == std::string_view::npos ? std::string_view() : list.substr(space + 1);
  }
  return false;
}

}  // namespace

const OutputFormat& FormatOf(OutputKind kind) {
  return *std::find_if(kFormats.begin(), kFormats.end(),
                       [kind](const OutputFormat& f) { return f.kind == kind; });
}

std::optional<OutputKind> FormatFromName(std::string_view name) {
  std::string word = Lower(name);
  if (!word.empty() && word.front() == '.') {
    word.erase(0, 1);
  }
  for (const OutputFormat& format : kFormats) {
    if (!word.empty() && ListHas(format.extensions, word)) {
      return format.kind;
    }
  }
  return std::nullopt;
}

std::optional<OutputKind> FormatFromPath(std::string_view path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  if (extension.size() < 2) {
    return std::nullopt;
  }
  return FormatFromName(extension);
}

std::string KnownOutputExtensions() {
  std::string all;
  for (const OutputFormat& format : kFormats) {
    std::string_view list = format.extensions;
    while (!list.empty()) {
      const size_t space = list.find(' ');
      all += all.empty() ? "." : ", .";
      all += list.substr(0, space);
      list = space == std::string_view::npos ? std::string_view() : list.substr(space + 1);
    }
  }
  return all;
}

}  // namespace lwhost
