// The sync job on an in-memory disk: what it writes (checked by an
// independent reading of the disk and by a fresh mount), the progress feed,
// and how cancel, a full player, unreadable files, the 100-track limit and
// failed driver writes leave a volume the next sync continues on; songs
// converted on the pipeline's threads (through the stand-in transcoder), and
// songs already on the player.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "testing/scripted_device.h"
#include "testing/volume_builder.h"
#include "volume/duplicate_songs.h"
#include "volume/index_marks.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/space_accounting.h"
#include "volume/volume_edits.h"
#include "volume/testing/fake_media.h"
#include "volume/testing/engine_volume.h"
#include "volume/tests/test_media.h"
#include "volume/tests/volume_audit.h"

namespace jukepak {
namespace {

using testing::Tree;

using testing::Append;
using testing::DeviceCall;
using testing::Op;
using testing::ScriptedDevice;
using testing::Audit;
using testing::AuditVolume;
using testing::Mp3Audio;
using testing::ReadBytes;
using testing::RecordingReporter;
using testing::TaggedMp3;
using testing::TempDir;
using testing::TrackAudio;
using testing::WriteBytes;

struct Player {
  explicit Player(uint32_t sectors) : disk(sectors), volume(&reporter) {
    Rebind();
    EXPECT_TRUE(volume.RunJobNow(Job::kInit).ok());
  }
  void Rebind() {
    auto scripted = std::make_unique<ScriptedDevice>(&disk);
    device = scripted.get();
    EXPECT_TRUE(volume.BindDevice(std::move(scripted)).ok());
    volume.SetDeviceState(DeviceState::kStartUp);
  }
  Result Add(const std::string& path) { return AddFile(volume, path, std::nullopt); }
  Result Sync() { return volume.RunJobNow(Job::kSync); }
  size_t PendingSongs() {
    size_t n = 0;
    for (const auto& cd : volume.model().TEST_pendingCds()) n += cd->pendingTracks.size();
    return n;
  }

  MemoryDevice disk;
  RecordingReporter reporter;
  PlayerVolume volume;
  ScriptedDevice* device = nullptr;
};

// A second engine that mounts the same disk from scratch.
struct Remount {
  explicit Remount(MemoryDevice& disk) : volume(&reporter) {
    EXPECT_TRUE(volume.BindDevice(std::make_unique<ForwardingDevice>(&disk)).ok());
    EXPECT_TRUE(volume.CheckVolume());
    EXPECT_TRUE(volume.RunJobNow(Job::kMount).ok());
  }
  RecordingReporter reporter;
  PlayerVolume volume;
};

std::vector<uint8_t> WithoutId3v1(std::vector<uint8_t> bytes) {
  bytes.resize(bytes.size() - 128);
  return bytes;
}

void ExpectSound(const Audit& audit, size_t leaked = 0) {
  EXPECT_TRUE(audit.errors.empty()) << ::testing::PrintToString(audit.errors);
  EXPECT_EQ(audit.leakedClusters, leaked);
}

// The sector and count of every write call, oldest first.
std::vector<std::pair<uint32_t, uint32_t>> Writes(const ScriptedDevice& device) {
  std::vector<std::pair<uint32_t, uint32_t>> writes;
  for (const DeviceCall& call : device.calls())
    if (call.op == Op::kWrite) writes.push_back({call.sector, call.count});
  return writes;
}

size_t TracksOnDisk(const Audit& audit) {
  size_t n = 0;
  for (const auto& cd : audit.cds) n += cd.tracks.size();
  return n;
}

TEST(SyncJob, WritesEveryPendingCdAsAFreshMountReadsIt) {
  TempDir dir;
  Player p(8000);
  const std::string a1 = dir / "a1.mp3", a2 = dir / "a2.mp3", b1 = dir / "b1.mp3";
  WriteBytes(a1, TaggedMp3(10.0, "First", "Band", "Album", 1));
  // An ID3v2 tag at the start stays part of the audio bytes.
  std::vector<uint8_t> second = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
  second.resize(30, 0);
  Append(&second, TaggedMp3(4.0, "Second", "Band", "Album", 2));
  WriteBytes(a2, second);
  WriteBytes(b1, Mp3Audio(1.0));
  ASSERT_TRUE(p.Add(a2).ok());
  ASSERT_TRUE(p.Add(b1).ok());
  ASSERT_TRUE(p.Add(a1).ok());
  const uint32_t free_before = p.volume.FreeKilobytes();
  const uint32_t estimate = p.volume.EstimateDownloadKilobytes();

  ASSERT_TRUE(p.Sync().ok());

  EXPECT_EQ(p.volume.FreeKilobytes(), free_before - estimate);  // every CD is new
  EXPECT_TRUE(p.volume.model().TEST_pendingCds().empty());
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "");
  const std::string player_tree = "Band / Album\n  First\n  Second\nUnknown / New CD\n  b1.mp3\n";
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), player_tree);
  const std::vector<std::string> statuses = p.reporter.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Writing new tracks..."), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "a1.mp3"), statuses.end());
  EXPECT_EQ(statuses.back(), "Ready");
  EXPECT_EQ(p.volume.deviceState(), DeviceState::kReady);
  EXPECT_EQ(p.volume.busyState(), BusyState::kIdle);

  Remount fresh(p.disk);
  EXPECT_EQ(fresh.reporter.TreeText(Tree::kPlayer), player_tree);

  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  const VolumeHeader& h = audit.header;
  EXPECT_EQ(h.cdCount(), 2u);
  EXPECT_EQ(h.cdStart(), h.AudioEndSector() - 2);
  ASSERT_EQ(audit.cds.size(), 2u);
  EXPECT_EQ(audit.cds[1].sector, h.AudioEndSector() - 1);  // the first CD written
  EXPECT_EQ(audit.cds[1].record.album(), "New CD");
  ASSERT_EQ(audit.cds[0].tracks.size(), 2u);
  const std::vector<std::vector<uint8_t>> files = {WithoutId3v1(ReadBytes(a1)),
                                                   WithoutId3v1(ReadBytes(a2))};
  for (size_t t = 0; t < 2; ++t) {
    bool zero_tail = false;
    const auto& track = audit.cds[0].tracks[t];
    EXPECT_EQ(TrackAudio(p.disk, audit, track, &zero_tail), files[t]) << t;
    EXPECT_TRUE(zero_tail);
    EXPECT_EQ(track.record.size(), files[t].size() + 1024);
    EXPECT_EQ(track.record.artist(), "Band");
  }
  // 10 s of 128 kbit/s frames: 5 marks, the first at 0:00.0 in the first cluster.
  const auto& first = audit.cds[0].tracks[0];
  const double seconds = double(files[0].size() / 417) * 1152.0 / 44100.0;
  EXPECT_EQ(first.record.CountIndexMarks(), int(IndexMarkCount(seconds)));
  EXPECT_EQ(LoadLe24(first.record.indexSlot(0)), first.chain[0]);
  EXPECT_EQ(first.record.indexSlot(0)[3], 0);
}

