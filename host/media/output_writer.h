// The host's output service: a render's frames written to still files or to one movie.
//
//   lwhost::OutputSettings settings{"out.%04d.exr", lwhost::OutputKind::kExr, 16, 24.0};
//   std::unique_ptr<lwhost::OutputWriter> out = lwhost::OpenOutput(settings);
//   out->Write(k, {&image, originX, originY, layerWidth, layerHeight});   // frame k
//   out->Finish();            // or Abandon(): a movie leaves nothing behind
//
// Every file is whole or absent: each still is written under a temporary name and renamed into
// place; a movie is one temporary renamed when Finish succeeds. Stills may be written from
// several threads at once; a movie's frames come one at a time, in order (OrderedOutput does
// that for a parallel render).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "layers/image.h"
#include "media/output_format.h"
#include "media/output_pixels.h"

namespace lwhost {

struct OutputSettings {
  std::string path;  // a still's name (a frame field for several frames) or the movie's
  OutputKind kind = OutputKind::kPng;
  int bitDepth = 8;  // of the worlds written
  double frameRate = 24.0;
  bool raw = false;        // stored values unchanged (PNG and TIFF only)
  int64_t firstFrame = 0;  // names the first still, whose folder is checked when opening
};

// One rendered frame and where the layer lies in it.
struct OutputFrame {
  const Image* image = nullptr;
  int32_t originX = 0;  // the layer's origin in the image
  int32_t originY = 0;
  int32_t layerWidth = 0;  // the layer's world at the render's resolution
  int32_t layerHeight = 0;
};

class OutputWriter {
 public:
  virtual ~OutputWriter() = default;  // an unfinished movie is abandoned
  // Whether frames must arrive one at a time and in order (a movie).
  virtual bool Sequential() const = 0;
  // Writes frame `frame` (a scene frame number: it names a still). Throws OutputError.
  virtual void Write(int64_t frame, const OutputFrame& output) = 0;
  // Completes the output: the movie appears under its name. Throws OutputError.
  virtual void Finish() = 0;
  // Gives up: a movie's temporary is removed; stills already written stay.
  virtual void Abandon() = 0;
  virtual int64_t FramesWritten() const = 0;
};

class MovieEncoder;
class StagedFile;

// A movie: one file of frames of one size, at the frame rate.
class MovieWriter : public OutputWriter {
 public:
  explicit MovieWriter(const OutputSettings& settings);
  ~MovieWriter() override;
  bool Sequential() const override { return true; }
  void Write(int64_t frame, const OutputFrame& output) override;
  // Straight RGBA samples as a PNG of the frame holds them (frames already on disk); the first
  // frame decides the movie's size and depth. Throws OutputError.
  void WriteSamples(const FileFrame& samples);
  void Finish() override;
  void Abandon() override;
  int64_t FramesWritten() const override { return written_; }

 private:
  OutputSettings settings_;
  std::unique_ptr<StagedFile> file_;
  std::unique_ptr<MovieEncoder> encoder_;
  int64_t written_ = 0;
};

// Checks that the output can be made (the folder exists and takes a file; a movie's temporary is
// created now) and returns its writer. Throws OutputError naming the path.
std::unique_ptr<OutputWriter> OpenOutput(const OutputSettings& settings);

}  // namespace lwhost
