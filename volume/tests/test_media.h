// Test support for the pending additions and the sync: a temporary folder,
// MP3 data built from hand-written frame headers, ID3 tags, and a mounted
// volume on an in-memory disk.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "testing/memory_device.h"
#include "volume/player_volume.h"
#include "volume/testing/mpeg_frames.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "jukepak-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made != nullptr) path_ = made;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Append(std::vector<uint8_t>* to, const std::vector<uint8_t>& bytes) {
  to->insert(to->end(), bytes.begin(), bytes.end());
}

// A mono 16-bit WAV of a 440 Hz tone sweeping up, so an encoder has work.
inline void WriteTone(const std::string& path, uint32_t rate, double seconds) {
  const uint32_t samples = uint32_t(rate * seconds);
  std::vector<uint8_t> wav(44 + 2 * size_t(samples));
  auto put32 = [&](size_t at, uint32_t v) { StoreLe32(wav.data() + at, v); };
  auto put16 = [&](size_t at, uint16_t v) {
    wav[at] = uint8_t(v);
    wav[at + 1] = uint8_t(v >> 8);
  };
  std::memcpy(wav.data(), "RIFF", 4);
  put32(4, uint32_t(wav.size() - 8));
  std::memcpy(wav.data() + 8, "WAVEfmt ", 8);
  put32(16, 16);
  put16(20, 1);
  put16(22, 1);
  put32(24, rate);
  put32(28, rate * 2);
  put16(32, 2);
  put16(34, 16);
  std::memcpy(wav.data() + 36, "data", 4);
  put32(40, samples * 2);
  for (uint32_t i = 0; i < samples; ++i) {
    const double t = double(i) / rate;
    put16(44 + 2 * i, uint16_t(int16_t(9000 * std::sin(2 * M_PI * (440 + 200 * t) * t))));
  }
  WriteBytes(path, wav);
}

// MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, no padding: 417 bytes, 1152 samples.
inline constexpr uint32_t kMpeg1Frame = 0xFFFB9064;
inline constexpr uint32_t kMpeg1FrameLength = 417;
inline constexpr double kMpeg1FrameSeconds = 1152.0 / 44100.0;

// About `seconds` of MPEG-1 Layer III frames.
inline std::vector<uint8_t> Mp3Audio(double seconds) {
  return Frames(kMpeg1Frame, kMpeg1FrameLength, size_t(seconds / kMpeg1FrameSeconds) + 1);
}

// MPEG-1 Layer III, 32 kbit/s, 48 kHz: 96-byte frames, for files of a few
// hundred bytes that still hold a run of frames.
inline constexpr uint32_t kSmallFrame = 0xFFFB1464;
inline constexpr uint32_t kSmallFrameLength = 96;

// Untagged MP3 bytes of exactly `size` bytes (the last frame cut short).
inline std::vector<uint8_t> Mp3Bytes(size_t size) {
  std::vector<uint8_t> bytes = Frames(kSmallFrame, kSmallFrameLength, size / kSmallFrameLength + 1);
  bytes.resize(size);
  return bytes;
}

inline std::vector<uint8_t> Id3v1Block(const std::string& title, const std::string& artist,
                                       const std::string& album, int track) {
  std::vector<uint8_t> tag(128, 0);
  tag[0] = 'T';
  tag[1] = 'A';
  tag[2] = 'G';
  auto put = [&](size_t at, const std::string& text) {
    for (size_t i = 0; i < text.size() && i < 30; ++i) tag[at + i] = uint8_t(text[i]);
  };
  put(3, title);
  put(33, artist);
  put(63, album);
  tag[126] = uint8_t(track);
  return tag;
}

// An MP3 file of `seconds` of audio with an ID3v1 tag.
inline std::vector<uint8_t> TaggedMp3(double seconds, const std::string& title,
                                      const std::string& artist, const std::string& album,
                                      int track) {
  std::vector<uint8_t> bytes = Mp3Audio(seconds);
  Append(&bytes, Id3v1Block(title, artist, album, track));
  return bytes;
}

// A PlayerVolume over an in-memory disk of `sectors` sectors, initialized and
// mounted. The disk stays with the fixture so tests can look at it.
class MountedVolume {
 public:
  explicit MountedVolume(uint32_t sectors) : disk_(sectors), volume_(&reporter_) {
    EXPECT_TRUE(volume_.BindDevice(std::make_unique<ForwardingDevice>(&disk_)).ok());
    init_result_ = volume_.RunJobNow(Job::kInit);
  }

  bool ready() const { return init_result_.ok(); }
  MemoryDevice& disk() { return disk_; }
  PlayerVolume& volume() { return volume_; }
  RecordingReporter& reporter() { return reporter_; }

 private:
  MemoryDevice disk_;
  RecordingReporter reporter_;
  PlayerVolume volume_;
  Result init_result_;
};

}  // namespace jukepak::testing
