// What kind of still a file holds, told from its first bytes (never from its name).
#pragma once

#include <cstddef>
#include <string_view>

namespace lwhost {

enum class StillKind { kPng, kJpeg, kTiff, kDpx, kExr, kUnknown };

// The kind from the file's leading bytes (at least 8 are needed to tell them all apart).
StillKind SniffStill(const unsigned char* head, size_t size);

// "PNG", "JPEG", ... for messages.
std::string_view StillKindName(StillKind kind);

}  // namespace lwhost
