// Exporting tracks: the audio bytes come back exactly, the tags are rebuilt
// from the records (an ID3v2 tag of the audio's own updated, not doubled),
// and damaged chains are refused before any file is made.

#include "volume/track_export.h"

#include <gtest/gtest.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/id3_tags.h"
#include "volume/taglib_tags.h"
#include "volume/testing/engine_volume.h"
#include "volume/testing/recording_reporter.h"

namespace jukepak {
namespace {

using testing::CdContent;
using testing::SongContent;
using testing::TestAudio;
using testing::VolumeBuilder;

constexpr uint32_t kSectors = 8000;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string TagText(const std::vector<uint8_t>& file, size_t offset) {
  const uint8_t* field = file.data() + file.size() - 128 + offset;
  size_t length = 0;
  while (length < 30 && field[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/jukepak-export-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& path : made_) std::remove(path.c_str());
    rmdir(dir_.c_str());
  }
  std::string Path(const std::string& name) {
    made_.push_back(dir_ + "/" + name);
    return made_.back();
  }
  void Mount() { ASSERT_TRUE(testing::MountVolume(volume_, &disk_).ok()); }
  const CdNode& Cd(size_t i) const { return *volume_.model().playerCds[i]; }

  std::string dir_;
  std::vector<std::string> made_;
  MemoryDevice disk_{kSectors};
  VolumeBuilder builder_{&disk_};
  testing::RecordingReporter reporter_;
  PlayerVolume volume_{&reporter_};
};

// Sizes at the cluster edges: one cluster holds 7168 audio bytes; the sync
// still takes two for 6145 and more, and an empty song.
TEST_F(ExportTest, EveryTrackComesBackAsItsAudioBytesBetweenTagsFromTheRecords) {
  const size_t sizes[] = {0, 1, 6144, 6145, 7168, 7169, 15360, 15361, 100000};
  CdContent cd{"Artist of the CD", "An album name that is longer than thirty", {}};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    cd.songs.push_back(SongContent{"Song " + std::to_string(i) + " with a title past thirty bytes",
                                   i % 2 ? "Guest" : "Artist of the CD",
                                   TestAudio(sizes[i], uint32_t(i))});
  }
  ASSERT_TRUE(builder_.Format().ok());
  ASSERT_TRUE(builder_.AddCd(cd).ok());
  Mount();
  for (uint32_t slot = 0; slot < std::size(sizes); ++slot) {
    SCOPED_TRACE("size " + std::to_string(sizes[slot]));
    const std::string path = Path("track" + std::to_string(slot) + ".mp3");
    ASSERT_TRUE(ExportTrack(volume_, Cd(0), slot, path).ok());
    const std::vector<uint8_t> file = ReadFile(path);
    const uint64_t id3v2 = Id3v2TagLength(file);
    ASSERT_GT(id3v2, 10u);
    EXPECT_EQ(file[3], 3) << "ID3v2.3";
    ASSERT_EQ(file.size(), id3v2 + sizes[slot] + 128);
    EXPECT_TRUE(std::equal(cd.songs[slot].audio.begin(), cd.songs[slot].audio.end(),
                           file.begin() + long(id3v2)));
    EXPECT_EQ(std::string(file.end() - 128, file.end() - 125), "TAG");
    EXPECT_EQ(TagText(file, 3), cd.songs[slot].title.substr(0, 30));
    EXPECT_EQ(TagText(file, 33), cd.songs[slot].artist);
    EXPECT_EQ(TagText(file, 63), cd.album.substr(0, 30));
    EXPECT_EQ(file[file.size() - 3], 0);  // ID3v1.1: a track number follows
    EXPECT_EQ(file[file.size() - 2], uint8_t(slot + 1));
    EXPECT_EQ(file[file.size() - 1], 255);  // no genre
    SongTags tags;
    ASSERT_TRUE(TagLibReader().Read(path, &tags).ok());
    EXPECT_EQ(tags.title, cd.songs[slot].title);  // whole, not cut to 30
    EXPECT_EQ(tags.artist, cd.songs[slot].artist);
    EXPECT_EQ(tags.album, cd.album);
    EXPECT_EQ(tags.albumArtist, cd.artist);
    EXPECT_EQ(tags.track, slot + 1);
  }
}

TEST_F(ExportTest, AnId3v2TagInTheAudioIsUpdatedNotDoubled) {
  // Audio that begins with an ID3v2.4 tag of its own, with a genre frame.
  const std::string made = Path("made.mp3");
  {
    std::ofstream(made, std::ios::binary) << std::string(4000, '\x11');
    TagLib::MPEG::File file(made.c_str(), false);
    file.ID3v2Tag(true)->setTitle("Old title");
    file.ID3v2Tag()->setGenre("Polka");
    ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4));
  }
  const std::vector<uint8_t> audio = ReadFile(made);
  ASSERT_TRUE(builder_.Format().ok());
  ASSERT_TRUE(builder_.AddCd(CdContent{"A", "B", {SongContent{"New title", "A", audio}}}).ok());
  Mount();
  const std::string path = Path("updated.mp3");
  ASSERT_TRUE(ExportTrack(volume_, Cd(0), 0, path).ok());
  const std::vector<uint8_t> file = ReadFile(path);
  const uint64_t id3v2 = Id3v2TagLength(file);
  ASSERT_GT(id3v2, 10u);
  EXPECT_NE(std::string(file.begin() + long(id3v2), file.begin() + long(id3v2) + 3), "ID3");
  EXPECT_EQ(file.size(), id3v2 + (audio.size() - Id3v2TagLength(audio)) + 128);
  TagLib::MPEG::File tagged(path.c_str(), false);
  ASSERT_TRUE(tagged.hasID3v2Tag());
  EXPECT_EQ(tagged.ID3v2Tag()->header()->majorVersion(), 3u);
  EXPECT_EQ(tagged.ID3v2Tag()->title().to8Bit(), "New title");
  EXPECT_EQ(tagged.ID3v2Tag()->genre().to8Bit(), "Polka");
}

