// The scanner, the tag reading and the sync on real MP3 files, encoded by
// lame during the test from a tone the test writes: MPEG-1, MPEG-2 and
// MPEG-2.5 Layer III, constant and variable bitrate, with ID3v1, ID3v2.3
// (lame's own) and hand-made ID3v2.4 and 2.2 tags. The play time must agree
// with the frame count lame stores in its Info/Xing frame (which is a frame
// itself) to within one frame.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "format/index_mark.h"
#include "volume/id3_tags.h"
#include "volume/index_marks.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/pending_list.h"
#include "volume/tests/test_media.h"
#include "volume/tests/volume_audit.h"

namespace jukepak {
namespace {

using testing::Append;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

bool LameInstalled() { return std::system("lame --version > /dev/null 2>&1") == 0; }

#define REQUIRE_LAME()                                                                     \
  if (!LameInstalled()) {                                                                  \
    FAIL() << "lame is not installed: these tests need it (scripts/install-deps installs " \
              "it with apt-get)";                                                          \
  }

std::string Encode(const TempDir& dir, const std::string& name, uint32_t rate, double seconds,
                   const std::string& options) {
  const std::string wav = dir / (name + ".wav");
  const std::string mp3 = dir / (name + ".mp3");
  testing::WriteTone(wav, rate, seconds);
  char resample[32];
  std::snprintf(resample, sizeof resample, "%g", rate / 1000.0);
  const std::string command = "lame --quiet --resample " + std::string(resample) + " " + options +
                              " '" + wav + "' '" + mp3 + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return mp3;
}

// What the test reads from the file itself, without the scanner: the
// ID3v2 length, the first frame's rate and samples, and lame's frame count.
struct EncodedFacts {
  uint32_t rate = 0;
  uint32_t samples = 0;
  uint32_t infoFrames = 0;  // the Info/Xing frame count (the Info frame not included)
};

bool ReadFacts(const std::vector<uint8_t>& file, EncodedFacts* facts) {
  size_t pos = 0;
  if (file.size() > 10 && file[0] == 'I' && file[1] == 'D' && file[2] == '3') {
    pos = 10 + ((size_t(file[6]) << 21) | (size_t(file[7]) << 14) | (size_t(file[8]) << 7) |
                size_t(file[9]));
  }
  while (pos + 4 < file.size() && !(file[pos] == 0xFF && (file[pos + 1] & 0xE0) == 0xE0)) ++pos;
  if (pos + 200 > file.size()) return false;
  const uint32_t version = (file[pos + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  static const uint32_t kRates[4][3] = {
      {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  facts->rate = kRates[version][(file[pos + 2] >> 2) & 3];
  facts->samples = version == 3 ? 1152 : 576;
  for (size_t at = pos + 4; at + 12 < pos + 200; ++at) {
    if (std::memcmp(&file[at], "Xing", 4) == 0 || std::memcmp(&file[at], "Info", 4) == 0) {
      if ((LoadBe32(&file[at + 4]) & 1) == 0) return false;
      facts->infoFrames = LoadBe32(&file[at + 8]);
      return true;
    }
  }
  return false;
}

std::vector<uint8_t> AudioOf(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> audio = file;
  if (audio.size() >= 128 && std::memcmp(&audio[audio.size() - 128], "TAG", 3) == 0) {
    audio.resize(audio.size() - 128);
  }
  return audio;
}

void ExpectPlayTimeMatches(const std::vector<uint8_t>& file, uint32_t rate,
                           const std::string& what) {
  EncodedFacts facts;
  ASSERT_TRUE(ReadFacts(file, &facts)) << what << ": no Info/Xing frame count";
  EXPECT_EQ(facts.rate, rate) << what;
  const std::vector<uint8_t> audio = AudioOf(file);
  std::vector<double> times((audio.size() + 10239) / 8192, 0.0);
  uint64_t frames = 0;
  const double time = ScanMpegFrames(audio, times, &frames);
  const double frame_seconds = double(facts.samples) / rate;
  const double expected = double(facts.infoFrames + 1) * frame_seconds;
  EXPECT_NEAR(double(frames), double(facts.infoFrames + 1), 1.0) << what;
  EXPECT_NEAR(time, expected, frame_seconds * 1.0001) << what;
  // Every cluster after the first starts later than the one before it.
  for (size_t c = 1; c + 1 < times.size(); ++c) EXPECT_GT(times[c], times[c - 1]) << what << c;
}

TEST(LameEncoded, PlayTimeAgreesWithTheEncodersFrameCount) {
  REQUIRE_LAME();
  TempDir dir;
  struct Case {
    uint32_t rate;
    const char* options;
  } cases[] = {
      // Bitrates high enough for lame to write its Info frame (it leaves it
      // out of frames too small to hold it).
      {44100, "-b 128"}, {44100, "-V 4"}, {32000, "-b 96"},  // MPEG-1
      {22050, "-b 64"},  {24000, "-V 5"}, {16000, "-b 48"},  // MPEG-2
      {11025, "-b 32"},  {12000, "-V 6"}, {8000, "-b 32"},   // MPEG-2.5
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.rate) + " Hz " + c.options;
    const std::string mp3 = Encode(dir, "c" + std::to_string(n++), c.rate, 2.5, c.options);
    ExpectPlayTimeMatches(ReadBytes(mp3), c.rate, what);
  }
}

TEST(LameEncoded, TagsOfEveryKindAreReadOrSteppedOver) {
  REQUIRE_LAME();
  TempDir dir;
  const std::string tags = "--tt \"Tone Title\" --ta \"Tone Artist\" --tl \"Tone Album\" --tn 7";
  const std::string v1 = Encode(dir, "v1", 22050, 2.0, "-b 64 --id3v1-only " + tags);
  const std::string both = Encode(dir, "both", 22050, 2.0, "-b 64 --add-id3v2 " + tags);
  const std::string v2 = Encode(dir, "v2", 22050, 2.0, "-b 64 --id3v2-only " + tags);

  for (const std::string& path : {v1, both, v2}) {
    std::unique_ptr<TrackNode> song;
    std::string album;
    ASSERT_TRUE(PrepareSong(path, std::nullopt, &song, &album).ok()) << path;
    EXPECT_EQ(song->record.title(), "Tone Title");
    EXPECT_EQ(song->record.artist(), "Tone Artist");
    EXPECT_EQ(album, "Tone Album");
    EXPECT_EQ(song->tagTrackNumber, 7);
    EXPECT_EQ(song->record.size(), ReadBytes(path).size() - (path == v2 ? 0 : 128));
  }

  const std::vector<uint8_t> with_v23 = ReadBytes(both);
  ASSERT_EQ(with_v23[3], 3) << "lame writes ID3v2.3";
  EXPECT_GT(Id3v2TagLength(with_v23), 10u);
  ExpectPlayTimeMatches(with_v23, 22050, "ID3v2.3 + ID3v1");
  ExpectPlayTimeMatches(ReadBytes(v2), 22050, "ID3v2.3 only");

  // ID3v2.4 with a footer and ID3v2.2, made here around lame's audio; their
  // bodies hold byte runs that look like frame headers.
  const std::vector<uint8_t> audio = AudioOf(ReadBytes(v1));
  for (const uint8_t major : {uint8_t(4), uint8_t(2)}) {
    const uint32_t body = 3000;
    std::vector<uint8_t> file = {'I',
                                 'D',
                                 '3',
                                 major,
                                 0,
                                 uint8_t(major == 4 ? 0x10 : 0),
                                 0,
                                 0,
                                 uint8_t(body >> 7),
                                 uint8_t(body & 0x7F)};
    for (uint32_t i = 0; i < body; ++i) file.push_back(i % 2 == 0 ? 0xFF : 0xF3);
    if (major == 4) {
      const std::vector<uint8_t> footer = {'3', 'D', 'I', 4, 0, 0x10, 0, 0, file[8], file[9]};
      Append(&file, footer);
    }
    EXPECT_EQ(Id3v2TagLength(file), body + (major == 4 ? 20u : 10u));
    Append(&file, audio);
    ExpectPlayTimeMatches(file, 22050, "ID3v2." + std::to_string(major));
  }
}

TEST(LameEncoded, SyncedTracksCarryMarksAtTheirClustersTimes) {
  REQUIRE_LAME();
  TempDir dir;
  const std::string mp3 =
      Encode(dir, "marks", 16000, 9.0, "-b 24 --id3v1-only --tt Marks --ta A --tl B");
  testing::MountedVolume player(4000);
  ASSERT_TRUE(player.ready());
  ASSERT_TRUE(AddFile(player.volume(), mp3, std::nullopt).ok());
  ASSERT_TRUE(player.volume().RunJobNow(Job::kSync).ok());
  const testing::Audit audit = testing::AuditVolume(player.disk());
  ASSERT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  const TrackNode& track = *player.volume().model().playerCds[0]->tracks[0];
  std::vector<double> times(track.clusterCount, 0.0);
  const double time = ScanMpegFrames(AudioOf(ReadBytes(mp3)), times);
  ASSERT_EQ(audit.cds[0].tracks[0].record.CountIndexMarks(), int(IndexMarkCount(time)));
  ASSERT_EQ(IndexMarkCount(time), 4u);
  uint32_t last_tenths = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    const IndexMark mark = DecodeIndexMark(audit.cds[0].tracks[0].record.indexSlot(i));
    const uint32_t tenths = (mark.minutes * 60 + mark.seconds) * 10 + mark.tenths;
    EXPECT_GE(tenths, last_tenths);
    EXPECT_GE(tenths + 2, uint32_t(i * time / 4 * 10)) << i;  // at or after its target
    last_tenths = tenths;
    // The mark's cluster is the first whose start is not before the target.
    size_t c = 0;
    while (track.clusterTimes[c] < i * time / 4) ++c;
    EXPECT_EQ(mark.cluster, track.clusterList[c]);
  }
}

}  // namespace
}  // namespace jukepak
