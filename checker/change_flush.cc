// FlushChanges: writes the sectors the repair steps marked.
//
// Order: changed track records, the CD records from the highest sector
// down, then the FAT sectors in ascending order, then the header. When the
// CD run closes up, the records below a removed one each move up; writing
// them from the top down means a cut leaves a record on two sectors under
// the old header, which the next check removes again (the lower copy),
// where writing the header first could drop a healthy CD from the run.

#include <algorithm>
#include <cstddef>

#include "checker/check_engine.h"
#include "format/format_constants.h"

namespace jukepak::checker {

Result CheckEngine::FlushChanges() {
  if (writer_ == nullptr) return Result::Ok();
  Result r = WriteDirtyRecords();
  if (r.ok()) r = WriteDirtyCds();
  if (r.ok()) r = WriteDirtyFatSectors();
  if (!r.ok()) return r;
  if (header_dirty_) {
    r = writer_->WriteSectors(0, format::kHeaderSectors, header_);
    if (!r.ok()) return r;
    header_dirty_ = false;
  }
  return Poll();
}

Result CheckEngine::WriteDirtyRecords() {
  const uint64_t audio_start = HeaderField(format::kAudioStartOffset);
  while (!dirty_records_.empty()) {
    const auto [listing, sectors] = *dirty_records_.begin();
    const uint8_t* record = listings_[listing].record;
    const uint32_t first = uint32_t((audio_start + listings_[listing].start) *
                                    format::kSectorsPerCluster);
    const uint32_t from = (sectors & 1) != 0 ? 0 : 1;
    const uint32_t to = (sectors & 2) != 0 ? 2 : 1;
    Result r = writer_->WriteSectors(first + from, to - from,
                                     record + size_t(from) * format::kSectorSize);
    if (!r.ok()) return r;
    dirty_records_.erase(dirty_records_.begin());
  }
  return Result::Ok();
}

Result CheckEngine::WriteDirtyCds() {
  const uint32_t cd_start = cdStart();
  std::sort(dirty_cds_.begin(), dirty_cds_.end());
  while (!dirty_cds_.empty()) {
    const uint32_t i = dirty_cds_.back();
    if (cds_[i].dirty && !cds_[i].removed) {
      Result r = writer_->WriteSectors(cd_start + i, 1, CdRecordBytes(i));
      if (!r.ok()) return r;
    }
    cds_[i].dirty = false;
    dirty_cds_.pop_back();
  }
  return Result::Ok();
}

Result CheckEngine::WriteDirtyFatSectors() {
  if (fat_dirty_list_.empty()) return Result::Ok();
  std::sort(fat_dirty_list_.begin(), fat_dirty_list_.end());
  const uint32_t fat_start = HeaderField(format::kFatStartOffset);
  const uint32_t fat_sectors = HeaderField(format::kFatSectorsOffset);
  size_t done = 0;
  Result r;
  for (; done < fat_dirty_list_.size(); ++done) {
    const uint32_t sector = fat_dirty_list_[done];
    // Sectors past the header's FAT are not part of the volume: never written.
    if (sector < fat_sectors) {
      r = writer_->WriteSectors(fat_start + sector, 1, fat_ + size_t(sector) * format::kSectorSize);
      if (!r.ok()) break;
    }
    fat_dirty_[sector] = 0;
  }
  fat_dirty_list_.erase(fat_dirty_list_.begin(), fat_dirty_list_.begin() + std::ptrdiff_t(done));
  return r;
}

}  // namespace jukepak::checker