TEST_F(ExportTest, AnExistingFileIsNeverReplaced) {
  ASSERT_TRUE(builder_.Format().ok());
  ASSERT_TRUE(builder_.AddCd(CdContent{"A", "B", {SongContent{"t", "A", TestAudio(500, 3)}}}).ok());
  Mount();
  const std::string path = Path("taken.mp3");
  std::ofstream(path) << "mine";
  EXPECT_EQ(ExportTrack(volume_, Cd(0), 0, path).code(), ResultCode::kBusy);
  EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(ExportTrack(volume_, Cd(0), 1, Path("none.mp3")).code(), ResultCode::kInvalidArgument);
}

TEST_F(ExportTest, DamagedChainsAreRefusedAndNoFileIsMade) {
  ASSERT_TRUE(builder_.Format().ok());
  ASSERT_TRUE(
      builder_.AddCd(CdContent{"A", "B", {SongContent{"t", "A", TestAudio(30000, 4)}}}).ok());
  Mount();
  const uint32_t first = Cd(0).tracks[0]->firstCluster;  // a chain of 4 clusters
  const uint32_t second = builder_.fat().entry(first);
  const uint32_t n = volume_.model().header.audioClusters();
  const struct {
    const char* what;
    uint32_t cluster, value;
  } damages[] = {
      {"ends early", second, format::kFatEndOfChain},
      {"loops", second, first},
      {"runs into a free cluster", second, n - 3},
      {"leaves the audio area", second, n + 2},
  };
  for (const auto& damage : damages) {
    SCOPED_TRACE(damage.what);
    const uint32_t saved = builder_.fat().entry(damage.cluster);
    ASSERT_TRUE(builder_.SetFatEntry(damage.cluster, damage.value).ok());
    Mount();
    const std::string path = Path("damaged.mp3");
    const Result r = ExportTrack(volume_, Cd(0), 0, path);
    EXPECT_EQ(r.code(), ResultCode::kCorrupt);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    ASSERT_TRUE(builder_.SetFatEntry(damage.cluster, saved).ok());
  }
  Mount();
  EXPECT_TRUE(ExportTrack(volume_, Cd(0), 0, Path("whole.mp3")).ok());
}

TEST(Id3v1TagTest, FieldsAreCutZeroPaddedAndTheNumberIsOptional) {
  const Id3v1TagBytes tag = BuildId3v1Tag("T", std::string(40, 'a'), "Caf\xE9", 0);
  EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "TAG");
  EXPECT_EQ(tag[3], 'T');
  EXPECT_EQ(tag[4], 0);
  EXPECT_EQ(std::string(tag.begin() + 33, tag.begin() + 63), std::string(30, 'a'));
  EXPECT_EQ(tag[63 + 3], 0xE9);  // Latin-1 as stored
  EXPECT_EQ(tag[126], 0);        // no track number
  EXPECT_EQ(BuildId3v1Tag("", "", "", 300)[126], 0);
  EXPECT_EQ(BuildId3v1Tag("", "", "", 100)[126], 100);
}

TEST_F(ExportTest, AnExportedId3v1BlockReadsBackAsTheSameSong) {
  const Id3v1TagBytes block = BuildId3v1Tag("Title", "Artist", "Album", 7);
  const std::string path = Path("v1.mp3");
  std::ofstream(path, std::ios::binary)
      << std::string(4000, '\x11') << std::string(block.begin(), block.end());
  SongTags tags;
  ASSERT_TRUE(TagLibReader().Read(path, &tags).ok());
  EXPECT_EQ(tags.title, "Title");
  EXPECT_EQ(tags.artist, "Artist");
  EXPECT_EQ(tags.album, "Album");
  EXPECT_EQ(tags.track, 7u);
}

}  // namespace
}  // namespace jukepak