TEST(SyncJob, AFileOfManyPiecesLandsWholeWithTheMarksOfItsWholeScan) {
  TempDir dir;
  Player p(8000);
  const std::string path = dir / "long.mp3";
  WriteBytes(path, TaggedMp3(160.0, "Long", "A", "B", 1));  // 2.5 MB: three reader pieces
  ASSERT_TRUE(p.Add(path).ok());
  ASSERT_TRUE(p.Sync().ok());

  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  ASSERT_EQ(audit.cds.size(), 1u);
  const auto& track = audit.cds[0].tracks.at(0);
  const std::vector<uint8_t> audio = WithoutId3v1(ReadBytes(path));
  bool zero_tail = false;
  EXPECT_TRUE(TrackAudio(p.disk, audit, track, &zero_tail) == audio);
  EXPECT_TRUE(zero_tail);
  std::vector<double> times(track.chain.size(), 0.0);
  TrackRecord expected;
  PlaceIndexMarks(ScanMpegFrames(audio, times), times, track.chain, &expected);
  ASSERT_EQ(track.record.CountIndexMarks(), 80);  // into the record's second sector
  EXPECT_TRUE(
      std::equal(track.record.data() + 128, track.record.data() + 1024, expected.data() + 128));
}

size_t ThreadsOfThisProcess() {
  const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
  return size_t(std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks)));
}

bool OpenInThisProcess(const std::string& path) {
  const std::filesystem::path file = std::filesystem::canonical(path);
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(fd.path(), ignored) == file) return true;
  }
  return false;
}

// What happens at the sync's first write, while the reader is inside the
// long song's file (it holds more pieces than the reader reads ahead).
enum class Stop { kCancel, kDriverFails, kFileShrinks, kFileGrows, kFileGrewBeforeTheSync };

TEST(SyncJob, ASongStoppedMidFileLeavesNoReaderNoOpenFileAndNoneOfItsClustersInUse) {
  struct Case {
    Stop stop;
    ResultCode code;
    size_t pending;  // the long song, and the short one when the job stops
  } cases[] = {
      {Stop::kCancel, ResultCode::kCancelled, 2},
      {Stop::kDriverFails, ResultCode::kIoError, 2},
      {Stop::kFileShrinks, ResultCode::kIoError, 1},  // a short read of its fifth piece
      {Stop::kFileGrows, ResultCode::kIoError, 1},
      {Stop::kFileGrewBeforeTheSync, ResultCode::kIoError, 1},
  };
  TempDir dir;
  const std::string long_song = dir / "a.mp3", other = dir / "b.mp3";
  const std::vector<uint8_t> long_bytes = TaggedMp3(400.0, "Long", "A", "B", 1);  // 6.4 MB
  WriteBytes(other, TaggedMp3(1.0, "Other", "A", "B", 2));
  auto grow = [&] { std::ofstream(long_song, std::ios::app | std::ios::binary).put('x'); };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.stop));
    WriteBytes(long_song, long_bytes);
    Player p(16000);
    ASSERT_TRUE(p.Add(long_song).ok());
    ASSERT_TRUE(p.Add(other).ok());
    if (c.stop == Stop::kFileGrewBeforeTheSync) grow();
    const size_t threads = ThreadsOfThisProcess();
    p.device->ClearCalls();
    p.device->BeforeEach([&](const DeviceCall& call) -> std::optional<Result> {
      if (call.op != Op::kWrite || call.number != 1) return std::nullopt;
      if (c.stop == Stop::kCancel) p.volume.RequestCancel();
      if (c.stop == Stop::kDriverFails) return Result::Error(ResultCode::kIoError, "cable out");
      if (c.stop == Stop::kFileShrinks) std::filesystem::resize_file(long_song, 4500 * 1024);
      if (c.stop == Stop::kFileGrows) grow();
      return std::nullopt;
    });

    const Result r = p.Sync();
    EXPECT_EQ(r.code(), c.code) << r.message();
    if (c.pending == 1) EXPECT_NE(r.message().find(long_song), std::string::npos) << r.message();
    EXPECT_EQ(ThreadsOfThisProcess(), threads);  // the reader is joined
    EXPECT_FALSE(OpenInThisProcess(long_song));
    ASSERT_EQ(p.PendingSongs(), c.pending);
    EXPECT_EQ(p.volume.model().TEST_pendingCds()[0]->pendingTracks[0]->sourcePath, long_song);
    const Audit audit = AuditVolume(p.disk);
    ExpectSound(audit);
    EXPECT_EQ(TracksOnDisk(audit), 2 - c.pending);
    Remount fresh(p.disk);  // the model holds no cluster of the song that stopped
    EXPECT_EQ(p.volume.FreeKilobytes(), fresh.volume.FreeKilobytes());
  }
}

