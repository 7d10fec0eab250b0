// Crash consistency: every operation that writes the volume is cut by a power
// loss after each of its written sectors in turn. After each cut the volume
// must mount, the checker's repair must leave it so that a second check finds
// nothing, and every track the operation was not about must still be there
// with its texts, its CD and its audio bytes unchanged.
//
// The run ends with one tally line on stdout: operations, cut points and
// tracks checked.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "checker/check_run.h"
#include "checker/testing/scripted_console.h"
#include "testing/fault_device.h"
#include "testing/memory_device.h"
#include "testing/scripted_device.h"
#include "testing/volume_builder.h"
#include "volume/ffmpeg_transcoder.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/remote_functions.h"
#include "volume/testing/engine_volume.h"
#include "volume/tests/test_media.h"
#include "volume/track_export.h"
#include "volume/volume_edits.h"
#include "undo/memory_undo_store.h"
#include "undo/undo_device.h"
#include "undo/undo_restore.h"

namespace jukepak {
namespace {

using testing::DeviceCall;
using testing::FaultDevice;
using testing::ScriptedDevice;
using testing::WriteRecord;

constexpr uint32_t kDiskSectors = 30000;

// One track as a fresh mount shows it.
struct TrackState {
  std::string cdArtist;
  std::string cdAlbum;
  std::string title;
  std::string artist;
  std::vector<uint8_t> audio;
};

// The directory by track title (titles are unique in these volumes); a title
// listed more than once is counted in `listings`.
struct VolumeState {
  bool mounted = false;
  std::map<std::string, TrackState> tracks;
  std::map<std::string, int> listings;
};

VolumeState ReadState(MemoryDevice& disk) {
  VolumeState state;
  QuietReporter reporter;
  PlayerVolume volume(&reporter);
  if (!testing::MountVolume(volume, &disk).ok()) return state;
  state.mounted = true;
  for (const auto& cd : volume.model().playerCds) {
    for (const auto& track : cd->tracks) {
      TrackState t{cd->record.artist(),
                   cd->record.album(),
                   track->record.title(),
                   track->record.artist(),
                   {}};
      const Result read = ReadTrackAudio(volume, *track, &t.audio);
      EXPECT_TRUE(read.ok()) << "track " << t.title << " unreadable after repair";
      ++state.listings[t.title];
      state.tracks[t.title] = std::move(t);
    }
  }
  return state;
}

// What an operation may change. Every track of the state before that is not
// named here must come through unchanged.
struct Allowance {
  std::set<std::string> mayVanish;                         // deleted or being deleted
  std::map<std::string, std::set<std::string>> mayMoveTo;  // title -> further albums
  std::map<std::string, std::string> mayRetitle;           // old title -> new title
  std::map<std::string, std::string> mayRelabelAlbum;      // old album -> new album
  std::map<std::string, TrackState> mayAppear;             // synced songs, as they must be
};

// An allowance with one field set.
template <typename Field>
Allowance With(Field Allowance::*field, Field value) {
  Allowance allow;
  allow.*field = std::move(value);
  return allow;
}

struct Tally {
  int operations = 0;
  uint64_t cutPoints = 0;
  uint64_t tracksChecked = 0;
};

Tally& RunTally() {
  static Tally tally;
  return tally;
}

bool SameTrackAsBefore(const TrackState& before, const TrackState& after, const Allowance& allow) {
  std::set<std::string> albums{before.cdAlbum};
  if (auto it = allow.mayMoveTo.find(before.title); it != allow.mayMoveTo.end()) {
    albums.insert(it->second.begin(), it->second.end());
  }
  if (auto it = allow.mayRelabelAlbum.find(before.cdAlbum); it != allow.mayRelabelAlbum.end()) {
    albums.insert(it->second);
  }
  return albums.count(after.cdAlbum) != 0 && before.artist == after.artist &&
         before.audio == after.audio;
}

// Compares the repaired volume with the state before the operation.
void ExpectNothingLost(const VolumeState& before, const VolumeState& after,
                       const Allowance& allow) {
  ASSERT_TRUE(after.mounted);
  for (const auto& [title, count] : after.listings) {
    EXPECT_EQ(count, 1) << title << " is listed " << count << " times";
  }
  std::set<std::string> seen;
  for (const auto& [title, track] : before.tracks) {
    std::string found = title;
    if (after.tracks.count(title) == 0) {
      if (auto it = allow.mayRetitle.find(title); it != allow.mayRetitle.end()) found = it->second;
    }
    auto it = after.tracks.find(found);
    if (it == after.tracks.end()) {
      EXPECT_TRUE(allow.mayVanish.count(title)) << "lost track " << title;
      continue;
    }
    seen.insert(found);
    ++RunTally().tracksChecked;
    EXPECT_TRUE(SameTrackAsBefore(track, it->second, allow))
        << title << " changed: now in " << it->second.cdAlbum;
  }
  for (const auto& [title, track] : after.tracks) {
    if (seen.count(title)) continue;
    auto it = allow.mayAppear.find(title);
    if (it == allow.mayAppear.end()) {
      ADD_FAILURE() << "unexpected track " << title;
      continue;
    }
    ++RunTally().tracksChecked;
    EXPECT_EQ(track.cdAlbum, it->second.cdAlbum) << title;
    EXPECT_EQ(track.artist, it->second.artist) << title;
    EXPECT_TRUE(track.audio == it->second.audio) << title << " synced with other bytes";
  }
}

// Repairs the disk as a user of the checker would (the console always
// answers "repair"), then checks again: the second run must find nothing.
void RepairAndRecheck(MemoryDevice& disk) {
  checker::testing::ScriptedConsole repair;
  const checker::CheckOutcome first = checker::RunCheck(disk, repair);
  disk.Close();
  EXPECT_TRUE(first == checker::CheckOutcome::kClean || first == checker::CheckOutcome::kRepaired)
      << "repair outcome " << int(first);
  checker::testing::ScriptedConsole again;
  again.decision = checker::RepairDecision::kLeave;
  EXPECT_EQ(checker::RunCheck(disk, again), checker::CheckOutcome::kClean)
      << "found after repair: " << ::testing::PrintToString(again.lines);
  disk.Close();
}

// An operation over a volume: `run` gets the fault device (over a copy of the
// starting disk) and does the whole operation, mount included; the cut is set
// by the caller through `arm`, called once the operation is ready to write.
using ArmCut = std::function<void()>;
using Operation = std::function<void(SectorDevice& device, const ArmCut& arm)>;

// Counts the operation's written sectors, then cuts the power after each of
// them in turn (0 = before the first sector lands; the full count = no cut).
// `expected` is the state to compare with; by default the state of `start`.
void CutAtEveryWrite(const std::string& name, const MemoryDevice& start, const Operation& op,
                     const Allowance& allow, const VolumeState* expected = nullptr) {
  SCOPED_TRACE(name);
  MemoryDevice reference = start;
  const VolumeState before = expected != nullptr ? *expected : ReadState(reference);
  uint64_t total = 0;
  {
    MemoryDevice copy = start;
    FaultDevice counting(&copy);
    uint64_t at_arm = 0;
    op(counting, [&] { at_arm = counting.plan().sectorsWritten(); });
    total = counting.plan().sectorsWritten() - at_arm;
  }
  ASSERT_GT(total, 0u) << name << " wrote nothing";
  for (uint64_t cut = 0; cut <= total; ++cut) {
    SCOPED_TRACE("power cut after sector " + std::to_string(cut) + " of " + std::to_string(total));
    MemoryDevice copy = start;
    {
      FaultDevice faulty(&copy);
      op(faulty, [&] { faulty.plan().CutPowerAfterSectors(cut); });
    }
    {
      // The mount of the cut volume itself must neither crash nor hang.
      QuietReporter reporter;
      PlayerVolume volume(&reporter);
      (void)testing::MountVolume(volume, &copy);
    }
    RepairAndRecheck(copy);
    ExpectNothingLost(before, ReadState(copy), allow);
    ++RunTally().cutPoints;
    if (::testing::Test::HasFailure()) return;  // the first failing cut tells enough
  }
  ++RunTally().operations;
  std::printf("%s: %llu cut points\n", name.c_str(), static_cast<unsigned long long>(total + 1));
}

// Runs `edit` on a volume mounted over `device`.
Operation OverMountedVolume(std::function<Result(PlayerVolume&)> edit) {
  return [edit](SectorDevice& device, const ArmCut& arm) {
    QuietReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(testing::MountVolume(volume, &device).ok());
    arm();
    (void)edit(volume);
  };
}

testing::SongContent Song(const std::string& title, const std::string& artist, size_t bytes,
                          uint32_t seed) {
  return {title, artist, testing::TestAudio(bytes, seed)};
}

// Four CDs in directory order A, B, C, D of two or three short tracks each
// (one or two clusters).
std::vector<testing::CdContent> StartingCds() {
  return {
      {"Ann", "Album A", {Song("a1", "Ann", 5000, 1), Song("a2", "Ann", 14000, 2)}},
      {"Bob",
       "Album B",
       {Song("b1", "Bob", 9000, 3), Song("b2", "Bob", 3000, 4), Song("b3", "Bob", 12000, 5)}},
      {"Cy", "Album C", {Song("c1", "Cy", 7000, 6), Song("c2", "Cy", 16000, 7)}},
      {"Di", "Album D", {Song("d1", "Di", 4000, 8), Song("d2", "Di", 8500, 9)}},
  };
}

// Prints the tally once, when every test of the run has ended.
class TallyPrinter : public ::testing::Environment {
 public:
  void TearDown() override {
    const Tally& t = RunTally();
    std::printf("crash consistency: %d operations, %llu cut points, %llu tracks checked\n",
                t.operations, static_cast<unsigned long long>(t.cutPoints),
                static_cast<unsigned long long>(t.tracksChecked));
    std::fflush(stdout);
  }
};
const auto* const kTallyPrinter = ::testing::AddGlobalTestEnvironment(new TallyPrinter);

class CrashConsistency : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::BuildVolume(&start, StartingCds()).ok()); }

  // CD `cd` (0 = the top of the directory) of a mounted volume.
  static CdNode* Cd(PlayerVolume& volume, size_t cd) {
    return volume.model().playerCds.at(cd).get();
  }
  static std::set<std::string> TitlesOf(size_t cd) {
    std::set<std::string> titles;
    const std::vector<testing::CdContent> cds = StartingCds();
    for (const auto& song : cds.at(cd).songs) titles.insert(song.title);
    return titles;
  }

  // A volume where C's second track record and E's only track record are
  // damaged, so the repair rewrites C's record, frees two chains and removes
  // E from the middle of the run, moving the CD records below it.
  static MemoryDevice DamagedVolume() {
    std::vector<testing::CdContent> cds = StartingCds();
    cds.insert(cds.begin() + 1,
               testing::CdContent{"Eve", "Album E", {Song("e1", "Eve", 6000, 10)}});
    MemoryDevice damaged(kDiskSectors);
    EXPECT_TRUE(testing::BuildVolume(&damaged, cds).ok());
    QuietReporter reporter;
    PlayerVolume volume(&reporter);
    EXPECT_TRUE(testing::MountVolume(volume, &damaged).ok());
    const auto& header = volume.model().header;
    for (auto [cd, slot] : {std::pair<size_t, size_t>{1, 0}, {3, 1}}) {
      const uint32_t first = Cd(volume, cd)->tracks.at(slot)->firstCluster;
      damaged.sector(uint32_t(header.ClusterSector(first)))[0] = 'X';  // "MPTK" broken
    }
    return damaged;
  }

  MemoryDevice start{kDiskSectors};
};

