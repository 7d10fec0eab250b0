// CheckEngine: Volmend's check engine. It works on memory images of the
// volume that its caller hands in (the 1024-byte header, the FAT, the CD
// record sectors and the track records, laid out as on the disk), raises
// every finding as a problem code (problem.h) through FixProblem, and writes
// its changes through its SectorWriter.
//
// The mode of a run decides what FixProblem answers:
//   dry run (no writer)          every problem is mended in the images only;
//                                nothing is written;
//   repair  (writer, no choice)  every problem is mended and written as it is;
//   ask     (writer and choice)  the ProblemChoice decides each one; what it
//                                declines is left as found and kept in use.
//
// Set-up: the hooks, SetDriveSize, AttachHeader; then VerifyHeader (and, when
// the caller has worked out a rebuilt header, ApplyHeaderAssessment). When
// the header is sound: AttachCdSectors, AttachFat, SetTrackRecord for every
// track record read; then VerifyVolume. Release() lets the caller attach
// fresh images again (the repair pass starts over the volume as read).
//
// Ownership: the caller owns every image and keeps it alive, unmoved and
// unresized until Release(); the engine owns its own tables and the copies of
// track records it changes (the caller's track records are only read). The
// engine never reads or writes outside the images it was given, whatever the
// volume holds.
//
// Cost: VerifyVolume takes time and memory linear in the volume (the FAT,
// the CD records and the track records), whatever the damage: it goes
// through the directory once, removals close up the CD run once at the end,
// and copies of shared clusters are bounded by the free clusters.
//
// Threads: one thread at a time (Volmend's worker, or the command line's main
// thread); no locks.
//
// Failures: operations return a Result. A write that fails stops the
// operation in hand with kIoError (its sector stays marked for writing); a
// PollHook that asks to stop ends it with kCancelled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/result.h"
#include "checker/check_hooks.h"
#include "checker/cluster_owner_table.h"
#include "format/header_verdict.h"
#include "checker/problem.h"
#include "format/format_constants.h"

namespace jukepak::checker {

enum class CheckMode { kDryRun, kAsk, kRepair };

// VerifyVolume's verdict: whether any damage was found (in a dry run it is
// mended in memory only; in the asking mode some may have been declined).
enum class VolumeVerdict { kClean, kRepaired };

// How ReinitializeVolume ended: done, or the step whose write failed first.
enum class ReinitOutcome {
  kDone,
  kNoWriter,                   // nothing was written
  kDriveTooSmall,              // nothing was written
  kHeaderFailed,               // zeroing sector 0, or the new header last
  kFatFailed,
  kFillerFailed,
  kPlaceholderRecordFailed,
  kPlaceholderDataFailed,
  kFirstFatSectorFailed,
};

// The smallest drive that holds a volume: the FAT, the placeholder's two
// clusters and one cluster for a song.
uint32_t MinimumVolumeSectors();

class CheckEngine {
 public:
  CheckEngine() = default;
  CheckEngine(const CheckEngine&) = delete;
  CheckEngine& operator=(const CheckEngine&) = delete;

  // Hooks; nullptr removes one. Without a writer the engine runs dry; with a
  // writer and a choice it asks. The reader serves copies of clusters.
  void SetFindingSink(FindingSink* sink) { sink_ = sink; }
  void SetPollHook(PollHook* hook) { poll_ = hook; }
  void SetSectorWriter(SectorWriter* writer) { writer_ = writer; }
  void SetSectorReader(SectorReader* reader) { reader_ = reader; }
  void SetProblemChoice(ProblemChoice* choice) { choice_ = choice; }
  CheckMode mode() const;

  // N, the drive's size in sectors.
  void SetDriveSize(uint32_t sectors) { sectors_ = sectors; }
  // Remembers the 1024-byte header image; another image than the one
  // attached starts unmarked (attaching the same one again keeps its mark).
  void AttachHeader(uint8_t* header);
  // Remembers the CD sector image (CD i at byte i * 512) and makes one slot
  // per CD the header counts. Fails with kInvalidArgument, attaching nothing,
  // when no header is attached or the image is smaller than cdCount sectors.
  Result AttachCdSectors(uint8_t* image, size_t bytes);
  // Remembers the FAT image (fatSectors sectors or more) and makes the owner
  // table and the dirty flags. Fails with kInvalidArgument, attaching
  // nothing, when no header is attached, the image is smaller than
  // fatSectors sectors or holds fewer entries than the audio area has clusters.
  Result AttachFat(uint8_t* image, size_t bytes);
  // The 1024-byte record of track `track` (0..99) of CD `cd`; ignored for a
  // slot the CD record does not list. nullptr leaves the slot empty.
  void SetTrackRecord(uint32_t cd, uint32_t track, const uint8_t* record);
  // Forgets every image and frees the engine's tables. Hooks stay.
  void Release();

