#include "media/output_file.h"

#include "layers/temporary_name.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace lwhost {
void FailOutput(const std::filesystem::path& path, const std::string& reason) {
  throw OutputError(path.string() + ": " + reason);
}

StagedFile::StagedFile(std::filesystem::path target)
    : target_(std::move(target)), temporary_(TemporaryName(target_)) {
  const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    FailOutput(target_, std::strerror(errno));
  }
  ::close(fd);
}

StagedFile::~StagedFile() {
  Discard();
}

void StagedFile::WriteAll(const void* bytes, size_t size) {
  const int fd = ::open(temporary_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) {
    FailOutput(target_, std::strerror(errno));
  }
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (size > 0) {
    const ssize_t wrote = ::write(fd, next, size);
    if (wrote < 0 && errno == EINTR) {
      continue;
    }
    if (wrote <= 0) {
      const int error = wrote < 0 ? errno : ENOSPC;
      ::close(fd);
      FailOutput(target_, std::strerror(error));
    }
    next += wrote;
    size -= static_cast<size_t>(wrote);
  }
  // A full disk or a failing network share often shows only at close.
  if (::close(fd) != 0) {
    FailOutput(target_, std::strerror(errno));
  }
}

void StagedFile::Commit() {
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) {
    FailOutput(target_, error.message());
  }
  done_ = true;
}

void StagedFile::Discard() {
  if (!done_) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    done_ = true;
  }
}

}  // namespace lwhost
