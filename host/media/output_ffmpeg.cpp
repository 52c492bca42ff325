#include "media/output_ffmpeg.h"

#include <cstring>
#include <mutex>
#include <string>

#include "media/av_handles.h"
#include "media/output_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace lwhost {
namespace {

// TIFF's ExtraSamples tag: 1 says the extra channel is associated (premultiplied) alpha, 2 that
// it is unassociated (straight).
constexpr uint16_t kTiffExtraSamplesTag = 338;
constexpr uint16_t kTiffAssociatedAlpha = 1;
// The JPEG quality scale FFmpeg's encoder takes: 1 is best; 2 keeps edges clean at a third of
// the size.
constexpr int kJpegQuality = 2;
// H.264 previews: constant quality 18 looks like the frames at normal viewing; "fast" keeps the
// encoder well behind the render.
constexpr const char* kH264Quality = "18";
constexpr const char* kH264Preset = "fast";

// FFmpeg's libraries report progress and advice on standard error; the command's own messages
// are the ones a user reads, and every failure here is turned into one.
void QuietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The packed input format FileFrame samples map onto without arithmetic.
AVPixelFormat PackedFormat(int bits) {
  return bits == 16 ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_RGBA;
}

FramePtr MakeFrame(AVPixelFormat format, int32_t width, int32_t height,
                   const std::filesystem::path& path) {
  FramePtr frame(av_frame_alloc());
  if (!frame) {
    FailOutput(path, "out of memory");
  }
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (const int err = av_frame_get_buffer(frame.get(), 0); err < 0) {
    FailOutput(path, "cannot make a frame: " + AvError(err));
  }
  return frame;
}

// Copies `samples` into a packed RGBA frame of their own depth.
void FillPacked(AVFrame& frame, const FileFrame& samples) {
  for (int32_t y = 0; y < samples.height; ++y) {
    const uint16_t* in = samples.samples.data() + static_cast<size_t>(y) * samples.width * 4;
    uint8_t* row = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
    if (samples.bits == 16) {
      for (int32_t i = 0; i < samples.width * 4; ++i) {
        row[2 * i] = static_cast<uint8_t>(in[i] & 0xFF);  // little-endian
        row[2 * i + 1] = static_cast<uint8_t>(in[i] >> 8);
      }
    } else {
      for (int32_t i = 0; i < samples.width * 4; ++i) {
        row[i] = static_cast<uint8_t>(in[i]);
      }
    }
  }
}

// FFV1 has no packed RGBA at 8 bits, only BGRA: the same samples in another order.
void FillBgra(AVFrame& frame, const FileFrame& samples) {
  for (int32_t y = 0; y < samples.height; ++y) {
    const uint16_t* in = samples.samples.data() + static_cast<size_t>(y) * samples.width * 4;
    uint8_t* row = frame.data[0] + static_cast<ptrdiff_t>(y) * frame.linesize[0];
    for (int32_t x = 0; x < samples.width; ++x) {
      row[4 * x] = static_cast<uint8_t>(in[4 * x + 2]);
      row[4 * x + 1] = static_cast<uint8_t>(in[4 * x + 1]);
      row[4 * x + 2] = static_cast<uint8_t>(in[4 * x]);
      row[4 * x + 3] = static_cast<uint8_t>(in[4 * x + 3]);
    }
  }
}

// RGB (full range) to the encoder's YUV by `matrix`, `limited` choosing video range.
SwsPtr MakeConverter(const FileFrame& like, AVPixelFormat to, int matrix, bool limited,
                     const std::filesystem::path& path) {
  SwsPtr sws(sws_getContext(like.width, like.height, PackedFormat(like.bits), like.width,
                            like.height, to, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                            nullptr, nullptr, nullptr));
  if (!sws) {
    FailOutput(path, "cannot convert the frames to the encoder's pixel format");
  }
  const int* coefficients = sws_getCoefficients(matrix);
  sws_setColorspaceDetails(sws.get(), coefficients, 1, coefficients, limited ? 0 : 1, 0, 1 << 16,
                           1 << 16);
  return sws;
}

void Convert(SwsContext& sws, const FileFrame& samples, AVFrame& packed, AVFrame& out) {
  FillPacked(packed, samples);
  sws_scale(&sws, packed.data, packed.linesize, 0, samples.height, out.data, out.linesize);
}

CodecPtr OpenCodec(const char* name, AVPixelFormat format, int32_t width, int32_t height,
                   AVRational timeBase, AVDictionary** options, bool globalHeader,
                   const std::filesystem::path& path) {
  QuietLibraries();
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) {
    FailOutput(path, std::string("this FFmpeg has no ") + name + " encoder");
  }
  CodecPtr context(avcodec_alloc_context3(codec));
  if (!context) {
    FailOutput(path, "out of memory");
  }
  context->width = width;
  context->height = height;
  context->pix_fmt = format;
  context->time_base = timeBase;
  context->framerate = av_inv_q(timeBase);
  // One encoding thread: it runs beside the frames rendering, which have the cores.
  context->thread_count = 1;
  if (globalHeader) {
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (const int err = avcodec_open2(context.get(), codec, options); err < 0) {
    FailOutput(path, std::string("cannot start the ") + name + " encoder: " + AvError(err));
  }
  return context;
}

// Encodes one picture with an image codec and returns its only packet.
std::vector<unsigned char> EncodeOne(AVCodecContext& codec, AVFrame& frame,
                                     const std::filesystem::path& path) {
  PacketPtr packet(av_packet_alloc());
  if (!packet) {
    FailOutput(path, "out of memory");
  }
  int err = avcodec_send_frame(&codec, &frame);
  if (err >= 0) {
    err = avcodec_send_frame(&codec, nullptr);
  }
  if (err >= 0) {
    err = avcodec_receive_packet(&codec, packet.get());
  }
  if (err < 0) {
    FailOutput(path, "encoding failed: " + AvError(err));
  }
  return std::vector<unsigned char>(packet->data, packet->data + packet->size);
}

uint16_t Get16(const std::vector<unsigned char>& b, size_t at, bool little) {
  return little ? static_cast<uint16_t>(b[at] | b[at + 1] << 8)
                : static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

// FFmpeg's TIFF encoder always marks alpha unassociated; the first directory's ExtraSamples entry
// is rewritten in place for premultiplied files.
void MarkAlphaAssociated(std::vector<unsigned char>& tiff, const std::filesystem::path& path) {
  if (tiff.size() < 8) {
    FailOutput(path, "the TIFF encoder wrote no header");
  }
  const bool little = tiff[0] == 'I';
  const size_t directory = little
                               ? (tiff[4] | tiff[5] << 8 | tiff[6] << 16 | size_t{tiff[7]} << 24)
                               : (size_t{tiff[4]} << 24 | tiff[5] << 16 | tiff[6] << 8 | tiff[7]);
  if (directory + 2 > tiff.size()) {
    FailOutput(path, "the TIFF encoder wrote a directory outside the file");
  }
  const uint16_t entries = Get16(tiff, directory, little);
  for (uint16_t i = 0; i < entries; ++i) {
    const size_t entry = directory + 2 + 12 * size_t{i};
    if (entry + 12 > tiff.size()) {
      break;
    }
    if (Get16(tiff, entry, little) == kTiffExtraSamplesTag) {
      const size_t value = entry + 8;  // one SHORT, stored in the entry itself
      tiff[value] = little ? kTiffAssociatedAlpha : 0;
      tiff[value + 1] = little ? 0 : kTiffAssociatedAlpha;
      return;
    }
  }
  FailOutput(path, "the TIFF encoder wrote no ExtraSamples entry");
}

}  // namespace

std::vector<unsigned char> EncodeTiff(const FileFrame& frame, bool associatedAlpha,
                                      const std::filesystem::path& path) {
  const AVPixelFormat format = PackedFormat(frame.bits);
  CodecPtr codec =
      OpenCodec("tiff", format, frame.width, frame.height, {1, 1}, nullptr, false, path);
  FramePtr picture = MakeFrame(format, frame.width, frame.height, path);
  FillPacked(*picture, frame);
  std::vector<unsigned char> bytes = EncodeOne(*codec, *picture, path);
  if (associatedAlpha) {
    MarkAlphaAssociated(bytes, path);
  }
  return bytes;
}

std::vector<unsigned char> EncodeJpeg(const FileFrame& frame, const std::filesystem::path& path) {
  if (frame.bits != 8) {
    FailOutput(path, "JPEG takes 8-bit frames");
  }
  // JFIF's YCbCr: BT.601 matrix, full range.
  const AVPixelFormat format = AV_PIX_FMT_YUVJ444P;
  QuietLibraries();
  const AVCodec* codec = avcodec_find_encoder_by_name("mjpeg");
  if (codec == nullptr) {
    FailOutput(path, "this FFmpeg has no mjpeg encoder");
  }
  CodecPtr context(avcodec_alloc_context3(codec));
  if (!context) {
    FailOutput(path, "out of memory");
  }
  context->width = frame.width;
  context->height = frame.height;
  context->pix_fmt = format;
  context->time_base = {1, 1};
  context->color_range = AVCOL_RANGE_JPEG;
  context->flags |= AV_CODEC_FLAG_QSCALE;
  context->global_quality = FF_QP2LAMBDA * kJpegQuality;
  context->thread_count = 1;
  if (const int err = avcodec_open2(context.get(), codec, nullptr); err < 0) {
    FailOutput(path, "cannot start the JPEG encoder: " + AvError(err));
  }
  SwsPtr sws = MakeConverter(frame, format, SWS_CS_ITU601, false, path);
  FramePtr packed = MakeFrame(PackedFormat(8), frame.width, frame.height, path);
  FramePtr picture = MakeFrame(format, frame.width, frame.height, path);
  Convert(*sws, frame, *packed, *picture);
  picture->quality = context->global_quality;
  return EncodeOne(*context, *picture, path);
}

struct MovieEncoder::State {
  OutputKind kind = OutputKind::kMkv;
  std::filesystem::path name;  // for messages
  int32_t width = 0;
  int32_t height = 0;
  int bits = 8;
  AVFormatContext* format = nullptr;
  AVStream* stream = nullptr;
  CodecPtr codec;
  SwsPtr sws;  // null when the encoder takes the samples as they are
  FramePtr packed;
  FramePtr picture;
  PacketPtr packet;
  int64_t next = 0;

