// The sync: writes the pending additions to the player.
//
// The job takes the pending CDs that have work when it starts (their songs
// at that moment); songs added meanwhile wait for the next sync. For each
// taken CD it finds or creates the player CD of the same (artist, album) and
// writes the CD's songs in order: the song's clusters are taken from the
// in-memory FAT; its audio (an MP3 file less its ID3v1 block, the MP3 a
// conversion made, or the file ranges of a song restored from a backup) is
// read a piece at a time on the reader's thread, which scans the frames as
// they go by, while this thread writes each piece, one driver call per run
// of clusters that follow each other on the disk; once the last piece is
// written the frame times are known, and the track record with its index
// marks goes into the first two sectors, then the dirty FAT
// sectors, the CD record and the header. Only then does the song count as
// written: it moves from the pending list into the player CD. Until the FAT
// is written nothing on the disk names the track's clusters, so a cut
// anywhere before leaves the volume as it was. However long the file, the
// sync holds only the reader's few pieces of it.
//
// Songs in other formats than MP3 are converted by a ConversionPipeline on
// threads of its own, ahead of the writer and in its order; the writer waits
// for a song's MP3 when it comes to it, and its real size decides its
// clusters. A song already on the player (same CD, title and artist, and for
// an MP3 the same size) is passed over and leaves the pending list, unless
// the options say to write duplicates.
//
// A song that cannot be written stays pending: an unreadable file is passed
// over, a CD without room keeps the songs past its 100th track, and a full
// player, a cancel or a failed driver write stop the job. Whatever stops a
// track half-way is undone in memory, so the FAT, CD record and header that
// are written later never store a half-written track. A new CD whose record
// must go into a cluster that a track uses first moves that cluster to a
// free one (track_cluster_move.h).
//
// Locking: the window adds to the pending list while the job runs, so the
// job changes the list only under the model's pendingMutex; the directory is
// the job's alone until it ends. Each change of either list is sent as a
// snapshot (PlayerVolume::PublishDirectory, PublishPending), with no lock
// held, and the progress after every cluster.

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/debug_channel.h"
#include "base/file_name.h"
#include "base/latin1.h"
#include "format/format_constants.h"
#include "format/layout.h"
#include "volume/cluster_allocator.h"
#include "volume/conversion_pipeline.h"
#include "volume/duplicate_songs.h"
#include "volume/index_marks.h"
#include "volume/mpeg_frame_scanner.h"
#include "volume/pending_list.h"
#include "volume/player_volume.h"
#include "volume/song_audio.h"
#include "volume/space_accounting.h"
#include "volume/track_audio_reader.h"
#include "volume/track_cluster_move.h"

namespace jukepak {
namespace {

inline constexpr char kPlayerFull[] = "The player is full.";

// A pending CD the job took, with the songs it held when the job started.
struct TakenCd {
  CdNode* pending = nullptr;  // owned by the pending list until released
  std::vector<TrackNode*> songs;
  bool released = false;  // every song written; the node is gone
};

// A track being written.
struct PreparedTrack {
  std::vector<uint32_t> chain;
  std::vector<double> times;
  TrackRecord record;
};

class SyncRun {
 public:
  explicit SyncRun(PlayerVolume& volume)
      : volume_(volume), model_(volume.model()), reporter_(volume.reporter()) {}

  Result Run();

