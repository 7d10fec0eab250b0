// Backups off the player and restores onto it: names any file system takes,
// a manifest that keeps every byte of the texts and refuses paths out of
// its folder, a restore onto a fresh volume that gives back the same
// directory and audio bytes, second backups that touch nothing unchanged,
// files changed in the folder left alone, and a cancel that leaves the
// manifest true to the folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "frontend/backup_manifest.h"
#include "frontend/backup_names.h"
#include "frontend/backup_run.h"
#include "frontend/restore_plan.h"
#include "frontend/track_file_writer.h"
#include "testing/memory_device.h"
#include "testing/volume_builder.h"
#include "volume/player_volume.h"
#include "volume/testing/engine_volume.h"
#include "volume/tests/test_media.h"
#include "volume/track_export.h"

namespace frontend {
namespace {

using jukepak::MemoryDevice;
using jukepak::PlayerVolume;
using jukepak::QuietReporter;
using jukepak::testing::CdContent;
using jukepak::testing::Mp3Bytes;
using jukepak::testing::ReadBytes;
using jukepak::testing::TempDir;
using jukepak::testing::WriteBytes;

constexpr uint32_t kSectors = 40000;

// MP3 bytes that begin with an ID3v2.3 tag of `padding` zero bytes, as a
// song synced from a tagged file does.
std::vector<uint8_t> TaggedAudio(size_t frames_bytes, uint32_t padding) {
  std::vector<uint8_t> bytes = {'I', 'D', '3', 3, 0, 0};
  for (int shift = 21; shift >= 0; shift -= 7) bytes.push_back(uint8_t((padding >> shift) & 0x7F));
  bytes.resize(bytes.size() + padding, 0);
  jukepak::testing::Append(&bytes, Mp3Bytes(frames_bytes));
  return bytes;
}

// Two CDs with 8-bit texts, one song beginning with an ID3v2 tag and one
// song twice in the same CD.
std::vector<CdContent> Library() {
  return {{"Bj\xf6rk",
           "Caf\xe9 / Nuit: live",
           {{"Intro", "Bj\xf6rk", TaggedAudio(20000, 300)},
            {"Same", "Bj\xf6rk", Mp3Bytes(9000)},
            {"Same", "Bj\xf6rk", Mp3Bytes(9000)}}},
          {"Band", "Second", {{"..", "Band", Mp3Bytes(30000)}}}};
}

// The directory as text, with each track's audio digest: equal exactly when
// the CD order, texts, track order and audio bytes are.
std::string Directory(PlayerVolume& volume) {
  std::string text;
  for (const auto& cd : volume.model().playerCds) {
    text += cd->record.artist() + " | " + cd->record.album() + "\n";
    for (const auto& track : cd->tracks) {
      std::vector<uint8_t> audio;
      EXPECT_TRUE(jukepak::ReadTrackAudio(volume, *track, &audio).ok());
      text += "  " + track->record.title() + " | " + track->record.artist() + " | " +
              std::to_string(track->record.size()) + " | " +
              std::to_string(std::hash<std::string>()(std::string(audio.begin(), audio.end()))) +
              "\n";
    }
  }
  return text;
}

class Observer : public CopyObserver {
 public:
  std::function<void(size_t)> onTrack;
  void BeginCopies(size_t) override {}
  void BeginTrack(size_t index, size_t, const std::string&, uint32_t) override {
    if (onTrack) onTrack(index);
  }
  void TrackPosition(uint32_t) override {}
  void EndCopies() override {}
};

// Every file below `dir` with its inode and modification time.
std::map<std::string, std::pair<ino_t, int64_t>> FileStamps(const std::string& dir) {
  std::map<std::string, std::pair<ino_t, int64_t>> stamps;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    struct stat info {};
    if (!entry.is_regular_file() || stat(entry.path().c_str(), &info) != 0) continue;
    stamps[entry.path().string()] = {info.st_ino,
                                     info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
  }
  return stamps;
}

class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(jukepak::testing::BuildVolume(&disk_, Library()).ok());
    ASSERT_TRUE(jukepak::testing::MountVolume(volume_, &disk_).ok());
  }

