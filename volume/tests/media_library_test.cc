// A small library as today's tools make it, built during the test with
// ffmpeg, lame and TagLib: MP3s with ID3v2.3 UTF-16 and ID3v1, ID3v2.4 UTF-8
// only and ID3v1 in UTF-8 only, album artists, a compilation, disc numbers,
// Cyrillic and CJK texts, FLAC, Ogg Vorbis, Opus (mono, 48 kHz), M4A (AAC)
// and WAV, a text file and random bytes named .mp3, and a playlist. Dropped and synced through the
// real libraries (with a broken FLAC, a silent WAV and video files, which are
// refused), it must give the pending tree and, after a fresh mount, the
// player's directory its tags say; every converted song must be MPEG-1
// Layer III at 44.1 kHz in two channels without tags, its play time within
// 0.15 s of the source's; and a second sync of the same folder writes
// nothing.

#include <gtest/gtest.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "base/latin1.h"
#include "base/player_text.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/pending_list.h"
#include "volume/tests/test_media.h"
#include "volume/tests/volume_audit.h"

namespace jukepak {
namespace {

using testing::Tree;

using testing::AuditVolume;
using testing::MountedVolume;
using testing::TempDir;

bool Installed(const char* program) {
  return std::system((std::string(program) + " -version > /dev/null 2>&1").c_str()) == 0 ||
         std::system((std::string(program) + " --version > /dev/null 2>&1").c_str()) == 0;
}

struct Song {
  std::string file;
  double seconds;
  std::map<std::string, std::string> metadata;  // ffmpeg's keys
  std::string codec;                           // ffmpeg's -c:a; "" for the format's default
};

// `seconds` of a tone, in the format the file name says, with its metadata.
void MakeWithFfmpeg(const TempDir& dir, const Song& song) {
  std::string command = "ffmpeg -hide_banner -loglevel error -f lavfi -i 'sine=frequency=523:"
                        "duration=" +
                        std::to_string(song.seconds) + "'";
  if (!song.codec.empty()) command += " -c:a " + song.codec;
  for (const auto& [key, value] : song.metadata) command += " -metadata '" + key + "=" + value + "'";
  command += " -y '" + (dir / song.file) + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// An MP3 by lame, then an ID3v2.3 tag in UTF-16 and an ID3v1 block by TagLib.
void MakeWithLameAndTagLib(const TempDir& dir, const std::string& file, double seconds) {
  const std::string wav = dir / "lame-source.wav";
  MakeWithFfmpeg(dir, Song{"lame-source.wav", seconds, {}, ""});
  const std::string command =
      "lame --quiet -b 128 '" + wav + "' '" + (dir / file) + "' && rm '" + wav + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF16);
  TagLib::MPEG::File mp3((dir / file).c_str(), false);
  TagLib::ID3v2::Tag* v2 = mp3.ID3v2Tag(true);
  v2->setTitle(TagLib::String("Группа крови", TagLib::String::UTF8));
  v2->setArtist(TagLib::String("Кино", TagLib::String::UTF8));
  v2->setAlbum(TagLib::String("Группа крови", TagLib::String::UTF8));
  v2->setTrack(1);
  TagLib::ID3v1::Tag* v1 = mp3.ID3v1Tag(true);
  v1->setTitle("Blood Type (v1)");
  v1->setArtist("Kino (v1)");
  v1->setAlbum("Blood Type (v1)");
  ASSERT_TRUE(mp3.save(TagLib::MPEG::File::ID3v1 | TagLib::MPEG::File::ID3v2,
                       TagLib::File::StripNone, TagLib::ID3v2::v3, TagLib::File::DoNotDuplicate));
  TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::Latin1);
}

// ffmpeg's ID3v1 block (UTF-8 bytes in its fields) without its ID3v2 tag.
void KeepOnlyId3v1(const TempDir& dir, const std::string& file) {
  TagLib::MPEG::File mp3((dir / file).c_str(), false);
  ASSERT_TRUE(mp3.hasID3v1Tag());
  ASSERT_TRUE(mp3.strip(TagLib::MPEG::File::ID3v2));
}

struct Converted {
  std::string title;
  double seconds;
};

class MediaLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("ffmpeg") || !Installed("lame")) {
      GTEST_FAIL() << "ffmpeg and lame must be installed (scripts/install-deps installs them)";
    }
    std::filesystem::create_directories(dir_ / "lib/Double");
    Make();
  }

  void Make() {
    const std::string kino = "Кино", blood = "Группа крови";
    MakeWithLameAndTagLib(dir_, "lib/01 blood.mp3", 1.0);
    const Song songs[] = {
        {"lib/02 kukushka.flac", 1.5,
         {{"title", "Кукушка"}, {"artist", kino}, {"album", blood}, {"track", "2/11"}}, ""},
        {"lib/03 zvezda.mp3", 0.8,
         {{"title", "Звезда"}, {"artist", kino}, {"album", blood}, {"track", "3"}},
         "libmp3lame -write_id3v1 1"},
        {"lib/joga.mp3", 1.0,
         {{"title", "Jóga — a title much longer than thirty characters, even forty-seven"},
          {"artist", "Björk"},
          {"album", "Homogenic"},
          {"track", "2"}},
         "libmp3lame -id3v2_version 4"},
        {"lib/hit1.m4a", 1.2,
         {{"title", "Hit 1"}, {"artist", "Ann"}, {"album", "Now Hits"}, {"track", "1"},
          {"compilation", "1"}},
         ""},
        {"lib/hit2.ogg", 1.1,
         {{"title", "Hit 2"}, {"artist", "Bob"}, {"album", "Now Hits"}, {"track", "2"},
          {"compilation", "1"}},
         "libvorbis"},
        // Mono at 48 kHz: resampled to stereo at 44.1 kHz.
        {"lib/hit3.opus", 1.3,
         {{"title", "Hit 3"}, {"artist", "Cy"}, {"album", "Now Hits"}, {"track", "3"},
          {"compilation", "1"}},
         "libopus -ac 1"},
        {"lib/Double/d2t1.mp3", 0.7,
         {{"title", "Second disc"}, {"artist", "Cat & Dan"}, {"album_artist", "Cat"},
          {"album", "Double"}, {"track", "1"}, {"disc", "2/2"}},
         ""},
        {"lib/Double/d1t2.flac", 0.6,
         {{"title", "Two"}, {"artist", "Cat"}, {"album_artist", "Cat"}, {"album", "Double"},
          {"track", "2/9"}, {"disc", "1/2"}},
         ""},
        {"lib/Double/d1t1.ogg", 0.5,
         {{"title", "群青日和"}, {"artist", "東京事変"}, {"album_artist", "Cat"},
          {"album", "Double"}, {"track", "1"}, {"disc", "1"}},
         "libvorbis"},
        {"lib/tone.wav", 0.9, {}, ""},
    };
    for (const Song& song : songs) MakeWithFfmpeg(dir_, song);
    KeepOnlyId3v1(dir_, "lib/03 zvezda.mp3");
    std::ofstream(dir_ / "lib/notes.mp3") << "Remember to buy milk.\n";
    std::vector<uint8_t> noise(20000);
    std::mt19937 random(7);
    for (uint8_t& byte : noise) byte = uint8_t(random());
    testing::WriteBytes(dir_ / "lib/noise.mp3", noise);
    std::ofstream(dir_ / "mix.m3u8") << "#EXTM3U\n# the Kino songs, last first\n"
                                      << "lib/02 kukushka.flac\nlib/01 blood.mp3\n";
  }

  // Files the decoder opens, or tries to, that are no songs.
  std::vector<std::string> MakeBadInput() {
    const std::string flac = dir_ / "broken.flac";
    std::ofstream(flac) << "fLaC" << std::string(200, '\x7F');
    const std::string silent = dir_ / "silent.wav";
    testing::WriteTone(silent, 22050, 0.0);
    const std::string lavfi = "ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc=d=0.2:s=32x32 ";
    const std::string picture = dir_ / "picture.mkv", clip = dir_ / "clip.mkv";
    EXPECT_EQ(std::system((lavfi + "-y '" + picture + "'").c_str()), 0);
    EXPECT_EQ(std::system((lavfi + "-f lavfi -i sine=d=0.2 -y '" + clip + "'").c_str()), 0);
    return {flac, silent, picture, clip};
  }

  TempDir dir_;
  MountedVolume player_{20000};
};

