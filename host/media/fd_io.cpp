#include "media/fd_io.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "media/footage.h"

namespace lwhost {
namespace {

constexpr int kAvioBufferBytes = 1 << 16;

}  // namespace

std::vector<unsigned char> ReadWholeFile(int fd, const std::string& name) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    throw FootageError(QuotedName(name) + ": " + std::strerror(errno));
  }
  if (info.st_size > kMaxStillFileBytes) {
    throw FootageError(QuotedName(name) + ": " + std::to_string(info.st_size) +
                       " bytes is more than the host reads for a still");
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got =
        ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      throw FootageError(QuotedName(name) + ": " + std::strerror(errno));
    }
    if (got == 0) {
      break;  // shrank while read: what is there is decoded, and found short if it is
    }
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

std::vector<unsigned char> ReadHead(int fd, size_t size) {
  std::vector<unsigned char> head(size);
  ssize_t got = -1;
  do {
    got = ::pread(fd, head.data(), size, 0);
  } while (got < 0 && errno == EINTR);
  head.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return head;
}

FdAvio::FdAvio(int fd) : position_{fd, 0} {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferBytes));
  if (buffer == nullptr) {
    throw std::bad_alloc();
  }
  avio_ = avio_alloc_context(buffer, kAvioBufferBytes, 0, &position_, &FdAvio::Read, nullptr,
                             &FdAvio::Seek);
  if (avio_ == nullptr) {
    av_free(buffer);
    throw std::bad_alloc();
  }
}

FdAvio::~FdAvio() {
  if (avio_ != nullptr) {
    av_freep(&avio_->buffer);
  }
  avio_context_free(&avio_);
}

int FdAvio::Read(void* opaque, uint8_t* buffer, int size) {
  auto* position = static_cast<Position*>(opaque);
  ssize_t got = -1;
  do {
    got = ::pread(position->fd, buffer, static_cast<size_t>(size), position->offset);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    return AVERROR(errno);
  }
  if (got == 0) {
    return AVERROR_EOF;
  }
  position->offset += got;
  return static_cast<int>(got);
}

int64_t FdAvio::Seek(void* opaque, int64_t offset, int whence) {
  auto* position = static_cast<Position*>(opaque);
  struct stat info {};
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return ::fstat(position->fd, &info) == 0 ? int64_t{info.st_size} : AVERROR(errno);
    case SEEK_SET:
      position->offset = offset;
      return offset;
    case SEEK_CUR:
      position->offset += offset;
      return position->offset;
    case SEEK_END:
      if (::fstat(position->fd, &info) != 0) {
        return AVERROR(errno);
      }
      position->offset = info.st_size + offset;
      return position->offset;
    default:
      return AVERROR(EINVAL);
  }
}

}  // namespace lwhost