  jukepak::Result Backup(CopySummary* summary = nullptr) {
    CopySummary ignored;
    return BackupVolume(volume_, folder(), observer_, summary ? summary : &ignored);
  }

  // Restores the backup onto `target` (mounted) and mounts it anew from its disk.
  jukepak::Result Restore(PlayerVolume& target, RestoreSummary* summary) {
    BackupManifest manifest;
    bool found = false;
    jukepak::Result r = LoadManifest(folder(), &manifest, &found);
    EXPECT_TRUE(found);
    if (r.ok()) r = AddRestoredSongs(target, folder(), manifest, {}, summary);
    jukepak::SyncOptions options;
    options.skipDuplicates = false;
    target.SetSyncOptions(options);
    const jukepak::Result synced = target.RunJobNow(jukepak::Job::kSync);
    return r.ok() ? synced : r;
  }

  // An empty volume in fresh_, mounted as fresh_volume_.
  void MountFresh() {
    ASSERT_TRUE(jukepak::testing::VolumeBuilder(&fresh_).Format().ok());
    ASSERT_TRUE(jukepak::testing::MountVolume(fresh_volume_, &fresh_).ok());
  }

  QString folder() const { return QString::fromStdString(dir_.path()); }
  std::string File(const std::string& relative) const { return dir_.path() + "/" + relative; }

  MemoryDevice disk_{kSectors};
  QuietReporter reporter_;
  PlayerVolume volume_{&reporter_};
  Observer observer_;
  TempDir dir_;
  MemoryDevice fresh_{kSectors};
  QuietReporter reporter_of_fresh_;
  PlayerVolume fresh_volume_{&reporter_of_fresh_};
};

TEST(BackupNamesTest, PlayerTextsBecomeNamesEveryFileSystemTakes) {
  const struct {
    std::string text, name;
  } cases[] = {
      {"AC/DC", "AC_DC"},
      {"a\\b<c>d:e\"f|g?h*i", "a_b_c_d_e_f_g_h_i"},
      {"tab\there\x7f\x85", "tab_here__"},
      {"Bj\xf6rk", "Bj\xc3\xb6rk"},
      {"..", "_"},
      {".hidden", "_hidden"},
      {"  Dots and spaces . . ", "Dots and spaces"},
      {"", "fallback"},
  };
  for (const auto& c : cases) EXPECT_EQ(SafeNamePart(c.text, "fallback"), c.name) << c.text;
  const std::string long_name = SafeNamePart(std::string(200, '\xe9'), "fallback");
  EXPECT_EQ(long_name.size(), kMaxNamePartBytes);  // 90 whole two-byte characters
  EXPECT_EQ(QString::fromStdString(long_name), QString(90, QChar(0xE9)));
  jukepak::CdRecord cd;
  cd.setArtist("");
  cd.setAlbum("Live.");
  jukepak::TrackRecord track;
  track.setTitle("A/B");
  EXPECT_EQ(TrackFilePath(cd, 6, track), "Unknown/Live/07 A_B.mp3");
  track.setTitle("");
  EXPECT_EQ(TrackFilePath(cd, 10, track), "Unknown/Live/11.mp3");
  EXPECT_EQ(NumberedPath("a.b/c.mp3", 2), "a.b/c (2).mp3");
  EXPECT_EQ(NumberedPath("a.b/c", 3), "a.b/c (3)");
  PathClaims claims;
  EXPECT_TRUE(claims.Claim("Band/Album/01 Song.mp3"));
  EXPECT_FALSE(claims.Claim("band/ALBUM/01 song.mp3"));  // one file where case does not count
}

