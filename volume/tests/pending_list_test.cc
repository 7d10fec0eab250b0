// The pending additions: how files become songs, how songs group into CDs and
// order inside them, the limits, folder and playlist drops, files refused as
// not audio, removal and the size labels. Tags and audio of other formats
// come from stand-ins here (testing/fake_media.h); the real libraries meet
// real files in media_library_test.cc.

#include "volume/pending_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "volume/pending_edits.h"
#include "volume/song_probe.h"
#include "volume/space_accounting.h"
#include "volume/testing/fake_media.h"
#include "volume/tests/test_media.h"

namespace jukepak {
namespace {

using testing::Tree;

using testing::Append;
using testing::MountedVolume;
using testing::TaggedMp3;
using testing::TempDir;
using testing::WriteBytes;

class PendingListTest : public ::testing::Test {
 protected:
  PendingListTest() : player_(20000) {}

  void SetUp() override { ASSERT_TRUE(player_.ready()); }

  PlayerVolume& volume() { return player_.volume(); }
  testing::RecordingReporter& reporter() { return player_.reporter(); }
  std::vector<std::unique_ptr<CdNode>>& pending() { return volume().model().TEST_pendingCds(); }

  std::string Tagged(const std::string& name, const std::string& title, const std::string& artist,
                     const std::string& album, int track) {
    const std::string path = dir_ / name;
    WriteBytes(path, TaggedMp3(0.5, title, artist, album, track));
    return path;
  }
  std::string Untagged(const std::string& name, size_t bytes = 1000) {
    const std::string path = dir_ / name;
    WriteBytes(path, testing::Mp3Bytes(bytes));
    return path;
  }
  std::string Tree() { return player_.reporter().TreeText(Tree::kPending); }
  // A CD of `tracks` tracks as the player's directory lists it.
  void AddPlayerCd(const std::string& artist, const std::string& album, uint8_t tracks) {
    auto cd = std::make_unique<CdNode>();
    cd->record.setAlbum(album);
    cd->record.setArtist(artist);
    cd->record.setTrackCount(tracks);
    volume().model().playerCds.push_back(std::move(cd));
    volume().PublishDirectory();  // as whatever changes the directory does
  }

  TempDir dir_;
  MountedVolume player_;
};

TEST_F(PendingListTest, TaggedFileBecomesASongOfItsAlbum) {
  const std::string path = Tagged("a.mp3", "Song A", "Artist", "Album", 2);
  ASSERT_TRUE(AddFile(volume(), path, std::nullopt).ok());
  ASSERT_EQ(pending().size(), 1u);
  const CdNode& cd = *pending()[0];
  EXPECT_TRUE(cd.hasWork);
  EXPECT_EQ(cd.record.album(), "Album");
  EXPECT_EQ(cd.record.artist(), "Artist");
  ASSERT_EQ(cd.pendingTracks.size(), 1u);
  const TrackNode& song = *cd.pendingTracks[0];
  EXPECT_EQ(song.sourcePath, path);
  EXPECT_EQ(song.record.title(), "Song A");
  EXPECT_EQ(song.tagTrackNumber, 2);
  EXPECT_EQ(song.record.size(), std::filesystem::file_size(path) - 128);
  EXPECT_EQ(Tree(), "Artist / Album\n  Song A\n");
  EXPECT_EQ(reporter().pending().downloadKilobytes,
            SongKilobytes(song.record.size()) + CdAreaGrowthKilobytes(0, 1));
}

TEST_F(PendingListTest, BlankAlbumTakesTheFolderNameOnlyInAFolderDrop) {
  std::filesystem::create_directory(dir_ / "My Folder");
  const std::string tagged = Tagged("My Folder/t.mp3", "T", "Band", "   ", 0);
  Untagged("My Folder/plain.mp3");
  EXPECT_TRUE(DropFiles(volume(), {dir_ / "My Folder"}).empty());
  ASSERT_TRUE(AddFile(volume(), Tagged("u.mp3", "U", "Band", "", 0), std::nullopt).ok());
  EXPECT_EQ(Tree(),
            "Unknown / New CD\n  plain.mp3\n"
            "Band / My Folder\n  T\n"
            "Band / New CD\n  U\n");
}

TEST_F(PendingListTest, SameAlbumOfTwoArtistsMakesTwoCdsNewestFirstInTheList) {
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "One", "X", "Same", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "Two", "Y", "Same", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("3.mp3", "Three", "X", "same", 0), std::nullopt).ok());
  ASSERT_EQ(pending().size(), 3u);
  EXPECT_EQ(pending()[0]->record.album(), "same");  // case counts
  EXPECT_EQ(pending()[2]->record.artist(), "X");
  EXPECT_EQ(reporter().TopLabels(Tree::kPending),
            (std::vector<std::string>{"X / Same", "Y / Same", "X / same"}));
}

