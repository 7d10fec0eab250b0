// SongliftVolumeBuilder: lays volumes over a device the way Songlift writes
// them, for the checker's tests and benchmark: the layout of a new volume,
// CD records placed from (audioStart + audioClusters) * 16 - 1 downward,
// tracks allocated from the lowest free cluster below the CD area and chained
// in the FAT, track records "MPTK" with index marks and a terminator, and the
// deletes and moves of the library manager with their write order.
//
// CDs are named by ids that stay valid while CDs come and go; cdIndex() says
// where one stands in the run (0 = the record at cdStart).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/result.h"
#include "format/cd_record.h"
#include "format/fat.h"
#include "format/sector_device.h"
#include "format/track_record.h"
#include "format/volume_header.h"

namespace jukepak::checker::testing {

class SongliftVolumeBuilder {
 public:
  // The device must outlive the builder. Nothing is written before Format().
  explicit SongliftVolumeBuilder(SectorDevice* device);

  // Writes go to `device` from now on; the model stays (a copy of a
  // builder can thus edit a copy of its disk).
  void RebindDevice(SectorDevice* device) { device_ = device; }

  // A new, empty volume over the whole drive: header, FAT with the
  // placeholder's chain 0 -> 1, placeholder record "Empty Track".
  Result Format();

  // A new CD record just below the lowest one (written, then the header).
  // *id names it from now on.
  Result AddCd(const std::string& album, const std::string& artist, int* id);
  // A track of `clusters` clusters at the end of CD `id`: clusters taken from
  // the lowest free one below the CD area, the record (with one index mark
  // per cluster, at most 178, and the terminator FE FF FF), the FAT, the CD
  // record and the header are written in that order. *start gets its first
  // cluster.
  Result AddTrack(int id, const std::string& title, uint32_t clusters, uint32_t* start = nullptr);
  // Deletes track `track` of CD `id`: CD record first, then the chain is
  // freed and the FAT written; the CD goes too when it has no track left.
  Result DeleteTrack(int id, uint32_t track);
  // Deletes CD `id`, which should hold no track: the records below it move
  // one sector up, nearest first, then the header.
  Result DeleteCd(int id);
  // Deletes a CD as the window does: its tracks one by one, the CD going
  // with the last (at once when it has none).
  Result DeleteCdAndTracks(int id);
  // Moves track `track` of CD `from` to the end of CD `to` (or before
  // position `at`): the target record is written first, then the source.
  // The source is left even when it has no track left.
  Result MoveTrack(int from, uint32_t track, int to, uint32_t at = UINT32_MAX);

  // The model, for tests that damage a volume on purpose: change it, then
  // write the part changed.
  VolumeHeader& header() { return header_; }
  Fat& fat() { return fat_; }
  CdRecord& cd(int id);
  TrackRecord& track(uint32_t start_cluster) { return tracks_[start_cluster]; }
  Result WriteHeader();
  Result WriteFat();  // the dirty FAT sectors
  Result WriteCd(int id);
  Result WriteTrack(uint32_t start_cluster);

  uint32_t cdIndex(int id) const;
  uint32_t cdSector(int id) const { return header_.cdStart() + cdIndex(id); }
  int cdAt(uint32_t index) const { return cds_[index].id; }
  uint32_t cdCount() const { return uint32_t(cds_.size()); }
  // The clusters of the track that starts at `start`, in chain order.
  std::vector<uint32_t> Chain(uint32_t start) const;

 private:
  struct CdEntry {
    int id;
    CdRecord record;
  };
  size_t Position(int id) const;
  Result Allocate(uint32_t clusters, std::vector<uint32_t>* chain);

  SectorDevice* device_;
  uint32_t sectors_ = 0;
  VolumeHeader header_;
  Fat fat_;
  std::vector<CdEntry> cds_;  // in CD-area order: cds_[0] at cdStart
  std::map<uint32_t, TrackRecord> tracks_;
  int next_id_ = 1;
  uint32_t next_free_ = 2;
};

}  // namespace jukepak::checker::testing
