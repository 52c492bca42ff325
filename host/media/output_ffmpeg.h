// Encoding with FFmpeg's libraries: TIFF and JPEG stills, and movies (ProRes 4444 in QuickTime,
// FFV1 in Matroska, H.264 in MP4). Only this file and its .cpp know FFmpeg.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "media/output_format.h"
#include "media/output_pixels.h"

namespace lwhost {

// The bytes of a TIFF file of `frame` (8 or 16 bits RGBA). Its alpha is marked associated
// (premultiplied) or unassociated (straight). Throws OutputError naming `path`.
std::vector<unsigned char> EncodeTiff(const FileFrame& frame, bool associatedAlpha,
                                      const std::filesystem::path& path);

// The bytes of a JPEG file of `frame`, whose alpha is ignored (8 bits). Throws OutputError.
std::vector<unsigned char> EncodeJpeg(const FileFrame& frame, const std::filesystem::path& path);

// One movie being written to `file` (kMov, kMkv or kMp4): frames added in order, all of one size
// and bit depth. Throws OutputError naming `nameForMessages`.
class MovieEncoder {
 public:
  MovieEncoder(OutputKind kind, const std::filesystem::path& file,
               const std::filesystem::path& nameForMessages, int32_t width, int32_t height,
               int bits, double frameRate);
  ~MovieEncoder();
  MovieEncoder(const MovieEncoder&) = delete;
  MovieEncoder& operator=(const MovieEncoder&) = delete;

  // Straight RGBA samples (kMp4: alpha ignored; the frame is already flattened).
  void Add(const FileFrame& frame);
  // Drains the encoder, writes the container's index and closes the file.
  void Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace lwhost
