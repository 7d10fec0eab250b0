#include "volume/song_probe.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <vector>

#include "volume/id3_tags.h"
#include "volume/mpeg_frame_run.h"
#include "volume/pending_list.h"
#include "volume/source_file.h"

namespace jukepak {
namespace {

constexpr uint64_t kFrameRunWindow = 256 * 1024;

bool NamedMp3(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char ch) { return char(std::tolower(ch)); });
  return tail == ".mp3";
}

Result Refused(const char* why) { return Result::Error(ResultCode::kUnsupported, why); }

// The MP3 reading of the file: its audio bytes, and whether its audio holds
// a run of frames.
Result ProbeMp3(const SourceFile& file, SongProbe* probe, bool* frames) {
  uint64_t audio_end = file.size();
  if (file.size() >= kId3v1Size) {
    std::array<uint8_t, 3> tag{};
    Result r = file.ReadAt(file.size() - kId3v1Size, tag.size(), tag.data(), kCouldNotReadFile);
    if (!r.ok()) return r;
    probe->id3v1 = tag[0] == 'T' && tag[1] == 'A' && tag[2] == 'G';
    if (probe->id3v1) audio_end -= kId3v1Size;
  }
  probe->audioBytes = audio_end;
  // Before the frames are looked for: too large is the clearer refusal.
  if (audio_end > kMaxSongAudioBytes) return Result::Error(ResultCode::kLimit, kFileTooLarge);
  std::array<uint8_t, 10> head{};
  const uint64_t head_bytes = std::min<uint64_t>(head.size(), audio_end);
  Result r = file.ReadAt(0, head_bytes, head.data(), kCouldNotReadFile);
  if (!r.ok()) return r;
  const uint64_t start = Id3v2TagLength(std::span<const uint8_t>(head.data(), head_bytes), audio_end);
  const uint64_t end = std::min(audio_end, start + kFrameRunWindow);
  std::vector<uint8_t> window(end - start);
  r = file.ReadAt(start, window.size(), window.data(), kCouldNotReadFile);
  if (!r.ok()) return r;
  *frames = HasMpegFrameRun(window, end == audio_end);
  return Result::Ok();
}

}  // namespace

Result ProbeSong(const std::string& path, AudioTranscoder& transcoder, SongProbe* probe) {
  SourceFile file;
  Result r = file.Open(path, kCouldNotOpenFile);
  if (!r.ok()) return r;
  if (file.size() == 0) return Result::Error(ResultCode::kInvalidArgument, kFileEmpty);

  SongProbe found;
  bool frames = false;
  if (NamedMp3(path)) {
    r = ProbeMp3(file, &found, &frames);
    if (!r.ok()) return r;
    if (!frames) return Refused(kNotAnAudioFile);
    *probe = found;
    return Result::Ok();
  }
  AudioProbe audio;
  r = transcoder.Probe(path, &audio);
  if (!r.ok()) return r;
  if (!audio.audio) return Refused(kNotAnAudioFile);
  if (audio.video) return Refused(kVideoNotAudio);
  if (audio.mp3) {
    r = ProbeMp3(file, &found, &frames);
    if (!r.ok()) return r;
    if (frames) {
      *probe = found;
      return Result::Ok();
    }
  }
  if (!(audio.seconds > 0)) return Refused(kNoSound);
  found = SongProbe();
  found.format = SongFormat::kConverted;
  found.seconds = audio.seconds;
  *probe = found;
  return Result::Ok();
}

uint64_t EstimatedMp3Bytes(double seconds, uint32_t kbps) {
  const double frame_bytes = 144.0 * kbps * 1000 / kConvertedSampleRate;
  return uint64_t(std::ceil(seconds * kbps * 125 + 2 * frame_bytes));
}

}  // namespace jukepak