 private:
  void TakePendingWork();
  // Hands the songs to be converted to the pipeline, in writing order.
  void StartConversions();
  void ReturnPendingWork();
  Result ReserveCdArea();
  void WriteCd(TakenCd& taken);
  CdNode* FindPlayerCd(const CdRecord& record) const;
  CdNode* CreatePlayerCd(const TakenCd& taken);
  void RollBackNewCd(CdNode* cd, uint32_t old_start, uint32_t old_count);
  // True when the song was written; false when it stays pending.
  // *cd_on_disk tells whether the header on the disk counts the target CD.
  bool WriteTrack(TrackNode& song, TakenCd& taken, CdNode& target, bool* cd_on_disk);
  // True when `song` is on `target` already (as the options count them).
  bool OnPlayer(const CdNode* target, const TrackNode& song) const;
  // Takes a duplicate off the pending list and reports it.
  void PassOverDuplicate(TrackNode& song, TakenCd& taken);
  // The song's audio: its file, or its conversion (waited for). False when
  // it stays pending (the failure is reported; a cancel stops the job).
  bool OpenAudio(const TrackNode& song, std::unique_ptr<SongAudio>* audio);
  // Sends the audio as the reader hands it over. False when the track
  // stops: a read failure (the song stays pending), a cancel or a driver
  // failure (the job stops); its clusters are freed again then.
  bool WriteAudio(const TrackNode& song, PreparedTrack& track);
  // Writes a piece's clusters, one driver call per run of clusters that
  // follow each other on the disk (the first cluster's run starts behind the
  // track record), and reports the position after each. Stops early with
  // *cancelled set when a cancel is asked for and clusters are left.
  Result WritePiece(const TrackAudioReader::Piece& piece, const std::vector<uint32_t>& chain,
                    bool* cancelled);
  // Writes the track record, marks and all, once the audio is out. False
  // when the driver fails (the job stops; the clusters are freed again).
  bool WriteRecord(const TrackNode& song, PreparedTrack& track);
  // Writes the FAT, the CD record and the header. True when the track is
  // reachable on the disk afterwards (a failed header write of a CD the
  // disk already counts still leaves it so); the track is undone otherwise.
  bool StoreDirectory(TrackNode& song, CdNode& target, PreparedTrack& track, bool* cd_on_disk);
  void MoveToPlayer(TrackNode& song, TakenCd& taken, CdNode& target, PreparedTrack& track);
  void Fail(ResultCode code, const std::string& text);
  // A song that stays pending because of `why`: counted as failed, by name.
  void FailSong(const TrackNode& song, const Result& why);
  // Sends where the sync stands, `cluster` clusters into the current track.
  void ReportProgress(uint32_t cluster);
  void DriverFailed(const std::string& what, const Result& failure);
  Result Finish();