TEST(BackupManifestTest, EveryTextByteSurvivesAndUnsafeManifestsAreRefused) {
  BackupManifest manifest;
  for (int first = 1; first < 256; first += 47) {
    std::string text;
    for (int byte = first; byte < std::min(first + 47, 256); ++byte) text += char(byte);
    manifest.cds.push_back(BackupCd{text, text, {BackupTrack{text, text, 1234, std::nullopt}}});
  }
  manifest.cds[0].tracks[0].copy = BackupCopy{"A/B/01 x.mp3",
                                              5000,
                                              std::string(64, 'a'),
                                              1796793917305331539,
                                              std::string(64, 'b'),
                                              1184,
                                              std::string(kLeadingTagFolder) + "/t.id3",
                                              116};
  BackupManifest read;
  ASSERT_TRUE(ParseManifest(ManifestJson(manifest), &read).ok());
  EXPECT_EQ(ManifestJson(read), ManifestJson(manifest));
  EXPECT_EQ(read.cds[1].tracks[0].title, manifest.cds[1].tracks[0].title);
  EXPECT_EQ(read.cds[0].tracks[0].copy->fileModifiedNs, 1796793917305331539);
  EXPECT_FALSE(read.Complete());

  const QByteArray good = ManifestJson(manifest);
  const struct {
    const char* from;
    const char* to;
  } damage[] = {
      {"\"A/B/01 x.mp3\"", "\"../01 x.mp3\""},
      {"\"A/B/01 x.mp3\"", "\"/etc/passwd\""},
      {"\"A/B/01 x.mp3\"", "\"A/./01 x.mp3\""},
      {"\"A/B/01 x.mp3\"", "\"A//01 x.mp3\""},
      {".songlift-backup/tags/t.id3", "A/t.id3"},
      {"\"version\": 1", "\"version\": 2"},
      {"\"audioSize\": 1234", "\"audioSize\": \"1234\""},
      {"\"audioSize\": 1234", "\"audioSize\": -1"},
      {"\"size\": 5000", "\"size\": 5000.5"},
      {"\"format\": \"songlift-backup\"", "\"format\": \"other\""},
  };
  for (const auto& d : damage) {
    SCOPED_TRACE(d.to);
    QByteArray text = good;
    ASSERT_TRUE(text.contains(d.from));
    text.replace(d.from, d.to);
    BackupManifest untouched;
    const jukepak::Result r = ParseManifest(text, &untouched);
    EXPECT_EQ(r.code(), jukepak::ResultCode::kCorrupt);
    EXPECT_TRUE(untouched.cds.empty());
  }
  QByteArray wide = good;
  ASSERT_TRUE(wide.contains("\\u0001"));
  wide.replace("\\u0001", "\\u0101");
  BackupManifest refused;
  EXPECT_FALSE(ParseManifest(wide, &refused).ok());  // no character above U+00FF
}

TEST_F(BackupTest, RestoreOntoAFreshVolumeGivesTheSameDirectoryAndAudioBytes) {
  CopySummary summary;
  ASSERT_TRUE(Backup(&summary).ok());
  EXPECT_EQ(summary.written.size(), 4u);
  EXPECT_TRUE(summary.complete);
  EXPECT_EQ(summary.written[0], "Bj\xc3\xb6rk/Caf\xc3\xa9 _ Nuit_ live/01 Intro.mp3");
  EXPECT_EQ(summary.written[2], "Bj\xc3\xb6rk/Caf\xc3\xa9 _ Nuit_ live/03 Same.mp3");
  EXPECT_EQ(summary.written[3], "Band/Second/01 _.mp3");
  // The copy is the track as export writes it.
  ASSERT_TRUE(jukepak::ExportTrack(volume_, *volume_.model().playerCds[0], 0, File("x.mp3")).ok());
  EXPECT_EQ(ReadBytes(File("x.mp3")), ReadBytes(File(summary.written[0])));

  ASSERT_NO_FATAL_FAILURE(MountFresh());
  PlayerVolume& target = fresh_volume_;
  RestoreSummary restored;
  ASSERT_TRUE(Restore(target, &restored).ok());
  EXPECT_EQ(restored.added, 4u);
  PlayerVolume remounted(&reporter_of_fresh_);
  ASSERT_TRUE(jukepak::testing::MountVolume(remounted, &fresh_).ok());
  EXPECT_EQ(Directory(remounted), Directory(volume_));

  // Again: every track is there already; nothing is added.
  ASSERT_TRUE(Restore(remounted, &restored).ok());
  EXPECT_EQ(restored.alreadyThere, 4u);
  EXPECT_EQ(restored.added, 0u);
}