  ~State() {
    if (format != nullptr) {
      if (format->pb != nullptr) {
        avio_closep(&format->pb);
      }
      avformat_free_context(format);
    }
  }

  // Sends `frame` (null: the end) and writes every packet the encoder has ready.
  void Drain(AVFrame* frame) {
    if (const int err = avcodec_send_frame(codec.get(), frame); err < 0) {
      FailOutput(name, "encoding failed: " + AvError(err));
    }
    for (;;) {
      const int err = avcodec_receive_packet(codec.get(), packet.get());
      if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) {
        return;
      }
      if (err < 0) {
        FailOutput(name, "encoding failed: " + AvError(err));
      }
      if (packet->duration == 0) {
        packet->duration = 1;  // one frame, in the codec's time base
      }
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (const int written = av_interleaved_write_frame(format, packet.get()); written < 0) {
        FailOutput(name, "writing failed: " + AvError(written));
      }
    }
  }
};

MovieEncoder::MovieEncoder(OutputKind kind, const std::filesystem::path& file,
                           const std::filesystem::path& nameForMessages, int32_t width,
                           int32_t height, int bits, double frameRate)
    : state_(std::make_unique<State>()) {
  QuietLibraries();
  State& s = *state_;
  s.kind = kind;
  s.name = nameForMessages;
  s.width = width;
  s.height = height;
  s.bits = bits;
  const char* muxer = kind == OutputKind::kMov   ? "mov"
                      : kind == OutputKind::kMkv ? "matroska"
                                                 : "mp4";
  if (kind == OutputKind::kMp4 && (width % 2 != 0 || height % 2 != 0)) {
    FailOutput(s.name, "H.264 in yuv420p needs an even width and height; the frames are " +
                           std::to_string(width) + " x " + std::to_string(height));
  }
  if (const int err = avformat_alloc_output_context2(&s.format, nullptr, muxer, file.c_str());
      err < 0 || s.format == nullptr) {
    FailOutput(s.name, "cannot make the container: " + AvError(err));
  }
  // Frame rates such as 29.97 become 30000/1001.
  const AVRational rate = av_d2q(frameRate, 1000000);
  const AVRational timeBase = av_inv_q(rate);
  const bool globalHeader = (s.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  AVDictionary* options = nullptr;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  const char* encoder = nullptr;
  switch (kind) {
    case OutputKind::kMov:
      encoder = "prores_ks";
      format = AV_PIX_FMT_YUVA444P10LE;
      av_dict_set(&options, "profile", "4444", 0);
      av_dict_set(&options, "alpha_bits", "16", 0);
      break;
    case OutputKind::kMkv:
      encoder = "ffv1";
      format = bits == 16 ? AV_PIX_FMT_RGBA64LE : AV_PIX_FMT_BGRA;
      av_dict_set(&options, "level", "3", 0);
      av_dict_set(&options, "slicecrc", "1", 0);
      break;
    default:
      encoder = "libx264";
      format = AV_PIX_FMT_YUV420P;
      av_dict_set(&options, "crf", kH264Quality, 0);
      av_dict_set(&options, "preset", kH264Preset, 0);
      break;
  }
  const bool yuv = kind != OutputKind::kMkv;
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (codec == nullptr) {
    av_dict_free(&options);
    FailOutput(s.name, std::string("this FFmpeg has no ") + encoder + " encoder");
  }
  s.codec.reset(avcodec_alloc_context3(codec));
  if (!s.codec) {
    av_dict_free(&options);
    FailOutput(s.name, "out of memory");
  }
  AVCodecContext& c = *s.codec;
  c.width = width;
  c.height = height;
  c.pix_fmt = format;
  c.time_base = timeBase;
  c.framerate = rate;
  c.thread_count = 1;  // one encoding thread beside the frames rendering
  if (kind == OutputKind::kMov) {
    // The finest quantiser, fixed: the encoder's own search for one that fits its bit budget
    // cost four fifths of its time and chose the finest for typical frames anyway. Busy frames
    // come out larger than the budget rather than coarser.
    c.flags |= AV_CODEC_FLAG_QSCALE;
    c.global_quality = FF_QP2LAMBDA;
  }
  if (yuv) {
    c.colorspace = AVCOL_SPC_BT709;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    c.color_range = AVCOL_RANGE_MPEG;
  }
  if (globalHeader) {
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  const int opened = avcodec_open2(&c, codec, &options);
  av_dict_free(&options);
  if (opened < 0) {
    FailOutput(s.name, std::string("cannot start the ") + encoder + " encoder: " + AvError(opened));
  }

  s.stream = avformat_new_stream(s.format, nullptr);
  if (s.stream == nullptr) {
    FailOutput(s.name, "out of memory");
  }
  s.stream->time_base = timeBase;
  s.stream->avg_frame_rate = rate;
  s.stream->r_frame_rate = rate;
  if (const int err = avcodec_parameters_from_context(s.stream->codecpar, &c); err < 0) {
    FailOutput(s.name, "cannot describe the stream: " + AvError(err));
  }
  if (const int err = avio_open(&s.format->pb, file.c_str(), AVIO_FLAG_WRITE); err < 0) {
    FailOutput(s.name, AvError(err));
  }
  if (const int err = avformat_write_header(s.format, nullptr); err < 0) {
    FailOutput(s.name, "cannot write the container's header: " + AvError(err));
  }

  s.packet.reset(av_packet_alloc());
  if (!s.packet) {
    FailOutput(s.name, "out of memory");
  }
  s.picture = MakeFrame(format, width, height, s.name);
  if (yuv) {
    // ProRes writes the frame's own tags into every frame header.
    s.picture->colorspace = c.colorspace;
    s.picture->color_primaries = c.color_primaries;
    s.picture->color_trc = c.color_trc;
    s.picture->color_range = c.color_range;
    FileFrame like;
    like.width = width;
    like.height = height;
    like.bits = bits;
    s.sws = MakeConverter(like, format, SWS_CS_ITU709, true, s.name);
    s.packed = MakeFrame(PackedFormat(bits), width, height, s.name);
  }
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::Add(const FileFrame& frame) {
  State& s = *state_;
  if (frame.width != s.width || frame.height != s.height || frame.bits != s.bits) {
    FailOutput(s.name, "a movie has one size and depth: frame " + std::to_string(s.next) + " is " +
                           std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                           " but the movie is " + std::to_string(s.width) + " x " +
                           std::to_string(s.height));
  }
  if (const int err = av_frame_make_writable(s.picture.get()); err < 0) {
    FailOutput(s.name, "cannot make a frame: " + AvError(err));
  }
  if (s.sws) {
    Convert(*s.sws, frame, *s.packed, *s.picture);
  } else if (s.bits == 16) {
    FillPacked(*s.picture, frame);
  } else {
    FillBgra(*s.picture, frame);
  }
  s.picture->pts = s.next++;
  s.Drain(s.picture.get());
}

void MovieEncoder::Finish() {
  State& s = *state_;
  s.Drain(nullptr);
  if (const int err = av_write_trailer(s.format); err < 0) {
    FailOutput(s.name, "cannot finish the container: " + AvError(err));
  }
  if (const int err = avio_closep(&s.format->pb); err < 0) {
    FailOutput(s.name, AvError(err));
  }
}

}  // namespace lwhost