TEST_F(CrashConsistency, DeletingATrack) {
  CutAtEveryWrite("delete track b2", start, OverMountedVolume([](PlayerVolume& v) {
                    return DeletePlayerTrack(v, Cd(v, 1), 1);
                  }),
                  With(&Allowance::mayVanish, {"b2"}));
}

TEST_F(CrashConsistency, DeletingACdAtTheTopMiddleAndBottomOfTheRun) {
  for (size_t cd : {size_t(0), size_t(2), size_t(3)}) {
    CutAtEveryWrite(
        "delete CD " + std::to_string(cd + 1), start,
        OverMountedVolume([cd](PlayerVolume& v) { return DeletePlayerCd(v, Cd(v, cd)); }),
        With(&Allowance::mayVanish, TitlesOf(cd)));
  }
}

TEST_F(CrashConsistency, DeletingAnEmptyCdInTheMiddleOfTheRun) {
  std::vector<testing::CdContent> cds = StartingCds();
  cds.insert(cds.begin() + 2, testing::CdContent{"Nobody", "Empty", {}});
  MemoryDevice with_empty(kDiskSectors);
  ASSERT_TRUE(testing::BuildVolume(&with_empty, cds).ok());
  CutAtEveryWrite("delete the empty CD 3", with_empty, OverMountedVolume([](PlayerVolume& v) {
                    return DeletePlayerCd(v, Cd(v, 2));
                  }),
                  Allowance{});
}