TEST_F(PendingListTest, TrackNumbersOrderTheSongs) {
  int file = 0;
  auto add = [&](int track) {
    const std::string title = "n" + std::to_string(track) + "-" + std::to_string(file);
    ASSERT_TRUE(AddFile(volume(), Tagged(std::to_string(file++) + ".mp3", title, "A", "B", track),
                        std::nullopt)
                    .ok());
  };
  add(3);
  add(0);
  add(5);
  add(4);
  EXPECT_EQ(Tree(), "A / B\n  n3-0\n  n0-1\n  n4-3\n  n5-2\n");
  add(-1);  // tag byte 0xFF is track 255, after every smaller number
  add(0);
  EXPECT_EQ(Tree(), "A / B\n  n3-0\n  n0-1\n  n4-3\n  n5-2\n  n-1-4\n  n0-5\n");
}

TEST_F(PendingListTest, SameFileTwiceIsKeptOnceSilently) {
  const std::string path = Tagged("a.mp3", "A", "B", "C", 1);
  ASSERT_TRUE(AddFile(volume(), path, std::nullopt).ok());
  EXPECT_TRUE(AddFile(volume(), path, std::nullopt).ok());
  EXPECT_EQ(pending()[0]->pendingTracks.size(), 1u);
}

TEST_F(PendingListTest, FolderOf120UntaggedFilesFillsNewCdWith100) {
  std::filesystem::create_directory(dir_ / "many");
  for (int i = 0; i < 120; ++i) Untagged("many/" + std::to_string(1000 + i) + ".mp3", 200);
  const std::vector<AddFailure> failures = DropFiles(volume(), {dir_ / "many"});
  ASSERT_EQ(failures.size(), 20u);
  for (const AddFailure& failure : failures) {
    EXPECT_EQ(failure.result.code(), ResultCode::kLimit);
    EXPECT_EQ(failure.result.message(), "No more tracks allowed on this CD");
  }
  EXPECT_EQ(failures[0].path, dir_ / "many/1100.mp3");
  ASSERT_EQ(pending().size(), 1u);
  EXPECT_EQ(pending()[0]->pendingTracks.size(), 100u);
  // Sorted by name, the first hundred got in.
  EXPECT_EQ(pending()[0]->pendingTracks[99]->record.title(), "1099.mp3");
}

TEST_F(PendingListTest, HundredFirstSongIsRefusedEvenWithALowerTrackNumber) {
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(
        AddFile(volume(), Tagged(std::to_string(i) + ".mp3", "t", "A", "B", 10 + i), std::nullopt)
            .ok());
  }
  const Result r = AddFile(volume(), Tagged("low.mp3", "low", "A", "B", 1), std::nullopt);
  EXPECT_EQ(r.code(), ResultCode::kLimit);
  EXPECT_EQ(r.message(), "No more tracks allowed on this CD");
  EXPECT_EQ(pending()[0]->pendingTracks.size(), 100u);
  EXPECT_EQ(pending()[0]->pendingTracks[0]->tagTrackNumber, 10);
}

TEST_F(PendingListTest, LimitCountsTheTracksOfThePlayersCd) {
  AddPlayerCd("A", "B", 98);
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "1", "A", "B", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "2", "A", "B", 0), std::nullopt).ok());
  EXPECT_EQ(AddFile(volume(), Tagged("3.mp3", "3", "A", "B", 0), std::nullopt).code(),
            ResultCode::kLimit);
  EXPECT_TRUE(AddFile(volume(), Tagged("4.mp3", "4", "A", "Other", 0), std::nullopt).ok());
}

