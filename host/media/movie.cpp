#include "media/movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "core/file_gate.h"
#include "media/av_convert.h"
#include "media/av_handles.h"
#include "media/fd_io.h"

namespace lwhost {
namespace {

// Going forward by more than this many frames seeks instead of decoding through.
constexpr int64_t kSeekAheadFrames = 120;

using Format = std::unique_ptr<AVFormatContext, FormatClose>;

// The length the file's header gives the stream, in seconds; 0 when it says nothing.
double DeclaredSeconds(const AVFormatContext& format, const AVStream& stream) {
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
  }
  if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    return static_cast<double>(format.duration) / AV_TIME_BASE;
  }
  return 0.0;
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

void QuietLibraries() {
  static std::once_flag once;
  // FFmpeg's own log lines would break the one-line messages; its errors reach us as codes.
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// A demuxer over `io`. Throws FootageError.
Format OpenFormat(FdAvio& io, const std::string& name) {
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) {
    throw std::bad_alloc();
  }
  raw->pb = io.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (const int err = avformat_open_input(&raw, nullptr, nullptr, nullptr); err < 0) {
    if (err == AVERROR_EOF) {
      throw FootageError(QuotedName(name) + " ends before its first frame (empty or truncated?)");
    }
    throw FootageError(QuotedName(name) + " is not a movie FFmpeg reads (" + AvErrorText(err) +
                       ")");
  }
  Format format(raw);
  if (const int err = avformat_find_stream_info(format.get(), nullptr); err < 0) {
    throw FootageError(QuotedName(name) + ": the movie is damaged (" + AvErrorText(err) + ")");
  }
  return format;
}

class Movie final : public Footage {
 public:
  Movie(OpenedFile file, const MovieRequest& request)
      : file_(std::move(file)),
        name_(request.name),
        placement_(request.placement),
        bitDepth_(request.bitDepth) {
    QuietLibraries();
    Scan(request.stream);
    StartDecoder();
  }

  int64_t FrameCount() const override { return static_cast<int64_t>(pts_.size()); }

  int64_t IndexAt(const SceneTime& time) const override {
    return ClipIndexAt(time, placement_, timeline_);
  }

  Image Decode(int64_t index) override {
    index = std::clamp<int64_t>(index, 0, FrameCount() - 1);
    if (index < next_ || index > next_ + kSeekAheadFrames) {
      SeekTo(index);
    }
    while (true) {
      const int64_t got = NextFrame(index);
      if (got >= index) {
        // A frame the decoder dropped is stood in for by the next one it gives.
        return converter_.Convert(*frame_, bitDepth_, name_);
      }
    }
  }

  int64_t Seeks() const override { return seeks_; }

