// The one door through which the host opens a file that a scene names (images, drawings, movies,
// sequences). A front end that promises to keep to a folder (the studio) gives a gate with a root;
// the check is made on the file actually opened, so a name that is swapped for a symlink after a
// check cannot lead anywhere else, and every reader then reads from the descriptor it was handed.
#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace lwhost {

// A file opened for reading. Owns its descriptor; closes it when destroyed.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  ~OpenedFile();
  OpenedFile(OpenedFile&& other) noexcept;
  OpenedFile& operator=(OpenedFile&& other) noexcept;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;

  int fd() const { return fd_; }
  const std::filesystem::path& path() const { return path_; }  // as asked for
  // Gives the descriptor away (to fdopen, say); this object no longer closes it.
  int Release();

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A file the gate refuses or cannot open. The message names the path as asked for and the reason;
// for a path outside the gate's root it says only that, never whether the file exists.
class FileGateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FileGate {
  // Empty: any file may be opened. Otherwise the canonical folder every opened file must lie in.
  std::filesystem::path root;
  // Who keeps to the root, for the refusal ("the studio reads only files inside ...").
  std::string keeper = "the host";
};

// Opens `path` for reading (a regular file only: never blocks on a FIFO or a device). With a root,
// the file opened must lie inside it, judged by the descriptor's own path after opening.
// Throws FileGateError.
OpenedFile OpenThroughGate(const std::filesystem::path& path, const FileGate& gate);

// The gate of a process that reads whatever its scene names (the command).
const FileGate& OpenGate();

}  // namespace lwhost