TEST_F(PendingListTest, FilesThatCannotBeOpenedAddNothing) {
  std::filesystem::create_directory(dir_ / "sub.mp3");
  ASSERT_EQ(mkfifo((dir_ / "pipe.mp3").c_str(), 0600), 0);
  for (const std::string& path : {dir_ / "missing.mp3", dir_ / "sub.mp3", dir_ / "pipe.mp3"}) {
    const Result r = AddFile(volume(), path, std::nullopt);
    EXPECT_EQ(r.code(), ResultCode::kNotFound) << path;
    EXPECT_EQ(r.message(), "Could not open file!") << path;
  }
  EXPECT_TRUE(pending().empty());
  // A folder drop passes over sub-folders and FIFOs are refused, not waited on.
  const std::vector<AddFailure> failures = DropFiles(volume(), {dir_.path()});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].path, dir_ / "pipe.mp3");
  EXPECT_EQ(DropFiles(volume(), {dir_ / "no-such-folder"})[0].result.message(),
            "Could not open file!");
}

TEST_F(PendingListTest, ShortEmptyAndHugeFiles) {
  const std::string short_file = Untagged("short.mp3", 100);  // no room for a tag
  ASSERT_TRUE(AddFile(volume(), short_file, std::nullopt).ok());
  EXPECT_EQ(pending()[0]->pendingTracks[0]->record.size(), 100u);

  const Result empty = AddFile(volume(), Untagged("empty.mp3", 0), std::nullopt);
  EXPECT_EQ(empty.message(), "The file is empty!");

  const std::string huge = dir_ / "huge.mp3";
  WriteBytes(huge, {});
  std::filesystem::resize_file(huge, (uint64_t(1) << 32) + 5);  // sparse
  const Result too_large = AddFile(volume(), huge, std::nullopt);
  EXPECT_EQ(too_large.code(), ResultCode::kLimit);
  EXPECT_EQ(too_large.message(), "The file is too large for the player!");
  EXPECT_EQ(pending()[0]->pendingTracks.size(), 1u);
}

TEST_F(PendingListTest, UntaggedTitlesAreTheFileNameShortenedKeepingTheExtension) {
  const std::string long_name = std::string(60, 'n') + ".mp3";
  ASSERT_TRUE(AddFile(volume(), Untagged(long_name), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Untagged("Bj\xC3\xB6rk \xE2\x82\xAC live.mp3"), std::nullopt).ok());
  const auto& songs = pending()[0]->pendingTracks;
  EXPECT_EQ(songs[0]->record.title(), std::string(43, 'n') + ".mp3");
  EXPECT_EQ(songs[1]->record.title(), "Bj\xF6rk EUR live.mp3");  // Latin-1; the euro sign is not
  EXPECT_EQ(songs[1]->record.artist(), "Unknown");
  EXPECT_EQ(reporter().ChildLabels(Tree::kPending, pending()[0]->id)[1],
            "Bj\xC3\xB6rk EUR live.mp3");
}

TEST_F(PendingListTest, FolderDropTakesAudioFilesInAnyCaseAndSubFoldersWhenAsked) {
  std::filesystem::create_directory(dir_ / "Mixed");
  Untagged("Mixed/b.MP3");
  Untagged("Mixed/a.Mp3");
  Untagged("Mixed/notes.txt");
  Untagged("Mixed/c.mp3.bak");
  Untagged("Mixed/.hidden.mp3");
  std::filesystem::create_directory(dir_ / "Mixed/inner");
  Untagged("Mixed/inner/deep.mp3");
  // A link back up the tree is entered once.
  std::filesystem::create_directory_symlink(dir_ / "Mixed", dir_ / "Mixed/inner/loop");
  std::filesystem::create_directory(dir_ / "Empty");
  EXPECT_TRUE(DropFiles(volume(), {dir_ / "Mixed"}, DropOptions{false}).empty());
  EXPECT_EQ(Tree(), "Unknown / New CD\n  a.Mp3\n  b.MP3\n");
  EXPECT_TRUE(DropFiles(volume(), {dir_ / "Mixed", dir_ / "Empty"}).empty());
  EXPECT_EQ(Tree(), "Unknown / New CD\n  a.Mp3\n  b.MP3\n  deep.mp3\n");
}

