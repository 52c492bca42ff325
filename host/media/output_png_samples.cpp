#include "media/output_png_samples.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

#include "layers/png_io.h"
#include "media/output_file.h"

namespace lwhost {
namespace {

struct ReadState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string error;
  ~ReadState() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

void OnError(png_structp png, png_const_charp message) {
  static_cast<ReadState*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Everything that may jump back on an error, kept free of objects with destructors.
bool DecodeRows(ReadState& state, FILE* file, FileFrame& frame, std::vector<png_bytep>& rows,
                std::vector<unsigned char>& bytes) {
  if (setjmp(png_jmpbuf(state.png))) {
    return false;
  }
  png_init_io(state.png, file);
  png_read_info(state.png, state.info);
  const png_uint_32 width = png_get_image_width(state.png, state.info);
  const png_uint_32 height = png_get_image_height(state.png, state.info);
  if (width > kMaxPngSide || height > kMaxPngSide || uint64_t{width} * height > kMaxPngPixels) {
    state.error = "the image is larger than the host reads";
    return false;
  }
  const int depth = png_get_bit_depth(state.png, state.info);
  png_set_expand(state.png);  // palette, low-bit grey and tRNS to full channels
  png_set_gray_to_rgb(state.png);
  png_set_add_alpha(state.png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(state.png, state.info);
  frame.width = static_cast<int32_t>(width);
  frame.height = static_cast<int32_t>(height);
  frame.bits = depth == 16 ? 16 : 8;
  const size_t rowBytes = png_get_rowbytes(state.png, state.info);
  if (rowBytes != size_t{width} * 4 * (frame.bits / 8)) {
    state.error = "unexpected row layout";
    return false;
  }
  bytes.resize(rowBytes * height);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    rows[y] = bytes.data() + y * rowBytes;
  }
  png_read_image(state.png, rows.data());
  png_read_end(state.png, nullptr);
  return true;
}

}  // namespace

FileFrame ReadPngSamples(const std::filesystem::path& path) {
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    FailOutput(path, std::strerror(errno));
  }
  unsigned char signature[8] = {};
  if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
      png_sig_cmp(signature, 0, sizeof signature) != 0) {
    FailOutput(path, "not a PNG file");
  }
  ReadState state;
  state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
  if (state.png == nullptr || (state.info = png_create_info_struct(state.png)) == nullptr) {
    FailOutput(path, "out of memory");
  }
  png_set_sig_bytes(state.png, sizeof signature);
  FileFrame frame;
  std::vector<png_bytep> rows;
  std::vector<unsigned char> bytes;
  if (!DecodeRows(state, file.get(), frame, rows, bytes)) {
    FailOutput(path, "cannot read the PNG: " + state.error);
  }
  frame.samples.resize(static_cast<size_t>(frame.width) * frame.height * 4);
  for (size_t i = 0; i < frame.samples.size(); ++i) {
    frame.samples[i] =
        frame.bits == 16 ? static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]) : bytes[i];
  }
  return frame;
}

}  // namespace lwhost
