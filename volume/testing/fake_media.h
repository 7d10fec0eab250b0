// Stand-ins for the tag and audio libraries, so that engine tests say what a
// file's tags and audio are without making real files of every format:
// FakeTags answers with the tags set for a path (none for others);
// FakeTranscoder treats the paths it is told of as audio of a given play
// time and "converts" them into that many seconds of hand-made MPEG-1 Layer
// III frames. Paths it is not told of are not audio.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "volume/audio_transcoder.h"
#include "volume/song_tags.h"
#include "volume/sync_options.h"

namespace jukepak::testing {

class FakeTags : public TagReader {
 public:
  void Set(const std::string& path, const SongTags& tags);
  Result Read(const std::string& path, SongTags* tags) override;

 private:
  std::mutex mutex_;
  std::map<std::string, SongTags> tags_;
};

class FakeTranscoder : public AudioTranscoder {
 public:
  // `path` holds `seconds` of audio (with a video stream when `video`).
  void SetAudio(const std::string& path, double seconds, bool video = false);
  void SetProbe(const std::string& path, const AudioProbe& probe);
  // Conversions of `path` fail with kIoError.
  void FailConversion(const std::string& path);
  // While held, conversions wait (or give up when stopped): tests hold the
  // converters to see what happens meanwhile.
  void HoldConversions(bool hold) { held_.store(hold); }

  Result Probe(const std::string& path, AudioProbe* probe) override;
  Result Convert(const std::string& path, uint32_t kbps, const std::atomic<bool>& stop,
                 EncodedAudio* mp3) override;

  int conversions() const { return conversions_.load(); }

 private:
  std::mutex mutex_;
  std::map<std::string, AudioProbe> files_;
  std::map<std::string, bool> failing_;
  std::atomic<bool> held_{false};
  std::atomic<int> conversions_{0};
};

// Libraries of which only the given ones are fakes.
MediaLibraries FakeMedia(TagReader* tags, AudioTranscoder* transcoder);

}  // namespace jukepak::testing