  // Raises `problem` with `details`: reports it through the sink and answers
  // by the mode whether to mend it (always false for a problem without a
  // remedy). Every finding of the engine goes through here; the front ends
  // raise the run's own problems (the drive's size, reinitializing) here too.
  bool FixProblem(Problem problem, const ProblemDetails& details = {});

  // The header's structural rules, in order; the first that fails is raised
  // (a report only: what follows is the caller's header assessment) and
  // returned. kSignature without a header attached, unreported.
  HeaderRule VerifyHeader();
  // Raises the problems of a rebuilt header (`assessment` from AssessHeader
  // of this header) and, where they are to be mended, sets the fields in the
  // attached header and marks it for writing. False when a rebuilt field was
  // declined: the header stays as read and the volume cannot be checked.
  bool ApplyHeaderAssessment(const HeaderAssessment& assessment);

  // FAT[cluster] := value and marks its sector for writing. Clusters outside
  // the attached FAT are ignored.
  void SetFatEntry(uint32_t cluster, uint32_t value);
  uint32_t FatEntry(uint32_t cluster) const;

  // Writes what is marked: changed track records, the CD records from the
  // highest sector down, then the FAT sectors in ascending order, then the
  // header, so that a cut while the CD run closes up leaves a record twice
  // and never loses one. Then asks the PollHook. In a dry run it returns at
  // once: nothing is written, every mark stays and the PollHook is not
  // asked. kIoError at the first failed write (that sector stays marked);
  // kCancelled when the PollHook asks to stop.
  Result FlushChanges();

  // The directory and chain pass (see verify_volume.cc for its steps):
  // mends the FAT's placeholder entries and entries outside the audio area,
  // checks every CD record, track record and chain, keeps every track whose
  // chain can be made whole (ending it where its size says, or giving it
  // copies of clusters it shares with a track that claimed them first),
  // removes the rest, closes up the CD run, sets sizes to what whole chains
  // hold, frees the clusters no track owns and reports how many are in use.
  // *verdict is kRepaired when anything was found, else kClean. Fails with
  // kInvalidArgument when the header, the CD sectors or the FAT are not
  // attached, and with the flush's failure when a write fails or a stop is
  // asked for (the disk is then between two complete steps).
  Result VerifyVolume(VolumeVerdict* verdict);
  // True when, in the asking mode, a problem was declined.
  bool declined() const { return declined_; }

  // Removes track `track` of CD `cd` from the directory (the start-cluster
  // list closes up; the CD record is marked), removes the CD when it has no
  // track left, and flushes. Does nothing but flush when there is no such
  // track. The track's clusters are left to the lost-cluster step.
  Result RemoveTrack(uint32_t cd, uint32_t track);
  // Removes CD `cd`: the CDs before it move one sector up (and are marked),
  // those after it keep their sectors, cdStart goes up by one and cdCount
  // down by one (cdStart becomes 0 with the last CD; the header is marked);
  // then flushes. The audio area never changes. Does nothing but flush when
  // there is no such CD.
  Result RemoveCd(uint32_t cd);

  // Writes a new, empty volume over the whole drive through the writer:
  // sector 0 zeroed first, the FAT, the filler, the placeholder track, and
  // the new header last (the remote-control codes of the attached header are
  // kept). *outcome says how it ended; the Result carries the write's failure
  // (or, for a drive too small, says its size and the minimum). Without a
  // writer nothing is written.
  Result ReinitializeVolume(ReinitOutcome* outcome);

  // What the engine holds now (for the front ends and the tests).
  uint32_t cdCount() const;
  uint32_t cdStart() const;
  uint32_t trackCount(uint32_t cd) const;
  bool headerDirty() const { return header_dirty_; }
  bool fatSectorDirty(uint32_t sector) const;
  bool cdDirty(uint32_t cd) const;

 private:
  static constexpr uint32_t kNoListing = 0;
  static constexpr uint32_t kPlaceholderListing = 1;  // owns clusters 0 and 1
  static constexpr uint32_t kNone = UINT32_MAX;

  // One track listing of the directory, while the engine runs.
  struct Listing {
    uint32_t cd = 0;           // CD slot
    uint32_t start = 0;        // first cluster
    uint32_t length = 0;       // clusters of its chain, owned or (until cloned) shared
    bool alive = false;
    bool terminated = false;   // its chain ends in an end-of-chain entry
    bool held = false;         // left as found: never changed, its clusters kept
    const uint8_t* record = nullptr;
  };
  struct CdSlot {
    bool removed = false;  // taken out; the run closes up at the end of the pass
    bool dirty = false;
    bool held = false;
    std::vector<uint32_t> listings;  // the record's first min(trackCount, 100) tracks
  };
  // A chain whose clusters from `position` on get copied to free clusters:
  // a clone of shared clusters, or a move from above the mark limit.
  struct PendingCopy {
    uint32_t listing;
    uint32_t position;
    bool clone;
  };
  // What checking one track did to the CD's list.
  struct TrackStep {
    bool kept = true;             // the track is still at its place
    uint32_t removedBefore = 0;   // tracks of this CD before it that went
  };
  enum class Walk { kKept, kRemoved, kGoOn };