TEST(SyncJob, EachRunOfClustersIsOneWriteAndTheRecordFollowsTheAudio) {
  TempDir dir;
  Player p(8000);
  WriteBytes(dir / "x.mp3",
             TaggedMp3(2.0, "X", "A", "B", 1));  // 77 frames, 32109 bytes: 5 clusters
  WriteBytes(dir / "y.mp3", TaggedMp3(0.1, "Y", "A", "B", 2));  // 1 cluster
  ASSERT_TRUE(p.Add(dir / "x.mp3").ok());
  ASSERT_TRUE(p.Add(dir / "y.mp3").ok());
  // A cluster in use two clusters on splits X's chain into two runs.
  const uint32_t c = p.volume.model().nextFreeCluster;
  p.volume.model().fat.set(c + 2, format::kFatEndOfChain);
  p.device->ClearCalls();
  ASSERT_TRUE(p.Sync().ok());
  const uint32_t free_before = p.reporter.progressEvents().front().freeKilobytes;
  EXPECT_EQ(p.reporter.progress(),
            (std::vector<std::string>{"cd 1/1 track 1/2 song 1/2 X 0/5",
                                      "cd 1/1 track 1/2 song 1/2 X 2/5",
                                      "cd 1/1 track 1/2 song 1/2 X 5/5",
                                      "cd 1/1 track 2/2 song 2/2 Y 0/1",
                                      "cd 1/1 track 2/2 song 2/2 Y 1/1"}));
  // The bytes and the free space follow the runs as they are written.
  const std::vector<SyncProgress> events = p.reporter.progressEvents();
  EXPECT_EQ(events[1].bytesWritten, 2 * 8192u - 1024);
  EXPECT_EQ(events[2].freeKilobytes, free_before - 5 * 8);
  EXPECT_EQ(events.back().bytesWritten, events.back().bytesTotal);
  EXPECT_EQ(events.back().freeKilobytes, free_before - 6 * 8);
  EXPECT_EQ(p.reporter.directory().freeKilobytes, free_before - 6 * 8);
  const VolumeHeader& h = p.volume.model().header;
  auto at = [&](uint32_t cluster) { return uint32_t(h.ClusterSector(cluster)); };
  const std::vector<std::pair<uint32_t, uint32_t>> x = {
      {at(c) + 2, 30}, {at(c + 3), 48}, {at(c), 2}};  // two runs of audio, then the record
  const std::vector<std::pair<uint32_t, uint32_t>> writes = Writes(*p.device);
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(std::vector(writes.begin(), writes.begin() + 3), x);
  const auto y = std::find(writes.begin() + 3, writes.end(),
                           std::pair<uint32_t, uint32_t>{at(c + 6) + 2, 14});
  ASSERT_NE(y, writes.end());
  EXPECT_EQ(*(y + 1), (std::pair<uint32_t, uint32_t>{at(c + 6), 2}));
}

TEST(SyncJob, EmptyListStillEndsTheJob) {
  Player p(2000);
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_TRUE(p.reporter.progress().empty());
  ASSERT_EQ(p.reporter.jobs().size(), 2u);  // the initialization, then the sync
  EXPECT_EQ(p.reporter.jobs().back().job, Job::kSync);
  EXPECT_TRUE(p.reporter.jobs().back().result.ok());
  EXPECT_EQ(p.reporter.lastStatus(), "Ready");
  EXPECT_EQ(p.volume.busyState(), BusyState::kIdle);
}

TEST(SyncJob, SongsForAPlayerCdAreAppendedToIt) {
  TempDir dir;
  Player p(8000);
  WriteBytes(dir / "1.mp3", TaggedMp3(1.0, "One", "A", "B", 5));
  WriteBytes(dir / "2.mp3", TaggedMp3(1.0, "Two", "Guest", "B", 1));
  WriteBytes(dir / "3.mp3", TaggedMp3(1.0, "Three", "A", "B", 1));
  ASSERT_TRUE(p.Add(dir / "1.mp3").ok());
  ASSERT_TRUE(p.Sync().ok());
  const uint32_t sector = p.volume.model().playerCds[0]->sector;
  const uint64_t item = p.volume.model().playerCds[0]->id;
  ASSERT_TRUE(p.Add(dir / "3.mp3").ok());  // a lower track number still comes after
  ASSERT_TRUE(p.Add(dir / "2.mp3").ok());  // same album, other artist: another CD
  const uint32_t free_before = p.volume.FreeKilobytes();
  const uint32_t estimate = p.volume.EstimateDownloadKilobytes();
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_LE(free_before - p.volume.FreeKilobytes(), estimate);
  ASSERT_EQ(p.volume.model().playerCds.size(), 2u);
  const CdNode& ab = *p.volume.model().playerCds[1];
  EXPECT_EQ(ab.sector, sector);
  EXPECT_EQ(ab.id, item);
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "Guest / B\n  Two\nA / B\n  One\n  Three\n");
  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  EXPECT_EQ(audit.header.cdCount(), 2u);
  EXPECT_EQ(audit.cds[1].tracks.size(), 2u);
}

std::vector<std::string> ThreeSongs(const TempDir& dir) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 3; ++i) {
    paths.push_back(dir / ("s" + std::to_string(i) + ".mp3"));
    WriteBytes(paths.back(), TaggedMp3(1.5, "S" + std::to_string(i), "A", "B", i));
  }
  return paths;
}