TEST_F(MediaLibraryTest, LandsOnThePlayerAsItsTagsSay) {
  ASSERT_TRUE(player_.ready());
  PlayerVolume& volume = player_.volume();
  std::vector<std::string> refused;
  for (const AddFailure& f : DropFiles(volume, {dir_ / "mix.m3u8", dir_ / "lib"})) {
    refused.push_back(DescribeFailure(f));
  }
  EXPECT_EQ(refused, (std::vector<std::string>{"noise.mp3: not an audio file",
                                               "notes.mp3: not an audio file"}));

  const std::string cjk_artist = Utf8FromLatin1(PlayerFieldFromUtf8("東京事変"));
  const std::string cjk_title = Utf8FromLatin1(PlayerFieldFromUtf8("群青日和"));
  EXPECT_EQ(cjk_artist, "dong jing sh\xC3\xAC bi\xC3\xA0n");
  // Titles of converted songs carry their estimate in the pending tree.
  const std::string pending = player_.reporter().TreeText(Tree::kPending);
  for (const char* line :
       {"Kino / Gruppa krovi\n  Gruppa krovi\n  Kukushka  (~", "Zvezda\n",
        "Bj\xC3\xB6rk / Homogenic\n  J\xC3\xB3ga - a title much longer than thirty characte\n",
        "Various Artists / Now Hits\n  Ann / Hit 1  (~", "Cat / Double\n  ", "Unknown / New CD\n  tone.wav  (~"}) {
    EXPECT_NE(pending.find(line), std::string::npos) << line << " in\n" << pending;
  }

  refused.clear();
  for (const AddFailure& f : DropFiles(volume, MakeBadInput())) refused.push_back(DescribeFailure(f));
  EXPECT_EQ(refused, (std::vector<std::string>{
                         "broken.flac: not an audio file",
                         "silent.wav: holds no sound (its play time is 0 seconds)",
                         "picture.mkv: not an audio file",
                         "clip.mkv: not an audio file (it holds video)"}));

  ASSERT_TRUE(volume.RunJobNow(Job::kSync).ok()) << player_.reporter().lastStatus();
  EXPECT_EQ(volume.lastSyncSummary().written, 11u);

  MemoryDevice& disk = player_.disk();
  testing::RecordingReporter reporter;
  PlayerVolume fresh(&reporter);
  EXPECT_TRUE(fresh.BindDevice(std::make_unique<ForwardingDevice>(&disk)).ok());
  ASSERT_TRUE(fresh.CheckVolume());
  ASSERT_TRUE(fresh.RunJobNow(Job::kMount).ok());
  // The CD written last first; inside a CD by disc, then track. Texts cut
  // to 47 characters.
  EXPECT_EQ(reporter.TreeText(Tree::kPlayer),
            "Kino / Gruppa krovi\n  Gruppa krovi\n  Kukushka\n  Zvezda\n"
            "Various Artists / Now Hits\n  Ann / Hit 1\n  Bob / Hit 2\n  Cy / Hit 3\n"
            "Bj\xC3\xB6rk / Homogenic\n  J\xC3\xB3ga - a title much longer than thirty characte\n"
            "Unknown / New CD\n  tone.wav\n"
            "Cat / Double\n  " +
                cjk_artist + " / " + cjk_title + "\n  Two\n  Cat & Dan / Second disc\n");

  const std::map<std::string, double> sources = {
      {"Kukushka", 1.5}, {"Hit 1", 1.2}, {"Hit 2", 1.1}, {"Hit 3", 1.3}, {"Two", 0.6},
      {cjk_title, 0.5},  {"tone.wav", 0.9}};
  const testing::Audit audit = AuditVolume(disk);
  ASSERT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  size_t checked = 0;
  for (const auto& cd : audit.cds) {
    for (const auto& track : cd.tracks) {
      const auto source = sources.find(Utf8FromLatin1(track.record.title()));
      if (source == sources.end()) continue;
      SCOPED_TRACE(source->first);
      bool zero_tail = false;
      const std::vector<uint8_t> audio = testing::TrackAudio(disk, audit, track, &zero_tail);
      ASSERT_GE(audio.size(), 4u);
      EXPECT_NE(std::string(audio.begin(), audio.begin() + 3), "ID3");
      EXPECT_NE(std::string(audio.end() - 128, audio.end() - 125), "TAG");
      const uint32_t header = LoadBe32(audio.data());
      EXPECT_EQ(header & 0xFFFE0C00u, 0xFFFA0000u) << "MPEG-1 Layer III, 44.1 kHz";
      EXPECT_NE(header & 0xC0u, 0xC0u) << "two channels";
      std::vector<double> times((audio.size() + 10239) / 8192, 0.0);
      EXPECT_NEAR(ScanMpegFrames(audio, times), source->second, 0.15);
      ++checked;
    }
  }
  EXPECT_EQ(checked, sources.size());

  // The same folder again: every song is on the player already.
  const std::vector<uint8_t> before = disk.bytes();
  (void)DropFiles(volume, {dir_ / "lib"});
  ASSERT_TRUE(volume.RunJobNow(Job::kSync).ok());
  EXPECT_EQ(volume.lastSyncSummary().written, 0u);
  EXPECT_EQ(volume.lastSyncSummary().duplicates.size(), 11u);
  EXPECT_TRUE(disk.bytes() == before);
}

}  // namespace
}  // namespace jukepak
