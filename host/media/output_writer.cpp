#include "media/output_writer.h"

#include <atomic>
#include <utility>

#include "layers/png_io.h"
#include "media/output_exr.h"
#include "media/output_ffmpeg.h"
#include "media/output_file.h"
#include "scenes/frame_pattern.h"

namespace lwhost {
namespace {

// Still files, one per frame, each renamed into place when complete; several frames may be
// written at once.
class StillWriter : public OutputWriter {
 public:
  explicit StillWriter(const OutputSettings& settings)
      : settings_(settings), pattern_(ParseFramePattern(settings.path)) {
    // The folder must take a file before any frame renders: a staged file made and removed.
    StagedFile probe(FormatFrame(pattern_, settings.firstFrame));
  }

  bool Sequential() const override { return false; }

  void Write(int64_t frame, const OutputFrame& output) override {
    const std::filesystem::path name = FormatFrame(pattern_, frame);
    const Image& image = *output.image;
    switch (settings_.kind) {
      case OutputKind::kPng:
        try {
          WritePng(name, image, settings_.raw ? PngAlpha::kRaw : PngAlpha::kStraight);
        } catch (const std::runtime_error& e) {
          throw OutputError(e.what());
        }
        break;
      case OutputKind::kTiff: {
        const FileFrame samples = settings_.raw ? StoredSamples(image) : StraightSamples(image);
        WriteStaged(name, EncodeTiff(samples, settings_.raw, name));
        break;
      }
      case OutputKind::kJpeg:
        WriteStaged(name, EncodeJpeg(FlattenedSamples8(image), name));
        break;
      case OutputKind::kExr: {
        StagedFile staged(name);
        WriteExr(staged.Temporary(), name, image,
                 {output.layerWidth, output.layerHeight, output.originX, output.originY});
        staged.Commit();
        break;
      }
      default:
        FailOutput(name, "not a still format");
    }
    written_.fetch_add(1);
  }

  void Finish() override {}
  void Abandon() override {}  // finished stills stay
  int64_t FramesWritten() const override { return written_.load(); }

 private:
  static void WriteStaged(const std::filesystem::path& name,
                          const std::vector<unsigned char>& bytes) {
    StagedFile staged(name);
    staged.WriteAll(bytes.data(), bytes.size());
    staged.Commit();
  }

  OutputSettings settings_;
  FramePattern pattern_;
  std::atomic<int64_t> written_{0};
};

}  // namespace

MovieWriter::MovieWriter(const OutputSettings& settings)
    : settings_(settings), file_(std::make_unique<StagedFile>(settings.path)) {}

MovieWriter::~MovieWriter() {
  Abandon();
}

void MovieWriter::Write(int64_t /*frame*/, const OutputFrame& output) {
  // Frames follow one another in the movie whatever their scene numbers.
  WriteSamples(settings_.kind == OutputKind::kMp4 ? FlattenedSamples8(*output.image)
                                                  : StraightSamples(*output.image));
}

void MovieWriter::WriteSamples(const FileFrame& samples) {
  if (!file_) {
    FailOutput(settings_.path, "the movie was already finished or abandoned");
  }
  if (!encoder_) {
    encoder_ = std::make_unique<MovieEncoder>(settings_.kind, file_->Temporary(), settings_.path,
                                              samples.width, samples.height, samples.bits,
                                              settings_.frameRate);
  }
  encoder_->Add(samples);
  ++written_;
}

void MovieWriter::Finish() {
  if (!file_) {
    FailOutput(settings_.path, "the movie was already finished or abandoned");
  }
  if (!encoder_) {
    FailOutput(settings_.path, "a movie needs at least one frame");
  }
  encoder_->Finish();
  encoder_.reset();
  file_->Commit();
  file_.reset();
}

void MovieWriter::Abandon() {
  encoder_.reset();  // closes the temporary before it goes
  file_.reset();
}

std::unique_ptr<OutputWriter> OpenOutput(const OutputSettings& settings) {
  if (FormatOf(settings.kind).movie) {
    return std::make_unique<MovieWriter>(settings);
  }
  return std::make_unique<StillWriter>(settings);
}

}  // namespace lwhost