 private:
  // Reads every packet of the stream once: the frames' times, and whether the file is whole.
  void Scan(int wantedStream) {
    FdAvio io(file_.fd());
    Format format = OpenFormat(io, name_);
    int videoStreams = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      if (format->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO ||
          (format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
        continue;
      }
      if (videoStreams++ == wantedStream) {
        streamIndex_ = static_cast<int>(i);
      }
    }
    if (videoStreams == 0) {
      throw FootageError(QuotedName(name_) + " has no video stream");
    }
    if (streamIndex_ < 0) {
      throw FootageError(QuotedName(name_) + " has " + std::to_string(videoStreams) +
                         " video stream" + (videoStreams == 1 ? "" : "s") +
                         "; there is no stream " + std::to_string(wantedStream));
    }
    AVStream* stream = format->streams[streamIndex_];
    const AVCodecParameters& par = *stream->codecpar;
    if (avcodec_find_decoder(par.codec_id) == nullptr) {
      const char* codec = avcodec_get_name(par.codec_id);
      throw FootageError(QuotedName(name_) + ": this FFmpeg has no decoder for its codec " +
                         (par.codec_id == AV_CODEC_ID_NONE ? std::string("(unknown)") : codec));
    }
    if (par.width > kMaxFootageSide || par.height > kMaxFootageSide) {
      throw FootageError(QuotedName(name_) + ": " + std::to_string(par.width) + " x " +
                         std::to_string(par.height) + " pixels is larger than the " +
                         std::to_string(kMaxFootageSide) + " x " + std::to_string(kMaxFootageSide) +
                         " the host reads");
    }
    parameters_.reset(avcodec_parameters_alloc());
    if (!parameters_ || avcodec_parameters_copy(parameters_.get(), &par) < 0) {
      throw std::bad_alloc();
    }
    timeBase_ = stream->time_base;

    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
      throw std::bad_alloc();
    }
    int64_t end = 0;
    std::vector<int64_t> durations;
    while (true) {
      const int err = av_read_frame(format.get(), packet.get());
      if (err == AVERROR_EOF) {
        break;
      }
      if (err < 0) {
        throw FootageError(QuotedName(name_) + ": the movie is truncated or damaged after " +
                           std::to_string(pts_.size()) + " frames (" + AvErrorText(err) + ")");
      }
      if (packet->stream_index == streamIndex_) {
        if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
          throw FootageError(QuotedName(name_) + ": frame " + std::to_string(pts_.size()) +
                             " is damaged or cut short (truncated file?)");
        }
        const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (time == AV_NOPTS_VALUE) {
          throw FootageError(QuotedName(name_) + ": frame " + std::to_string(pts_.size()) +
                             " has no time stamp");
        }
        pts_.push_back(time);
        end = std::max(end, time + std::max<int64_t>(0, packet->duration));
      }
      av_packet_unref(packet.get());
    }
    const double declared = DeclaredSeconds(*format, *stream);
    const double found =
        pts_.empty() ? 0.0
                     : static_cast<double>(end - *std::min_element(pts_.begin(), pts_.end())) *
                           av_q2d(timeBase_);
    // The header promised more than the packets give: the file was cut short. Two frames' slack
    // for containers that count the last frame's duration differently.
    const double frame =
        stream->avg_frame_rate.num > 0 ? 1.0 / av_q2d(stream->avg_frame_rate) : 0.1;
    if (declared > 0.0 && found + 2.0 * frame < declared) {
      throw FootageError(QuotedName(name_) + ": the file ends after " +
                         std::to_string(pts_.size()) + " frames, " + SecondsText(found) +
                         " of its " + SecondsText(declared) + " (truncated?)");
    }
    if (pts_.empty()) {
      throw FootageError(QuotedName(name_) + " has no frames in its video stream");
    }
    if (stream->nb_frames > static_cast<int64_t>(pts_.size())) {
      throw FootageError(QuotedName(name_) + ": the file ends after " +
                         std::to_string(pts_.size()) + " of its " +
                         std::to_string(stream->nb_frames) + " frames (truncated?)");
    }
    std::sort(pts_.begin(), pts_.end());
    pts_.erase(std::unique(pts_.begin(), pts_.end()), pts_.end());
    MakeTimeline(end, stream->avg_frame_rate);
  }

  void MakeTimeline(int64_t end, AVRational averageRate) {
    timeline_.timeBaseNum = timeBase_.num;
    timeline_.timeBaseDen = timeBase_.den;
    for (const int64_t pts : pts_) {
      timeline_.starts.push_back(pts - pts_.front());
    }
    int64_t last = end - pts_.front();
    if (last <= timeline_.starts.back()) {
      // No duration on the last packet: it lasts as long as the one before, or one frame of the
      // stream's average rate.
      int64_t interval = 1;
      if (pts_.size() >= 2) {
        interval = pts_.back() - pts_[pts_.size() - 2];
      } else if (averageRate.num > 0 && averageRate.den > 0) {
        interval = std::max<int64_t>(
            1, av_rescale_q(1, AVRational{averageRate.den, averageRate.num}, timeBase_));
      }
      last = timeline_.starts.back() + std::max<int64_t>(1, interval);
    }
    timeline_.end = last;
  }

  void StartDecoder() {
    format_.reset();  // before the reader it reads from
    io_ = std::make_unique<FdAvio>(file_.fd());
    format_ = OpenFormat(*io_, name_);
    const AVCodec* codec = avcodec_find_decoder(parameters_->codec_id);
    decoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!decoder_ || !packet_ || !frame_ ||
        avcodec_parameters_to_context(decoder_.get(), parameters_.get()) < 0) {
      throw std::bad_alloc();
    }
    decoder_->pkt_timebase = timeBase_;
    decoder_->thread_count = 0;  // as many as FFmpeg finds useful
    if (const int err = avcodec_open2(decoder_.get(), codec, nullptr); err < 0) {
      throw FootageError(QuotedName(name_) + ": cannot start the " + codec->name + " decoder (" +
                         AvErrorText(err) + ")");
    }
    next_ = 0;
    drained_ = false;
  }

  void SeekTo(int64_t index) {
    ++seeks_;
    if (av_seek_frame(format_.get(), streamIndex_, pts_[static_cast<size_t>(index)],
                      AVSEEK_FLAG_BACKWARD) < 0) {
      StartDecoder();  // a file that cannot seek starts again from the beginning
      return;
    }
    avcodec_flush_buffers(decoder_.get());
    drained_ = false;
    next_ = 0;  // unknown until the next frame comes out; frames before `index` are skipped
  }

  // Decodes the next frame into frame_ and returns its index.
  int64_t NextFrame(int64_t wanted) {
    while (true) {
      int err = avcodec_receive_frame(decoder_.get(), frame_.get());
      if (err == 0) {
        const int64_t pts = frame_->best_effort_timestamp;
        int64_t index = next_;
        if (pts != AV_NOPTS_VALUE) {
          const auto after = std::upper_bound(pts_.begin(), pts_.end(), pts);
          index = std::max<int64_t>(0, (after - pts_.begin()) - 1);
        }
        next_ = index + 1;
        return index;
      }
      if (err == AVERROR_EOF) {
        throw FootageError(QuotedName(name_) + ": the movie ends before frame " +
                           std::to_string(wanted) + " (truncated?)");
      }
      if (err != AVERROR(EAGAIN)) {
        throw FootageError(QuotedName(name_) + ": frame " + std::to_string(wanted) +
                           " cannot be decoded (" + AvErrorText(err) + ")");
      }
      if (drained_) {
        throw FootageError(QuotedName(name_) + ": the movie ends before frame " +
                           std::to_string(wanted) + " (truncated?)");
      }
      err = av_read_frame(format_.get(), packet_.get());
      if (err == AVERROR_EOF) {
        avcodec_send_packet(decoder_.get(), nullptr);
        drained_ = true;
        continue;
      }
      if (err < 0) {
        throw FootageError(QuotedName(name_) + ": the movie is truncated or damaged at frame " +
                           std::to_string(wanted) + " (" + AvErrorText(err) + ")");
      }
      if (packet_->stream_index == streamIndex_) {
        err = avcodec_send_packet(decoder_.get(), packet_.get());
      }
      av_packet_unref(packet_.get());
      if (err < 0 && err != AVERROR(EAGAIN)) {
        throw FootageError(QuotedName(name_) + ": frame " + std::to_string(wanted) +
                           " cannot be decoded (" + AvErrorText(err) + ")");
      }
    }
  }

  OpenedFile file_;
  std::string name_;
  ClipPlacement placement_;
  int bitDepth_;
  int streamIndex_ = -1;
  AVRational timeBase_{1, 1};
  std::unique_ptr<AVCodecParameters, ParametersFree> parameters_;
  std::vector<int64_t> pts_;  // every frame's presentation time, ascending
  ClipTimeline timeline_;

  std::unique_ptr<FdAvio> io_;
  Format format_;
  std::unique_ptr<AVCodecContext, CodecContextFree> decoder_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  FrameConverter converter_;
  int64_t next_ = 0;  // the index the decoder gives next
  bool drained_ = false;
  int64_t seeks_ = 0;
};

}  // namespace

std::unique_ptr<Footage> OpenMovie(OpenedFile file, const MovieRequest& request) {
  return std::make_unique<Movie>(std::move(file), request);
}

}  // namespace lwhost
