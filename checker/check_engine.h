// CheckEngine: Volmend's check engine. It works only on memory images of the
// volume that its caller hands in (the 1024-byte header, the FAT, the CD
// record sectors and the track records, laid out as on the disk), reports
// every finding as a line of text through its MessageSink and writes its
// changes through its SectorWriter. Without a writer it is a dry run: every
// repair changes the images only and nothing is written.
//
// Set-up: the hooks, SetDriveSize, AttachHeader; then VerifyHeader. When the
// header is sound: AttachCdSectors, AttachFat, SetTrackRecord for every track
// record read; then VerifyVolume. Release() lets the caller attach fresh
// images again (the repair pass starts over the volume as read).
//
// Ownership: the caller owns every image and keeps it alive, unmoved and
// unresized until Release(); the engine owns its own tables. Track records are
// only read, never changed. The engine never reads or writes outside the
// images it was given, whatever the volume holds.
//
// Threads: one thread at a time (Volmend's worker, or the command line's main
// thread); no locks.
//
// Failures: operations return a Result. A write that fails stops the
// operation in hand with kIoError (its sector stays marked for writing); a
// PollHook that asks to stop ends it with kCancelled, right after a flush.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "checker/check_hooks.h"
#include "checker/cluster_owner_table.h"

namespace jukepak::checker {

// VerifyHeader's verdicts.
inline constexpr int kHeaderSound = 0;
inline constexpr int kHeaderNeedsReinitializing = 2;

// VerifyVolume's verdicts.
inline constexpr int kVolumeClean = 0;
inline constexpr int kVolumeRepaired = 1;

// ReinitializeVolume's failure codes: the step whose write failed first.
inline constexpr int kReinitOk = 0;
inline constexpr int kReinitDriveTooSmall = 1;
inline constexpr int kReinitNoWriter = 2;
inline constexpr int kReinitHeaderFailed = 100;
inline constexpr int kReinitFatFailed = 200;
inline constexpr int kReinitFillerFailed = 300;
inline constexpr int kReinitPlaceholderRecordFailed = 400;
inline constexpr int kReinitPlaceholderDataFailed = 500;
inline constexpr int kReinitFirstFatSectorFailed = 600;

// How VerifyVolume goes on after it removed something.
enum class RestartPolicy {
  // Go on after the last verified track that is still listed, keeping what
  // the pass has learnt, and start again from the first CD only when a
  // removal changed what was verified before. Findings, their order and the
  // writes are exactly those of kFromScratch.
  kResume,
  // Start again from the first CD after every removal, with every owner
  // forgotten by clearing the whole owner table and a fresh sweep of the
  // whole FAT: the plain restart, kept to measure against.
  kFromScratch,
};

class CheckEngine {
 public:
  CheckEngine() = default;
  CheckEngine(const CheckEngine&) = delete;
  CheckEngine& operator=(const CheckEngine&) = delete;

  // Hooks; nullptr removes one. Without a writer the engine runs dry.
  void SetMessageSink(MessageSink* sink) { sink_ = sink; }
  void SetPollHook(PollHook* hook) { poll_ = hook; }
  void SetSectorWriter(SectorWriter* writer) { writer_ = writer; }
  void SetRestartPolicy(RestartPolicy policy) { policy_ = policy; }

  // N, the drive's size in sectors.
  void SetDriveSize(uint32_t sectors) { sectors_ = sectors; }
  // Remembers the 1024-byte header image and clears its dirty flag.
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

  // The header checks, in order; the first that fails is reported and the
  // verdict is kHeaderNeedsReinitializing, else kHeaderSound. Without a
  // header attached the verdict is kHeaderNeedsReinitializing, unreported.
  int VerifyHeader();

  // FAT[cluster] := value and marks its sector for writing. Clusters outside
  // the attached FAT are ignored.
  void SetFatEntry(uint32_t cluster, uint32_t value);
  uint32_t FatEntry(uint32_t cluster) const;

  // Writes what is marked: CD records from the highest sector down, then the
  // FAT sectors in ascending order, then the header, so that a cut inside a
  // CD removal leaves a record twice and never loses one. Then asks the
  // PollHook. In a dry run it returns at once: nothing is written, every mark
  // stays and the PollHook is not asked. kIoError at the first failed write
  // (that sector stays marked); kCancelled when the PollHook asks to stop.
  Result FlushChanges();

  // The directory and chain pass: sweeps the FAT for entries outside the
  // audio area, then checks every CD record, track record and chain, removes
  // what is damaged (restarting after each removal), frees the clusters no
  // surviving track owns and reports how many clusters are in use. *verdict
  // is kVolumeRepaired when anything was found, else kVolumeClean. Fails
  // with kInvalidArgument when the header, the CD sectors or the FAT are not
  // attached, and with the flush's failure when a write fails or a stop is
  // asked for (the disk is then between two complete steps).
  Result VerifyVolume(int* verdict);