TEST_F(CrashConsistency, MovingATrackWithinAndBetweenCds) {
  CutAtEveryWrite("move b1 within B", start, OverMountedVolume([](PlayerVolume& v) {
                    return MoveTrack(v, Cd(v, 1), 0, Cd(v, 1), 2);
                  }),
                  Allowance{});
  CutAtEveryWrite("move b3 from B to D", start, OverMountedVolume([](PlayerVolume& v) {
                    return MoveTrack(v, Cd(v, 1), 2, Cd(v, 3), 1);
                  }),
                  With(&Allowance::mayMoveTo, {{"b3", {"Album D"}}}));
}

TEST_F(CrashConsistency, RenamingATrackAndACd) {
  CutAtEveryWrite("rename track c2", start, OverMountedVolume([](PlayerVolume& v) {
                    return RenameTrack(v, Cd(v, 2), 1, "Cy", "c2 renamed");
                  }),
                  With(&Allowance::mayRetitle, {{"c2", "c2 renamed"}}));
  CutAtEveryWrite("rename CD C", start, OverMountedVolume([](PlayerVolume& v) {
                    return RenameCd(v, Cd(v, 2), "Cy", "Album C2");
                  }),
                  With(&Allowance::mayRelabelAlbum, {{"Album C", "Album C2"}}));
}

