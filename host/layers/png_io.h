// Reading PNG files into host worlds and writing worlds out as PNG files.
#pragma once

#include <filesystem>
#include <vector>

#include "layers/image.h"

namespace lwhost {

// Largest PNG the host reads: each side at most kMaxPngSide and at most kMaxPngPixels pixels, so
// a damaged or hostile header cannot make the host ask for terabytes.
inline constexpr uint32_t kMaxPngSide = 65535;
inline constexpr uint64_t kMaxPngPixels = uint64_t{1} << 28;

// Reads grey, grey+alpha, RGB, RGBA or palette PNGs (1 to 16 bits, tRNS included) into a world
// of `bitDepth` bits per channel: each channel scaled to the world's full scale, then colours
// premultiplied. Throws std::runtime_error naming the path and the reason.
Image ReadPng(const std::filesystem::path& path, int bitDepth);
// The same from an open descriptor, read from its start; the descriptor stays the caller's.
// `name` names the file in messages.
Image ReadPngDescriptor(int fd, const std::filesystem::path& name, int bitDepth);

enum class PngAlpha {
  kStraight,  // un-premultiply, 16-bit worlds scaled to PNG's 0..65535
  kRaw,       // the stored values unchanged
};

// Writes an RGBA PNG: 8 bits per channel from an 8-bit world, 16 from a 16-bit world. The file is
// written under a temporary name in the same folder and renamed into place, so `path` is either
// left as it was or holds the complete new file. Throws std::runtime_error naming the path and
// the reason.
void WritePng(const std::filesystem::path& path, const Image& image, PngAlpha alpha);

// The bytes WritePng writes for the same image, in memory. Throws std::runtime_error.
std::vector<unsigned char> EncodePng(const Image& image, PngAlpha alpha);

}  // namespace lwhost
