#include "media/av_convert.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <array>
#include <cstring>
#include <vector>

#include "media/footage.h"

namespace lwhost {
namespace {

constexpr int kMaxChannels = 4;

// Formats whose components are R, G, B (and A), or Y (and A), stored as plain integers.
bool ReadsDirectly(const AVPixFmtDescriptor& desc) {
  constexpr uint64_t kNotPlain = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                 AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT |
                                 AV_PIX_FMT_FLAG_BAYER;
  if ((desc.flags & kNotPlain) != 0) {
    return false;
  }
  const bool grey = desc.nb_components <= 2 && (desc.flags & AV_PIX_FMT_FLAG_RGB) == 0;
  return (desc.flags & AV_PIX_FMT_FLAG_RGB) != 0 || grey;
}

[[noreturn]] void Unsupported(const std::string& name, const char* format) {
  throw FootageError(QuotedName(name) + ": the pixel format " +
                     (format != nullptr ? format : "(unknown)") + " is not one the host converts");
}

// Stored values from straight file values of `bits` bits per channel (alpha last).
void Store(Image& image, int32_t x, int32_t y, const std::array<uint32_t, kMaxChannels>& value,
           const std::array<int, kMaxChannels>& bits, uint32_t scale) {
  const uint32_t a = ScaleToWorld(value[3], bits[3], scale);
  SetChannels(image, x, y,
              {a, Premultiply(ScaleToWorld(value[0], bits[0], scale), a, scale),
               Premultiply(ScaleToWorld(value[1], bits[1], scale), a, scale),
               Premultiply(ScaleToWorld(value[2], bits[2], scale), a, scale)});
}

Image ReadComponents(const AVFrame& frame, const AVPixFmtDescriptor& desc, int bitDepth) {
  Image image = MakeImage(frame.width, frame.height, bitDepth);
  const uint32_t scale = FullScale(bitDepth);
  const bool alpha = (desc.flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  const int colours = desc.nb_components - (alpha ? 1 : 0);
  // The component each output channel (R, G, B, A) comes from; grey feeds all three colours.
  const std::array<int, kMaxChannels> from = {0, colours == 1 ? 0 : 1, colours == 1 ? 0 : 2,
                                              alpha ? desc.nb_components - 1 : -1};
  std::array<int, kMaxChannels> bits{};
  for (int c = 0; c < kMaxChannels; ++c) {
    bits[c] = from[c] < 0 ? 1 : desc.comp[from[c]].depth;
  }
  std::vector<std::vector<uint32_t>> rows(static_cast<size_t>(desc.nb_components),
                                          std::vector<uint32_t>(static_cast<size_t>(frame.width)));
  const uint8_t* planes[4] = {frame.data[0], frame.data[1], frame.data[2], frame.data[3]};
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int c = 0; c < desc.nb_components; ++c) {
      av_read_image_line2(rows[static_cast<size_t>(c)].data(), planes, frame.linesize, &desc, 0, y,
                          c, frame.width, 0, sizeof(uint32_t));
    }
    for (int32_t x = 0; x < frame.width; ++x) {
      std::array<uint32_t, kMaxChannels> value{};
      for (int c = 0; c < kMaxChannels; ++c) {
        value[c] = from[c] < 0 ? 1 : rows[static_cast<size_t>(from[c])][static_cast<size_t>(x)];
      }
      Store(image, x, y, value, bits, scale);
    }
  }
  return image;
}

}  // namespace

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

FrameConverter::~FrameConverter() {
  sws_freeContext(sws_);
}

Image FrameConverter::Convert(const AVFrame& frame, int bitDepth, const std::string& name) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr) {
    Unsupported(name, nullptr);
  }
  if (frame.width <= 0 || frame.height <= 0) {
    throw FootageError(QuotedName(name) + ": a frame without pixels");
  }
  if (frame.width > kMaxFootageSide || frame.height > kMaxFootageSide) {
    throw FootageError(QuotedName(name) + ": " + std::to_string(frame.width) + " x " +
                       std::to_string(frame.height) + " pixels is larger than the " +
                       std::to_string(kMaxFootageSide) + " x " + std::to_string(kMaxFootageSide) +
                       " the host reads");
  }
  if (ReadsDirectly(*desc)) {
    return ReadComponents(frame, *desc, bitDepth);
  }
  if ((desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT)) !=
          0 ||
      sws_isSupportedInput(format) == 0) {
    Unsupported(name, desc->name);
  }
  const int bits = bitDepth == 8 ? 8 : 16;
  const AVPixelFormat target = bits == 8 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGBA64;
  sws_ = sws_getCachedContext(sws_, frame.width, frame.height, format, frame.width, frame.height,
                              target, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                              nullptr, nullptr);
  if (sws_ == nullptr) {
    Unsupported(name, desc->name);
  }
  // The frame's own matrix and range; swscale's default (BT.601, limited) where it says nothing.
  const bool yuv = (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0 && desc->nb_components >= 3;
  if (yuv) {
    const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED || frame.colorspace == AVCOL_SPC_RGB
                          ? SWS_CS_DEFAULT
                          : static_cast<int>(frame.colorspace);
    const bool fullRange = frame.color_range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                           format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
                           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
    sws_setColorspaceDetails(sws_, sws_getCoefficients(space), fullRange ? 1 : 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  const int pixelBytes = bits / 2;  // four channels of bits / 8 bytes
  std::vector<uint8_t> rgba(static_cast<size_t>(frame.width) * frame.height * pixelBytes);
  uint8_t* const out[4] = {rgba.data(), nullptr, nullptr, nullptr};
  const int outStride[4] = {frame.width * pixelBytes, 0, 0, 0};
  if (sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, out, outStride) !=
      frame.height) {
    Unsupported(name, desc->name);
  }
  Image image = MakeImage(frame.width, frame.height, bitDepth);
  const uint32_t scale = FullScale(bitDepth);
  const std::array<int, kMaxChannels> allBits = {bits, bits, bits, bits};
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const size_t i = (static_cast<size_t>(y) * frame.width + x) * 4;
      std::array<uint32_t, kMaxChannels> value{};
      for (int c = 0; c < kMaxChannels; ++c) {
        if (bits == 8) {
          value[c] = rgba[i + c];
        } else {
          uint16_t v = 0;
          std::memcpy(&v, rgba.data() + (i + c) * 2, sizeof v);
          value[c] = v;
        }
      }
      Store(image, x, y, value, allBits, scale);
    }
  }
  return image;
}

}  // namespace lwhost