TEST_F(BackupTest, RestoreOntoAPlayerWithOtherMusicKeepsItAndAddsTheRest) {
  ASSERT_TRUE(Backup().ok());
  MemoryDevice other(kSectors);
  std::vector<CdContent> music = {{"Other", "Music", {{"Song", "Other", Mp3Bytes(5000)}}},
                                  Library()[1]};  // one CD of the backup is there already
  ASSERT_TRUE(jukepak::testing::BuildVolume(&other, music).ok());
  QuietReporter reporter;
  PlayerVolume target(&reporter);
  ASSERT_TRUE(jukepak::testing::MountVolume(target, &other).ok());
  RestoreSummary restored;
  ASSERT_TRUE(Restore(target, &restored).ok());
  EXPECT_EQ(restored.alreadyThere, 1u);
  EXPECT_EQ(restored.added, 3u);
  PlayerVolume remounted(&reporter);
  ASSERT_TRUE(jukepak::testing::MountVolume(remounted, &other).ok());
  const auto& cds = remounted.model().playerCds;
  ASSERT_EQ(cds.size(), 3u);
  EXPECT_EQ(cds[0]->record.artist(), "Bj\xf6rk");  // new CDs go before the player's
  EXPECT_EQ(cds[0]->tracks.size(), 3u);
  EXPECT_EQ(cds[1]->record.album(), "Music");
  EXPECT_EQ(cds[2]->tracks.size(), 1u);
}

TEST_F(BackupTest, ASecondBackupRewritesNothing) {
  ASSERT_TRUE(Backup().ok());
  const auto before = FileStamps(dir_.path());
  ASSERT_EQ(before.size(), 4u + 1u + 1u);  // the tracks, the manifest, one kept leading tag
  CopySummary summary;
  ASSERT_TRUE(Backup(&summary).ok());
  EXPECT_TRUE(summary.written.empty());
  EXPECT_EQ(summary.unchanged, 4u);
  EXPECT_EQ(FileStamps(dir_.path()), before);
}

TEST_F(BackupTest, AFileChangedInTheFolderIsReportedAndLeftAsItIs) {
  CopySummary summary;
  ASSERT_TRUE(Backup(&summary).ok());
  const std::string changed = File(summary.written[1]);
  std::vector<uint8_t> bytes = ReadBytes(changed);
  bytes.push_back('!');
  WriteBytes(changed, bytes);
  ASSERT_TRUE(Backup(&summary).ok());
  ASSERT_EQ(summary.changedInFolder.size(), 1u);
  EXPECT_EQ(File(summary.changedInFolder[0]), changed);
  EXPECT_TRUE(summary.written.empty());
  EXPECT_EQ(ReadBytes(changed), bytes);
}

TEST_F(BackupTest, ARetaggedFileStillRestoresAndChangedAudioIsReported) {
  CopySummary summary;
  ASSERT_TRUE(Backup(&summary).ok());
  // A tagger gives file 1 a larger tag; file 2's audio loses a byte.
  const std::string retagged = File(summary.written[0]);
  std::vector<uint8_t> bytes = ReadBytes(retagged);
  const QByteArray header(reinterpret_cast<const char*>(bytes.data()), 10);
  const uint64_t tag = LeadingId3v2Size(header);
  std::vector<uint8_t> bigger = TaggedAudio(0, 5000);
  bigger.insert(bigger.end(), bytes.begin() + std::ptrdiff_t(tag), bytes.end());
  WriteBytes(retagged, bigger);
  const std::string damaged = File(summary.written[1]);
  bytes = ReadBytes(damaged);
  bytes[bytes.size() / 2] ^= 0xFF;
  WriteBytes(damaged, bytes);

  ASSERT_NO_FATAL_FAILURE(MountFresh());
  PlayerVolume& target = fresh_volume_;
  RestoreSummary restored;
  EXPECT_EQ(Restore(target, &restored).code(), jukepak::ResultCode::kCorrupt);
  EXPECT_EQ(restored.added, 3u);
  ASSERT_EQ(restored.failures.size(), 1u);
  EXPECT_NE(restored.failures[0].error.find("no longer holds the track's audio"),
            std::string::npos);
  std::vector<uint8_t> audio, original;
  ASSERT_TRUE(
      jukepak::ReadTrackAudio(target, *target.model().playerCds[0]->tracks[0], &audio).ok());
  ASSERT_TRUE(
      jukepak::ReadTrackAudio(volume_, *volume_.model().playerCds[0]->tracks[0], &original).ok());
  EXPECT_EQ(audio, original);
}

