#include "volume/ffmpeg_transcoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}
#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "base/debug_channel.h"

namespace jukepak {
namespace {

void LogToDebugChannel(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_WARNING || !DebugChannelEnabled()) return;
  char line[512];
  std::vsnprintf(line, sizeof line, format, args);
  DebugPrint("ffmpeg: %s", line);
}

void InstallLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(LogToDebugChannel); });
}

Result Failed(const std::string& why) {
  return Result::Error(ResultCode::kIoError, "Could not convert the song: " + why);
}

// An opened input: the container and its best audio stream.
class Input {
 public:
  ~Input() { avformat_close_input(&format_); }

  // False when the file is not a container FFmpeg can read.
  bool Open(const std::string& path) {
    InstallLog();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // "file:" keeps names such as "concat:a|b" from naming a protocol.
    const std::string url = "file:" + path;
    const int opened = avformat_open_input(&format_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return false;
    if (avformat_find_stream_info(format_, nullptr) < 0) return false;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder_, 0);
    return true;
  }

  AVFormatContext* format() const { return format_; }
  bool HasAudio() const {
    if (stream_ < 0 || decoder_ == nullptr) return false;
    const AVCodecParameters* p = audio()->codecpar;
    return p->sample_rate > 0 && p->ch_layout.nb_channels > 0;
  }
  AVStream* audio() const { return format_->streams[stream_]; }
  int audioIndex() const { return stream_; }
  const AVCodec* decoder() const { return decoder_; }

  bool HasVideo() const {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      const AVStream* s = format_->streams[i];
      if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
        return true;
      }
    }
    return false;
  }

  // The audio stream's play time from the headers, or from its packets when
  // the headers do not say.
  double Seconds() {
    const AVStream* s = audio();
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) return double(s->duration) * av_q2d(s->time_base);
    if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
      return double(format_->duration) / AV_TIME_BASE;
    }
    int64_t total = 0;
    AVPacket* packet = av_packet_alloc();
    while (packet != nullptr && av_read_frame(format_, packet) >= 0) {
      if (packet->stream_index == stream_ && packet->duration > 0) total += packet->duration;
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return double(total) * av_q2d(s->time_base);
  }

 private:
  AVFormatContext* format_ = nullptr;
  int stream_ = -1;
  const AVCodec* decoder_ = nullptr;
};

// Decoded frames to interleaved float stereo at 44.1 kHz, into LAME.
class Encoder {
 public:
  ~Encoder() {
    swr_free(&resampler_);
    if (lame_ != nullptr) lame_close(lame_);
  }

  bool Start(uint32_t kbps) {
    lame_ = lame_init();
    if (lame_ == nullptr) return false;
    lame_set_in_samplerate(lame_, int(kConvertedSampleRate));
    lame_set_out_samplerate(lame_, int(kConvertedSampleRate));
    lame_set_num_channels(lame_, 2);
    lame_set_mode(lame_, JOINT_STEREO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, int(kbps));
    lame_set_bWriteVbrTag(lame_, 0);  // no Info frame: every frame is audio
    lame_set_write_id3tag_automatic(lame_, 0);
    return lame_init_params(lame_) >= 0;
  }

  bool Add(const AVFrame* frame, EncodedAudio* out) {
    if (!Configured(frame) && !Configure(frame)) return false;
    const int room = swr_get_out_samples(resampler_, frame->nb_samples);
    if (room < 0) return false;
    return Resample(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples, room,
                    out);
  }

  bool Finish(EncodedAudio* out) {
    if (resampler_ != nullptr) {
      const int room = swr_get_out_samples(resampler_, 0);
      if (room > 0 && !Resample(nullptr, 0, room, out)) return false;
    }
    mp3_.resize(7200);
    const int flushed = lame_encode_flush(lame_, mp3_.data(), int(mp3_.size()));
    if (flushed < 0) return false;
    out->Append(std::span<const uint8_t>(mp3_.data(), size_t(flushed)));
    return true;
  }

  uint64_t samples() const { return samples_; }

 private:
  bool Configured(const AVFrame* frame) const {
    return resampler_ != nullptr && frame->sample_rate == in_rate_ && frame->format == in_format_ &&
           av_channel_layout_compare(&frame->ch_layout, &in_layout_) == 0;
  }

