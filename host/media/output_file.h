// Files that appear under their name only when complete: written under a temporary name in the
// same folder (so the rename cannot cross file systems) and renamed into place at the end.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace lwhost {

// An output that cannot be written: names the file and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<path>: <reason>" as an OutputError.
[[noreturn]] void FailOutput(const std::filesystem::path& path, const std::string& reason);

class StagedFile {
 public:
  // Creates the temporary file (never reusing an existing one). Throws OutputError naming
  // `target` when its folder cannot take it.
  explicit StagedFile(std::filesystem::path target);
  // Removes the temporary unless Commit succeeded.
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& Temporary() const { return temporary_; }

  // Writes all of `bytes` to the temporary, replacing what it held. Throws OutputError.
  void WriteAll(const void* bytes, size_t size);
  // Renames the temporary to the target. Throws OutputError.
  void Commit();
  // Removes the temporary now.
  void Discard();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  bool done_ = false;
};

}  // namespace lwhost