TEST_F(BackupTest, ACancelLeavesTheManifestTrueToTheFolderAndTheNextBackupFinishes) {
  observer_.onTrack = [this](size_t index) {
    if (index == 1) volume_.RequestCancel();
  };
  CopySummary summary;
  EXPECT_EQ(Backup(&summary).code(), jukepak::ResultCode::kCancelled);
  EXPECT_TRUE(summary.cancelled);
  EXPECT_FALSE(summary.complete);
  EXPECT_FALSE(volume_.CancelRequested());
  BackupManifest manifest;
  bool found = false;
  ASSERT_TRUE(LoadManifest(folder(), &manifest, &found).ok());
  ASSERT_EQ(manifest.cds.size(), 2u);  // the whole directory, one track with its file
  std::vector<std::string> listed;
  for (const BackupCd& cd : manifest.cds) {
    for (const BackupTrack& track : cd.tracks) {
      if (track.copy) listed.push_back(File(track.copy->file));
    }
  }
  std::vector<std::string> there;
  for (const auto& [path, stamp] : FileStamps(dir_.path())) {
    if (path.ends_with(".mp3")) there.push_back(path);
  }
  EXPECT_EQ(there, listed);  // no other file, no temporary one

  observer_.onTrack = nullptr;
  ASSERT_TRUE(Backup(&summary).ok());
  EXPECT_EQ(summary.written.size(), 3u);
  EXPECT_TRUE(summary.complete);
}

TEST_F(BackupTest, ARenamedOrRenumberedTrackReplacesItsUntouchedOlderCopy) {
  CopySummary first;
  ASSERT_TRUE(Backup(&first).ok());
  jukepak::CdNode& cd = *volume_.model().playerCds[0];
  cd.tracks[1]->record.setTitle("Renamed");  // as an edit leaves the model
  CopySummary second;
  ASSERT_TRUE(Backup(&second).ok());
  EXPECT_EQ(second.written,
            std::vector<std::string>{"Bj\xc3\xb6rk/Caf\xc3\xa9 _ Nuit_ live/02 Renamed.mp3"});
  EXPECT_EQ(second.replaced, std::vector<std::string>{first.written[1]});
  EXPECT_FALSE(std::filesystem::exists(File(first.written[1])));
  EXPECT_TRUE(second.notOnPlayer.empty());
}

TEST_F(BackupTest, CopyToPcTakesAnIdenticalFileAsCopiedAndNumbersAroundAnother) {
  const jukepak::CdNode& cd = *volume_.model().playerCds[0];
  const std::vector<TrackChoice> chosen = {{&cd, 0}, {&cd, 1}};
  CopySummary first;
  ASSERT_TRUE(CopyTracks(volume_, chosen, folder(), observer_, &first).ok());
  ASSERT_EQ(first.written.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(File(kManifestName)));
  ASSERT_TRUE(jukepak::ExportTrack(volume_, cd, 0, File("x.mp3")).ok());
  EXPECT_EQ(ReadBytes(File("x.mp3")), ReadBytes(File(first.written[0])));
  WriteBytes(File(first.written[1]), {'m', 'i', 'n', 'e'});

  CopySummary again;
  ASSERT_TRUE(CopyTracks(volume_, chosen, folder(), observer_, &again).ok());
  EXPECT_EQ(again.unchanged, 1u);
  EXPECT_EQ(again.written,
            std::vector<std::string>{"Bj\xc3\xb6rk/Caf\xc3\xa9 _ Nuit_ live/02 Same (2).mp3"});
  EXPECT_EQ(ReadBytes(File(first.written[1])), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(again.changedInFolder, std::vector<std::string>{first.written[1]});
}

}  // namespace
}  // namespace frontend
