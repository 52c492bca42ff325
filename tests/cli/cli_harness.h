// Runs the built `lathewind` command as a user would and reads what it wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lwclitest {

struct Outcome {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;    // standard output
  std::string err;    // standard error (a file, so never a terminal)
};

// `lathewind <args...>` in `folder` (the current folder when empty), with `env` added to the
// environment.
Outcome RunLathewind(const std::vector<std::string>& args, const std::filesystem::path& folder = {},
                     const std::map<std::string, std::string>& env = {});

// Like RunLathewind for another program (an installed copy of the command, cmake).
Outcome RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                   const std::filesystem::path& folder = {},
                   const std::map<std::string, std::string>& env = {});

// Like RunLathewind, but sends `signal` to the process as soon as `ready(out)` answers true, `out`
// being what the process has written to standard output so far (asked every 10 ms).
Outcome RunLathewindAndSignal(const std::vector<std::string>& args,
                              const std::filesystem::path& folder,
                              const std::function<bool(const std::string& out)>& ready, int signal);

// What a process wrote to a pseudo-terminal standing in for its standard error (stdout goes to
// /dev/null), and its exit code.
Outcome RunLathewindOnTerminal(const std::vector<std::string>& args);

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteText(const std::filesystem::path& path, const std::string& text);
std::string ReadBytes(const std::filesystem::path& path);  // "" when the file is missing

// A PNG's samples exactly as stored in the file: RGBA, 8 or 16 bits, row by row.
struct PngSamples {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 0;
  int colorType = -1;             // PNG's colour type byte (6 = RGBA)
  std::vector<uint32_t> samples;  // width x height x 4, in file order R, G, B, A
  uint32_t At(uint32_t x, uint32_t y, int channel) const {
    return samples[(static_cast<size_t>(y) * width + x) * 4 + channel];
  }
};
PngSamples ReadPngSamples(const std::filesystem::path& path);  // throws on a bad file
void WritePngSamples(const std::filesystem::path& path, const PngSamples& png);

}  // namespace lwclitest
