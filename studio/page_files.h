// The studio's page, compiled into the program from studio/page/ (see embed_page.cmake).
#pragma once

#include <span>
#include <string_view>

namespace lwstudio {

struct PageFile {
  std::string_view path;  // as requested: "/", "/studio.js", ...
  std::string_view type;  // Content-Type
  std::string_view body;
};

std::span<const PageFile> PageFiles();

}  // namespace lwstudio
