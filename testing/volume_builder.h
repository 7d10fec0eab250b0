// VolumeBuilder: lays player volumes over a device for tests, fuzzers and
// benchmarks, the way Songlift writes them, from the format alone (no
// engine): the layout of a new volume; CD records placed from
// (audioStart + audioClusters) * 16 - 1 downward; tracks taken from the
// lowest free cluster below the CD area and chained in the FAT; track
// records "MPTK" with size, title, artist, one index mark per cluster (at
// most 178) and the terminator; the audio bytes behind the record.
//
// Each addition writes as a sync does: the track's record and audio, the
// FAT, the CD record, then the header. CDs are named by ids that stay valid
// while CDs are added; cdIndex() says where one stands in the run (0 = the
// record at cdStart, the newest, CD 1 of the directory).
//
// The model (header, FAT, records) is open for tests that damage a volume
// on purpose: change it, then write the part changed.
//
// Not thread-safe; the device is not owned and must outlive the builder.
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

namespace jukepak::testing {

struct SongContent {
  std::string title;   // Latin-1, as stored
  std::string artist;  // Latin-1
  std::vector<uint8_t> audio;
};

struct CdContent {
  std::string artist;  // Latin-1
  std::string album;   // Latin-1
  std::vector<SongContent> songs;
};

// `bytes` bytes that differ from seed to seed and from cluster to cluster.
std::vector<uint8_t> TestAudio(size_t bytes, uint32_t seed);

class VolumeBuilder {
 public:
  // Nothing is written before Format(), nothing read before Load().
  explicit VolumeBuilder(SectorDevice* device) : device_(device) {}

  // Writes go to `device` from now on; the model stays (a copy of a
  // builder can thus go on over a copy of its disk).
  void RebindDevice(SectorDevice* device) { device_ = device; }

  // A new, empty volume over the whole drive, byte for byte what Songlift's
  // initialization writes: header, FAT with the placeholder's chain 0 -> 1,
  // placeholder record "Empty Track", filler up to the audio area.
  Result Format();
  // Takes the volume on the device as the model, to add to a volume made
  // elsewhere (by the engine, say): header, FAT, the CD run and the records
  // of the tracks it lists. kCorrupt when sector 0 holds no volume header.
  Result Load();

  // A new CD record just below the lowest one (written, then the header).
  // *id names it from now on. kInvalidArgument when its sector is taken.
  Result AddCd(const std::string& album, const std::string& artist, int* id);
  // A track of `clusters` clusters at the end of CD `id`, its artist the
  // CD's, its size what `clusters` clusters hold at most. *start gets its
  // first cluster.
  Result AddTrack(int id, const std::string& title, uint32_t clusters, uint32_t* start = nullptr);
  // A track holding `song`'s audio, in as many clusters as Songlift gives it.
  Result AddSong(int id, const SongContent& song, uint32_t* start = nullptr);
  // A new CD with its songs, in that order.
  Result AddCd(const CdContent& cd, int* id = nullptr);
  // Takes a chain of `clusters` clusters that no track owns (a leftover),
  // writes the FAT and returns its first cluster.
  Result AddLeftoverChain(uint32_t clusters, uint32_t* first);
  // Sets FAT entry `cluster` to `value` and writes the FAT (damaged volumes).
  Result SetFatEntry(uint32_t cluster, uint32_t value);

  VolumeHeader& header() { return header_; }
  const VolumeHeader& header() const { return header_; }
  Fat& fat() { return fat_; }
  const Fat& fat() const { return fat_; }
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
  // Lists the new track `record` (at chain[0]) on CD `id` and writes the
  // FAT, the CD record and the header.
  Result List(int id, const std::vector<uint32_t>& chain);
  Result WriteAudio(const std::vector<uint32_t>& chain, const std::vector<uint8_t>& audio);

  SectorDevice* device_;
  uint32_t sectors_ = 0;
  VolumeHeader header_;
  Fat fat_;
  std::vector<CdEntry> cds_;  // in CD-area order: cds_[0] at cdStart
  std::map<uint32_t, TrackRecord> tracks_;
  int next_id_ = 1;
  uint32_t next_free_ = 2;
};

// A new volume over the device holding `cds` in directory order: cds[0]
// becomes CD 1 (the CDs are written last first, as each new CD goes below
// the others).
Result BuildVolume(SectorDevice* device, const std::vector<CdContent>& cds);

}  // namespace jukepak::testing