TEST_F(CrashConsistency, WritingTheRemoteTable) {
  CutAtEveryWrite("write the remote table", start, OverMountedVolume([](PlayerVolume& v) {
                    RemoteAssignments entries = LoadRemoteAssignments(v.model().header);
                    entries[0] = RemoteEntryFor(0x1234, 1);
                    entries[5] = RemoteEntryFor(0x4321, 6);
                    StoreRemoteAssignments(entries, &v.model().header);
                    return v.WriteHeader();
                  }),
                  Allowance{});
}

// The sync reads its songs from MP3 files on the PC.
class SyncCrashConsistency : public CrashConsistency {
 protected:
  // Writes a tagged MP3 file and returns the track it must become.
  TrackState Mp3File(const std::string& title, const std::string& artist, const std::string& album,
                     int number, double seconds) {
    const std::string path = dir / (title + ".mp3");
    testing::WriteBytes(path, testing::TaggedMp3(seconds, title, artist, album, number));
    files.push_back(path);
    return {artist, album, title, artist, testing::Mp3Audio(seconds)};
  }

  // Writes a WAV file (no tags) and returns the track its conversion must
  // become: the MP3 the encoder makes of it, which is the same every time.
  TrackState WavFile(const std::string& name, double seconds) {
    const std::string path = dir / name;
    testing::WriteTone(path, 22050, seconds);
    files.push_back(path);
    EncodedAudio mp3;
    const std::atomic<bool> no_stop{false};
    EXPECT_TRUE(FfmpegTranscoder().Convert(path, kDefaultBitrateKbps, no_stop, &mp3).ok());
    std::vector<uint8_t> audio(mp3.size());
    size_t got = 0;
    EXPECT_TRUE(mp3.Read(audio.data(), audio.size(), &got).ok());
    return {"Unknown", "New CD", name, "Unknown", audio};
  }

  Operation Sync() {
    return [this](SectorDevice& device, const ArmCut& arm) {
      QuietReporter reporter;
      PlayerVolume volume(&reporter);
      ASSERT_TRUE(testing::MountVolume(volume, &device).ok());
      for (const auto& path : files) ASSERT_TRUE(AddFile(volume, path, std::nullopt).ok());
      arm();
      (void)volume.RunJobNow(Job::kSync);
    };
  }

  testing::TempDir dir;
  std::vector<std::string> files;
};

TEST_F(SyncCrashConsistency, SyncCreatingACd) {
  Allowance allow;
  for (auto t :
       {Mp3File("n1", "Nia", "Album N", 1, 0.4), Mp3File("n2", "Nia", "Album N", 2, 0.2)}) {
    allow.mayAppear[t.title] = t;
  }
  CutAtEveryWrite("sync a new CD", start, Sync(), allow);
}