  PlayerVolume& volume_;
  VolumeModel& model_;
  VolumeReporter& reporter_;
  std::vector<TakenCd> taken_;
  SyncOptions options_;
  std::unique_ptr<ConversionPipeline> pipeline_;
  TrackAudioReader reader_;
  std::map<const TrackNode*, size_t> conversions_;  // each converted song's pipeline index
  std::vector<std::string> duplicates_;             // "ARTIST / TITLE", UTF-8
  uint32_t limit_ = 0;  // no track takes a cluster at or above this
  bool stop_ = false;
  bool cancelled_ = false;
  bool full_ = false;
  bool driver_failed_ = false;
  std::string driver_what_;
  Result driver_failure_;
  ResultCode first_code_ = ResultCode::kOk;
  std::vector<std::string> failures_;
  std::vector<SongFailure> failed_songs_;
  size_t songs_ = 0;
  size_t written_ = 0;
  SyncProgress progress_;
  uint64_t bytes_before_track_ = 0;   // audio of the tracks written before this one
  uint32_t track_audio_bytes_ = 0;
  uint32_t free_before_track_ = 0;    // KB free when the track's clusters were taken
};

bool SameKey(const CdRecord& a, const CdRecord& b) {
  return a.artist() == b.artist() && a.album() == b.album();
}

Result SyncRun::Run() {
  reporter_.ShowStatus("Writing new tracks...");
  if (volume_.device() == nullptr || !model_.fat.loaded()) {
    Fail(ResultCode::kInvalidArgument, "The player's directory is not loaded.");
    return Finish();
  }
  if (volume_.ReadOnly()) {
    Fail(ResultCode::kCorrupt, kDamagedDirectory);
    return Finish();
  }
  options_ = volume_.syncOptions();
  TakePendingWork();
  if (taken_.empty()) return Finish();
  StartConversions();
  progress_.cds = int(taken_.size());
  progress_.songs = int(songs_);
  const Result reserved = ReserveCdArea();
  if (reserved.code() == ResultCode::kNoSpace) {
    full_ = true;
    Fail(ResultCode::kNoSpace, kPlayerFull);
  } else if (reserved.code() == ResultCode::kCorrupt) {
    Fail(reserved.code(), reserved.message());
  } else if (!reserved.ok()) {
    DriverFailed("Could not make room for the new CD records", reserved);
  }
  if (!reserved.ok()) return Finish();
  for (TakenCd& taken : taken_) {
    if (stop_) break;
    WriteCd(taken);
  }
  return Finish();
}

void SyncRun::TakePendingWork() {
  MutexLock lock(&model_.pendingMutex);
  for (const auto& cd : model_.pendingCds) {
    if (!cd->hasWork) continue;
    // Off the list of CDs that take additions: songs added from now on go
    // to a new pending CD and wait for the next sync.
    cd->hasWork = false;
    TakenCd taken;
    taken.pending = cd.get();
    for (const auto& song : cd->pendingTracks) {
      taken.songs.push_back(song.get());
      progress_.bytesTotal += song->record.size();
    }
    songs_ += taken.songs.size();
    taken_.push_back(std::move(taken));
  }
}

void SyncRun::StartConversions() {
  std::vector<std::string> paths;
  for (const TakenCd& taken : taken_) {
    const CdNode* target = FindPlayerCd(taken.pending->record);
    for (const TrackNode* song : taken.songs) {
      if (!song->needsConversion || OnPlayer(target, *song)) continue;
      conversions_[song] = paths.size();
      paths.push_back(song->sourcePath);
    }
  }
  if (paths.empty()) return;
  const unsigned threads = options_.converterThreads != 0 ? options_.converterThreads
                                                          : ConversionPipeline::DefaultThreads();
  pipeline_ = std::make_unique<ConversionPipeline>(*volume_.media().transcoder, std::move(paths),
                                                   options_.bitrateKbps, threads, threads + 1);
}

bool SyncRun::OnPlayer(const CdNode* target, const TrackNode& song) const {
  return AlreadyOnPlayer(target, song, options_);
}

void SyncRun::PassOverDuplicate(TrackNode& song, TakenCd& taken) {
  const auto conversion = conversions_.find(&song);
  if (conversion != conversions_.end()) pipeline_->Skip(conversion->second);
  const std::string name =
      Utf8FromLatin1(song.record.artist()) + " / " + Utf8FromLatin1(song.record.title());
  progress_.bytesTotal -= std::min<uint64_t>(progress_.bytesTotal, song.record.size());
  {
    MutexLock lock(&model_.pendingMutex);
    auto& slots = taken.pending->pendingTracks;
    slots.erase(std::remove_if(slots.begin(), slots.end(),
                               [&](const std::unique_ptr<TrackNode>& s) { return s.get() == &song; }),
                slots.end());
  }
  duplicates_.push_back(name);
  volume_.PublishPending();
  reporter_.ShowStatus(kAlreadyOnPlayer + name);
}

void SyncRun::ReturnPendingWork() {
  MutexLock lock(&model_.pendingMutex);
  for (TakenCd& taken : taken_) {
    if (!taken.released) taken.pending->hasWork = true;
  }
}

// Keeps the clusters that the CD records of this sync's new CDs will lie in
// from the allocator, and moves the track clusters there out of the way
// first. kNoSpace when the CD area cannot grow that far or no free cluster
// is left for a moved one.
Result SyncRun::ReserveCdArea() {
  const VolumeHeader& header = model_.header;
  std::vector<const CdRecord*> new_keys;
  for (const TakenCd& taken : taken_) {
    const CdRecord& record = taken.pending->record;
    if (FindPlayerCd(record) != nullptr) continue;
    const bool seen = std::any_of(new_keys.begin(), new_keys.end(),
                                  [&](const CdRecord* other) { return SameKey(*other, record); });
    if (!seen) new_keys.push_back(&record);
  }
  limit_ = AllocatableClusterLimit(header);
  if (new_keys.empty()) return Result::Ok();
  // The new records go below the run's lowest record (below the audio
  // area's end while the volume holds no CD).
  const uint64_t run_start = header.cdCount() > 0 ? header.cdStart() : header.AudioEndSector();
  // The placeholder keeps clusters 0 and 1; the CD area may not reach them.
  const uint64_t lowest_allowed = header.ClusterSector(2);
  if (run_start < lowest_allowed + new_keys.size()) {
    return Result::Error(ResultCode::kNoSpace, kPlayerFull);
  }
  const uint32_t lowest_cluster = uint32_t(
      (run_start - new_keys.size()) / format::kSectorsPerCluster - header.audioStart());
  // Every used cluster the new records will lie in moves, also one above
  // the track cluster bound that an older program may have written.
  const uint32_t run_first_cluster = uint32_t(std::min<uint64_t>(
      {run_start / format::kSectorsPerCluster - header.audioStart(), header.audioClusters(),
       model_.fat.entryCount()}));
  const uint32_t move_limit = std::min(limit_, lowest_cluster);
  for (uint32_t c = lowest_cluster; c < run_first_cluster; ++c) {
    if (model_.fat.entry(c) == format::kFatFree) continue;
    uint32_t moved_to = 0;
    const Result moved = MoveTrackCluster(volume_, c, move_limit, &moved_to);
    if (!moved.ok()) return moved;
    DebugPrint("moved cluster %08x to %08x\n", c, moved_to);
  }
  limit_ = move_limit;
  return Result::Ok();
}

CdNode* SyncRun::FindPlayerCd(const CdRecord& record) const {
  for (const auto& cd : model_.playerCds) {
    if (SameKey(cd->record, record)) return cd.get();
  }
  return nullptr;
}

CdNode* SyncRun::CreatePlayerCd(const TakenCd& taken) {
  auto node = std::make_unique<CdNode>();
  node->record = taken.pending->record;  // its own copy: the pending CD may go first
  node->record.StampSignature();
  node->record.setTrackCount(0);
  CdNode* cd = node.get();
  VolumeHeader& header = model_.header;
  if (header.cdCount() == 0) header.setCdStart(uint32_t(header.AudioEndSector()));
  header.setCdCount(header.cdCount() + 1);
  header.setCdStart(header.cdStart() - 1);
  cd->sector = header.cdStart();
  taken.pending->sector = cd->sector;
  model_.playerCds.insert(model_.playerCds.begin(), std::move(node));
  volume_.PublishDirectory();
  return cd;
}

// A new CD none of whose songs was written: nothing of it reached the disk,
// so it leaves the model as if it had never been made.
void SyncRun::RollBackNewCd(CdNode* cd, uint32_t old_start, uint32_t old_count) {
  model_.header.setCdStart(old_start);
  model_.header.setCdCount(old_count);
  auto& cds = model_.playerCds;
  cds.erase(std::remove_if(cds.begin(), cds.end(),
                           [&](const std::unique_ptr<CdNode>& c) { return c.get() == cd; }),
            cds.end());
  volume_.PublishDirectory();
}

void SyncRun::WriteCd(TakenCd& taken) {
  CdNode* target = FindPlayerCd(taken.pending->record);
  const uint32_t old_start = model_.header.cdStart();
  const uint32_t old_count = model_.header.cdCount();
  const bool created = target == nullptr;
  if (created) {
    target = CreatePlayerCd(taken);
  } else {
    taken.pending->sector = target->sector;
  }
  ++progress_.cd;
  progress_.tracks = int(taken.songs.size());
  progress_.track = 0;

  size_t written_here = 0;
  bool limit_reported = false;
  bool on_disk = !created;
  for (TrackNode* song : taken.songs) {
    if (stop_) break;
    if (volume_.CancelRequested()) {
      cancelled_ = stop_ = true;
      break;
    }
    if (OnPlayer(target, *song)) {
      PassOverDuplicate(*song, taken);
      continue;
    }
    if (target->record.trackCount() >= format::kMaxTracksPerCd) {
      if (!limit_reported) Fail(ResultCode::kLimit, kNoMoreTracks);
      limit_reported = true;
      continue;
    }
    if (WriteTrack(*song, taken, *target, &on_disk)) ++written_here;
  }

  if (created && written_here == 0) RollBackNewCd(target, old_start, old_count);
  {
    MutexLock lock(&model_.pendingMutex);
    if (!taken.pending->pendingTracks.empty()) return;
    auto& cds = model_.pendingCds;
    cds.erase(
        std::remove_if(cds.begin(), cds.end(),
                       [&](const std::unique_ptr<CdNode>& c) { return c.get() == taken.pending; }),
        cds.end());
    taken.released = true;
  }
  volume_.PublishPending();
}

bool SyncRun::WriteTrack(TrackNode& song, TakenCd& taken, CdNode& target, bool* cd_on_disk) {
  reporter_.ShowStatus(AfterLastSlash(song.sourcePath));  // the file's name alone
  ++progress_.track;
  ++progress_.song;
  std::unique_ptr<SongAudio> source;
  if (!OpenAudio(song, &source)) return false;
  if (source->size() > kMaxSongAudioBytes) {
    FailSong(song, Result::Error(ResultCode::kLimit, kFileTooLarge));
    return false;
  }
  const uint32_t audio_bytes = uint32_t(source->size());
  const uint32_t clusters = uint32_t(ClustersForAudio(audio_bytes));
  // A conversion's real size replaces the estimate the total counted.
  progress_.bytesTotal = progress_.bytesTotal - std::min<uint64_t>(progress_.bytesTotal,
                                                                   song.record.size()) +
                         audio_bytes;
  progress_.title = Utf8FromLatin1(song.record.title());
  progress_.clusters = clusters;
  track_audio_bytes_ = audio_bytes;
  free_before_track_ = volume_.FreeKilobytes();
  ReportProgress(0);

  PreparedTrack track;
  const Result allocated =
      AllocateChain(model_.fat, limit_, clusters, &model_.nextFreeCluster, &track.chain);
  if (!allocated.ok()) {
    full_ = stop_ = true;
    Fail(ResultCode::kNoSpace, kPlayerFull);
    return false;
  }
  reader_.Start(std::move(source), clusters);
  if (!WriteAudio(song, track)) return false;
  double time = 0.0;
  reader_.TakeScan(&time, &track.times);
  track.record = song.record;
  track.record.StampSignature();
  track.record.setSize(audio_bytes + format::kTrackRecordSize);
  PlaceIndexMarks(time, track.times, track.chain, &track.record);

  if (!WriteRecord(song, track)) return false;
  if (!StoreDirectory(song, target, track, cd_on_disk)) return false;
  MoveToPlayer(song, taken, target, track);
  return true;
}

bool SyncRun::OpenAudio(const TrackNode& song, std::unique_ptr<SongAudio>* audio) {
  Result r;
  const auto conversion = conversions_.find(&song);
  if (conversion == conversions_.end() && song.needsConversion) {
    r = Result::Error(ResultCode::kInvalidArgument, "The song was not converted!");
  } else if (conversion != conversions_.end()) {
    std::unique_ptr<EncodedAudio> encoded;
    r = pipeline_->Take(conversion->second, [this] { return volume_.CancelRequested(); }, &encoded);
    conversions_.erase(conversion);
    if (r.code() == ResultCode::kCancelled) {
      cancelled_ = stop_ = true;
      return false;
    }
    *audio = std::move(encoded);
  } else if (!song.audioPieces.empty()) {
    *audio = std::make_unique<FilePiecesAudio>(song.audioPieces);
  } else {
    auto file = std::make_unique<Mp3FileAudio>();
    r = file->Open(song.sourcePath, song.record.size());
    *audio = std::move(file);
  }
  if (!r.ok()) FailSong(song, r);
  return r.ok();
}

bool SyncRun::WriteAudio(const TrackNode& song, PreparedTrack& track) {
  for (;;) {
    TrackAudioReader::Piece piece;
    Result r = reader_.Next(&piece);
    if (!r.ok()) {
      FreeChain(model_.fat, track.chain, &model_.nextFreeCluster);
      FailSong(song, r);
      return false;
    }
    if (piece.clusters == 0) return true;
    bool cancelled = false;
    r = WritePiece(piece, track.chain, &cancelled);
    reader_.Recycle(std::move(piece));
    if (r.ok() && !cancelled) continue;
    reader_.Abandon();
    FreeChain(model_.fat, track.chain, &model_.nextFreeCluster);
    if (cancelled) {
      cancelled_ = stop_ = true;
    } else {
      DriverFailed("Could not write " + Utf8FromLatin1(song.record.title()), r);
    }
    return false;
  }
}

Result SyncRun::WritePiece(const TrackAudioReader::Piece& piece, const std::vector<uint32_t>& chain,
                           bool* cancelled) {
  SectorDevice& device = *volume_.device();
  const VolumeHeader& header = model_.header;
  const uint32_t end = piece.firstCluster + piece.clusters;
  for (uint32_t run = piece.firstCluster; run < end;) {
    uint32_t next = run + 1;
    while (next < end && chain[next] == chain[next - 1] + 1) ++next;
    uint32_t sector = uint32_t(header.ClusterSector(chain[run]));
    uint32_t count = (next - run) * format::kSectorsPerCluster;
    const uint8_t* bytes =
        piece.bytes.get() + size_t(run - piece.firstCluster) * format::kClusterSize;
    if (run == 0) {  // the record's two sectors go last, with the marks
      sector += format::kTrackRecordSectors;
      count -= format::kTrackRecordSectors;
      bytes += format::kTrackRecordSize;
    }
    const Result r = device.Write(sector, count, bytes);
    if (!r.ok()) return r;
    ReportProgress(next);
    if (next < chain.size() && volume_.CancelRequested()) {
      *cancelled = true;
      return Result::Ok();
    }
    run = next;
  }
  return Result::Ok();
}

bool SyncRun::WriteRecord(const TrackNode& song, PreparedTrack& track) {
  const uint32_t sector = uint32_t(model_.header.ClusterSector(track.chain[0]));
  const Result r =
      volume_.device()->Write(sector, format::kTrackRecordSectors, track.record.data());
  if (r.ok()) return true;
  FreeChain(model_.fat, track.chain, &model_.nextFreeCluster);
  DriverFailed("Could not write " + Utf8FromLatin1(song.record.title()), r);
  return false;
}

bool SyncRun::StoreDirectory(TrackNode& song, CdNode& target, PreparedTrack& track,
                             bool* cd_on_disk) {
  const uint32_t slot = target.record.trackCount();
  target.record.setStartCluster(slot, track.chain[0]);
  target.record.setTrackCount(uint8_t(slot + 1));
  Result r = volume_.FlushFat();
  if (r.ok()) r = volume_.device()->Write(target.sector, 1, target.record.data());
  if (r.ok()) {
    r = volume_.WriteHeader();
    if (r.ok()) *cd_on_disk = true;
    if (*cd_on_disk) {
      if (!r.ok()) DriverFailed("Could not write the volume header", r);
      return true;
    }
  }
  target.record.setStartCluster(slot, 0);
  target.record.setTrackCount(uint8_t(slot));
  FreeChain(model_.fat, track.chain, &model_.nextFreeCluster);
  DriverFailed("Could not write the directory for " + Utf8FromLatin1(song.record.title()), r);
  return false;
}

void SyncRun::MoveToPlayer(TrackNode& song, TakenCd& taken, CdNode& target, PreparedTrack& track) {
  {
    MutexLock lock(&model_.pendingMutex);
    auto& slots = taken.pending->pendingTracks;
    auto found = std::find_if(slots.begin(), slots.end(), [&](const std::unique_ptr<TrackNode>& s) {
      return s.get() == &song;
    });
    if (found == slots.end()) return;  // cannot happen: taken CDs change only here
    song.clusterCount = uint32_t(track.chain.size());
    song.firstCluster = track.chain[0];
    song.clusterList = std::move(track.chain);
    song.clusterTimes = std::move(track.times);
    song.record = track.record;
    song.marksLoaded = true;
    target.tracks.push_back(std::move(*found));
    slots.erase(found);
  }
  ++written_;
  bytes_before_track_ += track_audio_bytes_;
  track_audio_bytes_ = 0;
  volume_.PublishDirectory();
  volume_.PublishPending();
}

void SyncRun::Fail(ResultCode code, const std::string& text) {
  if (first_code_ == ResultCode::kOk) first_code_ = code;
  failures_.push_back(text);
  reporter_.ShowStatus(text);
}

void SyncRun::FailSong(const TrackNode& song, const Result& why) {
  failed_songs_.push_back({song.sourcePath, why.message()});
  Fail(why.code(), why.message() + " (" + song.sourcePath + ")");
}

void SyncRun::ReportProgress(uint32_t cluster) {
  progress_.cluster = cluster;
  // The first cluster carries the record, so it holds 1024 bytes less audio.
  const uint64_t in_track =
      cluster == 0 ? 0 : uint64_t(cluster) * format::kClusterSize - format::kTrackRecordSize;
  progress_.bytesWritten = bytes_before_track_ + std::min<uint64_t>(in_track, track_audio_bytes_);
  const uint64_t taken_kb = uint64_t(cluster) * (format::kClusterSize / 1024);
  progress_.freeKilobytes = uint32_t(free_before_track_ - std::min<uint64_t>(taken_kb, free_before_track_));
  reporter_.SyncProgressed(progress_);
}

void SyncRun::DriverFailed(const std::string& what, const Result& failure) {
  stop_ = driver_failed_ = true;
  driver_what_ = what;
  driver_failure_ = failure;
  if (first_code_ == ResultCode::kOk) first_code_ = failure.code();
  failures_.push_back(what + ": " + failure.message());
}

Result SyncRun::Finish() {
  pipeline_.reset();  // stops conversions the writer no longer needs
  ReturnPendingWork();
  volume_.ClearCancel();
  const size_t pending = songs_ - written_ - duplicates_.size();
  volume_.SetLastSyncSummary(
      SyncSummary{written_, duplicates_, failed_songs_, pending, cancelled_});
  if (cancelled_) {
    if (first_code_ == ResultCode::kOk) first_code_ = ResultCode::kCancelled;
    failures_.push_back("The sync was cancelled; " + std::to_string(pending) +
                        (pending == 1 ? " song stays pending." : " songs stay pending."));
  }
  std::string message;
  for (const std::string& failure : failures_) message += (message.empty() ? "" : "\n") + failure;
  const Result outcome = failures_.empty() ? Result::Ok() : Result::Error(first_code_, message);

  if (driver_failed_) {
    (void)volume_.ReportDriverFailure(driver_what_, driver_failure_);
    return outcome;
  }
  if (full_) {
    reporter_.ShowStatus(kPlayerFull);
  } else if (!failures_.empty() && !cancelled_) {
    reporter_.ShowStatus(failures_.front());
  } else if (!duplicates_.empty() && !cancelled_) {
    const size_t passed_over = duplicates_.size();
    reporter_.ShowStatus("Ready; " + std::to_string(passed_over) +
                         (passed_over == 1 ? " song already on the player was not written again"
                                           : " songs already on the player were not written again"));
  } else {
    reporter_.ShowStatus("Ready");
  }
  if (model_.fat.loaded()) volume_.SetDeviceState(DeviceState::kReady);
  return outcome;
}

}  // namespace

Result PlayerVolume::SyncJob() {
  SyncRun run(*this);
  return run.Run();
}

}  // namespace jukepak
