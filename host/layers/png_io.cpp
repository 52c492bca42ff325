// libpng reports errors by longjmp. A longjmp must not cross a C++ frame with live destructors, so
// every libpng call runs inside a small Protected* function whose only locals are plain values;
// containers, files and the png structs are owned by guards in the callers, outside the jump.

#include "layers/png_io.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "layers/temporary_name.h"

namespace lwhost {
namespace {

constexpr size_t kSignatureBytes = 8;  // a PNG file starts with an 8-byte signature
constexpr int kFileChannels = 4;       // every row is expanded to (or written as) RGBA

// Where libpng's error callback leaves its message before jumping back.
struct PngErrorText {
  char text[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngErrorText*>(png_get_error_ptr(png));
  std::snprintf(sink->text, sizeof sink->text, "%s", message != nullptr ? message : "error");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}  // warnings do not stop a read or write

std::string Quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

[[noreturn]] void FailRead(const std::filesystem::path& path, const std::string& reason) {
  throw std::runtime_error("cannot read PNG " + Quoted(path) + ": " + reason);
}

// libpng's own reasons ("Read Error", "Invalid IHDR data", "IDAT: CRC error") in words a user
// can act on.
std::string DecoderReason(const char* libpngText) {
  const std::string text = libpngText != nullptr && *libpngText != '\0' ? libpngText : "error";
  if (text == "Read Error") {
    return "the file ends before its image data is complete (truncated?)";
  }
  return "the PNG data is damaged (" + text + ")";
}

[[noreturn]] void FailWrite(const std::filesystem::path& path, const std::string& reason) {
  throw std::runtime_error("cannot write PNG " + Quoted(path) + ": " + reason);
}

struct FileCloser {
  FILE* file = nullptr;
  ~FileCloser() {
    if (file != nullptr) {
      std::fclose(file);
    }
  }
};

struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
};

// The shape of the rows after libpng's expansions.
struct RowLayout {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bits = 0;  // 8 or 16
  size_t rowBytes = 0;
};

// Reads the header and asks libpng to expand every colour type to RGBA of 8 or 16 bits: palette
// to RGB, 1/2/4-bit grey to 8 bits (v x 255 / (2^b - 1), exact), tRNS to an alpha channel, grey to
// RGB, and an opaque alpha where the file has none.
bool ProtectedReadHeader(png_structp png, png_infop info, FILE* file, RowLayout* layout) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_init_io(png, file);
  png_set_sig_bytes(png, kSignatureBytes);
  png_set_user_limits(png, kMaxPngSide, kMaxPngSide);
  png_read_info(png, info);
  const png_byte colorType = png_get_color_type(png, info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(png);
  }
  if (colorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
    png_set_tRNS_to_alpha(png);
  }
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && png_get_valid(png, info, PNG_INFO_tRNS) == 0) {
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);  // opaque; 8-bit rows take the low byte
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  layout->bits = png_get_bit_depth(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  return png_get_channels(png, info) == kFileChannels;
}

bool ProtectedReadRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

bool ProtectedWrite(png_structp png, png_infop info, FILE* file, const RowLayout* layout,
                    png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) {
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, layout->width, layout->height, layout->bits, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

// A channel value of a big-endian file row.
uint32_t FileValue(const unsigned char* row, size_t index, int bits) {
  if (bits == 16) {
    return (uint32_t{row[2 * index]} << 8) | row[2 * index + 1];
  }
  return row[index];
}

void PutFileValue(unsigned char* row, size_t index, int bits, uint32_t value) {
  if (bits == 16) {
    row[2 * index] = static_cast<unsigned char>(value >> 8);
    row[2 * index + 1] = static_cast<unsigned char>(value & 0xFF);
    return;
  }
  row[index] = static_cast<unsigned char>(value);
}

// Removes the temporary file on every exit that did not rename it into place.
struct TemporaryFile {
  std::filesystem::path path;
  bool keep = false;
  ~TemporaryFile() {
    if (!keep) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }
};

}  // namespace

namespace {

Image ReadPngStream(FileCloser& file, const std::filesystem::path& path, int bitDepth) {
  unsigned char signature[kSignatureBytes] = {};
  if (std::fread(signature, 1, kSignatureBytes, file.file) != kSignatureBytes ||
      png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
    FailRead(path, "not a PNG file");
  }

  PngErrorText error;
  ReadStructs structs;
  structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
  if (structs.png == nullptr || (structs.info = png_create_info_struct(structs.png)) == nullptr) {
    FailRead(path, "out of memory");
  }
  RowLayout layout;
  if (!ProtectedReadHeader(structs.png, structs.info, file.file, &layout)) {
    FailRead(path, error.text[0] != '\0' ? DecoderReason(error.text) : "unsupported PNG layout");
  }
  if (uint64_t{layout.width} * layout.height > kMaxPngPixels) {
    FailRead(path, std::to_string(layout.width) + " x " + std::to_string(layout.height) +
                       " pixels is more than the " + std::to_string(kMaxPngPixels) +
                       " the host reads");
  }

  std::vector<unsigned char> pixels(layout.rowBytes * layout.height);
  std::vector<png_bytep> rows(layout.height);
  for (png_uint_32 y = 0; y < layout.height; ++y) {
    rows[y] = pixels.data() + y * layout.rowBytes;
  }
  if (!ProtectedReadRows(structs.png, structs.info, rows.data())) {
    FailRead(path, DecoderReason(error.text));
  }

  Image image =
      MakeImage(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height), bitDepth);
  const uint32_t scale = FullScale(bitDepth);
  for (int32_t y = 0; y < image.height; ++y) {
    const unsigned char* row = rows[static_cast<size_t>(y)];
    for (int32_t x = 0; x < image.width; ++x) {
      const size_t i = static_cast<size_t>(x) * kFileChannels;
      SetChannels(image, x, y,
                  FileToStored(FileValue(row, i, layout.bits), FileValue(row, i + 1, layout.bits),
                               FileValue(row, i + 2, layout.bits),
                               FileValue(row, i + 3, layout.bits), layout.bits, scale));
    }
  }
  return image;
}

}  // namespace

