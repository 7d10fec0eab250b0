#include "checker/volume_images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_order.h"

namespace jukepak::checker {
namespace {

constexpr uint32_t kMarkedTrackCount = 101;  // "above 100": the check rejects the CD
constexpr uint32_t kTrackRecordReads = 3;

uint32_t Field(const VolumeImages& images, uint32_t offset) {
  return LoadLe32(images.header.data() + offset);
}

// True when an index-mark slot holds the 24-bit value 0xD000D0 (D0 00 D0),
// the sign of a record that came over the link garbled.
bool HasGarbledMark(const uint8_t* record) {
  for (uint32_t k = 0; k < format::kIndexMarkSlots; ++k) {
    const uint8_t* mark = record + format::kIndexMarksOffset + format::kIndexMarkSize * k;
    if (mark[0] == 0xD0 && mark[1] == 0x00 && mark[2] == 0xD0) return true;
  }
  return false;
}

Result Cancelled() { return Result::Error(ResultCode::kCancelled, "the check was stopped"); }

Result ReadFat(SectorDevice& device, VolumeImages* images, ReadProgress* progress) {
  const uint32_t fat_start = Field(*images, format::kFatStartOffset);
  const uint32_t fat_sectors = Field(*images, format::kFatSectorsOffset);
  const uint64_t need_fat = (uint64_t(images->sectorCount) / 16 + 127) / 128;
  images->fat.assign(size_t(std::max<uint64_t>(fat_sectors, need_fat)) * format::kSectorSize, 0);
  int64_t shown = -1;
  for (uint32_t i = 0; i < fat_sectors; ++i) {
    Result r = device.Read(fat_start + i, 1, images->fat.data() + size_t(i) * format::kSectorSize);
    if (!r.ok()) return r;
    const int64_t percent = int64_t(uint64_t(i) * 100 / fat_sectors);
    if (percent != shown) {
      shown = percent;
      char text[64];
      std::snprintf(text, sizeof text, "Reading FAT - %%%02d\n", int(percent));
      progress->Progress(text);
    }
    if (progress->StopRequested()) return Cancelled();
  }
  images->savedFat = images->fat;
  return Result::Ok();
}

Result ReadTrackRecord(SectorDevice& device, const VolumeImages& images, uint32_t start,
                       uint8_t* slot) {
  const uint64_t sector =
      (uint64_t(Field(images, format::kAudioStartOffset)) + start) * format::kSectorsPerCluster;
  uint32_t reads = 0;
  do {
    Result r = device.Read(uint32_t(sector), format::kTrackRecordSectors, slot);
    if (!r.ok()) return r;
    ++reads;
  } while (reads < kTrackRecordReads && HasGarbledMark(slot));
  return Result::Ok();
}

Result ReadTracks(SectorDevice& device, VolumeImages* images, ReadProgress* progress) {
  const uint32_t cd_count = Field(*images, format::kCdCountOffset);
  const uint32_t audio_clusters = Field(*images, format::kAudioClustersOffset);
  images->tracks.assign(cd_count, CdTrackRecords{});
  int64_t shown = -1;
  for (uint32_t i = 0; i < cd_count; ++i) {
    uint8_t* cd = images->cds.data() + size_t(i) * format::kCdRecordSize;
    if (cd[format::kCdTrackCountOffset] > format::kMaxTracksPerCd) {
      cd[format::kCdTrackCountOffset] = kMarkedTrackCount;
    }
    const uint32_t listed =
        std::min<uint32_t>(cd[format::kCdTrackCountOffset], format::kMaxTracksPerCd);
    CdTrackRecords& tracks = images->tracks[i];
    tracks.bytes.assign(size_t(listed) * format::kTrackRecordSize, 0);
    tracks.present.assign(listed, 0);
    for (uint32_t j = 0; j < listed; ++j) {
      const uint32_t start = LoadLe32(cd + format::kCdStartClustersOffset + 4 * j);
      if (start >= audio_clusters) continue;  // the check rejects it before looking at the record
      Result r = ReadTrackRecord(device, *images, start,
                                 tracks.bytes.data() + size_t(j) * format::kTrackRecordSize);
      if (!r.ok()) return r;
      tracks.present[j] = 1;
    }
    const int64_t percent = int64_t(uint64_t(i) * 100 / cd_count);
    if (percent != shown) {
      shown = percent;
      char text[64];
      std::snprintf(text, sizeof text, "Reading track information - %%%02d\n", int(percent));
      progress->Progress(text);
    }
    if (progress->StopRequested()) return Cancelled();
  }
  return Result::Ok();
}

}  // namespace

void VolumeImages::RestoreSaved() {
  header = savedHeader;
  fat = savedFat;
  cds = savedCds;
}

Result ReadVolumeImages(SectorDevice& device, VolumeImages* images, ReadProgress* progress) {
  Result r = ReadFat(device, images, progress);
  if (!r.ok()) return r;
  progress->Progress("Reading CD sectors\n");
  const uint32_t cd_count = Field(*images, format::kCdCountOffset);
  images->cds.assign(size_t(cd_count) * format::kCdRecordSize, 0);
  // An empty volume has no CD sector to read; a zero-sector transfer is
  // never sent to the driver.
  if (cd_count != 0) {
    r = device.Read(Field(*images, format::kCdStartOffset), cd_count, images->cds.data());
    if (!r.ok()) return r;
  }
  images->savedCds = images->cds;
  return ReadTracks(device, images, progress);
}

Result AttachImages(CheckEngine& engine, VolumeImages& images) {
  engine.AttachHeader(images.header.data());
  Result r = engine.AttachCdSectors(images.cds.data(), images.cds.size());
  if (r.ok()) r = engine.AttachFat(images.fat.data(), images.fat.size());
  if (!r.ok()) return r;
  for (uint32_t i = 0; i < images.tracks.size(); ++i) {
    const CdTrackRecords& tracks = images.tracks[i];
    for (uint32_t j = 0; j < tracks.present.size(); ++j) {
      engine.SetTrackRecord(i, j, tracks.record(j));
    }
  }
  return Result::Ok();
}

}  // namespace jukepak::checker