  // Removes track `track` of CD `cd` from the directory (the start-cluster
  // list and the record slots close up; the CD record is marked), removes
  // the CD when it has no track left, and flushes. Does nothing but flush
  // when there is no such track. The track's clusters are left to the
  // lost-cluster step.
  Result RemoveTrack(uint32_t cd, uint32_t track);
  // Removes CD `cd`: the CDs before it move one sector up (and are marked),
  // those after it keep their sectors, cdStart goes up by one and cdCount
  // down by one (the header is marked); then flushes. The audio area never
  // changes. Does nothing but flush when there is no such CD.
  Result RemoveCd(uint32_t cd);

  // Writes a new, empty volume over the whole drive through the writer:
  // sector 0 zeroed first, the FAT, the filler, the placeholder track, and
  // the new header last (the remote-control codes of the attached header are
  // kept). *code is kReinitOk or the failure code of the first failed step;
  // the Result carries the write's failure. Without a writer nothing is
  // written and *code is kReinitNoWriter.
  Result ReinitializeVolume(int* code);

  // What the engine holds now (for the front ends and the tests).
  uint32_t cdCount() const;
  uint32_t cdStart() const;
  uint32_t trackCount(uint32_t cd) const;
  bool headerDirty() const { return header_dirty_; }
  bool fatSectorDirty(uint32_t sector) const;
  bool cdDirty(uint32_t cd) const;

 private:
  static constexpr uint32_t kGone = UINT32_MAX;  // cd_position_ of a removed CD

  struct TrackSlot {
    const uint8_t* record = nullptr;
    uint32_t listing = 0;  // stable id of this listing while it stays in the directory
  };
  struct CdSlot {
    uint32_t id = 0;  // stable id, index into cd_position_
    bool dirty = false;
    std::vector<TrackSlot> tracks;  // the record's first min(trackCount, 100) tracks
  };
  // Where VerifyVolume goes on: every track before (cd, track) in scan order
  // is verified and owns its clusters; fullRestart asks for a new pass from
  // the first CD with every owner forgotten.
  struct Cursor {
    uint32_t cd = 0;
    uint32_t track = 0;
    bool fullRestart = false;
  };

  // Header fields (little-endian in the image).
  uint32_t HeaderField(uint32_t offset) const;
  void SetHeaderField(uint32_t offset, uint32_t value);
  uint32_t AudioClusters() const;
  // The first cluster of the CD area, or UINT32_MAX while there is no CD.
  uint32_t CdAreaFirstCluster() const;

  uint8_t* CdRecordBytes(uint32_t cd) const { return cd_image_ + size_t(cd) * 512; }
  std::string Album(uint32_t cd) const;
  static std::string Title(const uint8_t* record);
  uint32_t StartCluster(uint32_t cd, uint32_t track) const;

  void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // The passes (verify_volume.cc and chain_checks.cc).
  bool SweepFatRange();
  bool RestorePlaceholderChain();
  void ReportLinkageFaults(int* result);
  Result RemoveDuplicateCds(Cursor* cursor, bool* removed);
  Result CheckDirectory(Cursor* cursor, bool* removed);
  Result CheckCd(uint32_t cd, Cursor* cursor, bool* removed);
  Result CheckTrack(uint32_t cd, uint32_t track, Cursor* cursor, bool* removed);
  Result WalkChain(uint32_t cd, uint32_t track, Cursor* cursor, bool* removed);
  Result RemoveCrosslinked(uint32_t cd, uint32_t track, uint32_t owner, uint32_t cluster,
                           Cursor* cursor);
  Result RemoveListing(uint32_t cd, uint32_t track, Cursor* cursor);
  bool Owned(uint32_t cluster) const;
  void FindListing(uint32_t listing, uint32_t* cd, uint32_t* track) const;
  Result FreeLostClusters(int* result);
  Result ReportClustersUsed();

  // Flush parts (change_flush.cc).
  Result WriteDirtyCds();
  Result WriteDirtyFatSectors();

  MessageSink* sink_ = nullptr;
  PollHook* poll_ = nullptr;
  SectorWriter* writer_ = nullptr;
  RestartPolicy policy_ = RestartPolicy::kResume;
  uint32_t sectors_ = 0;

  uint8_t* header_ = nullptr;
  bool header_dirty_ = false;

  uint8_t* cd_image_ = nullptr;
  bool cds_attached_ = false;
  std::vector<CdSlot> cds_;
  std::vector<uint32_t> cd_position_;   // by CD id; kGone once removed
  std::vector<uint32_t> listing_cd_;    // by listing id: the CD id it was attached with
  std::vector<uint8_t> listing_alive_;  // by listing id

  uint8_t* fat_ = nullptr;
  uint32_t fat_entries_ = 0;
  std::vector<uint8_t> fat_dirty_;        // one flag per FAT sector of the image
  std::vector<uint32_t> fat_dirty_list_;  // the marked sectors, unordered
  ClusterOwnerTable owners_;
};

}  // namespace jukepak::checker
