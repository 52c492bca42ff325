#include "masks/svg_bytes.h"

#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "masks/svg_file.h"

namespace lwhost {
namespace {

std::string Megabytes(size_t bytes) {
  return std::to_string(bytes >> 20) + " MiB";
}

}  // namespace

std::string ReadOpenedFile(OpenedFile file, size_t limit) {
  std::string bytes;
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = ::read(file.fd(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      throw SvgFileError("", std::string("cannot read the file: ") + std::strerror(errno));
    }
    if (got == 0) {
      return bytes;
    }
    if (bytes.size() + static_cast<size_t>(got) > limit) {
      throw SvgFileError("", "the file is larger than " + Megabytes(limit) + "; it is not read");
    }
    bytes.append(buffer, static_cast<size_t>(got));
  }
}

bool IsGzip(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

std::string Gunzip(std::string_view bytes, size_t limit) {
  if (bytes.size() > limit) {
    throw SvgFileError("", "the compressed drawing is larger than " + Megabytes(limit));
  }
  z_stream stream{};
  // 16 + MAX_WBITS: a gzip header and trailer around the deflate data.
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    throw SvgFileError("", "cannot unpack the compressed drawing: out of memory");
  }
  std::string out;
  char buffer[1 << 16];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  std::string problem;
  while (problem.empty()) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    const int status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
    if (out.size() > limit) {
      problem = "it unpacks to more than " + Megabytes(limit);
    } else if (status == Z_STREAM_END) {
      if (stream.avail_in == 0) {
        break;
      }
      inflateReset(&stream);  // another member follows
    } else if (status == Z_BUF_ERROR ||
               (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)) {
      problem = "the compressed data is cut short";
    } else if (status != Z_OK) {
      problem = std::string("the compressed data is damaged (") +
                (stream.msg != nullptr ? stream.msg : "zlib error " + std::to_string(status)) + ")";
    }
  }
  inflateEnd(&stream);
  if (!problem.empty()) {
    throw SvgFileError("", "not a readable .svgz drawing: " + problem);
  }
  return out;
}

}  // namespace lwhost