TEST_F(PendingListTest, RemovingSongsAndCds) {
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "One", "A", "B", 1), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "Two", "A", "B", 2), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("3.mp3", "Three", "C", "D", 0), std::nullopt).ok());
  CdNode* ab = pending()[1].get();
  const uint64_t one = ab->pendingTracks[0]->id;
  const uint64_t two = ab->pendingTracks[1]->id;

  volume().SetBusyState(BusyState::kSync);
  EXPECT_EQ(RemovePendingSong(volume(), one).code(), ResultCode::kBusy);
  EXPECT_EQ(RemovePendingCd(volume(), pending()[0]->id).code(), ResultCode::kBusy);
  volume().SetBusyState(BusyState::kIdle);

  ASSERT_TRUE(RemovePendingSong(volume(), one).ok());
  EXPECT_EQ(ab->pendingTracks.size(), 1u);
  EXPECT_EQ(Tree(), "A / B\n  Two\nC / D\n  Three\n");
  ASSERT_TRUE(RemovePendingSong(volume(), two).ok());  // the last song takes its CD along
  EXPECT_EQ(Tree(), "C / D\n  Three\n");
  ASSERT_EQ(pending().size(), 1u);
  EXPECT_EQ(RemovePendingSong(volume(), two).code(), ResultCode::kNotFound);
  ASSERT_TRUE(RemovePendingCd(volume(), pending()[0]->id).ok());
  EXPECT_EQ(Tree(), "");
  EXPECT_TRUE(pending().empty());
  EXPECT_EQ(volume().EstimateDownloadKilobytes(), 0u);
}

TEST_F(PendingListTest, RenamingACdRelabelsItsSongsAndRenamingASongOnlyItself) {
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "One", "A", "B", 1), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "Two", "X", "B", 2), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("3.mp3", "Three", "A", "B", 3), std::nullopt).ok());
  CdNode* ab = pending()[1].get();
  ASSERT_EQ(Tree(), "A / B\n  One\n  Three\nX / B\n  Two\n");

  // Under the CD's new artist its songs by "A" show their artist.
  ASSERT_TRUE(RenamePendingCd(volume(), ab->id, "New", "Caf\u00e9").ok());
  EXPECT_EQ(ab->record.album(), "Caf\xE9");
  EXPECT_EQ(Tree(), "New / Caf\u00e9\n  A / One\n  A / Three\nX / B\n  Two\n");
  ASSERT_TRUE(RenamePendingSong(volume(), ab->pendingTracks[1]->id, "New", "3").ok());
  EXPECT_EQ(Tree(), "New / Caf\u00e9\n  A / One\n  3\nX / B\n  Two\n");

  std::string artist, title;
  ASSERT_TRUE(PendingTexts(volume(), ab->pendingTracks[1]->id, &artist, &title));
  EXPECT_EQ(artist + "|" + title, "New|3");
  EXPECT_EQ(RenamePendingCd(volume(), ab->pendingTracks[0]->id, "a", "b").code(),
            ResultCode::kNotFound);
  volume().SetBusyState(BusyState::kSync);
  EXPECT_EQ(RenamePendingSong(volume(), ab->pendingTracks[0]->id, "a", "b").code(),
            ResultCode::kBusy);
}

TEST_F(PendingListTest, MovingSongsWithinAndBetweenCds) {
  for (int i = 1; i <= 3; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_TRUE(AddFile(volume(), Tagged(n + ".mp3", "S" + n, "A", "B", i), std::nullopt).ok());
  }
  ASSERT_TRUE(AddFile(volume(), Tagged("x.mp3", "X", "C", "D", 0), std::nullopt).ok());
  CdNode* ab = pending()[1].get();
  CdNode* cd = pending()[0].get();
  auto item = [&](CdNode* of, size_t slot) { return of->pendingTracks[slot]->id; };

  ASSERT_TRUE(DropPendingSong(volume(), item(ab, 0), item(ab, 2)).ok());  // onto a later song
  EXPECT_EQ(Tree(), "A / B\n  S2\n  S3\n  S1\nC / D\n  X\n");
  ASSERT_TRUE(DropPendingSong(volume(), item(ab, 2), item(ab, 0)).ok());  // onto an earlier one
  EXPECT_EQ(Tree(), "A / B\n  S1\n  S2\n  S3\nC / D\n  X\n");
  ASSERT_TRUE(DropPendingSong(volume(), item(ab, 1), item(cd, 0)).ok());  // before a song there
  EXPECT_EQ(Tree(), "A / B\n  S1\n  S3\nC / D\n  A / S2\n  X\n");
  ASSERT_TRUE(DropPendingSong(volume(), item(cd, 1), ab->id).ok());  // onto a CD: last
  EXPECT_EQ(Tree(), "A / B\n  S1\n  S3\n  C / X\nC / D\n  A / S2\n");
  ASSERT_TRUE(DropPendingSong(volume(), item(cd, 0), ab->id).ok());  // empties its CD
  EXPECT_EQ(Tree(), "A / B\n  S1\n  S3\n  C / X\n  S2\n");
  EXPECT_EQ(pending().size(), 1u);
}

