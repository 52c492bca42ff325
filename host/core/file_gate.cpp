#include "core/file_gate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace lwhost {
namespace fs = std::filesystem;

OpenedFile::~OpenedFile() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

int OpenedFile::Release() {
  return std::exchange(fd_, -1);
}

namespace {

std::string Quoted(const fs::path& path) {
  return "\"" + path.string() + "\"";
}

bool LiesInside(const fs::path& root, const fs::path& file) {
  const fs::path relative = file.lexically_relative(root);
  return !relative.empty() && relative.is_relative() && *relative.begin() != "..";
}

// The path the kernel opened: symlinks, "..", bind mounts and all resolved.
fs::path OpenedPath(int fd) {
  std::error_code error;
  fs::path opened = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  return error ? fs::path() : opened;
}

}  // namespace

OpenedFile OpenThroughGate(const fs::path& path, const FileGate& gate) {
  const std::string refusal =
      gate.keeper + " reads only files inside " + gate.root.string() + ": " + Quoted(path);
  // O_NONBLOCK: opening a FIFO or a terminal must not wait; cleared once the file is known regular.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int reason = errno;
    if (!gate.root.empty()) {
      // Whether a file outside exists is not ours to tell.
      std::error_code error;
      const fs::path resolved = fs::weakly_canonical(fs::absolute(path), error);
      if (error || !LiesInside(gate.root, resolved)) {
        throw FileGateError(refusal);
      }
    }
    throw FileGateError("cannot open " + Quoted(path) + ": " + std::strerror(reason));
  }
  OpenedFile file(fd, path);
  if (!gate.root.empty()) {
    const fs::path opened = OpenedPath(fd);
    if (opened.empty() || !LiesInside(gate.root, opened)) {
      throw FileGateError(refusal);
    }
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    throw FileGateError("not a regular file: " + Quoted(path));
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    throw FileGateError("cannot read " + Quoted(path) + ": " + std::strerror(errno));
  }
  return file;
}

const FileGate& OpenGate() {
  static const FileGate gate;
  return gate;
}

}  // namespace lwhost