Image ReadPng(const std::filesystem::path& path, int bitDepth) {
  if (bitDepth != 8 && bitDepth != 16) {
    throw std::invalid_argument("bit depth must be 8 or 16");
  }
  FileCloser file{std::fopen(path.c_str(), "rb")};
  if (file.file == nullptr) {
    FailRead(path, std::strerror(errno));
  }
  return ReadPngStream(file, path, bitDepth);
}

Image ReadPngDescriptor(int fd, const std::filesystem::path& name, int bitDepth) {
  if (bitDepth != 8 && bitDepth != 16) {
    throw std::invalid_argument("bit depth must be 8 or 16");
  }
  // A duplicate, so that the caller keeps its descriptor; read from the start whatever was read.
  const int copy = ::dup(fd);
  if (copy < 0 || ::lseek(copy, 0, SEEK_SET) != 0) {
    const int reason = errno;
    if (copy >= 0) {
      ::close(copy);
    }
    FailRead(name, std::strerror(reason));
  }
  FileCloser file{::fdopen(copy, "rb")};
  if (file.file == nullptr) {
    const int reason = errno;
    ::close(copy);
    FailRead(name, std::strerror(reason));
  }
  return ReadPngStream(file, name, bitDepth);
}

namespace {

// Encodes `image` into `file`; `path` names the destination in messages.
void WritePngStream(FILE* file, const std::filesystem::path& path, const Image& image,
                    PngAlpha alpha) {
  if (image.width <= 0 || image.height <= 0) {
    FailWrite(path, "the image has no pixels");
  }
  // Rows in the file's layout, made before any libpng call so that nothing here is skipped by a
  // jump.
  RowLayout layout;
  layout.width = static_cast<png_uint_32>(image.width);
  layout.height = static_cast<png_uint_32>(image.height);
  layout.bits = image.bitDepth;
  layout.rowBytes = static_cast<size_t>(image.width) * kFileChannels * (image.bitDepth / 8);
  std::vector<unsigned char> pixels(layout.rowBytes * layout.height);
  std::vector<png_bytep> rows(layout.height);
  std::vector<uint16_t> straight(static_cast<size_t>(image.width) * kFileChannels);
  for (int32_t y = 0; y < image.height; ++y) {
    unsigned char* row = pixels.data() + static_cast<size_t>(y) * layout.rowBytes;
    rows[static_cast<size_t>(y)] = row;
    if (alpha == PngAlpha::kStraight) {
      StraightFileRow(image, y, straight.data());
      for (size_t i = 0; i < straight.size(); ++i) {
        PutFileValue(row, i, layout.bits, straight[i]);
      }
      continue;
    }
    for (int32_t x = 0; x < image.width; ++x) {
      const size_t i = static_cast<size_t>(x) * kFileChannels;
      const Channels c = GetChannels(image, x, y);
      PutFileValue(row, i, layout.bits, c.red);
      PutFileValue(row, i + 1, layout.bits, c.green);
      PutFileValue(row, i + 2, layout.bits, c.blue);
      PutFileValue(row, i + 3, layout.bits, c.alpha);
    }
  }

  PngErrorText error;
  WriteStructs structs;
  structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, OnPngError, OnPngWarning);
  if (structs.png == nullptr || (structs.info = png_create_info_struct(structs.png)) == nullptr) {
    FailWrite(path, "out of memory");
  }
  if (!ProtectedWrite(structs.png, structs.info, file, &layout, rows.data())) {
    FailWrite(path, error.text);
  }
}

// A memory stream's buffer, freed whatever happens.
struct MemoryStream {
  char* data = nullptr;
  size_t size = 0;
  ~MemoryStream() { std::free(data); }
};

}  // namespace

std::vector<unsigned char> EncodePng(const Image& image, PngAlpha alpha) {
  MemoryStream memory;
  {
    FileCloser file{::open_memstream(&memory.data, &memory.size)};
    if (file.file == nullptr) {
      FailWrite("(memory)", "out of memory");
    }
    WritePngStream(file.file, "(memory)", image, alpha);
    const bool closed = std::fclose(file.file) == 0;
    file.file = nullptr;
    if (!closed) {
      FailWrite("(memory)", "out of memory");
    }
  }
  return std::vector<unsigned char>(memory.data, memory.data + memory.size);
}

void WritePng(const std::filesystem::path& path, const Image& image, PngAlpha alpha) {
  if (image.width <= 0 || image.height <= 0) {
    FailWrite(path, "the image has no pixels");
  }
  TemporaryFile temp{TemporaryName(path)};
  FileCloser file{std::fopen(temp.path.c_str(), "wbx")};  // x: never reuse an existing file
  if (file.file == nullptr) {
    FailWrite(path, std::strerror(errno));
  }
  WritePngStream(file.file, path, image, alpha);
  // A full disk often shows only when the buffered data is flushed.
  const bool flushed = std::fflush(file.file) == 0 && std::ferror(file.file) == 0;
  const int flushError = errno;
  const bool closed = std::fclose(file.file) == 0;
  file.file = nullptr;
  if (!flushed || !closed) {
    FailWrite(path, std::strerror(!flushed ? flushError : errno));
  }
  std::error_code renameError;
  std::filesystem::rename(temp.path, path, renameError);
  if (renameError) {
    FailWrite(path, renameError.message());
  }
  temp.keep = true;
}

}  // namespace lwhost
