#include "LinuxMedia.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

#include <mutex>
#include <vector>

#include "Output.hpp"

namespace halcy {

namespace {

EngineFailure unreadable() {
  return EngineFailure(ErrorCode::failed, "The file could not be read.");
}

struct FormatClose {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFree {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct ResamplerFree {
  void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// FFmpeg reports every flaw of a damaged file on standard error, which is not its to write on.
void quietFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// A layout that only counts channels is read as the usual one for that count, as ffmpeg does.
AVChannelLayout layoutOf(const AVFrame& frame) {
  AVChannelLayout layout{};
  if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    av_channel_layout_default(&layout, frame.ch_layout.nb_channels);
  } else {
    av_channel_layout_copy(&layout, &frame.ch_layout);
  }
  return layout;
}

class FfmpegTrack final : public AudioTrackReader {
 public:
  explicit FfmpegTrack(const std::string& path) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) throw unreadable();
    format_.reset(opened);
    if (avformat_find_stream_info(format_.get(), nullptr) < 0) throw unreadable();
    stream_ = firstAudioStream();
    if (stream_ < 0) {
      throw EngineFailure(ErrorCode::failed, "The file has no audio track.");
    }
    openDecoder(*format_->streams[stream_]->codecpar);
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) throw unreadable();
  }
  ~FfmpegTrack() override { av_channel_layout_uninit(&inLayout_); }
  FfmpegTrack(const FfmpegTrack&) = delete;
  FfmpegTrack& operator=(const FfmpegTrack&) = delete;

  std::span<const std::int16_t> next() override {
    while (!ended_) {
      const int received = avcodec_receive_frame(codec_.get(), frame_.get());
      if (received == 0) {
        ++frames_;
        const auto block = converted(*frame_);
        av_frame_unref(frame_.get());
        if (!block.empty()) return block;
      } else if (received == AVERROR_EOF) {
        const auto block = drained();
        if (!block.empty()) return block;
        ended_ = true;
      } else {
        // A damaged frame is left out, as the ffmpeg tool leaves it out.
        if (received != AVERROR(EAGAIN)) ++damaged_;
        feed();
      }
    }
    if (frames_ == 0 && damaged_ > 0) throw unreadable();
    return {};
  }

 private:
  int firstAudioStream() {
    int found = -1;
    for (unsigned index = 0; index < format_->nb_streams; ++index) {
      AVStream* stream = format_->streams[index];
      const bool audio = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
      if (audio && found < 0) {
        found = static_cast<int>(index);
      } else {
        // Video and other tracks are not even demuxed into packets.
        stream->discard = AVDISCARD_ALL;
      }
    }
    return found;
  }

  void openDecoder(const AVCodecParameters& parameters) {
    if (parameters.sample_rate <= 0 || parameters.ch_layout.nb_channels <= 0) throw unreadable();
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr) throw unreadable();
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), &parameters) < 0 ||
        avcodec_open2(codec_.get(), decoder, nullptr) < 0) {
      throw unreadable();
    }
  }

  // Hands the decoder the track's next packet, or the end of the track.
  void feed() {
    for (;;) {
      const int read = av_read_frame(format_.get(), packet_.get());
      if (read == AVERROR_EOF) {
        avcodec_send_packet(codec_.get(), nullptr);
        return;
      }
      if (read < 0) throw unreadable();
      const bool ours = packet_->stream_index == stream_;
      const int sent = ours ? avcodec_send_packet(codec_.get(), packet_.get()) : 0;
      av_packet_unref(packet_.get());
      if (sent < 0 && sent != AVERROR(EAGAIN)) ++damaged_;
      if (ours) return;
    }
  }

  // A frame in another format than the last one (a stream may change mid-way) gets a resampler
  // of its own.
  void fitResampler(const AVFrame& frame) {
    AVChannelLayout layout = layoutOf(frame);
    const bool same = resampler_ && frame.format == inFormat_ && frame.sample_rate == inRate_ &&
                      av_channel_layout_compare(&layout, &inLayout_) == 0;
    if (same) {
      av_channel_layout_uninit(&layout);
      return;
    }
    av_channel_layout_uninit(&inLayout_);
    inLayout_ = layout;
    inFormat_ = frame.format;
    inRate_ = frame.sample_rate;
    SwrContext* made = nullptr;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    const int set = swr_alloc_set_opts2(
        &made, &mono, AV_SAMPLE_FMT_S16, static_cast<int>(MediaDecode::sampleRate), &inLayout_,
        static_cast<AVSampleFormat>(inFormat_), inRate_, 0, nullptr);
    resampler_.reset(made);
    if (set < 0 || swr_init(resampler_.get()) < 0) throw unreadable();
  }

  std::span<const std::int16_t> converted(const AVFrame& frame) {
    fitResampler(frame);
    return resampled(const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
  }

  // What the resampler still holds at the end of the track.
  std::span<const std::int16_t> drained() {
    if (!resampler_) return {};
    return resampled(nullptr, 0);
  }

  std::span<const std::int16_t> resampled(const std::uint8_t** in, int count) {
    const int room = swr_get_out_samples(resampler_.get(), count);
    if (room < 0) throw unreadable();
    block_.resize(static_cast<std::size_t>(room) + 1);
    auto* out = reinterpret_cast<std::uint8_t*>(block_.data());
    const int made = swr_convert(resampler_.get(), &out, room + 1, in, count);
    if (made < 0) throw unreadable();
    return {block_.data(), static_cast<std::size_t>(made)};
  }

  std::unique_ptr<AVFormatContext, FormatClose> format_;
  std::unique_ptr<AVCodecContext, CodecFree> codec_;
  std::unique_ptr<SwrContext, ResamplerFree> resampler_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  AVChannelLayout inLayout_{};
  int inFormat_ = -1;
  int inRate_ = 0;
  int stream_ = -1;
  std::vector<std::int16_t> block_;
  std::size_t frames_ = 0;
  std::size_t damaged_ = 0;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<AudioTrackReader> LinuxMedia::openAudioTrack(const std::string& path) {
  quietFfmpeg();
  return std::make_unique<FfmpegTrack>(path);
}

}  // namespace halcy