TEST_F(PendingListTest, MoveLimitCountsThePlayersTracksOfTheTargetAlbum) {
  AddPlayerCd("A", "B", 98);
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "1", "A", "B", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "2", "C", "D", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("3.mp3", "3", "C", "D", 0), std::nullopt).ok());
  CdNode* ab = pending()[1].get();
  CdNode* cd = pending()[0].get();

  ASSERT_TRUE(DropPendingSong(volume(), cd->pendingTracks[0]->id, ab->id).ok());
  const Result full = DropPendingSong(volume(), cd->pendingTracks[0]->id, ab->id);
  EXPECT_EQ(full.code(), ResultCode::kLimit);
  EXPECT_EQ(full.message(), "No more tracks allowed on this CD");
  EXPECT_EQ(ab->pendingTracks.size(), 2u);
  EXPECT_EQ(cd->pendingTracks.size(), 1u);
  // Within the full CD songs still change places.
  EXPECT_TRUE(
      DropPendingSong(volume(), ab->pendingTracks[0]->id, ab->pendingTracks[1]->id)
          .ok());
}

TEST_F(PendingListTest, RenameLimitCountsTheSongsOfTheNewAlbum) {
  AddPlayerCd("A", "B", 98);
  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "1", "C", "D", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("2.mp3", "2", "C", "D", 0), std::nullopt).ok());
  ASSERT_TRUE(AddFile(volume(), Tagged("3.mp3", "3", "E", "F", 0), std::nullopt).ok());
  auto of_artist = [&](const std::string& artist) {
    for (const auto& cd : pending()) {
      if (cd->record.artist() == artist) return cd.get();
    }
    return static_cast<CdNode*>(nullptr);
  };
  CdNode* cd = of_artist("C");
  CdNode* ef = of_artist("E");
  ASSERT_TRUE(cd != nullptr && ef != nullptr);

  // Two songs would bring the player's 98 of "A / B" to 100: allowed; a
  // third would not fit.
  ASSERT_TRUE(RenamePendingCd(volume(), cd->id, "A", "B").ok());
  const Result full = RenamePendingCd(volume(), ef->id, "A", "B");
  EXPECT_EQ(full.code(), ResultCode::kLimit);
  EXPECT_EQ(ef->record.artist() + "/" + ef->record.album(), "E/F");
  EXPECT_TRUE(RenamePendingCd(volume(), cd->id, "A", "B").ok());  // its own key: no change
}

// Songs whose tags and audio the test states through the stand-ins.
class PendingTagsTest : public PendingListTest {
 protected:
  void SetUp() override {
    PendingListTest::SetUp();
    volume().SetMediaLibraries(testing::FakeMedia(&tags_, &transcoder_));
  }
  // An MP3 with these tags.
  std::string Song(const std::string& name, const SongTags& tags) {
    const std::string path = Untagged(name);
    tags_.Set(path, tags);
    return path;
  }
  // A file of another format: `seconds` of audio, converted by the sync.
  std::string Other(const std::string& name, const SongTags& tags, double seconds) {
    const std::string path = dir_ / name;
    WriteBytes(path, std::vector<uint8_t>(100, 0x42));
    tags_.Set(path, tags);
    transcoder_.SetAudio(path, seconds);
    return path;
  }
  void Add(const std::string& path) { ASSERT_TRUE(AddFile(volume(), path, std::nullopt).ok()); }

  testing::FakeTags tags_;
  testing::FakeTranscoder transcoder_;
};

SongTags Tags(const std::string& title, const std::string& artist, const std::string& album,
              const std::string& album_artist = "", bool compilation = false) {
  SongTags tags;
  tags.title = title;
  tags.artist = artist;
  tags.album = album;
  tags.albumArtist = album_artist;
  tags.compilation = compilation;
  return tags;
}

