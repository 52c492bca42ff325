// `lathewind encode PATTERN [--frames A-B] [--frame-rate R] -o OUT.mov|.mkv|.mp4`: frames already
// on disk (PNG files, as `render` writes them) assembled into one movie by the host's movie
// writer, whole or not at all. The farm's movie job runs it after the frames are rendered.
#include <CLI/CLI.hpp>
#include <atomic>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "cli_common.h"
#include "media/output_file.h"
#include "media/output_format.h"
#include "media/output_png_samples.h"
#include "media/output_writer.h"
#include "scenes/frame_pattern.h"

namespace lwcli {

namespace {

namespace fs = std::filesystem;

struct EncodeArgs {
  std::string pattern;
  std::string frames;
  double frameRate = 24.0;
  std::string out;
};

std::atomic<int> gEncodeSignal{0};

void OnEncodeInterrupt(int signal) {
  gEncodeSignal.store(signal);
}

int EncodeUsage(const std::string& message) {
  std::cerr << "lathewind encode: " << Printable(message) << "\n";
  return kExitUsage;
}

std::optional<int64_t> ParseNumber(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

// The numbers of the files in the pattern's folder that the pattern names, lowest and highest.
std::optional<std::pair<int64_t, int64_t>> FramesOnDisk(const lwhost::FramePattern& pattern) {
  const fs::path folder = fs::path(lwhost::FormatFrame(pattern, 0)).parent_path();
  std::optional<std::pair<int64_t, int64_t>> found;
  std::error_code error;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(folder.empty() ? fs::path(".") : folder, error)) {
    const std::string name = entry.path().filename().string();
    const std::string prefix = fs::path(pattern.prefix + "0").filename().string();
    const std::string start = prefix.substr(0, prefix.size() - 1);
    if (name.size() <= start.size() + pattern.suffix.size() || name.rfind(start, 0) != 0 ||
        name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) !=
            0) {
      continue;
    }
    const std::optional<int64_t> number = ParseNumber(std::string_view(name).substr(
        start.size(), name.size() - start.size() - pattern.suffix.size()));
    // Only names the pattern itself would give (the padding included).
    if (!number || fs::path(lwhost::FormatFrame(pattern, *number)).filename() != name) {
      continue;
    }
    found = found ? std::pair{std::min(found->first, *number), std::max(found->second, *number)}
                  : std::pair{*number, *number};
  }
  return found;
}

int RunEncode(const EncodeArgs& args) {
  lwhost::FramePattern pattern;
  try {
    pattern = lwhost::ParseFramePattern(args.pattern);
  } catch (const std::invalid_argument& e) {
    return EncodeUsage(args.pattern + ": " + e.what());
  }
  if (!pattern.hasField) {
    return EncodeUsage(args.pattern + ": needs a frame field such as %04d");
  }
  if (!(args.frameRate > 0.0) || args.frameRate > 1000.0) {
    return EncodeUsage("--frame-rate: expected a number of frames per second above 0");
  }
  const std::optional<lwhost::OutputKind> kind = lwhost::FormatFromPath(args.out);
  if (!kind || !lwhost::FormatOf(*kind).movie) {
    return EncodeUsage("-o " + args.out + ": expected a movie, .mov, .mkv or .mp4");
  }
  int64_t first = 0;
  int64_t last = 0;
  if (!args.frames.empty()) {
    const size_t dash = args.frames.find('-');
    const auto a = ParseNumber(std::string_view(args.frames).substr(0, dash));
    const auto b =
        dash == std::string::npos ? a : ParseNumber(std::string_view(args.frames).substr(dash + 1));
    if (!a || !b || *b < *a) {
      return EncodeUsage("--frames " + args.frames + ": expected A or A-B with A <= B");
    }
    first = *a;
    last = *b;
  } else {
    const auto found = FramesOnDisk(pattern);
    if (!found) {
      return EncodeUsage(args.pattern + ": no file of the pattern is there");
    }
    first = found->first;
    last = found->second;
  }
  // Every frame is there before anything is written: a gap is named, not filled.
  for (int64_t frame = first; frame <= last; ++frame) {
    std::error_code error;
    if (!fs::is_regular_file(lwhost::FormatFrame(pattern, frame), error)) {
      return EncodeUsage(lwhost::FormatFrame(pattern, frame) + ": missing (frame " +
                         std::to_string(frame) + " of " + std::to_string(first) + "-" +
                         std::to_string(last) + ")");
    }
  }

  lwhost::OutputSettings settings;
  settings.path = args.out;
  settings.kind = *kind;
  settings.frameRate = args.frameRate;
  gEncodeSignal = 0;
  const auto previousInt = std::signal(SIGINT, OnEncodeInterrupt);
  const auto previousTerm = std::signal(SIGTERM, OnEncodeInterrupt);
  int code = kExitOk;
  try {
    lwhost::MovieWriter writer(settings);
    for (int64_t frame = first; frame <= last && gEncodeSignal.load() == 0; ++frame) {
      writer.WriteSamples(lwhost::ReadPngSamples(lwhost::FormatFrame(pattern, frame)));
    }
    if (const int signal = gEncodeSignal.load(); signal != 0) {
      std::cerr << "lathewind encode: interrupted with " << writer.FramesWritten() << " of "
                << (last - first + 1) << " frames done; " << Printable(args.out)
                << " was not written\n";
      code = 128 + signal;  // the writer's destructor removes the unfinished movie
    } else {
      writer.Finish();
      std::cout << "wrote " << args.out << " (" << (last - first + 1) << " frames)\n";
    }
  } catch (const lwhost::OutputError& e) {
    std::cerr << "lathewind encode: " << Printable(e.what()) << "\n";
    code = kExitUsage;
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  return code;
}

}  // namespace

Subcommand AddEncodeCommand(CLI::App& app) {
  auto args = std::make_shared<EncodeArgs>();
  CLI::App* encode = app.add_subcommand("encode", "Assemble frames on disk (PNG) into one movie");
  encode->add_option("PATTERN", args->pattern, "The frames' names, with a frame field such as %04d")
      ->required();
  encode->add_option("--frames", args->frames, "Frames A to B (default: every one there)")
      ->type_name("A[-B]");
  encode->add_option("--frame-rate", args->frameRate, "Frames per second (default 24)");
  encode->add_option("-o,--output", args->out, "The movie: .mov, .mkv or .mp4")->required();
  return {encode, [args] { return RunEncode(*args); }};
}

}  // namespace lwcli
