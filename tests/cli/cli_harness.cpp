#include "cli_harness.h"

#include <fcntl.h>
#include <png.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace lwclitest {

namespace fs = std::filesystem;

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args, std::vector<std::string>& storage,
                        const std::string& program = LATHEWIND_BINARY) {
  storage.clear();
  storage.push_back(program);
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) {
    argv.push_back(s.data());
  }
  argv.push_back(nullptr);
  return argv;
}

int ExitCodeOf(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

namespace {

// Starts `lathewind <args...>` with its output going to files in `capture`.
pid_t Start(const std::vector<std::string>& args, const fs::path& folder,
            const std::map<std::string, std::string>& env, const TempFolder& capture,
            const std::string& program = LATHEWIND_BINARY) {
  const std::string outPath = capture / "stdout";
  const std::string errPath = capture / "stderr";
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(args, storage, program);
  const pid_t pid = fork();
  if (pid == 0) {
    const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
      _exit(127);
    }
    if (!folder.empty() && chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    for (const auto& [name, value] : env) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

Outcome Finish(pid_t pid, const TempFolder& capture) {
  Outcome outcome;
  outcome.exitCode = pid < 0 ? -1 : ExitCodeOf(pid);
  outcome.out = ReadBytes(capture / "stdout");
  outcome.err = ReadBytes(capture / "stderr");
  return outcome;
}

}  // namespace

Outcome RunLathewind(const std::vector<std::string>& args, const fs::path& folder,
                     const std::map<std::string, std::string>& env) {
  TempFolder capture;
  return Finish(Start(args, folder, env, capture), capture);
}

Outcome RunProgram(const fs::path& program, const std::vector<std::string>& args,
                   const fs::path& folder, const std::map<std::string, std::string>& env) {
  TempFolder capture;
  return Finish(Start(args, folder, env, capture, program.string()), capture);
}

Outcome RunLathewindAndSignal(const std::vector<std::string>& args, const fs::path& folder,
                              const std::function<bool(const std::string& out)>& ready,
                              int signal) {
  TempFolder capture;
  const pid_t pid = Start(args, folder, {}, capture);
  if (pid > 0) {
    constexpr int kPolls = 6000;  // 60 s at 10 ms: far beyond any test scene
    for (int i = 0; i < kPolls && !ready(ReadBytes(capture / "stdout")); ++i) {
      usleep(10000);
    }
    kill(pid, signal);
  }
  return Finish(pid, capture);
}

Outcome RunLathewindOnTerminal(const std::vector<std::string>& args) {
  std::vector<std::string> storage;
  std::vector<char*> argv = Argv(args, storage);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  Outcome outcome;
  if (pid < 0) {
    return outcome;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      outcome.err.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once the child has closed the terminal
    }
  }
  close(master);
  outcome.exitCode = ExitCodeOf(pid);
  return outcome;
}

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "lathewind-cli-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

PngSamples ReadPngSamples(const fs::path& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    throw std::runtime_error("cannot open " + path.string());
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngSamples result;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("cannot read " + path.string());
  }
  png_init_io(png, file.get());
  png_read_info(png, info);
  result.width = png_get_image_width(png, info);
  result.height = png_get_image_height(png, info);
  result.bitDepth = png_get_bit_depth(png, info);
  result.colorType = png_get_color_type(png, info);
  if (result.colorType != PNG_COLOR_TYPE_RGBA) {
    png_destroy_read_struct(&png, &info, nullptr);
    return result;  // the caller checks the colour type
  }
  const size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_byte> rows(rowBytes * result.height);
  std::vector<png_bytep> pointers(result.height);
  for (uint32_t y = 0; y < result.height; ++y) {
    pointers[y] = rows.data() + y * rowBytes;
  }
  png_read_image(png, pointers.data());
  png_destroy_read_struct(&png, &info, nullptr);
  const size_t count = static_cast<size_t>(result.width) * result.height * 4;
  result.samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    result.samples[i] = result.bitDepth == 16 ? (rows[2 * i] << 8) | rows[2 * i + 1] : rows[i];
  }
  return result;
}

void WritePngSamples(const fs::path& path, const PngSamples& in) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!file || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot write " + path.string());
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, in.width, in.height, in.bitDepth, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t bytes = in.bitDepth == 16 ? 2 : 1;
  std::vector<png_byte> row(in.width * 4 * bytes);
  for (uint32_t y = 0; y < in.height; ++y) {
    for (uint32_t i = 0; i < in.width * 4; ++i) {
      const uint32_t v = in.samples[y * in.width * 4 + i];
      if (bytes == 2) {
        row[2 * i] = static_cast<png_byte>(v >> 8);
        row[2 * i + 1] = static_cast<png_byte>(v & 0xFF);
      } else {
        row[i] = static_cast<png_byte>(v);
      }
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace lwclitest