TEST_F(PendingTagsTest, CdsAreAlbumsOfTheirAlbumArtistOrOfVariousArtists) {
  Add(Song("1.mp3", Tags("Hit 1", "Ann", "Now Hits", "", true)));
  Add(Song("2.mp3", Tags("Hit 2", "Bob", "Now Hits", "", true)));
  Add(Song("3.mp3", Tags("Together", "Cat & Dan", "Duets", "Cat")));
  Add(Song("4.mp3", Tags("Solo", "Cat", "Duets", "Cat")));
  Add(Song("5.mp3", Tags("Mine", "Eve", "Plain")));
  Add(Song("6.mp3", Tags("Yours", "Fay", "Plain")));
  Add(Song("7.mp3", Tags("Guest", "", "Duets", "Cat")));  // no artist: the album artist's
  EXPECT_EQ(Tree(),
            "Various Artists / Now Hits\n  Ann / Hit 1\n  Bob / Hit 2\n"
            "Cat / Duets\n  Cat & Dan / Together\n  Solo\n  Guest\n"
            "Eve / Plain\n  Mine\nFay / Plain\n  Yours\n");
}

TEST_F(PendingTagsTest, SongsPlayByDiscThenTrackThenArrival) {
  const struct {
    uint32_t disc, track;
  } songs[] = {{2, 1}, {1, 2}, {0, 0}, {1, 1}, {2, 0}, {0, 3}};
  for (size_t i = 0; i < std::size(songs); ++i) {
    SongTags tags = Tags(std::to_string(songs[i].disc) + "/" + std::to_string(songs[i].track),
                         "A", "Two Discs");
    tags.disc = songs[i].disc;
    tags.track = songs[i].track;
    Add(Song(std::to_string(i) + ".mp3", tags));
  }
  // No disc counts as the first; songs without a track number go last.
  EXPECT_EQ(Tree(), "A / Two Discs\n  1/1\n  1/2\n  0/3\n  2/1\n  0/0\n  2/0\n");
}

TEST_F(PendingTagsTest, TagTextsBecomeThePlayersText) {
  const std::string long_title(50, 't');
  Add(Song("1.mp3", Tags(long_title, "\xD0\x9A\xD0\xB8\xD0\xBD\xD0\xBE", "B")));  // Кино
  Add(Song("2.mp3", Tags("", "Bj\xC3\xB6rk", "J\xC3\xB3ga \xE2\x80\x94 live")));   // Jóga — live
  Add(Song("blank.mp3", Tags("", "", "")));  // empty fields are no tag
  EXPECT_EQ(Tree(),
            "Kino / B\n  " + std::string(47, 't') +
                "\n"
                "Bj\xC3\xB6rk / J\xC3\xB3ga - live\n  2.mp3\n"
                "Unknown / New CD\n  blank.mp3\n");
}

TEST_F(PendingTagsTest, FilesThatAreNotAudioAreRefusedByName) {
  WriteBytes(dir_ / "notes.mp3", std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
  WriteBytes(dir_ / "noise.mp3", std::vector<uint8_t>(5000, 0xFF));
  WriteBytes(dir_ / "text.txt", std::vector<uint8_t>(100, 'x'));
  const std::string clip = Other("clip.mp4", SongTags(), 60);
  transcoder_.SetAudio(clip, 60, true);
  const std::string silent = Other("silent.wav", SongTags(), 0);
  const std::string readme = Untagged("readme.txt");  // MP3 frames whatever the name
  AudioProbe mp3;
  mp3.audio = mp3.mp3 = true;
  transcoder_.SetProbe(readme, mp3);
  const std::vector<AddFailure> failures =
      DropFiles(volume(), {dir_ / "notes.mp3", dir_ / "noise.mp3", dir_ / "text.txt", clip, silent,
                           readme});
  std::vector<std::string> lines;
  for (const AddFailure& failure : failures) lines.push_back(DescribeFailure(failure));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "notes.mp3: not an audio file", "noise.mp3: not an audio file",
                       "text.txt: not an audio file", "clip.mp4: not an audio file (it holds video)",
                       "silent.wav: holds no sound (its play time is 0 seconds)"}));
  EXPECT_EQ(Tree(), "Unknown / New CD\n  readme.txt\n");
}

TEST_F(PendingTagsTest, OtherFormatsShowAnEstimateThatFollowsTheBitrate) {
  const std::string flac = Other("a.flac", Tags("Long", "A", "B"), 60);
  Add(flac);
  const TrackNode& song = *pending()[0]->pendingTracks[0];
  EXPECT_TRUE(song.needsConversion);
  EXPECT_EQ(song.record.size(), EstimatedMp3Bytes(60, 192));
  EXPECT_EQ(Tree(), "A / B\n  Long  (~1.38 Mb, estimated)\n");
  SyncOptions options;
  options.bitrateKbps = 320;
  volume().SetSyncOptions(options);
  EXPECT_EQ(song.record.size(), EstimatedMp3Bytes(60, 320));
  EXPECT_EQ(Tree(), "A / B\n  Long  (~2.29 Mb, estimated)\n");
  EXPECT_EQ(reporter().pending().downloadKilobytes,
            SongKilobytes(song.record.size()) + CdAreaGrowthKilobytes(0, 1));
}

