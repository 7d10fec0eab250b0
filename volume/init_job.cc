// Initialization: lays a new, empty volume over the whole drive and mounts it.
//
// Write order: sector 0 is zeroed first, so the old signature is gone before
// anything else changes; then the FAT, the filler and the placeholder track;
// the new header goes last. A cut at any point leaves a drive that is offered
// for initialization again, never a valid-looking header over a half-written
// FAT.

#include <array>
#include <vector>

#include "base/byte_order.h"
#include "format/format_constants.h"
#include "format/layout.h"
#include "format/remote_code_table.h"
#include "format/track_record.h"
#include "volume/player_volume.h"

namespace jukepak {
namespace {

VolumeHeader NewHeader(const VolumeLayout& layout) {
  VolumeHeader header;
  header.StampSignatureAndBanner();
  header.setFatStart(layout.fatStart);
  header.setFatSectors(layout.fatSectors);
  header.setAudioStart(layout.audioStart);
  header.setAudioClusters(layout.audioClusters);
  header.setCdStart(0);
  header.setCdCount(0);
  for (uint32_t slot = 0; slot < format::kDefaultRemoteEntries; ++slot) {
    header.setRemoteEntry(slot, DefaultRemoteEntry(slot));
  }
  return header;
}

TrackRecord PlaceholderRecord() {
  TrackRecord record;
  record.StampSignature();
  record.setSize(format::kPlaceholderSize);
  record.setTitle(format::kPlaceholderTitle);
  // The first mark names cluster 0 at 0:00.0; the next slot is the terminator.
  record.data()[133] = 0xFF;
  record.data()[134] = 0xFF;
  record.data()[135] = 0xFF;
  return record;
}

std::array<uint8_t, format::kSectorSize> FatSectorBytes(bool first) {
  std::array<uint8_t, format::kSectorSize> sector{};
  for (uint32_t i = 0; i < format::kFatEntriesPerSector; ++i) {
    StoreLe32(sector.data() + 4 * i, format::kFatFree);
  }
  if (first) {  // the placeholder's chain: 0 -> 1 -> end
    StoreLe32(sector.data(), 1);
    StoreLe32(sector.data() + 4, format::kFatEndOfChain);
  }
  return sector;
}

}  // namespace

Result PlayerVolume::InitJob() {
  reporter_->ShowStatus("Initializing file system");
  // Whatever follows, the old directory is no longer the drive's: the first
  // write zeroes its signature, and a failure leaves no volume to show.
  model_.header = VolumeHeader();
  ClearPlayerDirectory();
  model_.fat.Clear();
  uint32_t n = 0;
  Result r = device_->QuerySectorCount(&n);
  if (!r.ok()) return ReportDriverFailure("Initialization failed", r);
  model_.sectorCount = n;
  model_.clusterLimit = n / format::kSectorsPerCluster;

  VolumeLayout layout;
  r = ComputeLayout(n, &layout);
  if (!r.ok()) {
    reporter_->ShowStatus("Initialization failed: " + r.message());
    SetDeviceState(DeviceState::kNoVolume);
    return r;
  }
  r = WriteEmptyVolume(n);
  if (!r.ok()) return ReportDriverFailure("Initialization failed", r);

  reporter_->ShowStatus("Unloaded");
  SetDeviceState(DeviceState::kVolumeNotLoaded);
  return MountJob();  // busyState stays at initialize until the mount ends
}

Result PlayerVolume::WriteEmptyVolume(uint32_t sector_count) {
  VolumeLayout layout;
  Result r = ComputeLayout(sector_count, &layout);
  if (!r.ok()) return r;
  const std::array<uint8_t, format::kSectorSize> zero{};

  r = device_->Write(0, 1, zero.data());
  if (!r.ok()) return r;

  const auto fat_first = FatSectorBytes(true);
  const auto fat_empty = FatSectorBytes(false);
  for (uint32_t i = 0; i < layout.fatSectors; ++i) {
    r = device_->Write(layout.fatStart + i, 1, i == 0 ? fat_first.data() : fat_empty.data());
    if (!r.ok()) return r;
  }

  std::array<uint8_t, format::kSectorSize> filler;
  filler.fill(format::kFillerByte);
  const uint32_t audio_first = layout.audioStart * format::kSectorsPerCluster;
  for (uint32_t s = layout.fatStart + layout.fatSectors; s < audio_first; ++s) {
    r = device_->Write(s, 1, filler.data());
    if (!r.ok()) return r;
  }

  const TrackRecord placeholder = PlaceholderRecord();
  r = device_->Write(audio_first, format::kTrackRecordSectors, placeholder.data());
  if (!r.ok()) return r;
  for (uint32_t k = 0; k < format::kPlaceholderZeroSectors; ++k) {
    r = device_->Write(audio_first + format::kTrackRecordSectors + k, 1, zero.data());
    if (!r.ok()) return r;
  }

  model_.header = NewHeader(layout);
  return WriteHeader();
}

}  // namespace jukepak