uint64_t WritesOfAFullSync(const std::vector<std::string>& songs) {
  Player p(4000);
  for (const auto& s : songs) EXPECT_TRUE(p.Add(s).ok());
  p.device->ClearCalls();
  EXPECT_TRUE(p.Sync().ok());
  return p.device->callCount(Op::kWrite);
}

TEST(SyncJob, CancelAtEveryWriteKeepsTheVolumeSoundAndTheNextSyncFinishes) {
  TempDir dir;
  const std::vector<std::string> songs = ThreeSongs(dir);
  const uint64_t writes = WritesOfAFullSync(songs);
  ASSERT_GT(writes, 9u);
  for (uint64_t k = 1; k <= writes; ++k) {
    Player p(4000);
    for (const auto& s : songs) ASSERT_TRUE(p.Add(s).ok());
    p.device->ClearCalls();
    p.device->BeforeEach([&](const DeviceCall& call) -> std::optional<Result> {
      if (call.op == Op::kWrite && call.number == k) p.volume.RequestCancel();
      return std::nullopt;
    });
    const Result r = p.Sync();
    EXPECT_FALSE(p.volume.CancelRequested());
    const Audit cut = AuditVolume(p.disk);
    ExpectSound(cut);
    EXPECT_EQ(TracksOnDisk(cut) + p.PendingSongs(), 3u) << k;
    if (r.ok()) {
      EXPECT_EQ(p.PendingSongs(), 0u);
    } else {
      EXPECT_EQ(r.code(), ResultCode::kCancelled) << k;
      EXPECT_EQ(p.reporter.lastStatus(), "Ready");
      // The job's end carries its own account of the cancel.
      const JobSummary end = p.reporter.jobs().back();
      EXPECT_EQ(end.result.message(), r.message());
      EXPECT_TRUE(end.sync.cancelled);
      EXPECT_EQ(end.sync.leftPending, p.PendingSongs());
    }
    Remount fresh(p.disk);
    EXPECT_EQ(fresh.volume.model().playerCds.empty()
                  ? 0u
                  : fresh.volume.model().playerCds[0]->tracks.size(),
              TracksOnDisk(cut));

    p.device->BeforeEach(nullptr);
    ASSERT_TRUE(p.Sync().ok()) << k;
    const Audit done = AuditVolume(p.disk);
    ExpectSound(done);
    ASSERT_EQ(done.cds.size(), 1u);
    ASSERT_EQ(done.cds[0].tracks.size(), 3u);
    for (size_t t = 0; t < 3; ++t) {
      bool zero_tail = false;
      EXPECT_EQ(TrackAudio(p.disk, done, done.cds[0].tracks[t], &zero_tail),
                WithoutId3v1(ReadBytes(songs[t])));
    }
    if (r.ok()) break;  // the cancel came after the last cluster: nothing left to cut
  }
}

TEST(SyncJob, FailedDriverWriteStopsAtOnceAndReportsNothingUnwritten) {
  TempDir dir;
  const std::vector<std::string> songs = ThreeSongs(dir);
  const uint64_t writes = WritesOfAFullSync(songs);
  for (uint64_t k = 1; k <= writes; ++k) {
    Player p(4000);
    for (const auto& s : songs) ASSERT_TRUE(p.Add(s).ok());
    p.device->ClearCalls();
    p.device->BeforeEach([&](const DeviceCall& call) -> std::optional<Result> {
      if (call.op != Op::kWrite || call.number != k) return std::nullopt;
      return Result::Error(ResultCode::kIoError, "injected");
    });
    const Result r = p.Sync();
    ASSERT_FALSE(r.ok()) << k;
    EXPECT_EQ(r.code(), ResultCode::kIoError);
    EXPECT_EQ(p.volume.deviceState(), DeviceState::kNoDriver);
    EXPECT_EQ(p.volume.busyState(), BusyState::kIdle);
    EXPECT_NE(p.reporter.lastStatus().find("injected"), std::string::npos);
    // What the job counts as written is on the disk; the rest is pending.
    const Audit cut = AuditVolume(p.disk);
    EXPECT_TRUE(cut.errors.empty()) << k << ::testing::PrintToString(cut.errors);
    const size_t written =
        p.volume.model().playerCds.empty() ? 0 : p.volume.model().playerCds[0]->tracks.size();
    EXPECT_EQ(written + p.PendingSongs(), 3u);
    EXPECT_LE(written, TracksOnDisk(cut));

    // Bound again and mounted, the next sync writes what is left.
    p.Rebind();
    ASSERT_TRUE(p.volume.CheckVolume());
    ASSERT_TRUE(p.volume.RunJobNow(Job::kMount).ok());
    ASSERT_TRUE(p.Sync().ok()) << k;
    const Audit done = AuditVolume(p.disk);
    EXPECT_TRUE(done.errors.empty()) << k << ::testing::PrintToString(done.errors);
    ASSERT_EQ(done.cds.size(), 1u);
    std::vector<std::string> titles;
    for (const auto& t : done.cds[0].tracks) titles.push_back(t.record.title());
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"S1", "S2", "S3"})) << k;
  }
}

