#include "media/still.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <stdexcept>

#include "core/file_gate.h"
#include "layers/png_io.h"
#include "media/av_convert.h"
#include "media/av_handles.h"
#include "media/exr_read.h"
#include "media/fd_io.h"
#include "media/footage.h"
#include "media/sniff.h"

namespace lwhost {
namespace {

constexpr size_t kSniffBytes = 16;

// A whole JPEG, TIFF or DPX file is one packet to FFmpeg's image decoders.
Image DecodeWithFfmpeg(int fd, StillKind kind, int bitDepth, const std::string& name) {
  const AVCodecID id = kind == StillKind::kJpeg   ? AV_CODEC_ID_MJPEG
                       : kind == StillKind::kTiff ? AV_CODEC_ID_TIFF
                                                  : AV_CODEC_ID_DPX;
  const std::string what(StillKindName(kind));
  const AVCodec* codec = avcodec_find_decoder(id);
  if (codec == nullptr) {
    throw FootageError(QuotedName(name) + ": this FFmpeg has no " + what + " decoder");
  }
  std::vector<unsigned char> bytes = ReadWholeFile(fd, name);
  std::unique_ptr<AVCodecContext, CodecContextFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  if (!context || !packet || !frame ||
      av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
    throw std::bad_alloc();
  }
  std::copy(bytes.begin(), bytes.end(), packet->data);
  context->max_pixels = static_cast<int64_t>(kMaxFootageSide) * kMaxFootageSide;
  if (const int err = avcodec_open2(context.get(), codec, nullptr); err < 0) {
    throw FootageError(QuotedName(name) + ": cannot start the " + what + " decoder (" +
                       AvErrorText(err) + ")");
  }
  int err = avcodec_send_packet(context.get(), packet.get());
  if (err >= 0) {
    avcodec_send_packet(context.get(), nullptr);
    err = avcodec_receive_frame(context.get(), frame.get());
  }
  if (err < 0) {
    throw FootageError(QuotedName(name) + ": the " + what + " data is damaged or truncated (" +
                       AvErrorText(err) + ")");
  }
  if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
    throw FootageError(QuotedName(name) + ": the " + what + " data is damaged or truncated");
  }
  FrameConverter converter;
  return converter.Convert(*frame, bitDepth, name);
}

}  // namespace

bool HoldsStill(const OpenedFile& file) {
  const std::vector<unsigned char> head = ReadHead(file.fd(), kSniffBytes);
  return SniffStill(head.data(), head.size()) != StillKind::kUnknown;
}

Image DecodeStill(const OpenedFile& file, int bitDepth, const std::string& name) {
  const std::vector<unsigned char> head = ReadHead(file.fd(), kSniffBytes);
  const StillKind kind = SniffStill(head.data(), head.size());
  switch (kind) {
    case StillKind::kPng: {
      Image image;
      try {
        image = ReadPngDescriptor(file.fd(), name, bitDepth);
      } catch (const std::runtime_error& e) {
        throw FootageError(e.what());
      }
      if (image.width > kMaxFootageSide || image.height > kMaxFootageSide) {
        throw FootageError(QuotedName(name) + ": " + std::to_string(image.width) + " x " +
                           std::to_string(image.height) + " pixels is larger than the " +
                           std::to_string(kMaxFootageSide) + " x " +
                           std::to_string(kMaxFootageSide) + " the host reads");
      }
      return image;
    }
    case StillKind::kExr:
      return DecodeExr(file.fd(), bitDepth, name);
    case StillKind::kJpeg:
    case StillKind::kTiff:
    case StillKind::kDpx:
      return DecodeWithFfmpeg(file.fd(), kind, bitDepth, name);
    case StillKind::kUnknown:
      break;
  }
  throw FootageError(QuotedName(name) + (head.empty() ? " is empty" : " is not an image") +
                     ": the host reads PNG, JPEG, TIFF, DPX and OpenEXR stills");
}

}  // namespace lwhost
