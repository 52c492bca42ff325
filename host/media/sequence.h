// Image sequences: "name.%04d.ext", each file a still of any kind the host reads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "media/footage.h"
#include "media/time_map.h"

namespace lwhost {

struct FileGate;

struct SequenceRequest {
  std::filesystem::path pattern;  // resolved against the scene's folder; the field in the name
  std::string asWritten;          // for messages
  std::optional<int64_t> first;   // the first file's number; the lowest present when not given
  ClipPlacement placement;
  int bitDepth = 8;
};

// Finds the files (N, N + 1, ... up to the highest number present) and checks that none is missing
// in between. Each file is opened through `gate` when its frame is decoded. Throws FootageError
// (no file matches, a missing number named, a pattern without a frame field).
std::unique_ptr<Footage> OpenSequence(const SequenceRequest& request, const FileGate& gate);

}  // namespace lwhost