TEST(SyncJob, FullPlayerStopsBeforeTheTrackThatDoesNotFit) {
  TempDir dir;
  Player p(1000);  // 61 audio clusters: 2 for the placeholder, 1 for the CD records
  std::vector<std::string> paths;
  for (int i = 1; i <= 3; ++i) {
    paths.push_back(dir / ("big" + std::to_string(i) + ".mp3"));
    WriteBytes(paths.back(), TaggedMp3(12.5, "Big" + std::to_string(i), "A", "B", i));
    ASSERT_TRUE(p.Add(paths.back()).ok());
  }
  const Result r = p.Sync();
  EXPECT_EQ(r.code(), ResultCode::kNoSpace);
  EXPECT_EQ(r.message(), "The player is full.");
  EXPECT_EQ(p.reporter.lastStatus(), "The player is full.");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "A / B\n  Big3\n");
  EXPECT_TRUE(p.volume.model().TEST_pendingCds()[0]->hasWork);
  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  EXPECT_EQ(TracksOnDisk(audit), 2u);

  const std::vector<uint8_t> before = p.disk.bytes();
  EXPECT_EQ(p.Sync().code(), ResultCode::kNoSpace);
  EXPECT_TRUE(p.disk.bytes() == before);

  ASSERT_TRUE(RemovePendingCd(p.volume, p.volume.model().TEST_pendingCds()[0]->id).ok());
  WriteBytes(dir / "small.mp3", TaggedMp3(0.2, "Small", "A", "B", 9));
  ASSERT_TRUE(p.Add(dir / "small.mp3").ok());
  ASSERT_TRUE(p.Sync().ok());
  ExpectSound(AuditVolume(p.disk));
  EXPECT_EQ(AuditVolume(p.disk).cds[0].tracks.size(), 3u);
}

TEST(SyncJob, ClustersTheNewCdRecordsNeedAreKeptFromTracks) {
  for (const uint32_t filler_clusters : {57u, 58u}) {
    TempDir dir;
    Player p(1000);  // clusters 2..59 for tracks, 60 holds the first 16 CD records
    WriteBytes(dir / "filler.mp3", testing::Mp3Bytes(filler_clusters * 8192 - 10239));
    ASSERT_TRUE(p.Add(dir / "filler.mp3").ok());
    ASSERT_TRUE(p.Sync().ok());
    // 16 more CDs make 17 records: the CD area grows into cluster 59.
    for (int i = 0; i < 16; ++i) {
      const std::string path = dir / ("cd" + std::to_string(i) + ".mp3");
      WriteBytes(path, TaggedMp3(0.1, "T", "A", "Album " + std::to_string(i), 1));
      ASSERT_TRUE(p.Add(path).ok());
    }
    const std::vector<uint8_t> before = p.disk.bytes();
    const Result r = p.Sync();
    EXPECT_EQ(r.code(), ResultCode::kNoSpace) << filler_clusters;
    EXPECT_EQ(p.reporter.lastStatus(), "The player is full.");
    EXPECT_TRUE(p.disk.bytes() == before) << filler_clusters;
    EXPECT_EQ(p.volume.model().header.cdCount(), 1u);
    EXPECT_EQ(p.volume.model().playerCds.size(), 1u);
    EXPECT_EQ(p.volume.model().TEST_pendingCds().size(), 16u);
    for (const auto& cd : p.volume.model().TEST_pendingCds()) EXPECT_TRUE(cd->hasWork);
    ExpectSound(AuditVolume(p.disk));
  }
}

// 15 new CDs make 17 records, so the CD area grows into cluster 59, which
// the last cluster of an 8 kbit/s song uses; its later index marks name it.
TEST(SyncJob, ATrackClusterBelowTheCdRecordsMovesOutOfTheWay) {
  TempDir dir;
  Player p(1000);  // clusters 2..59 for tracks, 60 holds the first 16 CD records
  auto song = [&](const std::string& name, std::vector<uint8_t> bytes) {
    Append(&bytes, testing::Id3v1Block(name, "A", name, 1));  // an album of its own
    WriteBytes(dir / name, bytes);
    ASSERT_TRUE(p.Add(dir / name).ok());
    ASSERT_TRUE(p.Sync().ok()) << name;
  };
  song("gap.mp3", testing::Mp3Bytes(20 * 8192 - 10239));  // clusters 2..21
  song("fill.mp3", testing::Mp3Bytes(36 * 8192 - 10239));  // 22..57
  const std::vector<uint8_t> top = testing::Frames(0xFFE31804, 72, 190);  // 13.7 s, 58..59
  song("top.mp3", top);
  ASSERT_EQ(p.volume.model().fat.entry(59), format::kFatEndOfChain);
  ASSERT_TRUE(DeletePlayerCd(p.volume, p.volume.model().playerCds.back().get()).ok());
  for (int i = 0; i < 15; ++i) {
    const std::string path = dir / ("cd" + std::to_string(i) + ".mp3");
    WriteBytes(path, TaggedMp3(0.1, "T", "A", "Album " + std::to_string(i), 1));
    ASSERT_TRUE(p.Add(path).ok());
  }

  ASSERT_TRUE(p.Sync().ok()) << p.reporter.lastStatus();
  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  ASSERT_EQ(audit.cds.size(), 17u);
  ASSERT_EQ(audit.cds[15].record.album(), "top.mp3");  // below it the fill's CD
  const testing::AuditedTrack& moved = audit.cds[15].tracks[0];
  ASSERT_EQ(moved.chain.size(), 2u);
  EXPECT_EQ(moved.chain[0], 58u);
  EXPECT_LT(moved.chain[1], 22u);
  bool zero_tail = false;
  EXPECT_TRUE(TrackAudio(p.disk, audit, moved, &zero_tail) == top);
  EXPECT_EQ(LoadLe24(moved.record.indexSlot(5)), moved.chain[1]);  // 11.4 s: the second cluster
  Remount fresh(p.disk);
  EXPECT_EQ(fresh.volume.model().playerCds[15]->tracks[0]->record.bytes(),
            p.volume.model().playerCds[15]->tracks[0]->record.bytes());
}

