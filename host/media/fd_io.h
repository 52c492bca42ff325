// Reading footage from the descriptor the file gate handed over: whole (for stills), or as an
// FFmpeg AVIOContext with read and seek callbacks (for movies). Nothing is reopened by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVIOContext;

namespace lwhost {

// Largest still file read into memory whole.
inline constexpr int64_t kMaxStillFileBytes = int64_t{1} << 31;

// The file's bytes from offset 0. Throws FootageError naming `name`.
std::vector<unsigned char> ReadWholeFile(int fd, const std::string& name);

// Up to `size` bytes from offset 0 (fewer for a shorter file).
std::vector<unsigned char> ReadHead(int fd, size_t size);

// An AVIOContext reading `fd` from offset 0, by pread: several contexts may share one descriptor.
class FdAvio {
 public:
  explicit FdAvio(int fd);
  ~FdAvio();
  FdAvio(const FdAvio&) = delete;
  FdAvio& operator=(const FdAvio&) = delete;
  AVIOContext* get() const { return avio_; }

 private:
  struct Position {
    int fd = -1;
    int64_t offset = 0;
  };
  static int Read(void* opaque, uint8_t* buffer, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);

  Position position_;
  AVIOContext* avio_ = nullptr;
};

}  // namespace lwhost