TEST_F(SyncCrashConsistency, SyncIntoAnExistingCd) {
  Allowance allow;
  for (auto t :
       {Mp3File("b4", "Bob", "Album B", 4, 0.3), Mp3File("b5", "Bob", "Album B", 5, 0.2)}) {
    allow.mayAppear[t.title] = t;
  }
  CutAtEveryWrite("sync into CD B", start, Sync(), allow);
}

TEST_F(SyncCrashConsistency, SyncConvertingASong) {
  Allowance allow;
  for (auto t : {WavFile("w1.wav", 0.6), Mp3File("n1", "Nia", "New CD", 1, 0.2)}) {
    allow.mayAppear[t.title] = t;
  }
  CutAtEveryWrite("sync converting a WAV", start, Sync(), allow);
}

// A volume whose CD run fills its cluster and whose cluster just below it
// belongs to a track: the first cluster of a one-cluster track, or the last
// cluster of a longer one. A CD deleted from the middle of the audio area
// leaves room, so a sync of a new CD moves that cluster out of the way.
MemoryDevice VolumeWithATrackBelowTheCdRun(bool first_cluster) {
  constexpr uint32_t kSectors = 1000;  // clusters 2..59 for tracks, 60 for 16 CD records
  std::vector<testing::CdContent> cds;
  const std::vector<testing::SongContent> top =
      first_cluster ? std::vector{Song("t1", "Tia", 22 * 8192 - 10239, 20),
                                  Song("t2", "Tia", 5000, 21)}             // 37..58, 59
                    : std::vector{Song("t1", "Tia", 23 * 8192 - 10239, 20)};  // 37..59
  cds.push_back({"Tia", "Album T", top});
  cds.push_back({"Gus", "Album G", {Song("g1", "Gus", 20 * 8192 - 10239, 30),  // 16..35
                                    Song("g2", "Gus", 5000, 31)}});            // 36
  for (uint32_t i = 0; i < 14; ++i) {                                          // 2..15
    const std::string n = std::to_string(i);
    cds.push_back({"Art", "Album " + n, {Song("s" + n, "Art", 5000, 40 + i)}});
  }
  MemoryDevice disk(kSectors);
  EXPECT_TRUE(testing::BuildVolume(&disk, cds).ok());
  QuietReporter reporter;
  PlayerVolume volume(&reporter);
  EXPECT_TRUE(testing::MountVolume(volume, &disk).ok());
  EXPECT_NE(volume.model().fat.entry(59), format::kFatFree);
  EXPECT_TRUE(DeletePlayerTrack(volume, volume.model().playerCds.at(1).get(), 0).ok());
  return disk;
}

TEST_F(SyncCrashConsistency, SyncMovingTheTrackClusterBelowTheCdRun) {
  Allowance allow;
  const TrackState n1 = Mp3File("n1", "Nia", "Album N", 1, 0.4);
  allow.mayAppear[n1.title] = n1;
  for (bool first_cluster : {true, false}) {
    CutAtEveryWrite(first_cluster ? "sync moving a track's first cluster"
                                  : "sync moving a track's last cluster",
                    VolumeWithATrackBelowTheCdRun(first_cluster), Sync(), allow);
  }
}