TEST(SyncJob, MovingAClusterOfAMountedTrackRepointsTheMarksInTheRecordsSecondSector) {
  // Clusters 2..122 hold tracks and 123 the first 16 CD records; t1 ends
  // in 122, and its 90 marks (one per cluster) name 122 in slot 89, in the
  // record's second sector, which the mount does not read.
  MemoryDevice disk(2000);
  std::vector<testing::CdContent> cds = {
      {"Tia", "Album T", {{"t1", "Tia", testing::TestAudio(90 * 8192 - 10239, 1)}}},  // 33..122
      {"Gus",
       "Album G",
       {{"g1", "Gus", testing::TestAudio(16 * 8192 - 10239, 2)},  // 16..31
        {"g2", "Gus", testing::TestAudio(5000, 3)}}}};            // 32
  for (uint32_t i = 0; i < 14; ++i) {                             // 2..15
    cds.push_back(
        {"Art", "Album " + std::to_string(i), {{"s", "Art", testing::TestAudio(5000, 9 + i)}}});
  }
  ASSERT_TRUE(testing::BuildVolume(&disk, cds).ok());
  RecordingReporter reporter;
  PlayerVolume volume(&reporter);
  ASSERT_TRUE(testing::MountVolume(volume, &disk).ok());
  ASSERT_TRUE(DeletePlayerTrack(volume, volume.model().playerCds.at(1).get(), 0).ok());
  TempDir dir;
  WriteBytes(dir / "n.mp3", TaggedMp3(0.2, "N", "Nia", "Album N", 1));
  ASSERT_TRUE(AddFile(volume, dir / "n.mp3", std::nullopt).ok());

  ASSERT_TRUE(volume.RunJobNow(Job::kSync).ok()) << reporter.lastStatus();
  const Audit audit = AuditVolume(disk);
  ExpectSound(audit);
  ASSERT_EQ(audit.cds.size(), 17u);
  ASSERT_EQ(audit.cds[1].record.album(), "Album T");
  const testing::AuditedTrack& t1 = audit.cds[1].tracks.at(0);
  ASSERT_EQ(t1.chain.size(), 90u);
  EXPECT_NE(t1.chain[89], 122u);
  EXPECT_EQ(LoadLe24(t1.record.indexSlot(89)), t1.chain[89]);
}

TEST(SyncJob, UnreadableSongStaysPendingWhileTheOthersAreWritten) {
  TempDir dir;
  Player p(4000);
  const std::vector<std::string> songs = ThreeSongs(dir);
  for (const auto& s : songs) ASSERT_TRUE(p.Add(s).ok());
  std::filesystem::remove(songs[1]);
  const std::vector<uint8_t> third = ReadBytes(songs[2]);
  std::filesystem::resize_file(songs[2], 1000);  // shorter than when it was added

  const Result r = p.Sync();
  EXPECT_EQ(r.code(), ResultCode::kNotFound);
  EXPECT_NE(r.message().find("Could not open file! (" + songs[1] + ")"), std::string::npos);
  EXPECT_NE(r.message().find(std::string(kFileChanged) + " (" + songs[2] + ")"), std::string::npos);
  const SyncSummary summary = p.reporter.jobs().back().sync;
  EXPECT_EQ(summary.written, 1u);
  EXPECT_EQ(summary.leftPending, 2u);
  ASSERT_EQ(summary.failed.size(), 2u);
  EXPECT_EQ(summary.failed[0].path, songs[1]);
  EXPECT_EQ(summary.failed[0].reason, "Could not open file!");
  EXPECT_EQ(summary.failed[1].path, songs[2]);
  EXPECT_EQ(summary.failed[1].reason, kFileChanged);
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "A / B\n  S2\n  S3\n");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "A / B\n  S1\n");
  Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  EXPECT_EQ(audit.cds[0].record.trackCount(), 1);

  WriteBytes(songs[1], TaggedMp3(1.5, "S2", "A", "B", 2));
  WriteBytes(songs[2], third);
  ASSERT_TRUE(p.Sync().ok());
  audit = AuditVolume(p.disk);
  ExpectSound(audit);
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "A / B\n  S1\n  S2\n  S3\n");
}

TEST(SyncJob, NoCdGetsMoreThan100Tracks) {
  TempDir dir;
  Player p(8000);
  for (int i = 0; i < 98; ++i) {
    const std::string path = dir / (std::to_string(i) + ".mp3");
    WriteBytes(path, TaggedMp3(0.1, "t" + std::to_string(i), "A", "B", 0));
    ASSERT_TRUE(p.Add(path).ok());
  }
  ASSERT_TRUE(p.Sync().ok());
  // Dropped while the directory was being read (a mount sends it empty
  // first), three more songs could not be checked against the player's CD.
  std::vector<std::unique_ptr<CdNode>> read_so_far;
  read_so_far.swap(p.volume.model().playerCds);
  p.volume.PublishDirectory();
  for (int i = 98; i < 101; ++i) {
    const std::string path = dir / (std::to_string(i) + ".mp3");
    WriteBytes(path, TaggedMp3(0.1, "t" + std::to_string(i), "A", "B", 0));
    ASSERT_TRUE(p.Add(path).ok());
  }
  read_so_far.swap(p.volume.model().playerCds);
  p.volume.PublishDirectory();
  const Result r = p.Sync();
  EXPECT_EQ(r.code(), ResultCode::kLimit);
  EXPECT_EQ(r.message(), "No more tracks allowed on this CD");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "A / B\n  t100\n");
  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  EXPECT_EQ(audit.cds[0].record.trackCount(), 100);
  Remount fresh(p.disk);
  EXPECT_EQ(fresh.volume.model().playerCds[0]->tracks.size(), 100u);
  EXPECT_EQ(p.Sync().code(), ResultCode::kLimit);
  EXPECT_EQ(AuditVolume(p.disk).cds[0].record.trackCount(), 100);
}

