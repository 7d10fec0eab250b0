#include "volume/testing/fake_media.h"

#include <chrono>
#include <thread>
#include <vector>

#include "volume/testing/mpeg_frames.h"

namespace jukepak::testing {
namespace {

// MPEG-1 Layer III frames at `kbps` and 44.1 kHz without padding.
std::vector<uint8_t> FramesFor(double seconds, uint32_t kbps) {
  const uint32_t bitrate_index = kbps == 128   ? 9
                                 : kbps == 160 ? 10
                                 : kbps == 192 ? 11
                                 : kbps == 224 ? 12
                                 : kbps == 256 ? 13
                                               : 14;
  const uint32_t header = 0xFFFB0064u | (bitrate_index << 12);
  const uint32_t length = 144 * kbps * 1000 / kConvertedSampleRate;
  return Frames(header, length, size_t(seconds * kConvertedSampleRate / 1152) + 1);
}

}  // namespace

void FakeTags::Set(const std::string& path, const SongTags& tags) {
  std::lock_guard<std::mutex> lock(mutex_);
  tags_[path] = tags;
}

Result FakeTags::Read(const std::string& path, SongTags* tags) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = tags_.find(path);
  *tags = found == tags_.end() ? SongTags() : found->second;
  return Result::Ok();
}

void FakeTranscoder::SetAudio(const std::string& path, double seconds, bool video) {
  AudioProbe probe;
  probe.audio = true;
  probe.video = video;
  probe.seconds = seconds;
  SetProbe(path, probe);
}

void FakeTranscoder::SetProbe(const std::string& path, const AudioProbe& probe) {
  std::lock_guard<std::mutex> lock(mutex_);
  files_[path] = probe;
}

void FakeTranscoder::FailConversion(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  failing_[path] = true;
}

Result FakeTranscoder::Probe(const std::string& path, AudioProbe* probe) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = files_.find(path);
  *probe = found == files_.end() ? AudioProbe() : found->second;
  return Result::Ok();
}

Result FakeTranscoder::Convert(const std::string& path, uint32_t kbps,
                               const std::atomic<bool>& stop, EncodedAudio* mp3) {
  ++conversions_;
  while (held_.load()) {
    if (stop.load()) return Result::Error(ResultCode::kCancelled, "The conversion was cancelled.");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  double seconds = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failing_.count(path) != 0) {
      return Result::Error(ResultCode::kIoError, "Could not convert the song: damaged");
    }
    const auto found = files_.find(path);
    if (found == files_.end()) return Result::Error(ResultCode::kIoError, "not audio");
    seconds = found->second.seconds;
  }
  mp3->Append(FramesFor(seconds, kbps));
  return Result::Ok();
}

MediaLibraries FakeMedia(TagReader* tags, AudioTranscoder* transcoder) {
  MediaLibraries media = DefaultMediaLibraries();
  if (tags != nullptr) media.tags = tags;
  if (transcoder != nullptr) media.transcoder = transcoder;
  return media;
}

}  // namespace jukepak::testing