// The initialization is what the user asked for over the whole disk; a cut
// must leave either a disk that is still offered for initialization or a
// sound empty volume.
TEST_F(CrashConsistency, Initializing) {
  for (bool over_volume : {false, true}) {
    MemoryDevice disk(kDiskSectors);
    if (over_volume) {
      disk = start;
    } else {
      for (size_t i = 0; i < disk.bytes().size(); ++i) disk.bytes()[i] = uint8_t(i * 7 + 3);
    }
    const std::string name = over_volume ? "initialize over a volume" : "initialize a blank disk";
    SCOPED_TRACE(name);
    auto init = [](SectorDevice& device, const ArmCut& arm) {
      QuietReporter reporter;
      PlayerVolume volume(&reporter);
      ASSERT_TRUE(volume.BindDevice(std::make_unique<ForwardingDevice>(&device)).ok());
      arm();
      (void)volume.RunJobNow(Job::kInit);
    };
    uint64_t total = 0;
    {
      MemoryDevice copy = disk;
      FaultDevice counting(&copy);
      init(counting, [] {});
      total = counting.plan().sectorsWritten();
    }
    ASSERT_GT(total, 0u);
    for (uint64_t cut = 0; cut <= total; ++cut) {
      SCOPED_TRACE("power cut after sector " + std::to_string(cut));
      MemoryDevice copy = disk;
      {
        FaultDevice faulty(&copy);
        init(faulty, [&] { faulty.plan().CutPowerAfterSectors(cut); });
      }
      QuietReporter reporter;
      PlayerVolume volume(&reporter);
      ASSERT_TRUE(volume.BindDevice(std::make_unique<ForwardingDevice>(&copy)).ok());
      const bool signed_volume = volume.CheckVolume();
      if (!over_volume && cut < total) {
        EXPECT_FALSE(signed_volume) << "a torn initialization looks like a volume";
      }
      if (signed_volume) {
        (void)volume.RunJobNow(Job::kMount);
        volume.UnbindDriver();
        RepairAndRecheck(copy);
        const VolumeState after = ReadState(copy);
        EXPECT_TRUE(after.mounted);
        if (cut == total) {
          EXPECT_TRUE(after.tracks.empty());
        }
      }
      ++RunTally().cutPoints;
      if (HasFailure()) return;
    }
    ++RunTally().operations;
    std::printf("%s: %llu cut points\n", name.c_str(), static_cast<unsigned long long>(total + 1));
  }
}

// The checker's own repair of DamagedVolume(), cut: the repair of the cut
// volume must keep every track that the uncut repair keeps.
TEST_F(CrashConsistency, TheCheckersRepair) {
  MemoryDevice damaged = DamagedVolume();
  MemoryDevice repaired = damaged;
  RepairAndRecheck(repaired);
  const VolumeState kept = ReadState(repaired);
  ASSERT_EQ(kept.tracks.size(), 8u);
  CutAtEveryWrite(
      "the checker's repair", damaged,
      [](SectorDevice& device, const ArmCut& arm) {
        arm();
        checker::testing::ScriptedConsole console;
        (void)checker::RunCheck(device, console);
      },
      Allowance{}, &kept);
}

// Undo files. An operation runs through an undo file and is cut by a power
// loss after each of its written sectors in turn; the undo file loses what
// the cut leaves unsynced, in three ways: the save of the first write that
// did not land is lost, whole, or torn. The undo from what is left must give
// the disk back byte for byte. Then the undo itself is cut at each of its
// writes and simply run again, with the same result.
using UndoOperation = std::function<void(SectorDevice& device)>;

enum class SaveAtCut { kLost, kWhole, kTorn };

undo::MemoryUndoStore Prefix(const undo::MemoryUndoStore& store, uint64_t size) {
  undo::MemoryUndoStore prefix;
  EXPECT_TRUE(prefix.Append(store.bytes().data(), size_t(std::min<uint64_t>(size, store.Size()))).ok());
  EXPECT_TRUE(prefix.Sync().ok());
  return prefix;
}

void ExpectUndoGivesBack(MemoryDevice& disk, undo::UndoStore& file, const MemoryDevice& start) {
  undo::UndoReport report;
  ASSERT_TRUE(undo::RestoreUndoFile(disk, file, false, &report).ok());
  EXPECT_EQ(report.refusal, undo::UndoRefusal::kNone);
  EXPECT_TRUE(disk.bytes() == start.bytes()) << "the undo did not give the disk back";
}

