#include "media/sniff.h"

#include <cstring>

namespace lwhost {
namespace {

bool StartsWith(const unsigned char* head, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(head, magic, length) == 0;
}

}  // namespace

StillKind SniffStill(const unsigned char* head, size_t size) {
  if (StartsWith(head, size, "\x89PNG\r\n\x1a\n", 8)) {
    return StillKind::kPng;
  }
  if (StartsWith(head, size, "\xff\xd8\xff", 3)) {
    return StillKind::kJpeg;
  }
  if (StartsWith(head, size, "II*\0", 4) || StartsWith(head, size, "MM\0*", 4)) {
    return StillKind::kTiff;
  }
  if (StartsWith(head, size, "SDPX", 4) || StartsWith(head, size, "XPDS", 4)) {
    return StillKind::kDpx;
  }
  if (StartsWith(head, size, "\x76\x2f\x31\x01", 4)) {
    return StillKind::kExr;
  }
  return StillKind::kUnknown;
}

std::string_view StillKindName(StillKind kind) {
  switch (kind) {
    case StillKind::kPng:
      return "PNG";
    case StillKind::kJpeg:
      return "JPEG";
    case StillKind::kTiff:
      return "TIFF";
    case StillKind::kDpx:
      return "DPX";
    case StillKind::kExr:
      return "OpenEXR";
    case StillKind::kUnknown:
      break;
  }
  return "unknown";
}

}  // namespace lwhost
