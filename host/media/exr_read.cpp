#include "media/exr_read.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "media/footage.h"

namespace lwhost {
namespace {

// OpenEXR's input stream over a descriptor, by pread from its own offset.
class DescriptorStream : public Imf::IStream {
 public:
  DescriptorStream(int fd, const std::string& name) : Imf::IStream(name.c_str()), fd_(fd) {}

  bool read(char c[], int n) override {
    int done = 0;
    while (done < n) {
      const ssize_t got =
          ::pread(fd_, c + done, static_cast<size_t>(n - done), static_cast<off_t>(offset_ + done));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        throw std::runtime_error(got == 0 ? "the file ends early (truncated?)"
                                          : std::strerror(errno));
      }
      done += static_cast<int>(got);
    }
    offset_ += n;
    return true;
  }
  uint64_t tellg() override { return offset_; }
  void seekg(uint64_t position) override { offset_ = position; }

 private:
  int fd_;
  uint64_t offset_ = 0;
};

std::string ChannelNames(const Imf::ChannelList& channels) {
  std::string names;
  for (auto it = channels.begin(); it != channels.end(); ++it) {
    names += (names.empty() ? "" : ", ") + std::string(it.name());
  }
  return names.empty() ? "none" : names;
}

}  // namespace

uint32_t ExrToStored(float value, uint32_t scale) {
  if (!(value > 0.0f)) {
    return 0;  // negative, zero and NaN
  }
  if (value >= 1.0f) {
    return scale;
  }
  return static_cast<uint32_t>(std::floor(static_cast<double>(value) * scale + 0.5));
}

Image DecodeExr(int fd, int bitDepth, const std::string& name) {
  try {
    DescriptorStream stream(fd, name);
    Imf::InputFile file(stream);
    const Imf::Header& header = file.header();
    const Imath::Box2i window = header.dataWindow();
    const int64_t width = int64_t{window.max.x} - window.min.x + 1;
    const int64_t height = int64_t{window.max.y} - window.min.y + 1;
    if (width <= 0 || height <= 0) {
      throw FootageError(QuotedName(name) + ": the OpenEXR data window is empty");
    }
    if (width > kMaxFootageSide || height > kMaxFootageSide) {
      throw FootageError(QuotedName(name) + ": " + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels is larger than the " +
                         std::to_string(kMaxFootageSide) + " x " + std::to_string(kMaxFootageSide) +
                         " the host reads");
    }
    const Imf::ChannelList& channels = header.channels();
    for (const char* needed : {"R", "G", "B"}) {
      if (channels.findChannel(needed) == nullptr) {
        throw FootageError(QuotedName(name) +
                           ": the OpenEXR image has no R, G, B channels (it has " +
                           ChannelNames(channels) + ")");
      }
    }
    const bool hasAlpha = channels.findChannel("A") != nullptr;
    const size_t count = static_cast<size_t>(width * height);
    std::vector<float> planes[4] = {std::vector<float>(count), std::vector<float>(count),
                                    std::vector<float>(count), std::vector<float>(count, 1.0f)};
    Imf::FrameBuffer buffer;
    const char* names[4] = {"R", "G", "B", "A"};
    for (int c = 0; c < (hasAlpha ? 4 : 3); ++c) {
      buffer.insert(names[c], Imf::Slice::Make(Imf::FLOAT, planes[c].data(), window, sizeof(float),
                                               sizeof(float) * static_cast<size_t>(width)));
    }
    file.setFrameBuffer(buffer);
    file.readPixels(window.min.y, window.max.y);

    Image image = MakeImage(static_cast<int32_t>(width), static_cast<int32_t>(height), bitDepth);
    const uint32_t scale = FullScale(bitDepth);
    for (int32_t y = 0; y < image.height; ++y) {
      for (int32_t x = 0; x < image.width; ++x) {
        const size_t i = static_cast<size_t>(y) * image.width + x;
        SetChannels(image, x, y,
                    {ExrToStored(planes[3][i], scale), ExrToStored(planes[0][i], scale),
                     ExrToStored(planes[1][i], scale), ExrToStored(planes[2][i], scale)});
      }
    }
    return image;
  } catch (const FootageError&) {
    throw;
  } catch (const std::exception& e) {
    throw FootageError(QuotedName(name) + ": cannot read OpenEXR: " + e.what());
  }
}

}  // namespace lwhost