void UndoCutAtEveryWrite(const std::string& name, const MemoryDevice& start,
                         const UndoOperation& op) {
  SCOPED_TRACE(name);
  // The whole operation, then its undo.
  MemoryDevice done = start;
  undo::MemoryUndoStore file;
  uint64_t total = 0;
  {
    FaultDevice counting(&done);
    undo::UndoDevice undo(&counting, &file, name);
    op(undo);
    ASSERT_TRUE(undo.Finish().ok());
    total = counting.plan().sectorsWritten();
  }
  ASSERT_GT(total, 0u) << name << " wrote nothing";
  {
    MemoryDevice undone = done;
    undo::MemoryUndoStore copy = file;
    ExpectUndoGivesBack(undone, copy, start);
  }
  for (uint64_t cut = 0; cut < total; ++cut) {
    for (SaveAtCut save : {SaveAtCut::kLost, SaveAtCut::kWhole, SaveAtCut::kTorn}) {
      SCOPED_TRACE("power cut after sector " + std::to_string(cut) + ", save " +
                   std::to_string(int(save)));
      MemoryDevice disk = start;
      undo::MemoryUndoStore store;
      FaultDevice faulty(&disk);
      faulty.plan().CutPowerAfterSectors(cut);
      // Between the undo device and the cut: when a write did not land whole,
      // and how long the undo file was after the last one that landed.
      ScriptedDevice recorder(&faulty);
      bool dropped = false;
      uint64_t landed_size = 0;
      recorder.AfterWrite([&](const DeviceCall&, const Result&) {
        const WriteRecord& write = faulty.plan().lastWrite();
        if (write.landed > 0) landed_size = store.Size();
        if (write.landed < write.count) dropped = true;
      });
      store.SetPowerSource([&] {
        return save == SaveAtCut::kLost ? !faulty.plan().powerCut() : !dropped;
      });
      {
        undo::UndoDevice undo(&recorder, &store, name);
        op(undo);
        (void)undo.Finish();
      }
      undo::MemoryUndoStore left =
          save == SaveAtCut::kTorn ? Prefix(store, landed_size + 100) : store;
      ExpectUndoGivesBack(disk, left, start);
      ++RunTally().cutPoints;
      if (::testing::Test::HasFailure()) return;
    }
  }
  // The undo, cut at each of its writes, then run again.
  uint64_t undo_writes = 0;
  {
    MemoryDevice undone = done;
    undo::MemoryUndoStore copy = file;
    FaultDevice counting(&undone);
    undo::UndoReport report;
    ASSERT_TRUE(undo::RestoreUndoFile(counting, copy, false, &report).ok());
    undo_writes = counting.plan().sectorsWritten();
  }
  for (uint64_t cut = 0; cut < undo_writes; ++cut) {
    SCOPED_TRACE("undo cut after sector " + std::to_string(cut));
    MemoryDevice disk = done;
    undo::MemoryUndoStore copy = file;
    {
      FaultDevice faulty(&disk);
      faulty.plan().CutPowerAfterSectors(cut);
      copy.SetPowerSource([&] { return !faulty.plan().powerCut(); });
      undo::UndoReport report;
      (void)undo::RestoreUndoFile(faulty, copy, false, &report);
      copy.SetPowerSource(nullptr);
      copy.CutPower();
    }
    ExpectUndoGivesBack(disk, copy, start);
    ++RunTally().cutPoints;
    if (::testing::Test::HasFailure()) return;
  }
  ++RunTally().operations;
  std::printf("%s: %llu cut points, its undo %llu\n", name.c_str(),
              static_cast<unsigned long long>(3 * total + 1),
              static_cast<unsigned long long>(undo_writes));
}

TEST_F(CrashConsistency, TheCheckersRepairWithAnUndoFile) {
  UndoCutAtEveryWrite("fsck -y --undo", DamagedVolume(), [](SectorDevice& device) {
    checker::testing::ScriptedConsole console;
    (void)checker::RunCheck(device, console);
  });
}

// Initializing writes every FAT sector: a small disk keeps the cuts few.
constexpr uint32_t kSmallDiskSectors = 4096;

TEST_F(CrashConsistency, ReinitializingWithAnUndoFile) {
  MemoryDevice broken(kSmallDiskSectors);
  ASSERT_TRUE(testing::BuildVolume(&broken, StartingCds()).ok());
  broken.sector(0)[0] = 'X';  // no signature: only a fresh volume remains
  UndoCutAtEveryWrite("fsck -y --reinit --undo", broken, [](SectorDevice& device) {
    checker::testing::ScriptedConsole console;
    (void)checker::RunCheck(device, console);
  });
}

TEST_F(CrashConsistency, InitializingWithAnUndoFile) {
  MemoryDevice small(kSmallDiskSectors);
  ASSERT_TRUE(testing::BuildVolume(&small, StartingCds()).ok());
  UndoCutAtEveryWrite("init --undo", small, [](SectorDevice& device) {
    QuietReporter reporter;
    PlayerVolume volume(&reporter);
    ASSERT_TRUE(volume.BindDevice(std::make_unique<ForwardingDevice>(&device)).ok());
    (void)volume.RunJobNow(Job::kInit);
  });
}

}  // namespace
}  // namespace jukepak
