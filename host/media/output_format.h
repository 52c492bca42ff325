// The kinds of file a render can write, picked by the output's extension or by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lwhost {

enum class OutputKind { kPng, kTiff, kExr, kJpeg, kMov, kMkv, kMp4 };

struct OutputFormat {
  OutputKind kind;
  std::string_view name;        // what --format takes, and the first extension without its dot
  std::string_view extensions;  // every extension that picks it, space separated
  std::string_view describes;   // for messages and help
  bool movie;                   // every frame in one file
  bool flattened;               // no alpha: composited over the background (black unless given)
  bool rawAllowed;              // stored values may be written unchanged (--raw)
};

const OutputFormat& FormatOf(OutputKind kind);

// The format a name such as "exr" or an extension such as ".tif" stands for (either case).
std::optional<OutputKind> FormatFromName(std::string_view name);
// The format the path's extension picks; nullopt for an unknown or missing extension.
std::optional<OutputKind> FormatFromPath(std::string_view path);

// ".png, .tif, .tiff, ...": the extensions the host writes, for the message about an unknown one.
std::string KnownOutputExtensions();

}  // namespace lwhost