  // (Re)builds the resampler for the frame's rate, format and channels,
  // which a stream may change between frames.
  bool Configure(const AVFrame* frame) {
    swr_free(&resampler_);
    av_channel_layout_uninit(&in_layout_);
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
      av_channel_layout_default(&in_layout_, frame->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in_layout_, &frame->ch_layout) < 0) {
      return false;
    }
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_FLT, int(kConvertedSampleRate),
                            &in_layout_, AVSampleFormat(frame->format), frame->sample_rate, 0,
                            nullptr) < 0 ||
        swr_init(resampler_) < 0) {
      return false;
    }
    in_rate_ = frame->sample_rate;
    in_format_ = frame->format;
    return true;
  }

  bool Resample(const uint8_t** in, int in_samples, int room, EncodedAudio* out) {
    pcm_.resize(size_t(room) * 2);
    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(pcm_.data())};
    const int got = swr_convert(resampler_, planes, room, in, in_samples);
    if (got < 0) return false;
    if (got == 0) return true;
    samples_ += uint64_t(got);
    mp3_.resize(size_t(got) * 5 / 4 + 7200);  // LAME's worst case
    const int encoded = lame_encode_buffer_interleaved_ieee_float(lame_, pcm_.data(), got,
                                                                   mp3_.data(), int(mp3_.size()));
    if (encoded < 0) return false;
    out->Append(std::span<const uint8_t>(mp3_.data(), size_t(encoded)));
    return true;
  }

  lame_global_flags* lame_ = nullptr;
  SwrContext* resampler_ = nullptr;
  AVChannelLayout in_layout_{};
  int in_rate_ = 0;
  int in_format_ = -1;
  std::vector<float> pcm_;
  std::vector<unsigned char> mp3_;
  uint64_t samples_ = 0;
};

class Decoder {
 public:
  ~Decoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
  }

  bool Open(const Input& input) {
    context_ = avcodec_alloc_context3(input.decoder());
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) return false;
    if (avcodec_parameters_to_context(context_, input.audio()->codecpar) < 0) return false;
    context_->thread_count = 1;  // songs are converted side by side instead
    return avcodec_open2(context_, input.decoder(), nullptr) >= 0;
  }

  // Feeds the packets of the audio stream to the encoder until the input
  // ends. False when the encoder fails; damaged packets are passed over.
  bool Run(Input& input, Encoder& encoder, const std::atomic<bool>& stop, EncodedAudio* out,
           bool* stopped) {
    while (av_read_frame(input.format(), packet_) >= 0) {
      const bool ours = packet_->stream_index == input.audioIndex();
      if (ours) avcodec_send_packet(context_, packet_);  // a damaged packet is dropped
      av_packet_unref(packet_);
      if (ours && !Drain(encoder, out)) return false;
      if (stop.load(std::memory_order_relaxed)) {
        *stopped = true;
        return true;
      }
    }
    avcodec_send_packet(context_, nullptr);
    return Drain(encoder, out);
  }

 private:
  bool Drain(Encoder& encoder, EncodedAudio* out) {
    while (avcodec_receive_frame(context_, frame_) >= 0) {
      const bool added = encoder.Add(frame_, out);
      av_frame_unref(frame_);
      if (!added) return false;
    }
    return true;
  }

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

class Transcoder : public AudioTranscoder {
 public:
  Result Probe(const std::string& path, AudioProbe* probe) override {
    *probe = AudioProbe();
    Input input;
    if (!input.Open(path) || !input.HasAudio()) return Result::Ok();
    probe->audio = true;
    probe->video = input.HasVideo();
    probe->mp3 = input.audio()->codecpar->codec_id == AV_CODEC_ID_MP3 &&
                 std::string(input.format()->iformat->name) == "mp3";
    probe->seconds = input.Seconds();
    return Result::Ok();
  }

  Result Convert(const std::string& path, uint32_t kbps, const std::atomic<bool>& stop,
                 EncodedAudio* mp3) override {
    Input input;
    if (!input.Open(path) || !input.HasAudio()) return Failed("not an audio file");
    Decoder decoder;
    if (!decoder.Open(input)) return Failed("no decoder for its audio");
    Encoder encoder;
    if (!encoder.Start(kbps)) return Failed("the MP3 encoder does not start");
    bool stopped = false;
    if (!decoder.Run(input, encoder, stop, mp3, &stopped)) return Failed("encoding failed");
    if (stopped) return Result::Error(ResultCode::kCancelled, "The conversion was cancelled.");
    if (encoder.samples() == 0) return Failed("none of its audio could be decoded");
    if (!encoder.Finish(mp3)) return Failed("encoding failed");
    return Result::Ok();
  }
};

}  // namespace

AudioTranscoder& FfmpegTranscoder() {
  static Transcoder transcoder;
  return transcoder;
}

}  // namespace jukepak