  // Header fields (little-endian in the image).
  uint32_t HeaderField(uint32_t offset) const;
  void SetHeaderField(uint32_t offset, uint32_t value);
  uint32_t AudioClusters() const;
  // The first cluster of the CD area, or UINT32_MAX while there is no CD.
  uint32_t CdAreaFirstCluster() const;
  // Where copies may go: below the CD area and below the mark limit.
  uint32_t AllocationLimit() const;

  uint8_t* CdRecordBytes(uint32_t cd) const { return cd_image_ + size_t(cd) * 512; }
  // The volume's Latin-1 texts, as UTF-8 for the problem texts: the one
  // place they are converted.
  std::string Album(uint32_t cd) const;
  std::string Title(uint32_t listing) const;
  uint32_t TrackSize(uint32_t listing) const;
  uint32_t StartCluster(uint32_t cd, uint32_t track) const;
  uint32_t TrackIndex(uint32_t listing) const;
  ProblemDetails Names(uint32_t listing) const;
  // "what 0000abcd": a reason that names a cluster.
  static std::string AtCluster(const char* what, uint32_t cluster);

  Result Poll();
  Result PollEvery(uint32_t cluster);

  // The steps of the pass (verify_volume.cc, directory_checks.cc,
  // chain_checks.cc, crosslinks.cc, cluster_copies.cc, track_sizes.cc).
  Result SweepFat();
  Result RemoveDuplicateCds();
  Result CheckDirectory();
  Result CheckCd(uint32_t cd, bool* removed);
  Result CheckTrack(uint32_t cd, uint32_t track, TrackStep* step);
  Result WalkChain(uint32_t cd, uint32_t track, TrackStep* step);
  Result ChainFailure(uint32_t listing, uint32_t have, Problem removal, const std::string& reason,
                      TrackStep* step);
  Result ResolveCrosslink(uint32_t listing, uint32_t prefix, uint32_t cluster, uint32_t owner,
                          TrackStep* step, Walk* walk);
  Result EndOrRemove(uint32_t listing, uint32_t have, Problem removal, const std::string& reason,
                     TrackStep* step);
  Result EndChain(uint32_t listing, uint32_t length);
  Result CopyPendingClusters();
  Result CopyChainTail(const PendingCopy& copy);
  bool Allocate(uint32_t count, std::vector<uint32_t>* clusters);
  Result CopyClusterData(uint32_t from, uint32_t to, const uint8_t* record);
  Result FixTrackSizes();
  Result FreeLostClusters();
  void ReportLinkageFaults();
  Result ReportClustersUsed();

  // Repair steps (repair_steps.cc).
  void HoldListing(uint32_t listing);
  void HoldCd(uint32_t cd);
  Result RemoveListing(uint32_t listing, TrackStep* step);
  void MarkCdDirty(uint32_t cd);
  void MarkCdRemoved(uint32_t cd);
  Result CloseUpCdRun();
  uint8_t* EditableRecord(uint32_t listing);
  bool Owned(uint32_t cluster) const;

  // Flush parts (change_flush.cc).
  Result WriteDirtyRecords();
  Result WriteDirtyCds();
  Result WriteDirtyFatSectors();

  FindingSink* sink_ = nullptr;
  PollHook* poll_ = nullptr;
  SectorWriter* writer_ = nullptr;
  SectorReader* reader_ = nullptr;
  ProblemChoice* choice_ = nullptr;
  uint32_t sectors_ = 0;
  bool found_ = false;
  bool declined_ = false;

  uint8_t* header_ = nullptr;
  bool header_dirty_ = false;

  uint8_t* cd_image_ = nullptr;
  bool cds_attached_ = false;
  std::vector<CdSlot> cds_;
  std::vector<uint32_t> dirty_cds_;  // the marked CDs, unordered
  uint32_t removed_cds_ = 0;
  // The directory scan's place: the CD in hand and the live CDs before it
  // (what "CD [n]" counts).
  uint32_t scan_cd_ = 0;
  uint32_t live_before_ = 0;

  std::vector<Listing> listings_;  // by id; 0 none, 1 the placeholder
  std::map<uint32_t, std::array<uint8_t, format::kTrackRecordSize>> edited_records_;
  std::map<uint32_t, uint8_t> dirty_records_;  // listing -> sectors to write (bit 0, bit 1)
  std::vector<PendingCopy> pending_copies_;
  uint32_t allocation_cursor_ = 2;
  uint32_t free_budget_ = kNone;  // usable clusters from the cursor on, once counted

  uint8_t* fat_ = nullptr;
  uint32_t fat_entries_ = 0;
  std::vector<uint8_t> fat_dirty_;        // one flag per FAT sector of the image
  std::vector<uint32_t> fat_dirty_list_;  // the marked sectors, unordered
  ClusterOwnerTable owners_;
};

}  // namespace jukepak::checker