TEST(SyncJob, SongsAddedDuringASyncWaitForTheNext) {
  TempDir dir;
  Player p(8000);
  const std::vector<std::string> songs = ThreeSongs(dir);
  ASSERT_TRUE(p.Add(songs[0]).ok());
  ASSERT_TRUE(p.Add(songs[2]).ok());
  WriteBytes(dir / "other.mp3", TaggedMp3(0.5, "Other", "C", "D", 0));

  p.device->Hold(Op::kWrite);
  const auto idle_before = p.reporter.busyStates().size();
  size_t idle_count = 0;
  for (BusyState s : p.reporter.busyStates()) idle_count += s == BusyState::kIdle;
  (void)idle_before;
  p.volume.SetBusyState(BusyState::kSync);
  p.volume.SignalJob(Job::kSync);
  ASSERT_TRUE(p.device->WaitUntilHeld(std::chrono::seconds(10)));
  // The job is writing S1 now.
  EXPECT_TRUE(p.Add(songs[1]).ok());  // joins the key being written
  EXPECT_TRUE(p.Add(songs[1]).ok());  // and is kept once
  EXPECT_TRUE(p.Add(songs[0]).ok());  // already pending in the CD being written: dropped
  EXPECT_TRUE(p.Add(dir / "other.mp3").ok());
  EXPECT_GT(p.volume.EstimateDownloadKilobytes(), 0u);
  EXPECT_EQ(RemovePendingCd(p.volume, p.volume.model().TEST_pendingCds()[0]->id).code(),
            ResultCode::kBusy);
  p.device->Release();
  ASSERT_TRUE(p.reporter.WaitForIdleReports(idle_count + 1, std::chrono::seconds(20)));

  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "A / B\n  S1\n  S3\n");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "A / B\n  S2\nC / D\n  Other\n");
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "C / D\n  Other\nA / B\n  S1\n  S3\n  S2\n");
  ExpectSound(AuditVolume(p.disk));
}

// No gate here: the window thread adds songs and refreshes the labels while
// the worker writes, so a thread checker sees the two really overlap.
TEST(SyncJob, AdditionsRaceTheWorkerSafely) {
  TempDir dir;
  Player p(20000);
  std::vector<std::string> first, later;
  for (int i = 0; i < 30; ++i) {
    first.push_back(dir / ("f" + std::to_string(i) + ".mp3"));
    WriteBytes(first.back(), TaggedMp3(0.6, "F" + std::to_string(i), "A", i % 2 ? "B" : "C", 0));
    ASSERT_TRUE(p.Add(first.back()).ok());
  }
  for (int i = 0; i < 20; ++i) {
    later.push_back(dir / ("l" + std::to_string(i) + ".mp3"));
    WriteBytes(later.back(), TaggedMp3(0.3, "L" + std::to_string(i), "A", i % 2 ? "B" : "E", i));
  }
  size_t idle = 0;
  for (BusyState s : p.reporter.busyStates()) idle += s == BusyState::kIdle;
  p.volume.SetBusyState(BusyState::kSync);
  p.volume.SignalJob(Job::kSync);
  SizeLabels labels;
  for (const std::string& path : later) {
    EXPECT_TRUE(p.Add(path).ok());
    (void)labels.Refresh(p.volume);
  }
  while (p.volume.busyState() != BusyState::kIdle) (void)labels.Refresh(p.volume);
  ASSERT_TRUE(p.reporter.WaitForIdleReports(idle + 1, std::chrono::seconds(20)));
  // Songs added before the worker took the list are written with it.
  size_t written = 0, first_written = 0;
  for (const auto& cd : p.volume.model().playerCds) {
    for (const auto& track : cd->tracks) {
      ++written;
      first_written += track->record.title()[0] == 'F';
    }
  }
  EXPECT_EQ(first_written, 30u);
  EXPECT_EQ(written + p.PendingSongs(), 50u);
  ASSERT_TRUE(p.Sync().ok());
  ExpectSound(AuditVolume(p.disk));
  EXPECT_EQ(AuditVolume(p.disk).cds.size(), 3u);
}

// A player whose songs of other formats go through the stand-in transcoder.
struct ConvertingPlayer : Player {
  explicit ConvertingPlayer(uint32_t sectors) : Player(sectors) {
    volume.SetMediaLibraries(testing::FakeMedia(nullptr, &transcoder));
  }
  // A file of another format holding `seconds` of audio, added.
  std::string AddOther(const TempDir& dir, const std::string& name, double seconds) {
    const std::string path = dir / name;
    WriteBytes(path, std::vector<uint8_t>(64, 0x42));
    transcoder.SetAudio(path, seconds);
    EXPECT_TRUE(Add(path).ok()) << path;
    return path;
  }
  testing::FakeTranscoder transcoder;
};

TEST(SyncJob, OtherFormatsAreConvertedAndWrittenWithTheirRealSize) {
  TempDir dir;
  ConvertingPlayer p(8000);
  SyncOptions options;
  options.bitrateKbps = 128;
  p.volume.SetSyncOptions(options);
  WriteBytes(dir / "m.mp3", Mp3Audio(1.0));
  ASSERT_TRUE(p.Add(dir / "m.mp3").ok());
  for (const double seconds : {3.0, 1.0, 2.0}) {
    p.AddOther(dir, std::to_string(int(seconds)) + ".flac", seconds);
  }
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_EQ(p.transcoder.conversions(), 3);
  EXPECT_EQ(p.PendingSongs(), 0u);
  Remount fresh(p.disk);
  EXPECT_EQ(fresh.reporter.TreeText(Tree::kPlayer),
            "Unknown / New CD\n  m.mp3\n  3.flac\n  1.flac\n  2.flac\n");
  const Audit audit = AuditVolume(p.disk);
  ExpectSound(audit);
  for (size_t t = 1; t < 4; ++t) {
    const double seconds = t == 1 ? 3.0 : t == 2 ? 1.0 : 2.0;
    const size_t frames = size_t(seconds * 44100 / 1152) + 1;  // 417-byte frames at 128 kbit/s
    EXPECT_EQ(audit.cds[0].tracks[t].record.size(), frames * 417 + 1024) << t;
    EXPECT_EQ(audit.cds[0].tracks[t].record.CountIndexMarks(), int(IndexMarkCount(frames * 1152.0 / 44100)));
  }
}