TEST_F(PendingTagsTest, PlaylistsAddTheirEntriesInOrder) {
  std::filesystem::create_directory(dir_ / "lists");
  const std::string one = Song("one.mp3", Tags("One", "A", "B"));
  const std::string two = Song("two.mp3", Tags("Two", "A", "B"));
  // Latin-1: one name is those bytes on disk, the other is the name in UTF-8.
  Song("dr\xE9i.mp3", Tags("Three", "A", "B"));
  Song("caf\xC3\xA9.mp3", Tags("Four", "A", "B"));
  std::ofstream(dir_ / "lists/inner.m3u") << "../two.mp3\n../dr\xE9i.mp3\n../caf\xE9.mp3\n";
  ASSERT_EQ(mkfifo((dir_ / "lists/pipe.m3u").c_str(), 0600), 0);  // opening it would wait
  std::ofstream(dir_ / "lists/mix.m3u8") << "\xEF\xBB\xBF#EXTM3U\n#EXTINF:3,One\n../one.mp3\r\n\n"
                                         << "http://radio.example/stream\n"
                                         << "missing.mp3\n"
                                         << "mix.m3u8\n"
                                         << "pipe.m3u\n"
                                         << "file://" << dir_.path() << "/lists/inner.m3u\n";
  const std::vector<AddFailure> failures = DropFiles(volume(), {dir_ / "lists/mix.m3u8"});
  std::vector<std::string> lines;
  for (const AddFailure& failure : failures) lines.push_back(DescribeFailure(failure));
  EXPECT_EQ(lines, (std::vector<std::string>{"stream: a URL, not a file on this computer",
                                             "missing.mp3: Could not open file!",
                                             "mix.m3u8: the playlist lists itself",
                                             "pipe.m3u: Could not open the playlist!"}));
  EXPECT_EQ(failures[1].path, dir_ / "lists/missing.mp3");
  EXPECT_EQ(Tree(), "A / B\n  One\n  Two\n  Three\n  Four\n");
  EXPECT_EQ(pending()[0]->pendingTracks[1]->sourcePath, two);
}

TEST(SizeLabelText, WholeMegabytesAndTruncatedHundredths) {
  EXPECT_EQ(SizeLabelText(1075), "1.04 Mb");
  EXPECT_EQ(SizeLabelText(0), "0.00 Mb");
  EXPECT_EQ(SizeLabelText(1023), "0.99 Mb");
  EXPECT_EQ(SizeLabelText(500720), "488.98 Mb");
}

TEST_F(PendingListTest, SizeLabelsChangeOnlyWithTheirValues) {
  SizeLabels labels;
  SizeLabelUpdate first = labels.Refresh(volume());
  EXPECT_TRUE(first.downloadChanged);
  EXPECT_TRUE(first.freeChanged);
  EXPECT_EQ(first.download, "0.00 Mb");
  EXPECT_EQ(first.free, SizeLabelText(volume().FreeKilobytes()));
  SizeLabelUpdate again = labels.Refresh(volume());
  EXPECT_FALSE(again.downloadChanged);
  EXPECT_FALSE(again.freeChanged);

  ASSERT_TRUE(AddFile(volume(), Tagged("1.mp3", "One", "A", "B", 1), std::nullopt).ok());
  // While a job runs the free space is not recomputed: the last value stands.
  volume().model().fat.set(100, format::kFatEndOfChain);
  volume().SetBusyState(BusyState::kSync);
  SizeLabelUpdate busy = labels.Refresh(volume());
  EXPECT_TRUE(busy.downloadChanged);
  EXPECT_EQ(busy.download, "0.02 Mb");  // 2 clusters for 8340 audio bytes + 8 KB for the CD
  EXPECT_FALSE(busy.freeChanged);
  volume().SetBusyState(BusyState::kIdle);
  EXPECT_TRUE(labels.Refresh(volume()).freeChanged);
}

}  // namespace
}  // namespace jukepak
