// The mount: reads the header's directory (every CD record and the first
// sector of every track record) and the whole FAT into the model and sends
// the directory. Over the parallel port each sector costs thousands of
// port operations, so the mount reads no more of a track than the tree and
// the edits show: the first sector holds the signature, the size and the
// texts. The rest of the record, the later index marks, is read when needed.

#include <algorithm>
#include <vector>

#include "format/cd_run.h"
#include "format/format_constants.h"
#include "volume/header_check.h"
#include "format/header_verdict.h"
#include "volume/player_volume.h"
#include "volume/prefetched_sectors.h"
#include "volume/space_accounting.h"

namespace jukepak {
namespace {

// 2 MB: far more CDs than a player's disk holds.
constexpr uint32_t kMostPrefetchedCdRecords = 4096;

}  // namespace

void PlayerVolume::ClearPlayerDirectory() {
  model_.readOnly = false;  // nothing is left to protect
  model_.playerCds.clear();
  PublishDirectory();
}

Result PlayerVolume::MountJob() {
  reporter_->ShowStatus("Reading Directory...");
  ClearPlayerDirectory();
  model_.fat.Clear();
  const Result mounted = MountDirectory();
  if (!mounted.ok()) ClearPlayerDirectory();  // never show a half-read directory
  return mounted;
}

Result PlayerVolume::MountDirectory() {
  uint32_t n = 0;
  Result r = device_->QuerySectorCount(&n);
  if (!r.ok()) return ReportDriverFailure("Could not read the directory", r);
  model_.sectorCount = n;
  model_.clusterLimit = n / format::kSectorsPerCluster;

  // The CD run the header names is read once, for the header check and the
  // CD records both. A run past the drive or of a crafted length is left to
  // the check, which reads only what it needs of it.
  PrefetchedSectors device(device_.get());
  const uint64_t cd_end = uint64_t(model_.header.cdStart()) + model_.header.cdCount();
  if (model_.header.cdCount() != 0 && model_.header.cdCount() <= kMostPrefetchedCdRecords &&
      cd_end <= n) {
    // A failed read is met again, and reported, where the records are read.
    (void)device.Prefetch(model_.header.cdStart(), model_.header.cdCount());
  }

  // The checker's verdict on the header: fields it would rebuild are used
  // rebuilt, in memory only, and the directory is shown read-only until
  // Volmend writes them.
  HeaderAssessment verdict;
  r = AssessHeader(device, n, model_.header.data(), &verdict);
  if (!r.ok()) return ReportDriverFailure("Could not read the directory", r);
  const bool rebuilt = verdict.verdict == HeaderVerdict::kRebuilt;
  if (rebuilt) model_.header.bytes() = verdict.header;

  r = CheckHeaderStructure(model_.header, n);
  if (!r.ok()) {
    reporter_->ShowStatus("The volume on the player is damaged (" + r.message() +
                          "); run volmend to check and repair it");
    SetDeviceState(DeviceState::kNoVolume);
    return r;
  }

  const VolumeHeader& h = model_.header;
  // A cdStart left over by an emptied run is the only rebuilt field that
  // Songlift itself writes right again with the next CD.
  const bool only_empty_run = verdict.rebuilt.size() == 1 && h.cdCount() == 0;
  model_.readOnly = (rebuilt && !only_empty_run) ||
                    PlaceOfCdRun(h.audioStart(), h.audioClusters(), h.cdStart(), h.cdCount()) ==
                        CdRunPlace::kNotAtAudioEnd;
  int damaged = 0;
  for (uint32_t i = 0; i < model_.header.cdCount(); ++i) {
    r = ReadCd(device, i, &damaged);
    if (!r.ok()) return ReportDriverFailure("Could not read the directory", r);
  }

  reporter_->ShowStatus("Reading FAT...");
  const uint32_t fat_sectors = model_.header.fatSectors();
  std::vector<uint8_t> fat_bytes(size_t(fat_sectors) * format::kSectorSize, 0);
  r = device_->Read(model_.header.fatStart(), fat_sectors, fat_bytes.data());
  if (!r.ok()) return ReportDriverFailure("Could not read the FAT", r);
  model_.fat.Decode(fat_bytes.data(), fat_sectors);

  const uint32_t limit = AllocatableClusterLimit(model_.header);
  model_.nextFreeCluster = limit;
  for (uint32_t c = 0; c < limit; ++c) {
    if (model_.fat.entry(c) == format::kFatFree) {
      model_.nextFreeCluster = c;
      break;
    }
  }
  PublishDirectory();
  PublishPending();  // the estimate counts the CD records the new CDs add

  if (ReadOnly()) {
    reporter_->ShowStatus(kDamagedDirectory);
  } else {
    reporter_->ShowStatus(damaged == 0 ? "Ready"
                                       : "Ready - the directory has damaged entries; run volmend "
                                         "to check and repair it");
  }
  SetDeviceState(DeviceState::kReady);
  return Result::Ok();
}

Result PlayerVolume::ReadCd(SectorDevice& device, uint32_t index, int* damaged) {
  auto cd = std::make_unique<CdNode>();
  cd->sector = model_.header.cdStart() + index;
  Result r = device.Read(cd->sector, 1, cd->record.data());
  if (!r.ok()) return r;
  if (!cd->record.HasSignature()) ++*damaged;
  if (cd->record.trackCount() > format::kMaxTracksPerCd) {
    // A damaged record: keep what the record can hold so no edit indexes past it.
    cd->record.setTrackCount(uint8_t(format::kMaxTracksPerCd));
    ++*damaged;
  }
  CdNode* node = cd.get();
  model_.playerCds.push_back(std::move(cd));

  for (uint32_t j = 0; j < node->record.trackCount(); ++j) {
    auto track = std::make_unique<TrackNode>();
    track->firstCluster = node->record.startCluster(j);
    if (track->firstCluster < model_.header.audioClusters()) {
      r = device.Read(uint32_t(model_.header.ClusterSector(track->firstCluster)), 1,
                      track->record.data());
      if (!r.ok()) return r;
    } else {
      ++*damaged;  // its record would lie outside the audio area: leave it unread
    }
    node->tracks.push_back(std::move(track));
  }
  return Result::Ok();
}

Result PlayerVolume::LoadIndexMarks(TrackNode& track) {
  if (track.marksLoaded) return Result::Ok();
  if (device_ == nullptr) return Result::Error(ResultCode::kIoError, "no driver is bound");
  if (track.firstCluster >= model_.header.audioClusters()) {
    return Result::Error(ResultCode::kCorrupt, "the track's record lies outside the audio area");
  }
  TrackRecord record = track.record;
  const Result r = device_->Read(uint32_t(model_.header.ClusterSector(track.firstCluster)) + 1, 1,
                                 record.data() + format::kSectorSize);
  if (!r.ok()) return r;
  track.record = record;
  track.marksLoaded = true;
  return Result::Ok();
}

}  // namespace jukepak