TEST(SyncJob, AConvertedSongThatTurnsOutTooLargeStaysPendingAsThePlayerIsFull) {
  TempDir dir;
  ConvertingPlayer p(1000);  // about 450 KB for tracks
  const std::string path = p.AddOther(dir, "long.flac", 1.0);
  p.transcoder.SetAudio(path, 60.0);  // its real play time: 1.4 MB of MP3
  const std::vector<uint8_t> before = p.disk.bytes();
  const Result r = p.Sync();
  EXPECT_EQ(r.code(), ResultCode::kNoSpace);
  EXPECT_EQ(p.reporter.lastStatus(), "The player is full.");
  EXPECT_TRUE(p.disk.bytes() == before);
  EXPECT_EQ(p.PendingSongs(), 1u);
  EXPECT_TRUE(p.volume.model().TEST_pendingCds()[0]->hasWork);
}

TEST(SyncJob, AFailedConversionLeavesOnlyThatSongPending) {
  TempDir dir;
  ConvertingPlayer p(8000);
  p.AddOther(dir, "a.ogg", 1.0);
  const std::string bad = p.AddOther(dir, "b.ogg", 1.0);
  p.AddOther(dir, "c.ogg", 1.0);
  p.transcoder.FailConversion(bad);
  const Result r = p.Sync();
  EXPECT_EQ(r.code(), ResultCode::kIoError);
  EXPECT_EQ(r.message(), "Could not convert the song: damaged (" + bad + ")");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPlayer), "Unknown / New CD\n  a.ogg\n  c.ogg\n");
  EXPECT_EQ(p.reporter.TreeText(Tree::kPending), "Unknown / New CD\n  b.ogg  (~0.03 Mb, estimated)\n");
  ExpectSound(AuditVolume(p.disk));
}

TEST(SyncJob, CancelStopsTheConversionsAndWritesNothingMore) {
  TempDir dir;
  ConvertingPlayer p(8000);
  p.volume.SetSyncOptions(SyncOptions{true, 192, 2});
  for (int i = 0; i < 4; ++i) p.AddOther(dir, std::to_string(i) + ".wav", 1.0);
  p.transcoder.HoldConversions(true);
  const std::vector<uint8_t> before = p.disk.bytes();
  Result r;
  std::thread job([&] { r = p.Sync(); });
  while (p.transcoder.conversions() < 2) std::this_thread::yield();  // both threads convert
  p.volume.RequestCancel();
  job.join();
  EXPECT_EQ(r.code(), ResultCode::kCancelled);
  EXPECT_EQ(p.transcoder.conversions(), 2);  // none started after the cancel
  EXPECT_TRUE(p.disk.bytes() == before);
  EXPECT_EQ(p.PendingSongs(), 4u);
  p.transcoder.HoldConversions(false);
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_EQ(p.PendingSongs(), 0u);
}

TEST(SyncJob, SongsAlreadyOnThePlayerArePassedOverUnlessDuplicatesAreAllowed) {
  TempDir dir;
  ConvertingPlayer p(8000);
  WriteBytes(dir / "m.mp3", TaggedMp3(1.0, "Mp3", "A", "B", 1));
  auto add_both = [&] {
    ASSERT_TRUE(p.Add(dir / "m.mp3").ok());
    p.AddOther(dir, "o.flac", 1.0);
  };
  add_both();
  ASSERT_TRUE(p.Sync().ok());
  const std::vector<uint8_t> synced = p.disk.bytes();

  add_both();
  // Same title and artist, another size: not the same song.
  WriteBytes(dir / "longer.mp3", TaggedMp3(2.0, "Mp3", "A", "B", 1));
  ASSERT_TRUE(p.Add(dir / "longer.mp3").ok());
  // Only the longer song needs room (its CD's record is there already).
  const auto& pending = p.volume.model().TEST_pendingCds();
  const auto longer = std::find_if(pending.begin(), pending.end(), [](const auto& cd) {
    return cd->pendingTracks.size() == 2;
  });
  ASSERT_NE(longer, pending.end());
  EXPECT_EQ(KilobytesToWrite(p.volume), SongKilobytes((*longer)->pendingTracks[1]->record.size()));
  ASSERT_TRUE(p.Sync().ok());
  const SyncSummary summary = p.volume.lastSyncSummary();
  EXPECT_EQ(summary.written, 1u);
  EXPECT_EQ(summary.duplicates, (std::vector<std::string>{"Unknown / o.flac", "A / Mp3"}));
  EXPECT_EQ(summary.leftPending, 0u);
  const std::vector<std::string> statuses = p.reporter.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "already on the player: A / Mp3"),
            statuses.end());
  EXPECT_EQ(p.PendingSongs(), 0u);
  EXPECT_EQ(p.transcoder.conversions(), 1);  // the duplicate was never converted
  EXPECT_EQ(AuditVolume(p.disk).cds.size(), 2u);

  // A repeated sync of the same songs writes nothing at all.
  const std::vector<uint8_t> after = p.disk.bytes();
  add_both();
  ASSERT_TRUE(p.Add(dir / "longer.mp3").ok());
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_TRUE(p.disk.bytes() == after);
  EXPECT_NE(after, synced);

  p.volume.SetSyncOptions(SyncOptions{false, 192, 0});
  add_both();
  ASSERT_TRUE(p.Sync().ok());
  EXPECT_EQ(p.volume.lastSyncSummary().written, 2u);
  ExpectSound(AuditVolume(p.disk));
}

}  // namespace
}  // namespace jukepak
